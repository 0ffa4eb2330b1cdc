#pragma once

// The tune is played by a helper process, the program itself started with
// kTunePlayerSwitch: FluidSynth, its audio libraries and a SoundFont then
// live and die with that process, and the clock is back to its own size
// once no tune is wanted. This is the line protocol between the two.
//
// The helper first says which protocol it speaks, unasked: a helper from
// another build is refused rather than misread. Then the clock writes one
// command per line and the helper answers each with one line, except
// `tune` and `prepare`, which it never answers; the clock never waits for
// an answer, it reads them as they come:
//
//   zentick-tune-player <version>    the helper's greeting
//   tune <length> <path>   then <length> bytes: the tune file of that name,
//                          as the clock read it; the helper reads no tune
//                          file itself
//   prepare <path> | release | type <text> | file <path> | open | play | close | poll
//   ok [<state>]      the step was taken; poll adds the state
//   error <text>      the player refused; the text is for the user
//   lost <text>       the tune's audio output was lost where this helper may
//                     open no other (the sound server went away): a new
//                     helper may; the text is for the user if none can
//
// Texts and paths are UTF-8 with backslash, newline and carriage return
// escaped, so every message is one line.

#include "platform/midi_player.h"

#include <optional>
#include <string>
#include <string_view>

namespace zentick::platform {

inline constexpr std::string_view kTunePlayerSwitch = "--tune-player";

namespace midi_wire {

// Changes whenever a command or a reply changes meaning.
inline constexpr int kProtocolVersion = 5;
std::string greeting();

// The `tune` command with its bytes, as the clock sends it.
std::string tuneMessage(const std::filesystem::path& file, std::string_view bytes);

std::string escape(std::string_view text);
std::string unescape(std::string_view text);

std::string_view stateName(MidiState state);
std::optional<MidiState> stateNamed(std::string_view name);

// A reply line as the clock reads it: what an `ok` adds (a state, or
// nothing), or the player's refusal. Nothing for a line that is neither.
struct Reply {
    bool refused = false;
    bool lost = false;  // refused, and a new helper may do better
    std::string text;
};
std::optional<Reply> readReply(std::string_view line);

// A path as UTF-8 on the wire, whatever the platform's own encoding.
std::string pathText(const std::filesystem::path& path);
std::filesystem::path textPath(std::string_view text);

}  // namespace midi_wire

}  // namespace zentick::platform
