#include "core/alarm_aftermath.h"

#include "core/show_time.h"

#include <chrono>
#include <utility>

namespace zentick {

namespace {

// Why no tick saw the alarm's minute, for the user: the computer slept
// (logind said so, or the boot clock ran on while the monotonic one stood),
// the clock itself stood (time went by awake with no alarm decision: the
// program was stopped, or waited on a box), or else the computer's clock
// was set forward.
std::string_view whyUnseen(bool woke, platform::Uptime since)
{
    using namespace std::chrono_literals;
    if (woke || since.asleep >= 1min)
        return "コンピューターがスリープしていたため";
    if (since.awake >= 1min)
        return "この時計が止まっていたため";
    return "コンピューターの時計が進められたため";
}

// The words of the alarm's desktop notice.
std::string alarmWords(DateValue alarmTime)
{
    return "アラームの時刻 " + formatZoneTime(alarmTime) + " になりました。";
}

std::string missedWords(std::string_view why, DateValue alarmTime)
{
    return std::string(why) + "、アラームの時刻 " + formatZoneTime(alarmTime) + " に鳴らせませんでした。";
}

}  // namespace

AlarmAftermath::AlarmAftermath(const ClockState& state, const ClockFace& face, const Devices& devices)
    : m_state(state)
    , m_face(face)
    , m_devices(devices)
{
}

void AlarmAftermath::decided(AlarmAction action, const platform::LocalDateTime& now, const platform::Uptime& uptime)
{
    const platform::Uptime sinceDecision = uptime - std::exchange(m_decidedUptime, uptime);
    const bool woke = std::exchange(m_wokeSinceDecision, false);
    if (action == AlarmAction::Missed) {
        // Told without waiting, and why.
        const std::string words = missedWords(whyUnseen(woke, sinceDecision), m_state.alarmTime);
        showNotice(words);
        m_devices.messages.notify(words);
    } else if (action != AlarmAction::None) {
        showNotice(alarmWords(m_state.alarmTime));  // seen on a muted or soundless machine too
    }
    if (action == AlarmAction::Beep || action == AlarmAction::Burst)
        m_alarmRang = true;
    // A burst runs on every tick until a decision finds none due.
    m_bursting = action == AlarmAction::Burst;
    if (action == AlarmAction::ShowMidi)
        tuneShown();
    ringTuneBells();
    tellIfUnheard();
    keepAwakeWhileSounding();
    planWakeUp(now);
}

void AlarmAftermath::ticked()
{
    ringTuneBells();
}

void AlarmAftermath::computerWoke()
{
    m_wokeSinceDecision = true;
    m_wakeUpSpent = m_wakeUp.has_value();
}

void AlarmAftermath::rearmed()
{
    m_tuneBells = false;
    m_bursting = false;
    m_alarmRang = false;
    m_unheardTold = false;
    m_devices.beeper.silence();
    withdrawNotice();
    keepAwakeWhileSounding();
}

void AlarmAftermath::planWakeUp(const platform::LocalDateTime& now)
{
    const std::optional<std::int64_t> next = nextAlarmStart(m_face.alarmChecked(), m_state, now);
    if (next == m_wakeUp && !std::exchange(m_wakeUpSpent, false))
        return;
    m_wakeUp = next;
    m_devices.wakeUp.plan(next);
}

void AlarmAftermath::tuneShown()
{
    m_tuneShown = true;
    keepAwakeWhileSounding();
}

void AlarmAftermath::tuneClosed()
{
    m_tuneShown = false;
    withdrawNotice();
    keepAwakeWhileSounding();
}

void AlarmAftermath::tuneFailing()
{
    m_tuneBells = true;
    showNotice(alarmWords(m_state.alarmTime));
    ringTuneBells();
    keepAwakeWhileSounding();
}

void AlarmAftermath::tuneFailureAnswered()
{
    if (std::exchange(m_tuneBells, false))
        m_devices.beeper.silence();
    withdrawNotice();
    keepAwakeWhileSounding();
}

void AlarmAftermath::ended()
{
    withdrawNotice();
    m_tuneBells = m_bursting = m_tuneShown = false;
    keepAwakeWhileSounding();
    if (m_wakeUp) {
        m_wakeUp.reset();
        m_devices.wakeUp.plan(std::nullopt);
    }
}

void AlarmAftermath::showNotice(const std::string& words)
{
    if (std::exchange(m_noticeShown, true))
        return;
    m_devices.notice.show(words);
}

void AlarmAftermath::withdrawNotice()
{
    if (std::exchange(m_noticeShown, false))
        m_devices.notice.withdraw();
}

void AlarmAftermath::ringTuneBells()
{
    if (!m_tuneBells)
        return;
    if (!tuneBellsDue(m_face.alarmChecked(), m_state)) {
        m_tuneBells = false;
        m_devices.beeper.silence();
        keepAwakeWhileSounding();
        return;
    }
    m_alarmRang = true;
    ringBurst(m_devices.beeper);
    tellIfUnheard();
}

void AlarmAftermath::tellIfUnheard()
{
    if (!m_alarmRang || m_unheardTold)
        return;
    const std::string why = m_devices.beeper.unheardBecause();
    if (why.empty())
        return;
    m_unheardTold = true;
    m_devices.messages.notify("アラームが鳴っていますが、音が出せません: " + why);
}

void AlarmAftermath::keepAwakeWhileSounding()
{
    // A single beep is over before any sleep could come.
    const bool sounding = m_bursting || m_tuneShown || m_tuneBells;
    if (sounding != m_awake) {
        m_awake = sounding;
        m_devices.sleep.keepAwake(sounding);
    }
}

}  // namespace zentick
