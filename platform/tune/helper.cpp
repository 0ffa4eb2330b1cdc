#include "platform/tune/helper.h"

#include "platform/failure_words.h"
#include "platform/tune/wire.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

namespace zentick::platform {

std::optional<std::size_t> payloadLength(std::string_view command)
{
    if (!command.starts_with("tune "))
        return 0;
    std::size_t length = 0;
    std::size_t at = 5;
    for (; at < command.size() && command[at] >= '0' && command[at] <= '9'; ++at) {
        length = length * 10 + static_cast<std::size_t>(command[at] - '0');
        if (length > kMaxTuneBytes)
            return std::nullopt;
    }
    if (at == 5 || at == command.size() || command[at] != ' ')
        return std::nullopt;
    return length;
}

std::optional<std::string> answerMidiCommand(TunePlayer& player, std::string_view command, std::string payload)
{
    const auto space = command.find(' ');
    const std::string_view verb = command.substr(0, space);
    const std::string argument =
        midi_wire::unescape(space == std::string_view::npos ? std::string_view() : command.substr(space + 1));
    if (verb == "tune") {
        // "<length> <path>": the bytes came with the line.
        const auto name = argument.find(' ');
        player.setTune(midi_wire::textPath(std::string_view(argument).substr(name + 1)), std::move(payload));
        return std::nullopt;
    }
    if (verb == "prepare") {
        // Unanswered: a sound that fails to load is reported when a tune opens.
        try {
            player.prepare(midi_wire::textPath(argument));
        } catch (const std::exception&) {
        }
        return std::nullopt;
    }
    try {
        if (verb == "release")
            player.release();
        else if (verb == "type")
            player.setDeviceType(argument);
        else if (verb == "file")
            player.setFileName(midi_wire::textPath(argument));
        else if (verb == "open")
            player.open();
        else if (verb == "play")
            player.play();
        else if (verb == "close")
            player.close();
        else if (verb == "poll")
            return "ok " + std::string(midi_wire::stateName(player.poll()));
        else
            return "error " + midi_wire::escape("曲の演奏に知らない命令が届きました: " + std::string(verb));
    } catch (const MidiOutputLost& loss) {
        return "lost " + midi_wire::escape(loss.what());
    } catch (const MidiError& refusal) {
        return "error " + midi_wire::escape(refusal.what());
    } catch (const std::exception& failure) {
        return "error " + midi_wire::escape(std::string(kCannotPlayTune) + failure.what());
    }
    return "ok";
}

std::vector<std::string> helperEnvironment(const std::vector<std::string>& environment)
{
    static constexpr std::string_view kKept[] = {
        "HOME", "USER", "LOGNAME", "PATH", "TMPDIR", "TZ", "LANG", "LANGUAGE",
        "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR",  // the program's folder when installed; the sound server's socket
        "LD_LIBRARY_PATH", "LD_PRELOAD",        // a copy with libraries of its own
        "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS",
    };
    static constexpr std::string_view kKeptFamilies[] = {"LC_", "PULSE_"};
    std::vector<std::string> kept;
    std::string runtime;
    bool serverNamed = false;
    for (const auto& entry : environment) {
        const std::string_view name = std::string_view(entry).substr(0, entry.find('='));
        if (name.size() == entry.size())
            continue;
        const bool keep = std::find(std::begin(kKept), std::end(kKept), name) != std::end(kKept)
            || std::any_of(std::begin(kKeptFamilies), std::end(kKeptFamilies),
                           [&](std::string_view family) { return name.starts_with(family); });
        // A name given twice means its first value, as to getenv().
        const bool seen = std::any_of(kept.begin(), kept.end(), [&](const std::string& earlier) {
            return earlier.size() > name.size() && earlier.compare(0, name.size(), name) == 0 && earlier[name.size()] == '=';
        });
        if (!keep || seen)
            continue;
        kept.push_back(entry);
        if (name == "PULSE_SERVER")
            serverNamed = true;
        else if (name == "XDG_RUNTIME_DIR")
            runtime = entry.substr(name.size() + 1);
    }
    // The user's own server, where the client library would look first.
    if (!serverNamed && !runtime.empty())
        kept.push_back("PULSE_SERVER=unix:" + runtime + "/pulse/native");
    return kept;
}

namespace {

std::optional<std::string> readLine(std::FILE* in)
{
    std::string line;
    for (int c = std::getc(in); c != EOF; c = std::getc(in)) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        line += static_cast<char>(c);
    }
    return std::nullopt;
}

// The replies' own copy of standard output; the standard output itself is
// pointed at standard error, where stray prints do no harm.
std::FILE* takeStandardOutput()
{
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    const int wire = _dup(_fileno(stdout));
    if (wire < 0 || _dup2(_fileno(stderr), _fileno(stdout)) != 0)
        return nullptr;
    _setmode(wire, _O_BINARY);
    return _fdopen(wire, "wb");
#else
    const int wire = dup(STDOUT_FILENO);
    if (wire < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return nullptr;
    return fdopen(wire, "w");
#endif
}

bool reply(std::FILE* replies, const std::string& line)
{
    std::fputs(line.c_str(), replies);
    std::fputc('\n', replies);
    return std::fflush(replies) == 0;  // false once the clock has gone
}

}  // namespace

int serveMidiPlayer(TunePlayer& player)
{
    std::FILE* replies = takeStandardOutput();
    if (!replies)
        return 1;
    bool heard = reply(replies, midi_wire::greeting());
    while (heard) {
        const auto command = readLine(stdin);
        const auto length = command ? payloadLength(*command) : std::nullopt;
        if (!length)
            break;  // the clock has gone, or speaks what no clock says
        std::string payload(*length, '\0');
        if (std::fread(payload.data(), 1, payload.size(), stdin) != payload.size())
            break;
        const auto answer = answerMidiCommand(player, *command, std::move(payload));
        heard = (!answer || reply(replies, *answer)) && !player.spent();
    }
    player.close();
    std::fclose(replies);
    return 0;
}

}  // namespace zentick::platform
