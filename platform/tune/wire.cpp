#include "platform/tune/wire.h"

#include <array>
#include <utility>

namespace zentick::platform {

namespace midi_wire {

namespace {

constexpr std::array kStateNames{
    std::pair{MidiState::Closed, std::string_view("closed")},
    std::pair{MidiState::Opening, std::string_view("opening")},
    std::pair{MidiState::Loading, std::string_view("loading")},
    std::pair{MidiState::Stopped, std::string_view("stopped")},
    std::pair{MidiState::Playing, std::string_view("playing")},
};

}  // namespace

std::string greeting()
{
    return "zentick-tune-player " + std::to_string(kProtocolVersion);
}

std::string tuneMessage(const std::filesystem::path& file, std::string_view bytes)
{
    return "tune " + std::to_string(bytes.size()) + " " + escape(pathText(file)) + "\n" + std::string(bytes);
}

std::string escape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    return out;
}

std::string unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char next = text[++i];
        out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    }
    return out;
}

std::string_view stateName(MidiState state)
{
    for (const auto& [named, name] : kStateNames) {
        if (named == state)
            return name;
    }
    return "closed";
}

std::optional<MidiState> stateNamed(std::string_view name)
{
    for (const auto& [state, named] : kStateNames) {
        if (named == name)
            return state;
    }
    return std::nullopt;
}

std::optional<Reply> readReply(std::string_view line)
{
    if (line == "ok")
        return Reply{};
    if (line.starts_with("ok "))
        return Reply{false, false, std::string(line.substr(3))};
    if (line.starts_with("error "))
        return Reply{true, false, unescape(line.substr(6))};
    if (line.starts_with("lost "))
        return Reply{true, true, unescape(line.substr(5))};
    return std::nullopt;
}

std::string pathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path textPath(std::string_view text)
{
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace midi_wire

}  // namespace zentick::platform
