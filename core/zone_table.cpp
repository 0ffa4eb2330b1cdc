#include "core/zone_table.h"

namespace zentick {

const std::array<std::string_view, kZoneCount> kZoneLabels = {
    "ﾄﾝｶﾞ",
    "ﾌｨｰｼﾞ,ﾅｳﾙ",
    "ｻﾊﾘﾝ",
    "ｵｰｽﾄﾗﾘｱ東,ｸﾞｱﾑ,ﾊﾊﾞﾛｽｸ",
    "ｵｰｽﾄﾗﾘｱ中",
    "日本,韓国,北朝鮮",
    "中国,ﾏﾚｰｼｱ,ｵｰｽﾄﾗﾘｱ西",
    "ﾀｲ,ｶﾝﾎﾞｼﾞｱ,ｲﾝﾄﾞﾈｼｱ",
    "ﾊﾞﾝｸﾞﾗﾃﾞｨｼｭ,ﾀｼｹﾝﾄ",
    "ｲﾝﾄﾞ",
    "西ﾊﾟｷｽﾀﾝ",
    "ｱﾗﾌﾞ首長国連邦,ｵﾏｰﾝ",
    "ｲﾗﾝ",
    "ﾓｽｸﾜ,ﾄﾙｺ,ｲﾗｸ",
    "ｷﾞﾘｼｱ,ﾌｨﾝﾗﾝﾄﾞ,ｴｼﾞﾌﾟﾄ",
    "ｲﾀﾘｱ,ﾌﾗﾝｽ,ﾄﾞｲﾂ,ｽｳｪｰﾃﾞﾝ",
    "ｲｷﾞﾘｽ,ﾎﾟﾙﾄｶﾞﾙ,ﾓﾛｯｺ",
    "ｶﾎﾞﾍﾞﾙﾃﾞ",
    "ﾄﾘﾝﾀﾞﾃﾞ",
    "ﾌﾞﾗｼﾞﾙ,ｱﾙｾﾞﾝﾁﾝ",
    "ﾍﾞﾈｽﾞｴﾗ,ﾎﾞﾘﾋﾞｱ,ﾁﾘﾞ",
    "USA東,ｶﾅﾀﾞ東,ﾍﾟﾙｰ",
    "USA中東,ｶﾅﾀﾞ中東,ﾒｷｼｺ",
    "USA中西,ｶﾅﾀﾞ中西",
    "USA西,ｶﾅﾀﾞ西",
    "ｱﾗｽｶ",
    "ﾊﾜｲ,ﾀﾋﾁ",
};

namespace {

std::optional<std::int16_t> toInt16(int value)
{
    if (value < INT16_MIN || value > INT16_MAX)
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

// The table is not stored as data: the half-hour zones 4, 9 and 12 split the
// list into runs whose hours fall by one per index.
int baseHours(int area)
{
    if (area <= 3)
        return 4 - area;
    if (area == 4)
        return 0;
    if (area <= 8)
        return 5 - area;
    if (area == 9)
        return -4;
    if (area <= 11)
        return 6 - area;
    if (area == 12)
        return -6;
    return 7 - area;
}

}  // namespace

std::optional<ZoneOffset> zoneOffset(std::int16_t area, std::int16_t summer)
{
    auto hours = toInt16(baseHours(area));
    if (hours && summer == 1)
        hours = toInt16(*hours + 1);
    if (!hours)
        return std::nullopt;
    const bool halfHour = area == 4 || area == 9 || area == 12;
    return ZoneOffset{*hours, static_cast<std::int16_t>(halfHour ? 30 : 0)};
}

}  // namespace zentick
