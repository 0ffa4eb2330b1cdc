// Any bytes as the tune helper's reply lines: the clock reads them from
// another process, which may be from another build, broken or hostile.

#include "platform/tune/wire.h"

#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace wire = zentick::platform::midi_wire;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    while (!input.empty()) {
        const auto end = input.find('\n');
        const std::string_view line = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);

        const auto reply = wire::readReply(line);
        if (!reply)
            continue;
        // Unescaping never grows a line, and a refusal reads back as itself.
        if (reply->text.size() > line.size())
            std::abort();
        if (reply->refused && wire::readReply("error " + wire::escape(reply->text))->text != reply->text)
            std::abort();
        if (!reply->refused && reply->text.size() > 0)
            (void)wire::stateNamed(reply->text);
    }
    return 0;
}
