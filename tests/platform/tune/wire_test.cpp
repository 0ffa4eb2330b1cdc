#include "platform/tune/helper.h"
#include "platform/tune/wire.h"

#include "support/fakes.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace zentick::platform;
using zentick::test::FakeMidiPlayer;

TEST(MidiWire, EveryTextTravelsAsOneLineAndArrivesUnchanged)
{
    for (const std::string text : {"", "plain", "二行の\nメッセージ", "C:\\曲\\alarm.mid", "\\n is no newline",
                                   "ends in \\", "\r\n", "trailing\n"}) {
        SCOPED_TRACE(text);
        const std::string line = midi_wire::escape(text);
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
        EXPECT_EQ(midi_wire::unescape(line), text);
    }
}

TEST(MidiWire, PathsTravelAsUtf8)
{
    const std::filesystem::path tune = std::filesystem::path(u8"/home/ユーザー/曲 1/Zentick.mid");
    EXPECT_EQ(midi_wire::pathText(tune), "/home/ユーザー/曲 1/Zentick.mid");
    EXPECT_EQ(midi_wire::textPath(midi_wire::pathText(tune)), tune);
}

TEST(MidiWire, TheHelperCarriesOutEachCommandAndAnswersIt)
{
    const struct {
        std::vector<std::string> commands;
        std::string refuse;
        std::vector<std::optional<std::string>> replies;
        std::vector<std::string> steps;
    } cases[] = {
        {{"type Sequencer", "file /t/a.mid", "open", "play", "poll"}, "",
         {"ok", "ok", "ok", "ok", "ok playing"}, {"type Sequencer", "file", "open", "play"}},
        {{"prepare /t/a.mid", "poll", "open", "poll", "close", "poll"}, "",
         {std::nullopt, "ok closed", "ok", "ok stopped", "ok", "ok closed"}, {"open", "close"}},
        {{"open"}, "open", {"error 曲のファイルが見つかりません"}, {"open"}},
        {{"open", "play"}, "play", {"ok", "error 曲を演奏できません"}, {"open", "play"}},
        {{"rewind"}, "", {"error 曲の演奏に知らない命令が届きました: rewind"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commands.front());
        FakeMidiPlayer player;
        player.refuse = c.refuse;
        std::vector<std::optional<std::string>> replies;
        for (const auto& command : c.commands)
            replies.push_back(answerMidiCommand(player, command));
        EXPECT_EQ(replies, c.replies);
        EXPECT_EQ(player.steps, c.steps);
    }
}

TEST(MidiWire, TheHelperGetsTheNamesAsTheClockSentThem)
{
    FakeMidiPlayer player;
    // The tune's bytes come with it, whatever they hold: the helper reads no file.
    const std::string bytes = std::string("MThd\0\0\0\x06\ntune\r\n", 15) + std::string(3, '\xFF');
    const std::string message = midi_wire::tuneMessage(u8"/曲\\の\nフォルダ/a.mid", bytes);
    const auto lineEnd = message.find('\n');
    const std::string line = message.substr(0, lineEnd);
    ASSERT_EQ(payloadLength(line), bytes.size());
    EXPECT_EQ(answerMidiCommand(player, line, message.substr(lineEnd + 1)), std::nullopt) << "no answer to a tune";
    EXPECT_EQ(player.tunes, (std::map<std::filesystem::path, std::string>{{u8"/曲\\の\nフォルダ/a.mid", bytes}}));
    answerMidiCommand(player, "file " + midi_wire::escape(midi_wire::pathText(u8"/曲\\の\nフォルダ/a.mid")));
    EXPECT_EQ(player.file, std::filesystem::path(u8"/曲\\の\nフォルダ/a.mid"));
    answerMidiCommand(player, "prepare " + midi_wire::escape(midi_wire::pathText(u8"/曲\\の\nフォルダ/b.mid")));
    EXPECT_TRUE(player.holdsSounds);
    EXPECT_EQ(player.prepared, std::filesystem::path(u8"/曲\\の\nフォルダ/b.mid"));
    answerMidiCommand(player, "release");
    EXPECT_FALSE(player.holdsSounds);
}

TEST(MidiWire, OnlyATuneCommandIsFollowedByBytesAndNoMoreThanATuneHolds)
{
    const struct {
        const char* command;
        std::optional<std::size_t> length;
    } cases[] = {
        {"open", 0},
        {"file /t/12 a.mid", 0},
        {"tune 0 /t/a.mid", 0},
        {"tune 1024 /t/12 a.mid", 1024},
        {"tune 16777216 /t/a.mid", 16777216},
        {"tune 16777217 /t/a.mid", std::nullopt},
        {"tune 99999999999999999999999 /t/a.mid", std::nullopt},
        {"tune /t/a.mid", std::nullopt},
        {"tune 12", std::nullopt},
        {"tune -1 /t/a.mid", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(payloadLength(c.command), c.length);
    }
}

TEST(MidiWire, ALostOutputIsToldApartFromARefusal)
{
    const struct {
        const char* line;
        std::optional<midi_wire::Reply> reply;
    } cases[] = {
        {"ok", midi_wire::Reply{}},
        {"ok playing", midi_wire::Reply{false, false, "playing"}},
        {"error 曲を\\演奏できません", midi_wire::Reply{true, false, "曲を\\演奏できません"}},
        {"lost 音が\\n止まりました", midi_wire::Reply{true, true, "音が\\n止まりました"}},
        {"lost", std::nullopt},
        {"okay", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto reply = midi_wire::readReply(c.line);
        ASSERT_EQ(reply.has_value(), c.reply.has_value());
        if (reply) {
            EXPECT_EQ(reply->refused, c.reply->refused);
            EXPECT_EQ(reply->lost, c.reply->lost);
            EXPECT_EQ(reply->text, midi_wire::unescape(c.reply->text));
        }
    }
}

// What leads elsewhere stays behind; what the sound client and the C
// library need comes along, and the sound server is named.
TEST(TuneHelper, RunsWithTheEnvironmentItNeedsAndNoMore)
{
    const std::vector<std::string> desktop = {
        "HOME=/home/u", "LANG=ja_JP.UTF-8", "LC_TIME=C", "PATH=/usr/bin", "XDG_RUNTIME_DIR=/run/user/1000",
        "XDG_CONFIG_HOME=/home/u/.config", "DISPLAY=:0", "WAYLAND_DISPLAY=wayland-0", "XAUTHORITY=/run/user/1000/xauth",
        "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus", "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/dbus/s",
        "SSH_AUTH_SOCK=/tmp/ssh/agent", "XDG_SESSION_TYPE=wayland", "QT_QPA_PLATFORM=wayland", "PULSE_PROP_x=y",
        "NOEQUALS"};
    const struct {
        const char* name;
        std::vector<std::string> environment;
        std::vector<std::string> expected;
    } cases[] = {
        {"a desktop session", desktop,
         {"HOME=/home/u", "LANG=ja_JP.UTF-8", "LC_TIME=C", "PATH=/usr/bin", "XDG_RUNTIME_DIR=/run/user/1000",
          "XDG_CONFIG_HOME=/home/u/.config", "PULSE_PROP_x=y", "PULSE_SERVER=unix:/run/user/1000/pulse/native"}},
        {"a server named already", {"PULSE_SERVER=unix:/tmp/p/native", "XDG_RUNTIME_DIR=/run/user/1000"},
         {"PULSE_SERVER=unix:/tmp/p/native", "XDG_RUNTIME_DIR=/run/user/1000"}},
        {"no runtime folder", {"HOME=/root", "DISPLAY=:1"}, {"HOME=/root"}},
        {"a name given twice", {"ASAN_OPTIONS=first", "LANG=C", "ASAN_OPTIONS=second"}, {"ASAN_OPTIONS=first", "LANG=C"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(helperEnvironment(c.environment), c.expected);
    }
}

TEST(MidiWire, ALaterFailureReachesTheClockWhole)
{
    FakeMidiPlayer player;
    answerMidiCommand(player, "open");
    answerMidiCommand(player, "poll");
    const std::string failure = "音色を読み込めません:\n/usr/share/sounds/sf2/default-GM.sf2";
    player.laterFailure = failure;
    const auto reply = answerMidiCommand(player, "poll");
    ASSERT_TRUE(reply);
    ASSERT_TRUE(reply->starts_with("error "));
    EXPECT_EQ(midi_wire::unescape(reply->substr(6)), failure);
}

}  // namespace
