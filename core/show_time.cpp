#include "core/show_time.h"

#include "core/world_time.h"

#include <variant>

namespace zentick {

std::string formatZoneDate(DateValue date, const platform::Clock& names)
{
    using namespace std::chrono;
    const year_month_day ymd = civilDateOf(date);
    const weekday wd{sys_days{ymd}};
    return names.monthAbbreviation(static_cast<int>(static_cast<unsigned>(ymd.month()))) + ' '
        + std::to_string(static_cast<unsigned>(ymd.day())) + ", "
        + names.weekdayAbbreviation(static_cast<int>(wd.c_encoding()));
}

std::string formatZoneTime(DateValue time)
{
    const auto seconds = secondsOfDay(time);
    const auto minute = seconds / 60 % 60;
    return std::to_string(seconds / 3600) + (minute < 10 ? ":0" : ":") + std::to_string(minute);
}

namespace {

ZoneTime showZoneTimeAt(const platform::LocalDateTime& local, ClockState& state, const ClockDevices& devices)
{
    const auto result = computeWorldTime(local, state.area, state.summer);
    if (const auto* error = std::get_if<WorldTimeError>(&result))
        throw ClockError(describe(*error));
    const auto& zone = std::get<ZoneTime>(result);
    state.worldTime = zone.time;
    devices.face.setDateText(formatZoneDate(zone.date, devices.clock));
    devices.face.setTimeText(formatZoneTime(zone.time));
    return zone;
}

}  // namespace

void showZoneTime(ClockState& state, const ClockDevices& devices)
{
    showZoneTimeAt(devices.clock.now(), state, devices);
}

AlarmAction showTime(ClockState& state, const ClockDevices& devices)
{
    return showTime(state, devices, devices.clock.now());
}

AlarmAction showTime(ClockState& state, const ClockDevices& devices, const platform::LocalDateTime& local)
{
    const std::int64_t zoneMinute = minutesSinceEpoch(showZoneTimeAt(local, state, devices));
    const std::int64_t localMinute = minutesSinceEpoch(local);
    // The last decision's minute in the zone as it is set now: a zone changed
    // since then moves no alarm into the minutes between.
    std::optional<DecisionRuns> runs;
    if (state.decidedAt)
        runs = DecisionRuns{*state.decidedAt + (zoneMinute - localMinute), zoneMinute};
    state.decidedAt = localMinute;
    return ringAlarm(state, devices, runs);
}

}  // namespace zentick
