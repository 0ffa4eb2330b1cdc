#pragma once

// The smallest SoundFont FluidSynth loads: one instrument (a piano's bank 0,
// program 0) of one short sine sample. A synthesizer with it holds next to
// nothing of a SoundFont: the measure the real ones are held against.

#include <cmath>
#include <cstdint>
#include <string>

namespace zentick::test {

namespace sound_font {

inline std::string le(std::uint32_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(value >> (8 * i));
    return out;
}

// A RIFF chunk: its name, its length (little-endian) and its body, padded to an even length.
inline std::string riff(const std::string& name, const std::string& body)
{
    return name + le(static_cast<std::uint32_t>(body.size()), 4) + body + (body.size() % 2 ? std::string(1, '\0') : "");
}

inline std::string list(const std::string& type, const std::string& chunks)
{
    return riff("LIST", type + chunks);
}

// A name field of `size` bytes, padded with zeros.
inline std::string name(const std::string& text, std::size_t size)
{
    return text.substr(0, size - 1) + std::string(size - std::min(text.size(), size - 1), '\0');
}

}  // namespace sound_font

inline std::string tinySoundFont()
{
    using namespace sound_font;
    constexpr std::uint32_t kFrames = 441;  // 10 ms of a 440 Hz sine
    std::string samples;
    for (std::uint32_t i = 0; i < kFrames; ++i)
        samples += le(static_cast<std::uint16_t>(static_cast<std::int16_t>(8000 * std::sin(2 * 3.14159265 * 440 * i / 44100))), 2);
    samples += std::string(46 * 2, '\0');  // the zeros that must follow each sample

    const std::string info = riff("ifil", le(2, 2) + le(1, 2)) + riff("isng", name("EMU8000", 8)) + riff("INAM", name("tiny", 6));
    // Each list ends with its terminal record, as the format asks.
    const std::string phdr = name("tiny piano", 20) + le(0, 2) + le(0, 2) + le(0, 2) + le(0, 4) + le(0, 4) + le(0, 4)
        + name("EOP", 20) + le(0, 2) + le(0, 2) + le(1, 2) + le(0, 4) + le(0, 4) + le(0, 4);
    const std::string pbag = le(0, 2) + le(0, 2) + le(1, 2) + le(0, 2);
    const std::string pmod = std::string(10, '\0');
    const std::string pgen = le(41, 2) + le(0, 2) + le(0, 2) + le(0, 2);  // the instrument, then the end
    const std::string inst = name("tiny", 20) + le(0, 2) + name("EOI", 20) + le(1, 2);
    const std::string ibag = le(0, 2) + le(0, 2) + le(2, 2) + le(0, 2);  // two generators in its one zone
    const std::string imod = std::string(10, '\0');
    const std::string igen = le(54, 2) + le(1, 2) + le(53, 2) + le(0, 2) + le(0, 2) + le(0, 2);  // looped, the sample
    const std::string shdr = name("sine", 20) + le(0, 4) + le(kFrames, 4) + le(0, 4) + le(kFrames - 1, 4) + le(44100, 4)
        + std::string(1, 69) + std::string(1, '\0') + le(0, 2) + le(1, 2) + name("EOS", 20) + std::string(26, '\0');
    const std::string pdta = riff("phdr", phdr) + riff("pbag", pbag) + riff("pmod", pmod) + riff("pgen", pgen)
        + riff("inst", inst) + riff("ibag", ibag) + riff("imod", imod) + riff("igen", igen) + riff("shdr", shdr);
    return riff("RIFF", "sfbk" + list("INFO", info) + list("sdta", riff("smpl", samples)) + list("pdta", pdta));
}

}  // namespace zentick::test
