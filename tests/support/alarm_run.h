#pragma once

// One alarm as a user meets it: the real program in a folder of its own,
// its clock set by libfaketime a few seconds before the alarm minute, the
// alarm box checked by a click, and the sound server's sink recorded.

#include "support/logind.h"
#include "support/midi_file.h"
#include "support/sound_server.h"
#include "support/temp_dir.h"
#include "support/x_display.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iomanip>
#include <sstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zentick::test {

using namespace sound;

// Quieter than this is silence: the null sink gives exact zeros.
constexpr double kAudibleDbfs = -50;
// The program's clock reads this at its exec, and runs on from there: the
// alarm minute begins 2 s later and lasts a minute, so the first tick (3 s
// after the timer starts, which is between the exec and the window's
// appearance) falls in it, however long the start-up takes.
constexpr const char* kFakeStart = "2026-12-08 06:59:58";
constexpr auto kFirstTick = 3s;

// The program's clock through libfaketime, which reads an offset from the
// real clock in a file at every look: set before the program starts, and
// moved while it runs, as a time-sync step or a computer's sleep moves it.
class FakeClock {
public:
    // The clock reads `local` ("2026-12-08 06:59:58", Japan time) now, and runs on.
    FakeClock(std::filesystem::path file, const std::string& local) : m_file(std::move(file)) { set(local); }

    void set(const std::string& local)
    {
        std::tm fields{};
        std::istringstream(local) >> std::get_time(&fields, "%Y-%m-%d %H:%M:%S");
        constexpr long kJapan = 9 * 3600;  // ahead of UTC, with no summer time
        const auto at = std::chrono::system_clock::from_time_t(timegm(&fields) - kJapan);
        write(std::chrono::duration<double>(at - std::chrono::system_clock::now()).count());
    }
    void forward(std::chrono::duration<double> by) { write(m_offset + by.count()); }

    // What the program's environment needs, beside libfaketime itself.
    std::vector<std::string> environment() const
    {
        return {"FAKETIME_TIMESTAMP_FILE=" + m_file.string(), "FAKETIME_NO_CACHE=1"};
    }

private:
    void write(double offset)
    {
        m_offset = offset;
        char text[32];
        std::snprintf(text, sizeof text, "%+.3f\n", offset);
        // Whole or not at all, for a program that reads it at any moment.
        writeBytes(m_file.string() + ".new", text);
        std::filesystem::rename(m_file.string() + ".new", m_file);
    }

    std::filesystem::path m_file;
    double m_offset = 0;
};

// The alarm box's check mark: its place in the window, in twips, over the
// window's size.
inline void clickAlarmBox(XDisplay& display, Window window)
{
    display.click(window, (1920.0 + 90.0) / 3405.0, (180.0 + 90.0) / 1185.0);
}

// The SoundFont the alarm tests put beside the program: the small General
// MIDI one the test command installs, whatever the system's default; or,
// with ZENTICK_TEST_SOUND_FONT=default, none, so that FluidSynth's own
// default plays, as on most users' machines (tools/dev test-sound-fonts
// makes each of the large ones that default in turn).
inline std::filesystem::path testSoundFont()
{
    const char* chosen = std::getenv("ZENTICK_TEST_SOUND_FONT");
    if (chosen && std::string(chosen) == "default")
        return {};
    return "/usr/share/sounds/sf2/TimGM6mb.sf2";
}

struct AlarmProgram {
    std::filesystem::path program;              // the zentick to copy
    std::string faketime;                       // libfaketime, preloaded
    std::vector<std::string> environment = {};  // anything more it runs with
    // Put beside it, as a user puts their own, unless another is named.
    // The levels the tests expect are TimGM6mb's, and hold for the others.
    std::filesystem::path soundFont = testSoundFont();
    std::string preload = {};  // a library of the test's to load into it too, and into its helper
};

