// Reading numbers from text the way the command line and the settings file
// hold them, the same everywhere and in every C locale.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmora {

// Skips leading blanks (the space character), then reads the longest decimal
// number at the start of `text`: an optional sign, digits, an optional point
// and fraction, an optional exponent brought in by 'e' or 'E'. Text that
// does not begin with a number reads as 0. Hexadecimal, "inf" and "nan" are
// not numbers here. A value too large for a double reads as infinity.
double readDecimal(std::string_view text);

// Rounds to the nearest integer, a half going to the even neighbour; a value
// outside the 32-bit range (or not a number) gives the most negative 32-bit
// integer.
std::int32_t roundToInt32(double value);

// readDecimal, then roundToInt32.
inline std::int32_t readRoundedInt32(std::string_view text) { return roundToInt32(readDecimal(text)); }

}  // namespace velmora
