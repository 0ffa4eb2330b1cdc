#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zentick {

// Reads the number a user typed, forgivingly: blanks, tabs and line feeds
// anywhere are dropped; "&H" and "&O" (either case) start a hexadecimal or
// octal integer; otherwise the longest leading decimal number (sign, one full
// stop, exponent) is read and the rest ignored. No number reads as 0.
// Full-width characters count as their ASCII forms, so text typed with a
// Japanese input method reads as it looks.
double readNumber(std::string_view text);

// Rounds half to even (22.5 gives 22, 23.5 gives 24). Empty when the result
// lies outside the 16-bit signed range.
std::optional<std::int16_t> roundToInt16(double value);

}  // namespace zentick