// How the program under test runs: its clock set by libfaketime through
// `clock`, its sound through `server` when one is named.
inline std::vector<std::string> programEnvironment(const AlarmProgram& how, const FakeClock& clock,
                                                   const std::string& server = {})
{
    std::vector<std::string> environment = {
        "LD_PRELOAD=" + how.faketime + (how.preload.empty() ? "" : ":" + how.preload),
        "FAKETIME_DONT_FAKE_MONOTONIC=1", "NO_FAKE_STAT=1",
        // The computer's clock runs on Japan time, whatever the machine's.
        "TZ=JST-9",
        // A sanitized build wants its runtime first, and faketime is preloaded.
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"};
    const auto faked = clock.environment();
    environment.insert(environment.end(), faked.begin(), faked.end());
    environment.insert(environment.end(), how.environment.begin(), how.environment.end());
    if (!server.empty())
        environment.push_back("PULSE_SERVER=" + server);
    return environment;
}

struct Alarm {
    Clock::time_point started;  // exec: the first tick comes 3 s after, or later
    Clock::time_point shown;    // the main window seen: the first tick comes 3 s after, or earlier
    std::vector<Recording::Block> heard;  // from the start on
    bool tuneWindowStayed = false;
    bool programRan = false;

    // The first audible block after the start, with the bounds of its
    // latency from the alarm tick.
    const Recording::Block* firstSound() const { return firstSoundAfter(started); }
    const Recording::Block* firstSoundAfter(Clock::time_point from) const
    {
        for (const auto& block : heard) {
            if (block.arrived > from && dbfs(block.peak) > kAudibleDbfs)
                return &block;
        }
        return nullptr;
    }
    // The loudest in `span` from `from` on, in dBFS.
    double peakIn(Clock::time_point from, Clock::duration span) const
    {
        int peak = 0;
        for (const auto& block : heard) {
            if (block.arrived >= from && block.arrived < from + span)
                peak = std::max(peak, block.peak);
        }
        return dbfs(peak);
    }
    const Recording::Block* lastSoundBefore(Clock::time_point until) const
    {
        const Recording::Block* last = nullptr;
        for (const auto& block : heard) {
            if (block.arrived < until && dbfs(block.peak) > kAudibleDbfs)
                last = &block;
        }
        return last;
    }
    std::chrono::milliseconds latestLatency(const Recording::Block& block) const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(block.arrived - (started + kFirstTick));
    }
    std::chrono::milliseconds earliestLatency(const Recording::Block& block) const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(block.arrived - (shown + kFirstTick));
    }
    // Of the `window`-long stretches of [from, from + span), the share in
    // which something is heard. A bell's own faint tail and the sound
    // server's start of the next stream are far shorter than 50 ms: a pause
    // the ear would notice is not.
    double audibleShare(Clock::time_point from, Clock::duration span, Clock::duration window = 10ms) const
    {
        const auto windows = static_cast<std::size_t>(span / window);
        std::vector<bool> audible(windows, false);
        for (const auto& block : heard) {
            if (block.arrived >= from && block.arrived < from + span && dbfs(block.peak) > kAudibleDbfs)
                audible[static_cast<std::size_t>((block.arrived - from) / window)] = true;
        }
        return windows == 0 ? 0.0
                            : static_cast<double>(std::count(audible.begin(), audible.end(), true)) / static_cast<double>(windows);
    }
};

// A copy of the program in `folder`, its alarm at 7:00 with the given sound,
// and beside it the SoundFont `how` names.
inline std::filesystem::path placeProgram(const TempDir& folder, const AlarmProgram& how, int buzzer)
{
    const std::filesystem::path program = folder.path() / "zentick";
    std::filesystem::copy_file(how.program, program);
    std::error_code absent;
    const auto soundFont = std::filesystem::canonical(how.soundFont, absent);
    if (!how.soundFont.empty() && !absent)
        std::filesystem::create_symlink(soundFont, folder.path() / "Zentick.sf2");
    writeBytes(folder.path() / "Zentick.ini", "5,0,#07:00:00#," + std::to_string(buzzer) + "\r\n");
    return program;
}

// What a test may reach while the alarm sounds, to break things or watch.
struct DuringAlarm {
    pid_t program;
    std::filesystem::path folder;  // the program's own, with its settings
    // The session ends (SIGTERM): how long the program took to go.
    std::function<std::optional<Clock::duration>()> endSession;
    const Alarm& alarm;
    SoundServer& server;
    XDisplay& display;
    // After a restart of the server: recording goes on, what was heard is kept.
    std::function<void()> recordAgain;
    FakeClock& clock;  // the program's
};
using Meanwhile = std::function<void(DuringAlarm&)>;

