#pragma once

// The tune helper's side of the line protocol in wire.h: the process that
// plays the tunes for the clock.

#include "platform/midi_player.h"
#include "platform/tune/tune_reader.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zentick::platform {

// The tune's audio output was lost where this helper cannot open another
// (the sound server went away): a new helper may.
class MidiOutputLost : public MidiError {
public:
    using MidiError::MidiError;
};

// What the helper serves: a MIDI player that is handed each tune's bytes
// by the clock, since the helper opens no tune file itself.
class TunePlayer : public MidiPlayer {
public:
    // The file `file` holds `bytes`: what prepare() and open() of that file take.
    virtual void setTune(const std::filesystem::path& file, std::string bytes) = 0;
    // It can serve no more tunes, where a new helper might: it looked for
    // sounds in vain, and may look nowhere new.
    virtual bool spent() const noexcept { return false; }
};

// The helper's side: carries out one command line on the player, with the
// bytes that followed it (for `tune`), and gives the reply line (without
// its newline), or nothing for a command that gets no reply.
std::optional<std::string> answerMidiCommand(TunePlayer& player, std::string_view command, std::string payload = {});

// The bytes that follow a command line: the length a `tune` command gives,
// 0 for any other, nothing for a length that is no number or too large.
std::optional<std::size_t> payloadLength(std::string_view command);

// The environment the helper runs with, of the clock's ("NAME=value"):
// what the C library, the sound client and the program's own folders need,
// and nothing that leads elsewhere (no display, no compositor, no session
// bus). The sound server is named, so that no client library looks for
// another or starts one.
std::vector<std::string> helperEnvironment(const std::vector<std::string>& environment);

// Serves the player on the process's standard input and output until the
// input ends, which is when the clock lets the helper go or itself ends.
// Standard output is kept for the replies: anything a library prints there
// goes to standard error instead.
int serveMidiPlayer(TunePlayer& player);

}  // namespace zentick::platform
