// Through a private PulseAudio, as the user hears it: from the alarm tick to
// the first audible sample, for each sound (median of 5); from a tune's
// failure shown to the first bell in its place (median of 5); the CPU of the
// clock and its helper in the 10 s after a tune, against an idle clock; the
// resident memory of a clock with a MIDI alarm armed and after it is
// switched off; from waking after 3 minutes' sleep across the alarm to the
// new time shown and to the late alarm's first audible sample (median of 5,
// with a stand-in logind); and an idle clock's CPU and wake-ups over 60 s,
// beside the same figures for ZENTICK_BASELINE, another zentick, when given.
// Runs on an X display and a session bus:
//   dbus-run-session -- xvfb-run -a bench/alarm_sound_bench

#include "support/midi_file.h"
// Xlib's macros clash with little here, but keep them last all the same.
#include "support/alarm_run.h"
#include "support/logind.h"
#include "support/screen_reader.h"
#include "support/sound_font.h"
#include "support/sound_server.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

using namespace zentick::test;

constexpr int kRuns = 5;

double mib(long kib)
{
    return static_cast<double>(kib) / 1024.0;
}

long long median(std::vector<long long> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long long msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

// Clocks left alone at noon, their alarm box off, side by side over `span`:
// for each, the CPU it used (ms) and how often its threads were woken, per second.
std::vector<std::pair<double, double>> idleActivity(const std::vector<AlarmProgram>& programs, Clock::duration span)
{
    std::vector<std::unique_ptr<TempDir>> folders;
    std::vector<std::unique_ptr<FakeClock>> clocks;
    std::vector<std::unique_ptr<Child>> clocksRunning;
    for (const auto& how : programs) {
        folders.push_back(std::make_unique<TempDir>());
        clocks.push_back(std::make_unique<FakeClock>(folders.back()->path() / "faketime", "2026-12-08 12:00:00"));
        clocksRunning.push_back(std::make_unique<Child>(std::vector<std::string>{placeProgram(*folders.back(), how, 2).string()},
                                                        programEnvironment(how, *clocks.back())));
    }
    std::this_thread::sleep_for(5s);  // started, shown and settled
    std::vector<Activity> before;
    for (const auto& running : clocksRunning)
        before.push_back(activityOf(running->pid()));
    std::this_thread::sleep_for(span);
    const double seconds = std::chrono::duration<double>(span).count();
    std::vector<std::pair<double, double>> figures;
    for (std::size_t i = 0; i < clocksRunning.size(); ++i) {
        const Activity after = activityOf(clocksRunning[i]->pid());
        figures.emplace_back(std::chrono::duration<double, std::milli>(after.cpu - before[i].cpu).count(),
                             static_cast<double>(after.switches - before[i].switches) / seconds);
    }
    return figures;
}

}  // namespace

