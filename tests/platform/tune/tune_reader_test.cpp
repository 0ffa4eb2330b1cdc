// The tune reader's verdict held against FluidSynth's own: each file played
// by FluidSynth's player on the installed General MIDI SoundFont, rendered
// offline. A file it plays with a sound is accepted; a file it cannot play,
// or plays silently, is refused.

#include "platform/tune/tune_reader.h"

#include "support/midi_file.h"

#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace zentick::platform {
namespace {

using test::chunk;
using test::midiHeader;

std::string raw(std::initializer_list<int> values)
{
    std::string bytes;
    for (const int value : values)
        bytes += static_cast<char>(value);
    return bytes;
}

const std::string kPiano = raw({0x00, 0xC0, 0x00});
const std::string kNote = raw({0x00, 0x90, 60, 100, 0x83, 0x60, 0x80, 60, 64});  // middle C, a quarter
const std::string kEnd = raw({0x00, 0xFF, 0x2F, 0x00});
const std::string kTrack = chunk("MTrk", kPiano + kNote + kEnd);
const std::string kGsReset = raw({0x00, 0xF0, 0x0A, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});

// Whether FluidSynth's player, given the file, makes a sound in its first
// four seconds.
bool fluidSynthSounds(const std::string& file)
{
    // Its complaints about the broken ones, silenced while they play.
    struct Quiet {
        Quiet()
        {
            fluid_set_log_function(FLUID_ERR, nullptr, nullptr);
            fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
        }
        ~Quiet()
        {
            fluid_set_log_function(FLUID_ERR, fluid_default_log_function, nullptr);
            fluid_set_log_function(FLUID_WARN, fluid_default_log_function, nullptr);
        }
    } const quiet;
    const std::unique_ptr<fluid_settings_t, decltype(&delete_fluid_settings)> settings(new_fluid_settings(),
                                                                                      delete_fluid_settings);
    const std::unique_ptr<fluid_synth_t, decltype(&delete_fluid_synth)> synth(new_fluid_synth(settings.get()),
                                                                             delete_fluid_synth);
    if (fluid_synth_sfload(synth.get(), "/usr/share/sounds/sf2/TimGM6mb.sf2", 1) == FLUID_FAILED)
        throw std::runtime_error("no General MIDI SoundFont is installed");
    const std::unique_ptr<fluid_player_t, decltype(&delete_fluid_player)> player(new_fluid_player(synth.get()),
                                                                                delete_fluid_player);
    fluid_player_add_mem(player.get(), file.data(), file.size());
    fluid_player_play(player.get());
    std::vector<float> left(512);
    std::vector<float> right(512);
    for (int block = 0; block < 44100 * 4 / 512; ++block) {
        fluid_synth_write_float(synth.get(), 512, left.data(), 0, 1, right.data(), 0, 1);
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (std::abs(left[i]) > 0.001f || std::abs(right[i]) > 0.001f)
                return true;
        }
    }
    return false;
}

