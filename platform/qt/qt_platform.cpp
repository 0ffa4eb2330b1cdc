#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QMessageBox>

#ifdef ZENTICK_HAVE_CANBERRA
#include <canberra.h>
#endif

namespace zentick::platform {

namespace {

// Long enough for the bell to be heard whole, short enough that two ticks
// three seconds apart each get their own.
constexpr qint64 kBellMilliseconds = 700;

}  // namespace

LocalDateTime QtClock::now() const
{
    const QDateTime now = QDateTime::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    return {date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
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
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, kApplicationName,
                    QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), QMessageBox::Ok);
    box.exec();
}

std::filesystem::path QtProgramDir::path() const
{
    return QDir(QCoreApplication::applicationDirPath()).filesystemAbsolutePath();
}

#ifdef ZENTICK_HAVE_CANBERRA
struct BellBeeper::Canberra {
    ca_context* context = nullptr;
    ~Canberra()
    {
        if (context)
            ca_context_destroy(context);
    }
    bool play() const
    {
        return ca_context_play(context, 0, CA_PROP_EVENT_ID, "bell-window-system", CA_PROP_EVENT_DESCRIPTION,
                               "Zentick alarm", nullptr)
            == CA_SUCCESS;
    }
};

BellBeeper::BellBeeper()
{
    auto canberra = std::make_unique<Canberra>();
    if (ca_context_create(&canberra->context) != CA_SUCCESS)
        return;
    ca_context_change_props(canberra->context, CA_PROP_APPLICATION_NAME, "Zentick", nullptr);
    m_canberra = std::move(canberra);
}
#else
// Without libcanberra the toolkit's beep is the platform's own sound.
struct BellBeeper::Canberra {
    bool play() const { return false; }
};

BellBeeper::BellBeeper() = default;
#endif

BellBeeper::~BellBeeper() = default;

void BellBeeper::beep()
{
    if (m_sinceLastBell.isValid() && m_sinceLastBell.elapsed() < kBellMilliseconds)
        return;
    m_sinceLastBell.start();
    // Qt's own beep is silent on Wayland and on many X11 set-ups: the last resort.
    if (!m_canberra || !m_canberra->play())
        QApplication::beep();
}

}  // namespace zentick::platform
