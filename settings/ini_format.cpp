#include "settings/ini_format.h"

#include "core/number_rule.h"
#include "core/zone_table.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace zentick::settings {

namespace {

// A value longer than this is no setting: reading it is a failure, never a
// guess at what its first characters mean.
constexpr std::size_t kMaxValueLength = 256;

// Reads comma- or line-separated values the way the file was written, and
// tolerates what a hand edit leaves: blanks around values, several lines.
class ValueReader {
public:
    explicit ValueReader(std::istream& in) : m_in(in) {}

    // False when the file ends before the value starts.
    bool next(std::string& value)
    {
        value.clear();
        m_tooLong = false;
        int c = m_in.get();
        while (c == ' ' || c == '\t')
            c = m_in.get();
        if (c == EOF)
            return false;
        while (c != EOF && c != ',' && c != '\r' && c != '\n') {
            if (value.size() < kMaxValueLength)
                value += static_cast<char>(c);
            else
                m_tooLong = true;
            c = m_in.get();
        }
        if (c == '\r' && m_in.peek() == '\n')
            m_in.get();
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
            value.pop_back();
        return true;
    }

    bool failed() const { return m_in.bad(); }
    // The last value ran past kMaxValueLength.
    bool tooLong() const { return m_tooLong; }

private:
    std::istream& m_in;
    bool m_tooLong = false;
};

std::string quoted(std::string_view text)
{
    return "「" + std::string(text) + "」";
}

std::optional<int> readField(std::string_view text, int digits, int min, int max)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(digits))
        return std::nullopt;
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max)
        return std::nullopt;
    return value;
}

// "h:mm:ss" (or "h:mm") as seconds since midnight.
std::optional<std::int64_t> parseTimeOfDay(std::string_view text)
{
    const auto first = text.find(':');
    if (first == std::string_view::npos)
        return std::nullopt;
    const auto second = text.find(':', first + 1);
    const auto hour = readField(text.substr(0, first), 2, 0, 23);
    const auto minute = readField(text.substr(first + 1, second == std::string_view::npos ? second : second - first - 1), 2, 0, 59);
    const auto sec = second == std::string_view::npos ? std::optional<int>(0) : readField(text.substr(second + 1), 2, 0, 59);
    if (!hour || !minute || !sec)
        return std::nullopt;
    return std::int64_t{*hour} * 3600 + *minute * 60 + *sec;
}

std::optional<std::chrono::year_month_day> parseDate(std::string_view text)
{
    const auto first = text.find('-');
    const auto second = first == std::string_view::npos ? first : text.find('-', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const auto y = readField(text.substr(0, first), 4, 100, 9999);
    const auto m = readField(text.substr(first + 1, second - first - 1), 2, 1, 12);
    const auto d = readField(text.substr(second + 1), 2, 1, 31);
    if (!y || !m || !d)
        return std::nullopt;
    const std::chrono::year_month_day date{std::chrono::year{*y}, std::chrono::month{static_cast<unsigned>(*m)},
                                           std::chrono::day{static_cast<unsigned>(*d)}};
    if (!date.ok())
        return std::nullopt;
    return date;
}

std::optional<std::string> readInt16(const std::string& text, std::string_view name, std::int16_t& field)
{
    const auto value = roundToInt16(readNumber(text));
    if (!value)
        return std::string(name) + "の値" + quoted(text) + "が大きすぎるか小さすぎます（オーバーフロー）";
    field = *value;
    return std::nullopt;
}

}  // namespace

std::string formatDateItem(DateValue value)
{
    auto days = static_cast<std::int64_t>(std::trunc(value));
    auto seconds = static_cast<std::int64_t>(std::llround(std::abs(value - std::trunc(value)) * kSecondsPerDay));
    if (seconds == kSecondsPerDay) {
        seconds = 0;
        days += value < 0 ? -1 : 1;
    }
    std::string item = "#";
    char buffer[32];
    if (days != 0) {
        const auto date = civilDateOf(static_cast<DateValue>(days));
        std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(date.year()),
                      static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
        item += buffer;
    }
    if (seconds != 0 || days == 0) {
        if (days != 0)
            item += ' ';
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
        item += buffer;
    }
    return item + '#';
}

