// A tune helper for the clock's side of the protocol: the recording
// sequencer, served as the real helper serves FluidSynth, opening only a
// tune whose bytes the clock handed over. Its one argument names the step
// it refuses.

#include "platform/tune/helper.h"
#include "platform/tune/wire.h"
#include "support/fakes.h"

int main(int argc, char* argv[])
{
    zentick::test::FakeMidiPlayer player;
    player.asHelper = true;
    if (argc > 1)
        player.refuse = argv[1];
    return zentick::platform::serveMidiPlayer(player);
}
