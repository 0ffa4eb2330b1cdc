#pragma once

#include <string>
#include <vector>

namespace zentick::test {

// Standard MIDI Files (format 0, 480 ticks a quarter, 120 beats a minute)
// played on the piano: each step sounds its notes together for `quarters`
// quarter notes at `velocity`.
struct Step {
    std::vector<int> notes;
    int velocity = 100;
    int quarters = 1;
};

// A variable-length quantity, as delta times and lengths are written.
inline std::string varLength(int value)
{
    std::string bytes;
    for (int rest = value; rest > 0 || bytes.empty(); rest >>= 7)
        bytes.insert(bytes.begin(), static_cast<char>((rest & 0x7F) | (bytes.empty() ? 0 : 0x80)));
    return bytes;
}

// A chunk: its four-letter name, its length (off by `lengthOff` when asked)
// and its body.
inline std::string chunk(const std::string& name, const std::string& body, int lengthOff = 0)
{
    const auto length = static_cast<unsigned>(static_cast<int>(body.size()) + lengthOff);
    return name
        + std::string{static_cast<char>(length >> 24), static_cast<char>(length >> 16), static_cast<char>(length >> 8),
                      static_cast<char>(length)}
        + body;
}

// The header chunk: format, the number of tracks, ticks a quarter note.
inline std::string midiHeader(int format, int tracks, int division = 480)
{
    return chunk("MThd", {'\x00', static_cast<char>(format), static_cast<char>(tracks >> 8), static_cast<char>(tracks),
                          static_cast<char>(division >> 8), static_cast<char>(division)});
}

inline std::string standardMidiFile(const std::vector<Step>& steps)
{
    const auto delta = varLength;
    std::string track = {'\x00', '\xC0', '\x00'};  // piano
    for (const auto& step : steps) {
        for (const int note : step.notes)
            track += delta(0) + std::string{'\x90', static_cast<char>(note), static_cast<char>(step.velocity)};
        for (std::size_t i = 0; i < step.notes.size(); ++i)
            track += delta(i == 0 ? 480 * step.quarters : 0) + std::string{'\x80', static_cast<char>(step.notes[i]), '\x40'};
    }
    track += delta(0) + std::string{'\xFF', '\x2F', '\x00'};
    return midiHeader(0, 1) + chunk("MTrk", track);
}

// One loud note, middle C, for `quarters` quarter notes.
inline std::string oneNoteTune(int quarters = 1)
{
    return standardMidiFile({{{60}, 127, quarters}});
}

// What an alarm tune typically is: a piano melody at velocity 100.
inline std::string pianoMelody()
{
    std::vector<Step> steps;
    for (const int note : {60, 64, 67, 72, 67, 64, 60})
        steps.push_back({{note}, 100, 1});
    return standardMidiFile(steps);
}

// A melody that goes on for `notes` quarter notes, half a second each.
inline std::string longMelody(int notes)
{
    std::vector<Step> steps;
    for (int i = 0; i < notes; ++i)
        steps.push_back({{60 + (i * 4) % 12}, 100, 1});
    return standardMidiFile(steps);
}

// Whole chunks, but the first event has lost its status byte: a tune the
// sequencer would end at once, in silence.
inline std::string unreadableTune()
{
    std::string tune = pianoMelody();
    tune[14 + 8 + 1] = '\x40';  // the program change's status, in the first track
    return tune;
}

// As loud as a tune gets: eight-note chords at velocity 127.
inline std::string loudChords()
{
    std::vector<Step> steps;
    for (int round = 0; round < 2; ++round) {
        for (const int root : {36, 41, 43, 36})
            steps.push_back({{root, root + 12, root + 24, root + 28, root + 31, root + 36, root + 40, root + 43}, 127, 1});
    }
    return standardMidiFile(steps);
}

}  // namespace zentick::test
