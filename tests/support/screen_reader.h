#pragma once

// The time the real program shows, and the notes it puts up, as a screen
// reader reads them through AT-SPI (tests/support/atspi.py, on the session
// bus the program runs on, with the accessibility registry), each with the
// moment it was seen.

#include "support/sound_server.h"

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zentick::test {

class ScreenReader {
public:
    struct Seen {
        Clock::time_point at;
        std::string kind;  // "time" or "note"
        std::string text;
    };

    explicit ScreenReader(const std::string& watch)
        : m_watch({"/usr/bin/python3", watch}, {}, true)
        , m_reader([this] { read(); })
    {
    }
    ~ScreenReader()
    {
        m_watch.terminate();  // its output ends: the reader sees the end
        m_reader.join();
    }
    ScreenReader(const ScreenReader&) = delete;
    ScreenReader& operator=(const ScreenReader&) = delete;

    // The first moment from `from` on that the time box showed `text`, or a
    // note containing it appeared.
    std::optional<Clock::time_point> timeShown(const std::string& text, Clock::time_point from) const
    {
        return first("time", text, from, true);
    }
    std::optional<Clock::time_point> noteShown(const std::string& part, Clock::time_point from) const
    {
        return first("note", part, from, false);
    }
    std::vector<Seen> seen() const
    {
        const std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    std::optional<Clock::time_point> first(const std::string& kind, const std::string& text, Clock::time_point from,
                                           bool whole) const
    {
        const std::lock_guard lock(m_mutex);
        for (const auto& seen : m_seen) {
            if (seen.kind == kind && seen.at >= from
                && (whole ? seen.text == text : seen.text.find(text) != std::string::npos))
                return seen.at;
        }
        return std::nullopt;
    }

    void read()
    {
        std::string line;
        char buffer[512];
        for (ssize_t n; (n = ::read(m_watch.out(), buffer, sizeof buffer)) > 0;) {
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n') {
                    line += buffer[i];
                    continue;
                }
                // "<CLOCK_MONOTONIC seconds> <kind> <text>": the steady clock's own time.
                const auto space = line.find(' ');
                const auto second = line.find(' ', space + 1);
                if (space != std::string::npos && second != std::string::npos) {
                    const auto at = std::chrono::duration<double>(std::strtod(line.c_str(), nullptr));
                    const std::lock_guard lock(m_mutex);
                    m_seen.push_back({Clock::time_point(std::chrono::duration_cast<Clock::duration>(at)),
                                      line.substr(space + 1, second - space - 1), line.substr(second + 1)});
                }
                line.clear();
            }
        }
    }

    Child m_watch;
    mutable std::mutex m_mutex;
    std::vector<Seen> m_seen;
    std::thread m_reader;  // last: it reads the members above
};

}  // namespace zentick::test
