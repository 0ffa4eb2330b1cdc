#pragma once

#include "platform/midi_player.h"

#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QProcess;

namespace zentick::platform {

// The MIDI player of a helper process (see midi_wire.h), started when a
// tune may be wanted and let go with release(), so the synthesizer's
// libraries and sounds leave the clock's memory with it.
//
// The helper reads no tune file: the clock reads the tune and hands its
// bytes over, at arming and at each opening.
//
// Nothing here waits on the helper: commands are written and their answers
// read as they arrive, on the event loop. open() and play() return at once
// with the device Opening; poll() gives the state last heard and throws the
// failure last heard. A helper that dies, hangs or talks nonsense costs the
// tune, never the clock: it is ended, the open device fails, and the next
// tune starts a new helper.
class ProcessMidiPlayer final : public MidiPlayer {
public:
    // The longest the helper may take to answer.
    static constexpr std::chrono::milliseconds kPatience{3000};

    // The image of this very process, to be started again as the helper:
    // the file on disk may have been replaced or moved since it started.
    static QString runningProgram();

    // `program` run with `arguments` serves a player on its standard streams.
    ProcessMidiPlayer(QString program, QStringList arguments, std::chrono::milliseconds patience = kPatience);
    ~ProcessMidiPlayer() override;
    ProcessMidiPlayer(const ProcessMidiPlayer&) = delete;
    ProcessMidiPlayer& operator=(const ProcessMidiPlayer&) = delete;

    void prepare(const std::filesystem::path& tune) override;
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
    void start();
    void send(std::string_view command, bool answered = true);
    void sendTune(const std::filesystem::path& file, std::string_view bytes);
    void sendOpening();
    void moveToNewHelper();
    void readAnswers();
    void answered(const std::string& command, std::string_view line);
    void ended();
    void fail(std::string why);
    void retire() noexcept;

    QString m_program;
    QStringList m_arguments;
    std::chrono::milliseconds m_patience;
    QTimer m_patienceTimer;  // runs while an answer is awaited
    std::unique_ptr<QProcess> m_helper;
    std::vector<std::unique_ptr<QProcess>> m_leaving;  // told to go, not yet gone
    std::deque<std::string> m_awaited;                 // the commands whose answers are still to come
    bool m_helperEnded = false;  // a helper ended on its own: not started again until a tune opens
    std::string m_type;
    std::filesystem::path m_file;
    bool m_open = false;
    bool m_played = false;   // play() since the device opened
    bool m_movedOn = false;  // the device went to a new helper when its output was lost
    MidiState m_state = MidiState::Closed;
    std::optional<std::string> m_failure;  // for the open device, thrown by the next poll()
};

}  // namespace zentick::platform
