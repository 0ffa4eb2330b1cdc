#pragma once

#include "core/alarm.h"
#include "platform/alarm_notice.h"
#include "platform/alarm_wake_up.h"
#include "platform/sleep_watch.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentick {

// What happens around the alarm beside its sound, fed by each decision: the
// desktop's notice and the window's request for attention, bells in place of
// a tune that cannot sound, a missed alarm told with its reason, a user told
// once why an alarm rings unheard, the computer kept awake while the alarm
// sounds, and woken for the next one where the desktop can.
class AlarmAftermath {
public:
    struct Devices {
        platform::Beeper& beeper;
        platform::MessageBox& messages;
        platform::AlarmNotice& notice;
        platform::SleepWatch& sleep;
        platform::AlarmWakeUp& wakeUp;
    };

    // Reads the alarm's settings from `state` and the box from `face`.
    AlarmAftermath(const ClockState& state, const ClockFace& face, const Devices& devices);

    // After each alarm decision, with the clock's reading it was made on and
    // the uptime read just before it (a decision may wait on a box).
    void decided(AlarmAction action, const platform::LocalDateTime& now, const platform::Uptime& uptime);
    // A tick that only showed the time, while an earlier one waits on a box.
    void ticked();
    // The computer has woken: the next decision knows why an alarm went
    // unseen, and the next wake-up is planned anew, the last one spent.
    void computerWoke();
    // The user re-armed the alarm (the box, or OK in the settings): what
    // sounds stops and the notice goes.
    void rearmed();
    // Plans the wake-up for the alarm as the settings and the box now stand.
    void planWakeUp(const platform::LocalDateTime& now);

    // The tune window has closed: the tune sounded while it was open.
    void tuneClosed();
    // A tune that cannot sound is told in a box: bells ring in its place
    // from the moment it is shown until the user has answered it.
    void tuneFailing();
    void tuneFailureAnswered();

    // The program ends: no notice, no hold on sleep and no wake-up outlive it.
    void ended();

private:
    void tuneShown();
    void showNotice(const std::string& words);
    void withdrawNotice();
    void ringTuneBells();
    void tellIfUnheard();
    // Holds the computer awake exactly while the alarm sounds.
    void keepAwakeWhileSounding();

    const ClockState& m_state;
    const ClockFace& m_face;
    Devices m_devices;

    bool m_noticeShown = false;  // the desktop shows the alarm's notice
    bool m_tuneBells = false;    // bells stand in for the tune
    bool m_bursting = false;     // the last decision sounded a burst
    bool m_tuneShown = false;    // the tune window is open
    bool m_alarmRang = false;    // bells were asked for since the alarm was last armed
    bool m_unheardTold = false;
    bool m_awake = false;        // the computer is held awake
    // At the last alarm decision, and since: for the words of a missed alarm.
    platform::Uptime m_decidedUptime;
    bool m_wokeSinceDecision = false;
    // The wake-up asked for, and whether a wake since may have spent it, so
    // that the next plan is sent even for the same time.
    std::optional<std::int64_t> m_wakeUp;
    bool m_wakeUpSpent = false;
};

}  // namespace zentick