TEST(TuneReader, AcceptsExactlyWhatFluidSynthPlaysWithASound)
{
    struct Case {
        const char* name;
        std::string file;
        bool plays;
    } const cases[] = {
        {"format 0, one track", midiHeader(0, 1) + kTrack, true},
        {"format 1, a tempo track, then the notes",
         midiHeader(1, 2) + chunk("MTrk", raw({0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}) + kEnd) + kTrack, true},
        {"format 2", midiHeader(2, 2) + kTrack + kTrack, true},
        {"running status over the notes",
         midiHeader(0, 1) + chunk("MTrk", kPiano + raw({0x00, 0x90, 60, 100, 0x83, 0x60, 60, 0}) + kEnd), true},
        // FluidSynth keeps a meta event's status running: the next data byte
        // reads as a meta event's type.
        {"running status across a meta event",
         midiHeader(0, 1) + chunk("MTrk", kPiano + raw({0x00, 0x90, 60, 100, 0x00, 0xFF, 0x01, 0x01, 'a', 0x83, 0x60, 0x3C,
                                                        0x00}) + kEnd),
         true},
        {"a track length a byte short", midiHeader(0, 1) + chunk("MTrk", kPiano + kNote + kEnd, -1), true},
        {"a track length a byte short, then a track",
         midiHeader(1, 2) + chunk("MTrk", kPiano + kNote + kEnd, -1) + kTrack, true},
        {"a track length a byte long, last in the file", midiHeader(0, 1) + chunk("MTrk", kPiano + kNote + kEnd, 1), true},
        {"a track length a byte long, then a track",
         midiHeader(1, 2) + chunk("MTrk", kPiano + kNote + kEnd, 1) + kTrack, false},
        {"garbage after the last track", midiHeader(0, 1) + kTrack + "garbage\x01\x02", true},
        {"no end of track", midiHeader(0, 1) + chunk("MTrk", kPiano + kNote), true},
        {"a GS reset first", midiHeader(0, 1) + chunk("MTrk", kGsReset + kPiano + kNote + kEnd), true},
        {"drums only", midiHeader(0, 1) + chunk("MTrk", raw({0x00, 0x99, 36, 100, 0x83, 0x60, 0x89, 36, 0}) + kEnd), true},
        {"no tracks", midiHeader(0, 0), false},
        {"notes at velocity 0 only", midiHeader(0, 1) + chunk("MTrk", kPiano + raw({0x00, 0x90, 60, 0}) + kEnd), false},
        {"a second header where a track should be", midiHeader(0, 1) + midiHeader(0, 1) + kTrack, false},
        {"a second header after the track", midiHeader(0, 1) + kTrack + midiHeader(0, 1), true},
        {"a first event without a status byte", midiHeader(0, 1) + chunk("MTrk", raw({0x00, 60, 100}) + kNote + kEnd),
         false},
        {"two tracks promised, one there", midiHeader(1, 2) + kTrack, false},
        {"a system exclusive escape (F7)",
         midiHeader(0, 1) + chunk("MTrk", raw({0x00, 0xF7, 0x01, 0x7F}) + kPiano + kNote + kEnd), false},
        {"a tempo of the wrong length",
         midiHeader(0, 1) + chunk("MTrk", raw({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}) + kPiano + kNote + kEnd), false},
        {"timed in SMPTE frames", midiHeader(0, 1, 0xE728) + kTrack, false},
        {"a track cut short", midiHeader(0, 1) + kTrack.substr(0, kTrack.size() - 6), false},
        {"not a MIDI file", "RIFF\x10\0\0\0RMIDdata", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fluidSynthSounds(c.file), c.plays) << "FluidSynth";
        EXPECT_EQ(readTune(c.file).verdict == TuneVerdict::Sounding, c.plays) << "the reader";
    }
}

TEST(TuneReader, GivesWhatSelectsInstrumentsInTheOrderThePlayerSendsIt)
{
    using Kind = TuneEvent::Kind;
    // A second track switches channel 0 to the organ between its notes, and
    // resets the synthesizer before the drums.
    const std::string melody = chunk(
        "MTrk", kPiano + raw({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0x40, 0x00, 0x90, 62, 100, 0x60, 0x80, 62, 0x40}) + kEnd);
    const std::string changes =
        chunk("MTrk", raw({0x30, 0xB0, 0x00, 0x08, 0x00, 0xC0, 19, 0x60}) + kGsReset.substr(1)
                          + raw({0x00, 0x99, 36, 100}) + kEnd);
    const TuneReading reading = readTune(midiHeader(1, 2) + melody + changes);
    ASSERT_EQ(reading.verdict, TuneVerdict::Sounding);
    std::vector<std::pair<Kind, int>> events;
    for (const auto& event : reading.events)
        events.emplace_back(event.kind, event.kind == Kind::Sysex ? static_cast<int>(event.length) : event.number);
    EXPECT_EQ(events, (std::vector<std::pair<Kind, int>>{{Kind::Program, 0},
                                                          {Kind::NoteOn, 60},
                                                          {Kind::BankSelect, 0},
                                                          {Kind::Program, 19},
                                                          {Kind::Sysex, 9},
                                                          {Kind::NoteOn, 36}}));
}

}  // namespace
}  // namespace zentick::platform
