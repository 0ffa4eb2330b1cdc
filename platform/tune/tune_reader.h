#pragma once

// Standard MIDI Files read as FluidSynth's player reads them (2.3): whether
// it can play one with a sounding note, and what in it selects the
// instruments, so that the player can have their sounds in memory before
// the tune starts. Where FluidSynth is lenient (a track length that
// disagrees with its events, an end-of-track missing, garbage after the
// last track), so is this reader: a tune that plays must not be lost.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace zentick::platform {

enum class TuneVerdict {
    Unreadable,  // the player cannot load it: it would end at once, in silence
    Silent,      // it loads, but no note in it sounds
    Sounding,
};

// What can change the instrument a channel sounds with, and the notes that
// sound with it, in the order the player sends them.
struct TuneEvent {
    enum class Kind : std::uint8_t {
        NoteOn,      // the first note on the channel since its instrument last changed
        BankSelect,  // controller 0 or 32: the bank of the next program change
        Program,
        Sysex,       // a system exclusive message: resets, drum parts
    };
    Kind kind = Kind::NoteOn;
    std::uint8_t channel = 0;
    std::uint8_t number = 0;  // the key, the controller or the program
    std::uint8_t value = 0;   // the velocity or the controller's value
    // A system exclusive message's bytes in the file, without F0 and a closing F7.
    std::uint32_t at = 0;
    std::uint32_t length = 0;
};

struct TuneReading {
    TuneVerdict verdict = TuneVerdict::Unreadable;
    std::vector<TuneEvent> events;  // empty unless it can play
};

TuneReading readTune(std::string_view bytes);

// A tune is a few kilobytes; anything larger than this is no alarm tune.
inline constexpr std::size_t kMaxTuneBytes = 16 * 1024 * 1024;

// A tune file's bytes. Throws MidiError, naming the file, for one that is
// missing, unreadable, or too large to be an alarm tune.
std::string readTuneBytes(const std::filesystem::path& file);

// A tune's bytes, read as the sequencer will read them.
struct Tune {
    std::string bytes;
    TuneReading reading;
    // Throws MidiError, naming the file the bytes came from, for a tune the
    // sequencer cannot read or that sounds no note.
    static Tune parse(std::string bytes, const std::filesystem::path& file);
    static Tune read(const std::filesystem::path& file) { return parse(readTuneBytes(file), file); }
};

}  // namespace zentick::platform
