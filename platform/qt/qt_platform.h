#pragma once

// The real platform on Qt 6 Widgets: the clock, the message box, the beep
// and the program's folder. Created once in main() and handed down.

#include "platform/beeper.h"
#include "platform/bell_queue.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/program_dir.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <cstdint>
#include <memory>

namespace zentick::platform {

inline const QString kApplicationName = QStringLiteral("Zentick");

class QtClock final : public Clock {
public:
    LocalDateTime now() const override;
    std::string monthAbbreviation(int month) const override;
    std::string weekdayAbbreviation(int weekday) const override;
};

// Message boxes titled with the application's name, with one OK button.
class QtMessageBox final : public MessageBox {
public:
    void show(std::string_view text, MessageIcon icon) override;
};

class QtProgramDir final : public ProgramDir {
public:
    std::filesystem::path path() const override;
};

// The desktop's own bell sound, played without waiting for it. Beeps that
// come while a bell rings are heard after it, back to back, for at most
// `burstWindow` after the latest beep (the clock's tick), so a burst sounds
// as one continuous run of bells up to the next tick.
class BellBeeper final : public Beeper {
public:
    explicit BellBeeper(std::chrono::milliseconds burstWindow);
    ~BellBeeper() override;
    BellBeeper(const BellBeeper&) = delete;
    BellBeeper& operator=(const BellBeeper&) = delete;

    void beep() override;
    void silence() override;

private:
    struct Canberra;

    void ring();
    void rung(std::uint32_t bell);

    QObject m_events;  // receives the ends of bells from the sound system's thread
    QTimer m_fallbackBell;  // the end of a toolkit beep, which reports none
    BellQueue m_queue;
    std::uint32_t m_bell = 0;  // the bell that rings now; older ends are stale
    std::unique_ptr<Canberra> m_canberra;  // empty where no sound system answers
};

}  // namespace zentick::platform
