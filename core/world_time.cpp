#include "core/world_time.h"

#include "core/zone_table.h"

namespace zentick {

namespace {

bool fitsInt16(std::int64_t value)
{
    return value >= INT16_MIN && value <= INT16_MAX;
}

}  // namespace

std::variant<ZoneTime, WorldTimeError> computeWorldTime(const platform::LocalDateTime& local, std::int16_t area,
                                                       std::int16_t summer)
{
    const auto offset = zoneOffset(area, summer);
    if (!offset)
        return WorldTimeError::Overflow;
    const std::int64_t hours = offset->hours;
    const std::int64_t extraMinutes = offset->extraMinutes;
    const std::int64_t localSeconds = std::int64_t{local.hour} * 3600 + local.minute * 60 + local.second;

    // Zones ahead of the local clock reach tomorrow before local midnight,
    // zones behind it are still on yesterday after it.
    int dayShift = 0;
    if (area <= 4) {
        if (!fitsInt16(24 - hours))
            return WorldTimeError::Overflow;
        const std::int64_t threshold = (24 - hours) * 3600 - extraMinutes * 60;
        if (threshold < 0)
            return WorldTimeError::NegativeTime;
        if (localSeconds >= threshold)
            dayShift = 1;
    } else if (area == 5) {
        if (localSeconds >= 23 * 3600 && summer == 1)
            dayShift = 1;
    } else {
        const std::int64_t threshold = -hours * 3600 - extraMinutes * 60;
        if (threshold < 0)
            return WorldTimeError::NegativeTime;
        if (localSeconds < threshold)
            dayShift = -1;
    }

    using namespace std::chrono;
    const year_month_day localDate{year{local.year}, month{static_cast<unsigned>(local.month)},
                                   day{static_cast<unsigned>(local.day)}};
    if (!localDate.ok())
        return WorldTimeError::DateOutOfRange;
    const year_month_day zoneDate{sys_days{localDate} + days{dayShift}};
    if (!isRepresentableDate(zoneDate))
        return WorldTimeError::DateOutOfRange;

    std::int64_t zoneHour = local.hour + hours;
    if (!fitsInt16(zoneHour))
        return WorldTimeError::Overflow;
    if (zoneHour < 0)
        zoneHour += 24;
    const std::int64_t zoneMinute = local.minute + extraMinutes;  // may reach 89 and carry
    const std::int64_t total = zoneHour * 3600 + zoneMinute * 60;
    if (total < 0)
        return WorldTimeError::NegativeTime;

    // Rebuild the time from the seconds left after whole days rather than
    // subtracting days from the value: only that keeps it bit-for-bit equal
    // to an alarm time built for the same minute.
    return ZoneTime{dateValueOf(zoneDate), buildTime(0, 0, total % kSecondsPerDay)};
}

std::string describe(WorldTimeError error)
{
    switch (error) {
    case WorldTimeError::Overflow:
        return "地域の時差の計算でオーバーフローしました。";
    case WorldTimeError::NegativeTime:
        return "地域の時刻が負の値になりました。";
    case WorldTimeError::DateOutOfRange:
        return "地域の日付が扱える範囲（100 年から 9999 年）を超えました。";
    }
    return "地域の時刻を計算できません。";
}

std::int64_t minutesSinceEpoch(const platform::LocalDateTime& local)
{
    using namespace std::chrono;
    const year_month_day date{year{local.year}, month{static_cast<unsigned>(local.month)},
                              day{static_cast<unsigned>(local.day)}};
    return static_cast<std::int64_t>(dateValueOf(date)) * 1440 + std::int64_t{local.hour} * 60 + local.minute;
}

std::int64_t minutesSinceEpoch(const ZoneTime& zone)
{
    return static_cast<std::int64_t>(zone.date) * 1440 + secondsOfDay(zone.time) / 60;
}

}  // namespace zentick
