#pragma once

#include <string>

namespace zentick::test {

// A Standard MIDI File (format 0, 480 ticks a quarter, 120 beats a minute)
// that plays one loud note for `quarters` quarter notes.
inline std::string oneNoteTune(int quarters = 1)
{
    const int ticks = 480 * quarters;
    std::string track = {
        '\x00', '\xC0', '\x00',          // piano
        '\x00', '\x90', '\x3C', '\x7F',  // note on, middle C
    };
    // The note's length as a variable-length quantity.
    std::string delta;
    for (int rest = ticks; rest > 0 || delta.empty(); rest >>= 7)
        delta.insert(delta.begin(), static_cast<char>((rest & 0x7F) | (delta.empty() ? 0 : 0x80)));
    track += delta + std::string{'\x80', '\x3C', '\x40', '\x00', '\xFF', '\x2F', '\x00'};

    std::string file = "MThd";
    file += std::string{'\x00', '\x00', '\x00', '\x06', '\x00', '\x00', '\x00', '\x01', '\x01', '\xE0'};
    file += "MTrk";
    const auto length = static_cast<unsigned>(track.size());
    file += std::string{static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
                        static_cast<char>(length)};
    return file + track;
}

}  // namespace zentick::test