// The program with the given sound, its clock started at `fakeStart`, heard
// for `listen` after its first tick; `meanwhile` runs from the click on the
// alarm box, and may take longer.
inline Alarm hearAlarm(SoundServer& server, XDisplay& display, const AlarmProgram& how, int buzzer,
                       const std::string& tune, Clock::duration listen, const Meanwhile& meanwhile = {},
                       const std::string& fakeStart = kFakeStart)
{
    Alarm alarm;
    if (!display.ok())
        return alarm;
    TempDir folder;
    const auto program = placeProgram(folder, how, buzzer);
    if (!tune.empty())
        writeBytes(folder.path() / "Zentick.mid", tune);

    // What an earlier program left playing in the server has ended.
    for (int i = 0; i < 500 && !server.streams().empty(); ++i)
        std::this_thread::sleep_for(20ms);
    auto recording = std::make_unique<Recording>(server);
    recording->waitUntilUnderWay();
    FakeClock clock(folder.path() / "faketime", fakeStart);
    alarm.started = Clock::now();
    {
        Child zentick({program.string()}, programEnvironment(how, clock, server.address()));
        const auto window = display.waitForWindow("ぽるたんの世界時計", 5);
        alarm.shown = Clock::now();
        if (!window)
            return alarm;
        alarm.programRan = true;
        clickAlarmBox(display, *window);
        if (meanwhile) {
            DuringAlarm during{zentick.pid(), folder.path(), [&] { return zentick.endOnRequest(30s); }, alarm, server,
                               display, [&] {
                                   const auto heard = recording->blocks();
                                   alarm.heard.insert(alarm.heard.end(), heard.begin(), heard.end());
                                   recording = std::make_unique<Recording>(server);
                                   recording->waitUntilUnderWay();
                               },
                               clock};
            meanwhile(during);
        }
        // The first tick comes at most a tick after the window appeared,
        // however long the program took to start.
        std::this_thread::sleep_until(alarm.shown + kFirstTick + listen);
        alarm.tuneWindowStayed = display.isShown("時間ですよ！");
    }
    const auto heard = recording->blocks();
    alarm.heard.insert(alarm.heard.end(), heard.begin(), heard.end());
    return alarm;
}

// The message box of a failure, titled with the program's name: when it showed.
inline std::optional<Clock::time_point> failureShown(DuringAlarm& during, int seconds)
{
    if (!during.display.waitForWindow("Zentick", 20, seconds))
        return std::nullopt;
    return Clock::now();
}

// A tune's last moments: when its stream went, and then the CPU the clock
// and its helper used over `span`, against an idle clock started beside it
// for the same span. Ticks are the kernel's clock ticks.
struct AfterTune {
    std::optional<Clock::time_point> streamGone;
    long tuneTicks = -1;
    long idleTicks = -1;
};

inline long cpuTicks(pid_t pid);

inline AfterTune watchTuneEnd(DuringAlarm& during, const AlarmProgram& how, Clock::duration span)
{
    AfterTune after;
    bool streamSeen = false;
    const auto until = Clock::now() + 14s;
    while (!after.streamGone && Clock::now() < until) {
        const bool streaming = !during.server.streams().empty();
        streamSeen = streamSeen || streaming;
        if (streamSeen && !streaming)
            after.streamGone = Clock::now();
        std::this_thread::sleep_for(50ms);
    }
    // Started only now, so that its start does not slow the tune's.
    TempDir idleFolder;
    const FakeClock noon(idleFolder.path() / "faketime", "2026-12-08 12:00:00");
    Child idle({placeProgram(idleFolder, how, 2).string()}, programEnvironment(how, noon, during.server.address()));
    std::this_thread::sleep_for(1s);
    const long tuneBefore = cpuTicks(during.program);
    const long idleBefore = cpuTicks(idle.pid());
    std::this_thread::sleep_for(span);
    after.tuneTicks = cpuTicks(during.program) - tuneBefore;
    after.idleTicks = cpuTicks(idle.pid()) - idleBefore;
    return after;
}

