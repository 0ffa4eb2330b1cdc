// Any bytes as the alarm's tune: a file the user put beside the program,
// which may be damaged, cut short, or not a tune at all.

#include "platform/tune/tune_reader.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using zentick::platform::TuneEvent;
    using zentick::platform::TuneVerdict;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto reading = zentick::platform::readTune(bytes);
    // Only a tune that plays says what it plays, and one that sounds has a note.
    if (reading.verdict == TuneVerdict::Unreadable && !reading.events.empty())
        std::abort();
    bool noted = false;
    for (const auto& event : reading.events) {
        if (event.channel > 15)
            std::abort();
        // A message's bytes lie within the file, past its F0.
        if (event.kind == TuneEvent::Kind::Sysex && (event.at == 0 || event.at > size || event.length > size - event.at))
            std::abort();
        noted = noted || event.kind == TuneEvent::Kind::NoteOn;
    }
    if ((reading.verdict == TuneVerdict::Sounding) != noted)
        std::abort();
    return 0;
}
