#pragma once

// The tune helper's side of the line protocol in wire.h: the process that
// plays the tunes for the clock.

#include "platform/midi_player.h"

#include <optional>
#include <string>
#include <string_view>

namespace zentick::platform {

// The helper's side: carries out one command line on the player and gives
// the reply line (without its newline), or nothing for a command that gets
// no reply.
std::optional<std::string> answerMidiCommand(MidiPlayer& player, std::string_view command);

// Serves the player on the process's standard input and output until the
// input ends, which is when the clock lets the helper go or itself ends.
// Standard output is kept for the replies: anything a library prints there
// goes to standard error instead.
int serveMidiPlayer(MidiPlayer& player);

}  // namespace zentick::platform
