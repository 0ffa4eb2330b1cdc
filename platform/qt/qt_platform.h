#pragma once

// The real platform on Qt 6 Widgets: the clock, the message box and the
// program's folder. Created once in main() and handed down.

#include "platform/clock.h"
#include "platform/installation.h"
#include "platform/message_box.h"
#include "platform/program_dir.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <string>

namespace zentick::platform {

// The application's id, which names its desktop entry and its icon.
inline QString appId()
{
    return QString::fromLatin1(kAppId.data(), static_cast<qsizetype>(kAppId.size()));
}

// Message boxes pass no caption of their own: they carry the program's file name.
inline const QString kMessageBoxTitle = QStringLiteral("Zentick");

class QtClock final : public Clock {
public:
    LocalDateTime now() const override;
    std::string monthAbbreviation(int month) const override;
    std::string weekdayAbbreviation(int weekday) const override;
};

// Message boxes titled kMessageBoxTitle, with one OK button.
class QtMessageBox final : public MessageBox {
public:
    QtMessageBox() = default;
    ~QtMessageBox() override;
    QtMessageBox(const QtMessageBox&) = delete;
    QtMessageBox& operator=(const QtMessageBox&) = delete;

    void show(std::string_view text, MessageIcon icon) override;
    void notify(std::string_view text) override;

private:
    QPointer<QMessageBox> m_note;  // the warning shown without waiting, while it is open
};

// Where this program keeps its files, decided once: beside itself, or for
// an installed program, in the user's own folder for settings.
class QtProgramDir final : public ProgramDir {
public:
    QtProgramDir();  // after the application object is made

    std::filesystem::path path() const override { return m_folder.path; }
    bool makesFolder() const override { return m_folder.installed; }

private:
    FilesFolder m_folder;
};

}  // namespace zentick::platform