int main()
{
    SoundServer server;
    if (!server.ready()) {
        std::fprintf(stderr, "the private PulseAudio did not start\n");
        return 1;
    }
    XDisplay display;
    if (!display.ok()) {
        std::fprintf(stderr, "no X display: run this under xvfb-run\n");
        return 1;
    }
    const AlarmProgram how{ZENTICK_EXE, FAKETIME_LIBRARY};
    struct Mode {
        const char* name;
        int buzzer;
        std::string tune;
    } const modes[] = {{"one beep", 0, ""}, {"burst", 1, ""}, {"MIDI tune", 2, pianoMelody()}};

    std::printf("Alarm tick to first audible sample (the tick lies between the program's start and its window's\n"
                "appearance, plus 3 s: the first figure takes the latest possible tick, the second the earliest)\n");
    for (const auto& mode : modes) {
        std::vector<long long> earliest;
        std::vector<long long> latest;
        for (int run = 0; run < kRuns; ++run) {
            const Alarm alarm = hearAlarm(server, display, how, mode.buzzer, mode.tune, 1500ms);
            const auto* first = alarm.firstSound();
            if (!first) {
                // The first tick falls in the alarm minute and the bench
                // listens past it: silence is the program's fault.
                std::printf("FAULT: %s, run %d: the alarm was not heard\n", mode.name, run + 1);
                return 1;
            }
            earliest.push_back(alarm.earliestLatency(*first).count());
            latest.push_back(alarm.latestLatency(*first).count());
        }
        std::printf("  %-10s median %lld ms (at most %lld ms), median of %d\n", mode.name, median(earliest),
                    median(latest), kRuns);
    }

    std::vector<long long> toBell;
    for (int run = 0; run < kRuns; ++run) {
        std::optional<Clock::time_point> told;
        const Alarm alarm = hearAlarm(server, display, how, 2, unreadableTune(), 1500ms,
                                      [&](DuringAlarm& during) { told = failureShown(during, 8); });
        const auto* bell = alarm.firstSound();
        if (!bell || !told) {
            std::printf("FAULT: a tune that cannot play, run %d: %s\n", run + 1,
                        told ? "no bells heard" : "its failure was not shown");
            return 1;
        }
        toBell.push_back(msBetween(*told, bell->arrived));
    }
    std::printf("A tune that cannot play: first bell %lld ms from its failure shown (median of %d; negative: "
                "before the box was seen)\n", median(toBell), kRuns);

    AfterTune after;
    hearAlarm(server, display, how, 2, pianoMelody(), 8s,
              [&](DuringAlarm& during) { after = watchTuneEnd(during, how, 10s); });
    std::printf("CPU in the 10 s after a tune ended (from 1 s after its stream went): clock and helper %.2f s, "
                "an idle clock beside it %.2f s\n",
                static_cast<double>(after.tuneTicks) / static_cast<double>(sysconf(_SC_CLK_TCK)),
                static_cast<double>(after.idleTicks) / static_cast<double>(sysconf(_SC_CLK_TCK)));

    const FakeLogind logind;
    if (!logind.ready()) {
        std::fprintf(stderr, "python3-dbusmock's logind did not start\n");
        return 1;
    }
    {
        const ScreenReader reader(ZENTICK_ATSPI_WATCH);
        const AlarmProgram watched{ZENTICK_EXE, FAKETIME_LIBRARY, {logind.environment(), "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"}};
        std::vector<long long> toTime;
        std::vector<long long> toSound;
        for (int run = 0; run < kRuns; ++run) {
            Clock::time_point woke;
            const Alarm alarm = hearAlarm(server, display, watched, 0, "", 1s, [&](DuringAlarm& during) {
                woke = sleepAndWake(during, logind, 3min);
                std::this_thread::sleep_for(4s);
            }, "2026-12-08 06:59:45");
            const auto shown = reader.timeShown("7:02", woke);
            const auto* sound = alarm.firstSoundAfter(woke);
            if (!shown || !sound) {
                std::printf("Waking: run %d %s: a fault of the program\n", run + 1,
                            shown ? "heard no late alarm" : "never showed the new time");
                return 1;
            }
            toTime.push_back(msBetween(woke, *shown));
            toSound.push_back(msBetween(woke, sound->arrived));
        }
        std::printf("Waking from 3 minutes' sleep across a one-beep alarm (median of %d): the new time shown after "
                    "%lld ms, the late alarm's first audible sample after %lld ms\n",
                    kRuns, median(toTime), median(toSound));
    }
    {
        std::vector<AlarmProgram> idle{{ZENTICK_EXE, FAKETIME_LIBRARY, {logind.environment()}}};
        if (const char* baseline = std::getenv("ZENTICK_BASELINE"))
            idle.push_back({baseline, FAKETIME_LIBRARY, {logind.environment()}});
        const auto figures = idleActivity(idle, 60s);
        for (std::size_t i = 0; i < figures.size(); ++i) {
            std::printf("Idle over 60 s%s: CPU %.1f ms, %.2f wake-ups a second\n", i == 0 ? "" : " (the baseline, beside it)",
                        figures[i].first, figures[i].second);
        }
    }

    const TuneMemory memory = memoryWithTuneArmed(display, how);
    std::printf("Resident memory: %.1f MiB never armed; with a MIDI alarm armed %.1f MiB (clock %.1f, tune helper "
                "%.1f, its proportional share %.1f); switched off %.1f MiB (%+.1f MiB; target within 5)\n",
                mib(memory.neverArmed.total()), mib(memory.armed.total()), mib(memory.armed.program),
                mib(memory.armed.helpers), mib(memory.armed.helpersProportional), mib(memory.switchedOff.total()),
                mib(memory.switchedOff.total() - memory.neverArmed.total()));

    // The armed helper with each SoundFont, against the same helper with
    // the smallest SoundFont there is: what the SoundFont's tables and the
    // tune's instruments cost.
    TempDir tiny;
    writeBytes(tiny.path() / "tiny.sf2", tinySoundFont());
    AlarmProgram bare = how;
    bare.soundFont = tiny.path() / "tiny.sf2";
    const Resident baseline = memoryWithTuneArmed(display, bare).armed;
    std::printf("The tune helper armed for a piano melody, above the same with a SoundFont of one tiny sample "
                "(%.1f MiB, %.1f proportional):\n", mib(baseline.helpers), mib(baseline.helpersProportional));
    const struct {
        const char* name;
        const char* file;
        double target;  // MiB: FluidSynth alone, headers and the piano, and 3 MiB more
    } soundFonts[] = {
        {"TimGM6mb", "/usr/share/sounds/sf2/TimGM6mb.sf2", 7.5 + 3},
        {"FluidR3_GM", "/usr/share/sounds/sf2/FluidR3_GM.sf2", 17.0 + 3},
        {"MuseScore General Lite", "/usr/share/sounds/sf3/MuseScore_General_Lite.sf3", 105.0 + 3},
    };
    for (const auto& soundFont : soundFonts) {
        if (!std::filesystem::exists(soundFont.file)) {
            std::printf("  %-23s not installed\n", soundFont.name);
            continue;
        }
        AlarmProgram with = how;
        with.soundFont = soundFont.file;
        const Resident armed = memoryWithTuneArmed(display, with).armed;
        if (armed.helperCount != 1) {
            std::printf("FAULT: with %s no helper held the armed tune\n", soundFont.name);
            return 1;
        }
        std::printf("  %-23s +%.1f MiB (+%.1f proportional; target at most +%.1f)\n", soundFont.name,
                    mib(armed.helpers - baseline.helpers),
                    mib(armed.helpersProportional - baseline.helpersProportional), soundFont.target);
    }
    return 0;
}
