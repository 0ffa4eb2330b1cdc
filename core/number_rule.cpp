#include "core/number_rule.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

namespace zentick {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Full-width forms U+FF01..U+FF5E sit at a fixed distance from ASCII and are
// read as ASCII, letters included, so "＆Ｈ１７" is hexadecimal as "&H17"
// is. The ideographic space is a blank.
std::string normalized(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0xE3 && text.substr(i, 3) == "\u3000") {
            i += 2;
            continue;
        }
        if (c == 0xEF && i + 2 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80
            && (static_cast<unsigned char>(text[i + 2]) & 0xC0) == 0x80) {
            const auto b1 = static_cast<unsigned char>(text[i + 1]);
            const auto b2 = static_cast<unsigned char>(text[i + 2]);
            const unsigned codePoint = ((c & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
            if (codePoint >= 0xFF01 && codePoint <= 0xFF5E) {
                out += static_cast<char>(codePoint - 0xFF01 + 0x21);
                i += 2;
                continue;
            }
        }
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        out += static_cast<char>(c);
    }
    return out;
}

double readRadix(std::string_view digits, int radix)
{
    double value = 0;
    for (const char raw : digits) {
        const char c = static_cast<char>(raw | 0x20);  // lower case for the hex letters
        int digit = -1;
        if (isDigit(c))
            digit = c - '0';
        else if (radix == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (digit < 0 || digit >= radix)
            break;
        value = value * radix + digit;
    }
    return value;
}

// The power of ten of a decimal number's first significant digit, counted
// from its digits and its exponent alike: "0.001" and "1e-3" are both -3.
// Saturates far beyond any double.
long long decimalExponent(std::string_view number)
{
    constexpr long long kFar = 1'000'000'000;
    const auto e = std::min(number.find_first_of("eE"), number.size());
    const std::string_view mantissa = number.substr(0, e);
    const auto point = std::min(mantissa.find('.'), mantissa.size());
    const auto first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos)
        return 0;
    long long power = first < point ? static_cast<long long>(point - first) - 1 : -static_cast<long long>(first - point);
    long long exponent = 0;
    std::size_t i = e + 1;
    const bool negative = i < number.size() && number[i] == '-';
    if (i < number.size() && (number[i] == '-' || number[i] == '+'))
        ++i;
    for (; i < number.size(); ++i)
        exponent = std::min(exponent * 10 + (number[i] - '0'), kFar);
    return power + (negative ? -exponent : exponent);
}

// Length of the longest leading decimal number in `s`, sign included.
std::size_t decimalPrefix(std::string_view s)
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t digits = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        if (isDigit(s[i]))
            ++digits;
        else if (s[i] == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0)
        return 0;
    // An exponent counts only when digits follow it.
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            ++j;
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j]))
                ++j;
            i = j;
        }
    }
    return i;
}

}  // namespace

double readNumber(std::string_view text)
{
    const std::string s = normalized(text);
    if (s.size() >= 2 && s[0] == '&') {
        const char prefix = static_cast<char>(s[1] | 0x20);
        if (prefix == 'h')
            return readRadix(std::string_view(s).substr(2), 16);
        if (prefix == 'o')
            return readRadix(std::string_view(s).substr(2), 8);
    }
    const std::size_t length = decimalPrefix(s);
    if (length == 0)
        return 0;
    // from_chars takes no '+' and no 'D' exponent, and ignores the locale,
    // so the full stop is always the decimal point.
    std::string number(s, s[0] == '+' ? 1 : 0, length - (s[0] == '+' ? 1 : 0));
    for (char& c : number) {
        if (c == 'd' || c == 'D')
            c = 'e';
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: only the sign and size matter here.
        if (decimalExponent(number) < 0)
            return 0;
        return number[0] == '-' ? -HUGE_VAL : HUGE_VAL;
    }
    return value;
}

std::optional<std::int16_t> roundToInt16(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double below = std::floor(value);
    const double fraction = value - below;  // exact for doubles
    double rounded = below;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(below, 2.0) != 0))
        rounded = below + 1;
    if (rounded < INT16_MIN || rounded > INT16_MAX)
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

}  // namespace zentick
