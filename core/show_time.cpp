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

void showZoneTime(ClockState& state, const ClockDevices& devices)
{
    const auto result = computeWorldTime(devices.clock.now(), state.area, state.summer);
    if (const auto* error = std::get_if<WorldTimeError>(&result))
        throw ClockError(describe(*error));
    const auto& zone = std::get<ZoneTime>(result);
    state.worldTime = zone.time;
    devices.face.setDateText(formatZoneDate(zone.date, devices.clock));
    devices.face.setTimeText(formatZoneTime(zone.time));
}

AlarmAction showTime(ClockState& state, const ClockDevices& devices)
{
    showZoneTime(state, devices);
    return ringAlarm(state, devices);
}

}  // namespace zentick
