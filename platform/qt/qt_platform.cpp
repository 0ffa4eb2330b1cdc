#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>

#ifdef ZENTICK_HAVE_CANBERRA
#include <canberra.h>
#endif

namespace zentick::platform {

namespace {

// What a bell is taken to last before one has been heard, and how long a
// toolkit beep, which reports no end, is given.
constexpr std::chrono::milliseconds kBellGuess{150};
constexpr std::chrono::milliseconds kToolkitBell{200};

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
    // A plain button, as on the desktop the windows were designed for.
    if (QAbstractButton* ok = box.button(QMessageBox::Ok))
        ok->setIcon(QIcon());
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
            ca_context_destroy(context);  // ends its thread: no bell reports after this
    }
    // `ended` runs on the sound system's thread when the bell has played.
    bool play(std::uint32_t bell, ca_finish_callback_t ended, void* data) const
    {
        ca_proplist* properties = nullptr;
        if (ca_proplist_create(&properties) != CA_SUCCESS)
            return false;
        ca_proplist_sets(properties, CA_PROP_EVENT_ID, "bell-window-system");
        ca_proplist_sets(properties, CA_PROP_EVENT_DESCRIPTION, "Zentick alarm");
        const bool played = ca_context_play_full(context, bell, properties, ended, data) == CA_SUCCESS;
        ca_proplist_destroy(properties);
        return played;
    }
    void cancel(std::uint32_t bell) const { ca_context_cancel(context, bell); }
};

BellBeeper::BellBeeper(std::chrono::milliseconds burstWindow)
    : m_queue(burstWindow, kBellGuess)
{
    m_fallbackBell.setSingleShot(true);
    QObject::connect(&m_fallbackBell, &QTimer::timeout, &m_events, [this] { rung(m_bell); });
    auto canberra = std::make_unique<Canberra>();
    if (ca_context_create(&canberra->context) != CA_SUCCESS)
        return;
    // The sound server is connected at the first bell, not at start-up, and
    // that connection is then kept for every bell after it.
    ca_context_change_props(canberra->context, CA_PROP_APPLICATION_NAME, "Zentick", nullptr);
    m_canberra = std::move(canberra);
}
#else
// Without libcanberra the toolkit's beep is the platform's own sound.
struct BellBeeper::Canberra {
    bool play(std::uint32_t, void (*)(void*, std::uint32_t, int, void*), void*) const { return false; }
    void cancel(std::uint32_t) const {}
};

BellBeeper::BellBeeper(std::chrono::milliseconds burstWindow)
    : m_queue(burstWindow, kBellGuess)
{
    m_fallbackBell.setSingleShot(true);
    QObject::connect(&m_fallbackBell, &QTimer::timeout, &m_events, [this] { rung(m_bell); });
}
#endif

BellBeeper::~BellBeeper() = default;

void BellBeeper::beep()
{
    if (m_queue.request(BellQueue::Clock::now()))
        ring();
}

void BellBeeper::silence()
{
    m_queue.silence();
    m_fallbackBell.stop();
    if (m_canberra)
        m_canberra->cancel(m_bell);
    ++m_bell;  // its end, still on its way, is no longer ours
}

void BellBeeper::ring()
{
    ++m_bell;
    const auto ended = [](auto*, std::uint32_t bell, int, void* data) {
        auto* self = static_cast<BellBeeper*>(data);
        QMetaObject::invokeMethod(&self->m_events, [self, bell] { self->rung(bell); }, Qt::QueuedConnection);
    };
    if (m_canberra && m_canberra->play(m_bell, ended, this))
        return;
    // Qt's own beep is silent on Wayland and on many X11 set-ups: the last resort.
    QApplication::beep();
    m_fallbackBell.start(kToolkitBell);
}

void BellBeeper::rung(std::uint32_t bell)
{
    if (bell == m_bell && m_queue.finished(BellQueue::Clock::now()))
        ring();
}

}  // namespace zentick::platform