// Resident memory of a process, in KiB.
inline long residentKib(pid_t pid)
{
    const std::string status = readBytes("/proc/" + std::to_string(pid) + "/status");
    const auto at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

// A process's share of the memory it maps with others, in KiB: what a
// helper costs beyond the libraries it shares with the program.
inline long proportionalKib(pid_t pid)
{
    const std::string rollup = readBytes("/proc/" + std::to_string(pid) + "/smaps_rollup");
    const auto at = rollup.find("\nPss:");
    return at == std::string::npos ? -1 : std::strtol(rollup.c_str() + at + 5, nullptr, 10);
}

// The processes a process has started: the program's tune helper.
inline std::vector<pid_t> childrenOf(pid_t parent)
{
    std::vector<pid_t> children;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        // Past the command's name in parentheses: the state, then the parent.
        const std::string stat = readBytes(entry.path() / "stat");
        const auto close = stat.rfind(')');
        if (close != std::string::npos && std::strtol(stat.c_str() + close + 4, nullptr, 10) == parent)
            children.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return children;
}

// CPU time a process and the processes it started have used, in clock ticks.
inline long cpuTicks(pid_t pid)
{
    long ticks = 0;
    std::vector<pid_t> processes = childrenOf(pid);
    processes.push_back(pid);
    for (const pid_t process : processes) {
        // Past the command's name: utime and stime are the 12th and 13th fields after it.
        const std::string stat = readBytes("/proc/" + std::to_string(process) + "/stat");
        const auto close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string field;
        for (int i = 0; i < 11 && fields >> field; ++i) {
        }
        long user = 0;
        long system = 0;
        fields >> user >> system;
        ticks += user + system;
    }
    return ticks;
}

// The computer suspended for `asleep` and woken again: the program and its
// helpers stopped as a suspend freezes them (the sound server too, when
// asked), their clock moved on, then let go with logind's word that the
// computer woke. Returns the moment of waking.
inline Clock::time_point sleepAndWake(DuringAlarm& during, const FakeLogind& logind, std::chrono::seconds asleep,
                                      bool serverToo = false)
{
    logind.prepareForSleep(true);
    std::vector<pid_t> frozen = childrenOf(during.program);
    frozen.push_back(during.program);
    for (const pid_t pid : frozen)
        ::kill(pid, SIGSTOP);
    if (serverToo)
        during.server.freeze(true);
    during.clock.forward(asleep);
    // Long enough for a sound server's clients to find it gone, if they would.
    std::this_thread::sleep_for(serverToo ? 3s : 500ms);
    if (serverToo)
        during.server.freeze(false);
    // Read before they run again: a program let go can show the new time
    // before this thread is given the processor back.
    const auto woke = Clock::now();
    for (const pid_t pid : frozen)
        ::kill(pid, SIGCONT);
    logind.prepareForSleep(false);
    return woke;
}

// What a process's threads have used of the processor, and how often they
// were woken (context switches, each a wake-up or a preemption), so far.
struct Activity {
    std::chrono::nanoseconds cpu{0};
    long switches = 0;
};

inline Activity activityOf(pid_t pid)
{
    Activity activity;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code gone;
    for (const auto& task : std::filesystem::directory_iterator(tasks, gone)) {
        activity.cpu += std::chrono::nanoseconds(std::strtoll(readBytes(task.path() / "schedstat").c_str(), nullptr, 10));
        const std::string status = readBytes(task.path() / "status");
        for (const char* field : {"\nvoluntary_ctxt_switches:", "\nnonvoluntary_ctxt_switches:"}) {
            if (const auto at = status.find(field); at != std::string::npos)
                activity.switches += std::strtol(status.c_str() + at + std::strlen(field), nullptr, 10);
        }
    }
    return activity;
}

struct Resident {
    long program = -1;  // KiB
    long helpers = 0;   // KiB, of the processes it started
    long helpersProportional = 0;
    int helperCount = 0;
    long total() const { return program + helpers; }
};

inline Resident residentWithHelpers(pid_t pid)
{
    Resident resident{residentKib(pid)};
    for (const pid_t child : childrenOf(pid)) {
        if (const long kib = residentKib(child); kib > 0) {
            resident.helpers += kib;
            resident.helpersProportional += proportionalKib(child);
            ++resident.helperCount;
        }
    }
    return resident;
}

struct TuneMemory {
    Resident neverArmed;   // before the alarm box was first checked
    Resident armed;        // with a MIDI alarm armed, its sounds loaded
    Resident switchedOff;  // after the alarm box was switched off again
};

// The program in MIDI mode with a piano melody beside it, its alarm hours
// away: what a tune's sounds cost while they are held and after they are
// let go.
inline TuneMemory memoryWithTuneArmed(XDisplay& display, const AlarmProgram& how)
{
    TuneMemory memory;
    if (!display.ok())
        return memory;
    TempDir folder;
    const auto program = placeProgram(folder, how, 2);
    writeBytes(folder.path() / "Zentick.mid", pianoMelody());  // the tune whose instruments are held
    const FakeClock noon(folder.path() / "faketime", "2026-12-08 12:00:00");
    Child zentick({program.string()}, programEnvironment(how, noon));
    const auto window = display.waitForWindow("ぽるたんの世界時計", 5);
    if (!window)
        return memory;
    // Each measure once the helpers have settled: none, or all grown to their size.
    const auto settled = [&](bool helperWanted) {
        Resident last = residentWithHelpers(zentick.pid());
        int steady = 0;
        for (int i = 0; i < 120 && steady < 4; ++i) {
            std::this_thread::sleep_for(250ms);
            const Resident now = residentWithHelpers(zentick.pid());
            const bool still = now.helperCount == (helperWanted ? 1 : 0) && now.helpers == last.helpers
                && std::abs(now.program - last.program) < 64;
            steady = still ? steady + 1 : 0;
            last = now;
        }
        return last;
    };
    memory.neverArmed = settled(false);
    clickAlarmBox(display, *window);
    memory.armed = settled(true);
    clickAlarmBox(display, *window);
    memory.switchedOff = settled(false);
    return memory;
}

}  // namespace zentick::test
