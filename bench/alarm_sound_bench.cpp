// Through a private PulseAudio, as the user hears it: from the alarm tick to
// the first audible sample, for each sound (median of 5); from a tune's
// failure shown to the first bell in its place (median of 5); the CPU of the
// clock and its helper in the 10 s after a tune, against an idle clock; and
// the resident memory of a clock with a MIDI alarm armed and after it is
// switched off.
// Runs on an X display: xvfb-run -a bench/alarm_sound_bench

#include "support/midi_file.h"
// Xlib's macros clash with little here, but keep them last all the same.
#include "support/alarm_run.h"
#include "support/sound_server.h"

#include <algorithm>
#include <optional>
#include <cstdio>
#include <vector>

namespace {

using namespace zentick::test;

constexpr int kRuns = 5;

double mib(long kib)
{
    return static_cast<double>(kib) / 1024.0;
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
            if (const auto* first = alarm.firstSound()) {
                earliest.push_back(alarm.earliestLatency(*first).count());
                latest.push_back(alarm.latestLatency(*first).count());
            }
        }
        if (earliest.empty()) {
            std::printf("  %-10s nothing heard\n", mode.name);
            continue;
        }
        std::sort(earliest.begin(), earliest.end());
        std::sort(latest.begin(), latest.end());
        std::printf("  %-10s median %lld ms (at most %lld ms), %zu of %d runs heard\n", mode.name,
                    earliest[earliest.size() / 2], latest[latest.size() / 2], earliest.size(), kRuns);
    }

    std::vector<long long> toBell;
    for (int run = 0; run < kRuns; ++run) {
        std::optional<Clock::time_point> told;
        const Alarm alarm = hearAlarm(server, display, how, 2, unreadableTune(), 1500ms,
                                      [&](DuringAlarm& during) { told = failureShown(during, 8); });
        if (const auto* bell = alarm.firstSound(); bell && told)
            toBell.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(bell->arrived - *told).count());
    }
    std::sort(toBell.begin(), toBell.end());
    if (toBell.empty())
        std::printf("A tune that cannot play: no bells heard\n");
    else
        std::printf("A tune that cannot play: first bell %lld ms from its failure shown (median of %zu; negative: "
                    "before the box was seen)\n", toBell[toBell.size() / 2], toBell.size());

    AfterTune after;
    hearAlarm(server, display, how, 2, pianoMelody(), 8s,
              [&](DuringAlarm& during) { after = watchTuneEnd(during, how, 10s); });
    std::printf("CPU in the 10 s after a tune ended (from 1 s after its stream went): clock and helper %.2f s, "
                "an idle clock beside it %.2f s\n",
                static_cast<double>(after.tuneTicks) / static_cast<double>(sysconf(_SC_CLK_TCK)),
                static_cast<double>(after.idleTicks) / static_cast<double>(sysconf(_SC_CLK_TCK)));

    const TuneMemory memory = memoryWithTuneArmed(display, how);
    std::printf("Resident memory: %.1f MiB never armed; with a MIDI alarm armed %.1f MiB (clock %.1f, tune helper "
                "%.1f, its proportional share %.1f); switched off %.1f MiB (%+.1f MiB; target within 5)\n",
                mib(memory.neverArmed.total()), mib(memory.armed.total()), mib(memory.armed.program),
                mib(memory.armed.helpers), mib(memory.armed.helpersProportional), mib(memory.switchedOff.total()),
                mib(memory.switchedOff.total() - memory.neverArmed.total()));
    return 0;
}
