#include "platform/bell/bell_player.h"

#include <QApplication>

#ifdef ZENTICK_HAVE_CANBERRA
#include <canberra.h>
#endif

namespace zentick::platform {

namespace {

// What a bell is taken to last before one has been heard, and how long a
// toolkit beep, which reports no end, is given.
constexpr std::chrono::milliseconds kBellGuess{150};
constexpr std::chrono::milliseconds kToolkitBell{200};

// Stand-ins for libcanberra's results (which are zero or negative): no
// connection to play on, and the end of a toolkit beep, heard or not.
constexpr int kNoConnection = -1000;
constexpr int kToolkitBellEnded = 1;

}  // namespace

// A connection to the sound server through libcanberra, or, built without
// it, none: then the toolkit's beep is the platform's own sound.
struct BellBeeper::Canberra {
#ifdef ZENTICK_HAVE_CANBERRA
    using Ended = ca_finish_callback_t;
    ca_context* context = nullptr;

    Canberra() = default;
    Canberra(const Canberra&) = delete;
    Canberra& operator=(const Canberra&) = delete;
    ~Canberra()
    {
        if (context)
            ca_context_destroy(context);  // ends its thread: no bell reports after this
    }
    // The sound server is reached at the first bell, not here.
    static std::unique_ptr<Canberra> create()
    {
        auto canberra = std::make_unique<Canberra>();
        if (ca_context_create(&canberra->context) != CA_SUCCESS)
            return nullptr;
        ca_context_change_props(canberra->context, CA_PROP_APPLICATION_NAME, "Zentick", nullptr);
        return canberra;
    }
    // `ended` runs on the sound system's thread when the bell has played or failed.
    int play(std::uint32_t bell, Ended ended, void* data) const
    {
        ca_proplist* properties = nullptr;
        if (ca_proplist_create(&properties) != CA_SUCCESS)
            return CA_ERROR_OOM;
        ca_proplist_sets(properties, CA_PROP_EVENT_ID, "bell-window-system");
        ca_proplist_sets(properties, CA_PROP_EVENT_DESCRIPTION, "Zentick alarm");
        // Not "event", the role of the desktop's alert sounds, which their
        // slider turns down: the sound server keeps an alarm's volume apart.
        ca_proplist_sets(properties, CA_PROP_MEDIA_ROLE, "alarm");
        // Kept in the sound server's sample cache: each bell of a burst then
        // starts without a stream of its own being set up and filled.
        ca_proplist_sets(properties, CA_PROP_CANBERRA_CACHE_CONTROL, "permanent");
        const int result = ca_context_play_full(context, bell, properties, ended, data);
        ca_proplist_destroy(properties);
        return result;
    }
    void cancel(std::uint32_t bell) const { ca_context_cancel(context, bell); }
    static bool played(int error) { return error == CA_SUCCESS; }
    static bool cancelled(int error) { return error == CA_ERROR_CANCELED || error == CA_ERROR_DESTROYED; }
    static std::string unavailable() { return "サウンドシステム (libcanberra) を使えません"; }
    static std::string describe(int error)
    {
        switch (error) {
        case CA_ERROR_NOTFOUND:
            return "ベルの音のファイルが見つかりません (sound-theme-freedesktop)";
        case CA_ERROR_DISCONNECTED:
        case CA_ERROR_NOTAVAILABLE:
        case CA_ERROR_NODRIVER:
            return "サウンドサーバーにつながりません";
        case CA_ERROR_ACCESS:
            return "音を出す装置を使う許可がありません";
        default:
            return std::string("ベルの音を鳴らせません: ") + ca_strerror(error);
        }
    }
#else
    // The toolkit's beep is the platform's own sound there: nothing to tell.
    using Ended = void (*)(void*, std::uint32_t, int, void*);
    static std::unique_ptr<Canberra> create() { return nullptr; }
    int play(std::uint32_t, Ended, void*) const { return kNoConnection; }
    void cancel(std::uint32_t) const {}
    static bool played(int) { return false; }
    static bool cancelled(int) { return false; }
    static std::string unavailable() { return {}; }
    static std::string describe(int) { return {}; }
#endif
};

BellBeeper::BellBeeper(std::chrono::milliseconds burstWindow)
    : m_queue(burstWindow, kBellGuess)
{
    m_fallbackBell.setSingleShot(true);
    QObject::connect(&m_fallbackBell, &QTimer::timeout, &m_events, [this] { rung(m_bell, kToolkitBellEnded); });
    connect();
}

BellBeeper::~BellBeeper() = default;

void BellBeeper::connect()
{
    m_canberra.reset();
    m_canberra = Canberra::create();
}

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

std::string BellBeeper::unheardBecause() const
{
    return m_unheard;
}

void BellBeeper::ring(bool again)
{
    ++m_bell;
    m_again = again;
    const auto ended = [](auto*, std::uint32_t bell, int error, void* data) {
        auto* self = static_cast<BellBeeper*>(data);
        QMetaObject::invokeMethod(&self->m_events, [self, bell, error] { self->rung(bell, error); }, Qt::QueuedConnection);
    };
    int error = m_canberra ? m_canberra->play(m_bell, ended, this) : kNoConnection;
    if (!Canberra::played(error) && !again) {
        // The connection kept from the last bell may be to a sound server
        // that has gone since: once more, through a fresh one.
        connect();
        error = m_canberra ? m_canberra->play(m_bell, ended, this) : kNoConnection;
    }
    if (Canberra::played(error)) {
        m_unheard.clear();  // taken by the server: an older failure is no longer news
        return;
    }
    m_unheard = m_canberra ? Canberra::describe(error) : Canberra::unavailable();
    // Qt's own beep is silent on Wayland and on many X11 set-ups: the last resort.
    QApplication::beep();
    m_fallbackBell.start(kToolkitBell);
}

void BellBeeper::rung(std::uint32_t bell, int error)
{
    if (bell != m_bell)
        return;
    if (error != kToolkitBellEnded) {
        if (Canberra::played(error)) {
            m_unheard.clear();
        } else if (!Canberra::cancelled(error)) {
            // The bell did not play: it counts as not heard, and is tried
            // again at once through a fresh connection.
            m_unheard = Canberra::describe(error);
            if (!m_again) {
                connect();
                ring(true);
                return;
            }
        }
    }
    if (m_queue.finished(BellQueue::Clock::now()))
        ring();
}

}  // namespace zentick::platform
