// Any bytes as the settings file, read through the real readIni with the
// message boxes recorded. Whatever the file holds, the clock must be able to
// run on what was read, and a file read without complaint must save and read
// back to the very same settings.

#include "core/zone_table.h"
#include "settings/ini_file.h"
#include "settings/ini_format.h"
#include "support/fakes.h"

#include <bit>
#include <cstdlib>
#include <sstream>

namespace {

using namespace zentick;

void require(bool condition)
{
    if (!condition)
        std::abort();
}

ClockState readFrom(const std::string& content, test::RecordingMessageBox& messages)
{
    test::MemoryFileSystem files;
    const test::FixedProgramDir dir{"/zentick"};
    files.files[settings::iniPath(dir.path())] = content;
    ClockState state;
    settings::readIni(state, {files, dir, messages});
    return state;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string content(reinterpret_cast<const char*>(data), size);
    test::RecordingMessageBox messages;
    const ClockState state = readFrom(content, messages);

    // An existing file never brings the notice, and at most one failure.
    require(messages.shown.size() <= 1);
    for (const auto& message : messages.shown)
        require(message.icon == platform::MessageIcon::Critical && message.text.ends_with(" (in readIni)"));
    require(isSupportedArea(state.area));
    require(state.worldTime == 0 && state.alarmDone == 0);

    if (messages.shown.empty()) {
        test::RecordingMessageBox again;
        const ClockState reread = readFrom(settings::formatIniLine(state), again);
        require(again.shown.empty());
        require(reread.area == state.area && reread.summer == state.summer && reread.buzzer == state.buzzer);
        require(std::bit_cast<std::uint64_t>(reread.alarmTime) == std::bit_cast<std::uint64_t>(state.alarmTime));
    }
    return 0;
}