std::optional<DateValue> parseDateItem(std::string_view item)
{
    if (item.size() < 2 || item.front() != '#' || item.back() != '#')
        return std::nullopt;
    std::string_view inner = item.substr(1, item.size() - 2);
    while (!inner.empty() && inner.front() == ' ')
        inner.remove_prefix(1);
    while (!inner.empty() && inner.back() == ' ')
        inner.remove_suffix(1);
    if (inner.empty())
        return std::nullopt;

    std::string_view datePart;
    std::string_view timePart;
    if (const auto blank = inner.find(' '); blank != std::string_view::npos) {
        datePart = inner.substr(0, blank);
        timePart = inner.substr(inner.find_first_not_of(' ', blank));
    } else if (inner.find('-') != std::string_view::npos) {
        datePart = inner;
    } else {
        timePart = inner;
    }

    DateValue days = 0;
    if (!datePart.empty()) {
        const auto date = parseDate(datePart);
        if (!date)
            return std::nullopt;
        days = dateValueOf(*date);
    }
    if (timePart.empty())
        return days;
    const auto seconds = parseTimeOfDay(timePart);
    if (!seconds)
        return std::nullopt;
    // Before the epoch the fraction still counts forward from midnight.
    const DateValue time = buildTime(0, 0, *seconds);
    return days < 0 ? days - time : days + time;
}

std::string formatIniLine(const ClockState& state)
{
    return std::to_string(state.area) + ',' + std::to_string(state.summer) + ',' + formatDateItem(state.alarmTime)
        + ',' + std::to_string(state.buzzer) + "\r\n";
}

std::optional<std::string> readIniValues(std::istream& in, ClockState& state)
{
    ValueReader reader(in);
    std::string text;
    const auto nextValue = [&](std::string_view name) -> std::optional<std::string> {
        if (reader.next(text)) {
            if (reader.tooLong())
                return std::string(name) + "の値が長すぎます（" + std::to_string(kMaxValueLength) + " 文字まで）";
            return std::nullopt;
        }
        if (reader.failed())
            return std::string("ファイルの読み込み中にエラーが発生しました");
        return std::string("値が 4 つそろう前にファイルが終わりました（ファイルの終わりを越えた読み込み）");
    };

    // The four values by the names the messages give them.
    constexpr std::string_view kArea = "地域";
    constexpr std::string_view kSummer = "夏時間";
    constexpr std::string_view kAlarmTime = "アラーム時刻";
    constexpr std::string_view kBuzzer = "アラームの種類";

    if (auto failure = nextValue(kArea))
        return failure;
    std::int16_t area = 0;
    if (auto failure = readInt16(text, kArea, area))
        return failure;
    if (!isSupportedArea(area)) {
        return std::string(kArea) + "の値" + quoted(text) + "では時刻を計算できません（" + std::to_string(kMinSupportedArea) + " から "
            + std::to_string(kMaxSupportedArea) + " まで）";
    }
    state.area = area;

    if (auto failure = nextValue(kSummer))
        return failure;
    if (auto failure = readInt16(text, kSummer, state.summer))
        return failure;

    if (auto failure = nextValue(kAlarmTime))
        return failure;
    if (text.empty()) {
        state.alarmTime = 0;
    } else if (const auto alarm = parseDateItem(text)) {
        state.alarmTime = *alarm;
    } else {
        return std::string(kAlarmTime) + "の値" + quoted(text) + "を日付・時刻として読めません（型が一致しません）";
    }

    if (auto failure = nextValue(kBuzzer))
        return failure;
    return readInt16(text, kBuzzer, state.buzzer);
}

}  // namespace zentick::settings
