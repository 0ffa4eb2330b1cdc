#pragma once

// Stand-ins for the platform, so tests set the time, count beeps and read
// every message box instead of showing one.

#include "core/alarm.h"
#include "core/clock_face.h"
#include "platform/alarm_notice.h"
#include "platform/alarm_wake_up.h"
#include "platform/beeper.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/midi_player.h"
#include "platform/program_dir.h"
#include "platform/sleep_watch.h"
#include "platform/tune/helper.h"

#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace zentick::test {

// A reading of a local clock that runs on Japan time (UTC+9), as the user's does.
inline platform::LocalDateTime local(int year, int month, int day, int hour, int minute, int second = 0)
{
    using namespace std::chrono;
    const sys_days date{std::chrono::year{year} / month / day};
    const std::int64_t unixTime = date.time_since_epoch().count() * 86400LL + hour * 3600 + minute * 60 + second - 9 * 3600;
    return {year, month, day, hour, minute, second, unixTime};
}

class FakeClock final : public platform::Clock {
public:
    platform::LocalDateTime time = local(2026, 12, 8, 12, 0);
    mutable int reads = 0;

    platform::LocalDateTime now() const override
    {
        ++reads;
        return time;
    }
    std::string monthAbbreviation(int month) const override
    {
        static const std::array<const char*, 12> names = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        return names.at(static_cast<std::size_t>(month - 1));
    }
    std::string weekdayAbbreviation(int weekday) const override
    {
        static const std::array<const char*, 7> names = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        return names.at(static_cast<std::size_t>(weekday));
    }
};

class CountingBeeper final : public platform::Beeper {
public:
    int beeps = 0;
    int silenced = 0;
    std::string unheard;  // as if every bell failed for this reason
    void beep() override { ++beeps; }
    void silence() override { ++silenced; }
    std::string unheardBecause() const override { return beeps > 0 ? unheard : std::string(); }
};

struct Message {
    std::string text;
    platform::MessageIcon icon;
    bool operator==(const Message&) const = default;
};

class RecordingMessageBox final : public platform::MessageBox {
public:
    std::vector<Message> shown;
    std::vector<std::string> notes;
    // Runs while the box would be open, as the user's part.
    std::function<void(const Message&)> onShow;

    void notify(std::string_view text) override { notes.emplace_back(text); }

    void show(std::string_view text, platform::MessageIcon icon) override
    {
        shown.push_back({std::string(text), icon});
        if (onShow)
            onShow(shown.back());
    }
};

class RecordingAlarmNotice final : public platform::AlarmNotice {
public:
    std::vector<std::string> shown;
    int withdrawn = 0;

    void show(std::string_view text) override { shown.emplace_back(text); }
    void withdraw() override { ++withdrawn; }
};

// The computer's sleep as the test makes it: wake() is logind's word.
class FakeSleepWatch final : public platform::SleepWatch {
public:
    platform::Uptime now;
    std::function<void()> woke;
    std::vector<bool> holds;  // each change of the hold on sleep
    bool held() const { return !holds.empty() && holds.back(); }

    void onWake(std::function<void()> handler) override { woke = std::move(handler); }
    platform::Uptime uptime() const override { return now; }
    void keepAwake(bool awake) override { holds.push_back(awake); }
    void wake()
    {
        if (woke)
            woke();
    }
};

// The wake-ups planned, in order; none for each taken back.
class RecordingWakeUp final : public platform::AlarmWakeUp {
public:
    std::vector<std::optional<std::int64_t>> plans;
    void plan(std::optional<std::int64_t> unixTime) override { plans.push_back(unixTime); }
};

class FakeClockFace final : public ClockFace {
public:
    std::string dateText;
    std::string timeText;
    bool checked = true;
    int midiRequests = 0;
    std::optional<std::string> midiFailure;  // what the next show request reports

    void setDateText(std::string_view text) override { dateText = text; }
    void setTimeText(std::string_view text) override { timeText = text; }
    bool alarmChecked() const override { return checked; }
    std::optional<std::string> showMidiAlarm() override
    {
        ++midiRequests;
        return midiFailure;
    }
};

class FixedProgramDir final : public platform::ProgramDir {
public:
    // `made`: the folder is an installed program's, made when first needed.
    explicit FixedProgramDir(std::filesystem::path dir, bool made = false) : m_dir(std::move(dir)), m_made(made) {}
    std::filesystem::path path() const override { return m_dir; }
    bool makesFolder() const override { return m_made; }

private:
    std::filesystem::path m_dir;
    bool m_made;
};

