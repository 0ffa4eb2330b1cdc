#pragma once

// What the windows are handed: the platform they reach the world through.

#include "platform/alarm_notice.h"
#include "platform/alarm_wake_up.h"
#include "platform/beeper.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/midi_player.h"
#include "platform/program_dir.h"
#include "platform/sleep_watch.h"

#include <QString>

#include <string_view>

namespace zentick::ui {

struct UiPlatform {
    const platform::Clock& clock;
    platform::Beeper& beeper;
    platform::MessageBox& messages;
    platform::FileSystem& files;
    const platform::ProgramDir& programDir;
    platform::MidiPlayer& midi;
    platform::AlarmNotice& notice;
    platform::SleepWatch& sleep;
    platform::AlarmWakeUp& wakeUp;
};

// Text from the core and the platform, which is UTF-8, for the windows.
inline QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace zentick::ui
