// One clock tick: the world time computation, the two display strings and
// the alarm decision, with displays and sound doing nothing.

#include "core/show_time.h"
#include "core/world_time.h"

#include <benchmark/benchmark.h>

namespace {

using namespace zentick;

class StillClock final : public platform::Clock {
public:
    platform::LocalDateTime now() const override { return {2026, 12, 8, 21, 30, 15}; }
    std::string monthAbbreviation(int) const override { return "12月"; }
    std::string weekdayAbbreviation(int) const override { return "火"; }
};

class Silent final : public platform::Beeper, public platform::MessageBox, public ClockFace {
public:
    void beep() override {}
    void show(std::string_view, platform::MessageIcon) override {}
    void notify(std::string_view) override {}
    void setDateText(std::string_view text) override { benchmark::DoNotOptimize(text.data()); }
    void setTimeText(std::string_view text) override { benchmark::DoNotOptimize(text.data()); }
    bool alarmChecked() const override { return true; }
    std::optional<std::string> showMidiAlarm() override { return std::nullopt; }
};

void BM_Tick(benchmark::State& bench)
{
    StillClock clock;
    Silent silent;
    const ClockDevices devices{clock, silent, silent, silent};
    ClockState state;
    state.area = 0;
    state.alarmTime = buildTime(7, 0, 0);
    state.buzzer = 2;
    for (auto _ : bench) {
        showTime(state, devices);
        benchmark::DoNotOptimize(state.worldTime);
    }
}
BENCHMARK(BM_Tick);

void BM_WorldTimeAndAlarmDecision(benchmark::State& bench)
{
    ClockState state;
    state.area = 9;
    state.alarmTime = buildTime(7, 0, 0);
    const platform::LocalDateTime local{2026, 12, 8, 21, 30, 15};
    for (auto _ : bench) {
        const auto zone = std::get<ZoneTime>(computeWorldTime(local, state.area, state.summer));
        state.worldTime = zone.time;
        benchmark::DoNotOptimize(decideAlarm(true, state));
    }
}
BENCHMARK(BM_WorldTimeAndAlarmDecision);

}  // namespace
