#include "common/decimal.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace velmora {
namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double readDecimal(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;

  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t mantissaStart = i;
  std::size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return 0.0;
  std::size_t end = i;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
    if (j < text.size() && isDigit(text[j])) {
      while (j < text.size() && isDigit(text[j])) ++j;
      end = j;
    }
  }

  // from_chars reads exactly this subset (no sign of its own) and rounds
  // correctly, whatever the locale.
  const std::string_view number = text.substr(mantissaStart, end - mantissaStart);
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                         std::chars_format::general);
  if (ec == std::errc::result_out_of_range) {
    // Too small gives 0 and too large gives infinity; tell them apart by the
    // magnitude's decimal exponent.
    // The value is about 0.ddd x 10^(leading + exponent10).
    long exponent10 = 0;
    std::size_t k = 0;
    bool seenPoint = false;
    bool seenNonZero = false;
    long leading = 0;
    for (; k < number.size() && number[k] != 'e' && number[k] != 'E'; ++k) {
      if (number[k] == '.') {
        seenPoint = true;
        continue;
      }
      if (!seenNonZero && number[k] != '0') seenNonZero = true;
      if (!seenNonZero && seenPoint) --leading;
      if (seenNonZero && !seenPoint) ++leading;
    }
    if (k < number.size()) {
      const std::string_view exp = number.substr(k + 1);
      long parsed = 0;
      const char* first = exp.data();
      if (!exp.empty() && exp[0] == '+') ++first;
      const auto res = std::from_chars(first, exp.data() + exp.size(), parsed);
      if (res.ec == std::errc::result_out_of_range) parsed = exp[0] == '-' ? -100000 : 100000;
      exponent10 = parsed;
    }
    // leading + exponent10 > 0, without the sum: an exponent near the
    // limit of a long would overflow it. -leading cannot, as |leading| is
    // at most the number's length.
    const bool huge = seenNonZero && exponent10 > -leading;
    value = huge ? std::numeric_limits<double>::infinity() : 0.0;
  } else if (ec != std::errc{} || ptr != number.data() + number.size()) {
    return 0.0;
  }
  return negative ? -value : value;
}

std::int32_t roundToInt32(double value) {
  constexpr std::int32_t kOutOfRange = std::numeric_limits<std::int32_t>::min();
  if (!std::isfinite(value)) return kOutOfRange;
  const double below = std::floor(value);
  const double fraction = value - below;
  double rounded = below;
  if (fraction > 0.5) {
    rounded = below + 1.0;
  } else if (fraction == 0.5) {
    rounded = std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
  }
  if (rounded < -2147483648.0 || rounded > 2147483647.0) return kOutOfRange;
  return static_cast<std::int32_t>(rounded);
}

}  // namespace velmora
