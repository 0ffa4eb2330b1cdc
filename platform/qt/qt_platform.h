#pragma once

// The real platform on Qt 6 Widgets: the clock, the message box, the beep
// and the program's folder. Created once in main() and handed down.

#include "platform/beeper.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "platform/program_dir.h"

#include <QElapsedTimer>
#include <QString>

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

// The desktop's own bell sound, played without waiting for it. A beep that
// comes while the last bell still rings is dropped, so a burst of beeps is
// heard as one bell per clock tick instead of a backlog of sound.
class BellBeeper final : public Beeper {
public:
    BellBeeper();
    ~BellBeeper() override;
    BellBeeper(const BellBeeper&) = delete;
    BellBeeper& operator=(const BellBeeper&) = delete;

    void beep() override;

private:
    struct Canberra;
    std::unique_ptr<Canberra> m_canberra;  // empty where no sound system answers
    QElapsedTimer m_sinceLastBell;
};

}  // namespace zentick::platform
