// Any text as an alarm hour or minute, read by the number rule and rounded.

#include "core/number_rule.h"

#include <cmath>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const double value = zentick::readNumber(text);
    if (std::isnan(value))
        std::abort();
    if (const auto rounded = zentick::roundToInt16(value)) {
        // Rounding never moves a number by more than a half.
        if (std::abs(*rounded - value) > 0.5)
            std::abort();
    }
    return 0;
}
