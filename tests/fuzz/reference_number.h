// A second reading of the numbers on the command line and in the settings
// file, by the C library, for the fuzz targets to hold the program's own
// reader against.
//
// The program's reader skips blanks, then takes an optional sign, digits,
// an optional point and fraction and an optional exponent, and rounds to
// the nearest 32-bit integer with halves to even; out of range gives the
// most negative one. strtod accepts more (hexadecimal, "inf", "nan", other
// white space), so it is handed only the run of characters that a number of
// the reader's form is made of; on that run the two read the same number.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

namespace fuzzref {

inline std::int32_t roundedInt32(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  std::size_t end = start;
  while (end < text.size() && std::string_view("+-.0123456789eE").find(text[end]) != std::string_view::npos) ++end;
  const std::string number(text.substr(start, end - start));
  const double value = std::strtod(number.c_str(), nullptr);
  constexpr std::int32_t kOutOfRange = std::numeric_limits<std::int32_t>::min();
  if (!std::isfinite(value)) return kOutOfRange;
  const double rounded = std::nearbyint(value);  // the default mode: to nearest, halves to even
  if (rounded < -2147483648.0 || rounded > 2147483647.0) return kOutOfRange;
  return static_cast<std::int32_t>(rounded);
}

}  // namespace fuzzref
