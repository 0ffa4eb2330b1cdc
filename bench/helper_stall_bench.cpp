// The longest the clock's event loop is kept from its events while a tune
// plays through the helper: the real helper through a private sound server,
// one that hangs and one that dies. Five alarms each; a stall over 20 ms
// would show in the clock's face and input.

#include "platform/tune/wire.h"
#include "platform/tune/process_midi_player.h"
#include "support/event_loop.h"
#include "support/midi_file.h"
#include "support/sound_server.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace zentick;
using namespace std::chrono_literals;

struct Helper {
    const char* name;
    QString program;
    QStringList arguments;
};

// One alarm: the tune opened and polled as its window polls it, until it
// has played through or failed. The longest stall, in milliseconds.
qint64 alarmStall(const Helper& helper, const std::filesystem::path& tune)
{
    test::EventLoop loop;
    platform::ProcessMidiPlayer player(helper.program, helper.arguments);
    loop.step([&] { player.prepare(tune); });
    loop.runUntil([] { return false; }, 1s);  // armed a moment before the alarm minute
    loop.step([&] {
        player.setDeviceType("Sequencer");
        player.setFileName(tune);
        player.open();
        player.play();
    });
    bool played = false;
    QTimer window;
    window.setInterval(250);
    QObject::connect(&window, &QTimer::timeout, [&] {
        loop.step([&] {
            try {
                const auto state = player.poll();
                played = played || state == platform::MidiState::Playing;
                if (played && state == platform::MidiState::Stopped)
                    window.stop();
            } catch (const platform::MidiError&) {
                window.stop();
            }
        });
    });
    window.start();
    loop.runUntil([&] { return !window.isActive(); }, 15s);
    loop.step([&] { player.close(); });
    return loop.longestStallMs();
}

}  // namespace

int main()
{
    test::SoundServer server;
    if (!server.ready()) {
        std::fprintf(stderr, "the private sound server did not start\n");
        return 1;
    }
    qputenv("PULSE_SERVER", QByteArray::fromStdString(server.address()));
    test::TempDir folder;
    const auto tune = folder.path() / "Zentick.mid";
    test::writeBytes(tune, test::pianoMelody());

    const Helper helpers[] = {
        {"healthy", QStringLiteral(ZENTICK_EXE), {QString::fromUtf8(platform::kTunePlayerSwitch)}},
        {"hanging", QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exec sleep 60")}},
        {"dying", QStringLiteral("/bin/sh"),
         {QStringLiteral("-c"), QStringLiteral("echo zentick-tune-player %1; read line; exit 3")
                                    .arg(platform::midi_wire::kProtocolVersion)}},
    };
    std::printf("Longest event-loop stall during an alarm whose tune plays through a helper (5 alarms each):\n");
    for (const auto& helper : helpers) {
        std::vector<qint64> stalls;
        for (int run = 0; run < 5; ++run)
            stalls.push_back(alarmStall(helper, tune));
        std::sort(stalls.begin(), stalls.end());
        std::printf("  %-8s median %lld ms, at most %lld ms (target under 20 ms)\n", helper.name,
                    static_cast<long long>(stalls[stalls.size() / 2]), static_cast<long long>(stalls.back()));
    }
    return 0;
}
