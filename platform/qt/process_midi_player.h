#pragma once

#include "platform/midi_player.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

class QProcess;

namespace zentick::platform {

// The MIDI player of a helper process (see midi_wire.h), started when a
// tune may be wanted and let go with release(), so the synthesizer's
// libraries and sounds leave the clock's memory with it. A helper that
// dies or hangs costs the tune, never the clock: the step fails with a
// MidiError and the next tune starts a new helper.
class ProcessMidiPlayer final : public MidiPlayer {
public:
    // The longest one step waits for the helper's answer.
    static constexpr std::chrono::milliseconds kPatience{3000};

    // `program` run with `arguments` serves a player on its standard streams.
    ProcessMidiPlayer(QString program, QStringList arguments, std::chrono::milliseconds patience = kPatience);
    ~ProcessMidiPlayer() override;
    ProcessMidiPlayer(const ProcessMidiPlayer&) = delete;
    ProcessMidiPlayer& operator=(const ProcessMidiPlayer&) = delete;

    void prepare() override;
    void release() noexcept override;
    void setDeviceType(std::string_view type) override;
    void setFileName(const std::filesystem::path& file) override;
    void open() override;
    void play() override;
    void close() noexcept override;
    bool isOpen() const noexcept override;
    MidiState poll() override;

    // The helper's process id while it runs, else 0.
    qint64 helperId() const noexcept;

private:
    bool running() const;
    bool start();
    std::string ask(std::string_view command);
    void send(std::string_view command);
    void end() noexcept;
    [[noreturn]] void fail(const std::string& why);

    QString m_program;
    QStringList m_arguments;
    std::chrono::milliseconds m_patience;
    std::unique_ptr<QProcess> m_helper;
    std::string m_type;
    std::filesystem::path m_file;
    bool m_open = false;
};

}  // namespace zentick::platform