// Files in memory, with failures injected at will.
class MemoryFileSystem final : public platform::FileSystem {
public:
    std::map<std::filesystem::path, std::string> files;
    std::error_code openFailure;                         // for every open that finds the file
    std::optional<platform::WriteFailure> writeFailure;  // for every replace
    std::function<void()> onReplace;                     // runs as each replace starts
    int replaces = 0;
    int tidyings = 0;

    std::unique_ptr<std::istream> openForReading(const std::filesystem::path& path, std::error_code& error) override
    {
        const auto found = files.find(path);
        error = found == files.end() ? std::make_error_code(std::errc::no_such_file_or_directory) : openFailure;
        if (error)
            return nullptr;
        return std::make_unique<std::istringstream>(found->second);
    }
    std::optional<platform::WriteFailure> replace(const std::filesystem::path& path, std::string_view content) override
    {
        ++replaces;
        if (onReplace)
            onReplace();
        if (writeFailure)
            return writeFailure;
        files[path] = std::string(content);
        return std::nullopt;
    }
    void removeStaleCopies(const std::filesystem::path&) override { ++tidyings; }
    std::error_code makeFolder(const std::filesystem::path& folder) override
    {
        foldersMade.push_back(folder);
        return folderFailure;
    }
    std::vector<std::filesystem::path> foldersMade;
    std::error_code folderFailure;
};

// A sequencer that records every step and refuses the one it is told to.
class FakeMidiPlayer final : public platform::TunePlayer {
public:
    std::map<std::filesystem::path, std::string> tunes;  // as the clock handed them over
    bool asHelper = false;  // opens only a tune the clock handed over, as the helper, which reads no file
    std::vector<std::string> steps;
    std::string refuse;  // "open" or "play"
    bool open_ = false;
    bool playing = false;
    bool holdsSounds = false;  // between prepare() and release()
    std::filesystem::path prepared;  // the tune the sounds are for
    std::filesystem::path file;
    std::string laterFailure;  // what a poll() of an open device throws, after the first
    // Refusals come at the second poll(), the first saying Opening, as from
    // the tune helper.
    bool answersLater = false;
    int polls = 0;
    std::string refusal;

    void setTune(const std::filesystem::path& named, std::string bytes) override { tunes[named] = std::move(bytes); }
    void prepare(const std::filesystem::path& tune) override
    {
        holdsSounds = true;
        prepared = tune;
    }
    void release() noexcept override
    {
        if (!open_)
            holdsSounds = false;
    }

    void setDeviceType(std::string_view type) override { steps.push_back("type " + std::string(type)); }
    void setFileName(const std::filesystem::path& name) override
    {
        steps.emplace_back("file");
        file = name;
    }
    void open() override
    {
        steps.emplace_back("open");
        polls = 0;
        if (refuse == "open")
            fail("曲のファイルが見つかりません");
        if (asHelper && !tunes.contains(file))
            fail("曲が渡されていません");
        open_ = true;
    }
    void play() override
    {
        steps.emplace_back("play");
        if (refuse == "play")
            fail("曲を演奏できません");
        playing = true;
    }
    void fail(const std::string& why)
    {
        if (!answersLater)
            throw platform::MidiError(why);
        if (refusal.empty())
            refusal = why;
    }
    void close() noexcept override
    {
        steps.emplace_back("close");
        open_ = false;
        playing = false;
    }
    bool isOpen() const noexcept override { return open_; }
    platform::MidiState poll() override
    {
        const int earlier = polls++;
        if (answersLater && earlier == 0)
            return platform::MidiState::Opening;
        if (!refusal.empty()) {
            close();
            throw platform::MidiError(std::exchange(refusal, {}));
        }
        if (open_ && !laterFailure.empty() && earlier > 0)
            throw platform::MidiError(std::exchange(laterFailure, {}));
        return !open_ ? platform::MidiState::Closed
                      : playing ? platform::MidiState::Playing : platform::MidiState::Stopped;
    }
};

// Everything a tick reaches, as fakes.
struct FakeDevices {
    FakeClock clock;
    CountingBeeper beeper;
    RecordingMessageBox messages;
    FakeClockFace face;
    ClockDevices devices{clock, beeper, messages, face};
};

}  // namespace zentick::test
