#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QWindow>


namespace zentick::platform {

namespace {

// A message belongs over the window it concerns: this program's active
// window, or at an alarm, when the user is elsewhere, its first one shown.
// As its transient, the window system places it there and keeps it above.
void placeOverItsWindow(QMessageBox& box)
{
    QWidget* over = QApplication::activeWindow();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!over && window != &box && window->isVisible() && !qobject_cast<QMessageBox*>(window))
            over = window;
    }
    if (!over)
        return;
    box.winId();  // makes the native window, which names its transient parent
    box.windowHandle()->setTransientParent(over->windowHandle());
}

}  // namespace

LocalDateTime QtClock::now() const
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second(), now.toSecsSinceEpoch()};
}

std::string QtClock::monthAbbreviation(int month) const
{
    return QLocale::system().monthName(month, QLocale::ShortFormat).toStdString();
}

std::string QtClock::weekdayAbbreviation(int weekday) const
{
    // Qt counts Monday as 1 and Sunday as 7.
    return QLocale::system().dayName(weekday == 0 ? 7 : weekday, QLocale::ShortFormat).toStdString();
}

void QtMessageBox::show(std::string_view text, MessageIcon icon)
{
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, kMessageBoxTitle,
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok);
    // A plain button, as on the desktop the windows were designed for.
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setIcon(QIcon());
    placeOverItsWindow(box);
    box.exec();
}

QtMessageBox::~QtMessageBox()
{
    delete m_note.data();
}

void QtMessageBox::notify(std::string_view text)
{
    if (!m_note) {
        m_note = new QMessageBox(QMessageBox::Warning, kMessageBoxTitle, {}, QMessageBox::Ok);
        m_note->setAttribute(Qt::WA_DeleteOnClose);
        m_note->setWindowModality(Qt::NonModal);
        if (QAbstractButton* ok = m_note->button(QMessageBox::Ok))
            ok->setIcon(QIcon());
    }
    m_note->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    if (!m_note->isVisible())
        placeOverItsWindow(*m_note);
    m_note->show();
    m_note->raise();
}

QtProgramDir::QtProgramDir()
{
    // An empty answer would otherwise stand for the working folder.
    const QString program = QCoreApplication::applicationDirPath();
    // $XDG_CONFIG_HOME, else ~/.config, as the desktop's rules have it.
    const QString settings = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    m_folder = filesFolder(program.isEmpty() ? std::filesystem::path() : QDir(program).filesystemAbsolutePath(),
                           settings.isEmpty() ? std::filesystem::path() : QDir(settings).filesystemPath());
}

}  // namespace zentick::platform
