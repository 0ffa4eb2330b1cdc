#include "ui/frmMci.h"

#include "ui/fonts.h"
#include "ui/twips.h"
#include "ui/window_setup.h"

#include <QCloseEvent>
#include <QLabel>
#include <QTimer>

namespace zentick::ui {

namespace {

// How often the player control looks at the player: the tune may wait for
// its sounds, and the audio output is let go soon after the tune ends.
constexpr int kPlayerWatchMilliseconds = 250;

}  // namespace

frmMci::frmMci(platform::MidiPlayer& player, platform::MessageBox& messages, std::filesystem::path tune)
    : m_player(player)
    , m_messages(messages)
    , m_tune(std::move(tune))
{
    setUpWindow(this, "frmMci", QStringLiteral("時間ですよ！"), 1710, 615);
    setFont(msGothic(9));

    // The player control: a compact transport that shows whether the tune plays.
    m_MMControl1 = new QLabel(this);
    m_MMControl1->setObjectName(QStringLiteral("MMControl1"));
    m_MMControl1->setAlignment(Qt::AlignCenter);
    m_MMControl1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_MMControl1->setAccessibleDescription(QStringLiteral("曲の演奏"));  // its name is what it shows
    place(m_MMControl1, {240, 120, 1200, 375});

    m_playerWatch = new QTimer(this);
    m_playerWatch->setInterval(kPlayerWatchMilliseconds);
    connect(m_playerWatch, &QTimer::timeout, this, [this] { showPlayerState(); });
}

frmMci::~frmMci()
{
    // A window dropped without closing (the program failing) still frees the device.
    if (m_loaded)
        Form_Unload();
}

bool frmMci::Form_Load()
{
    m_loaded = true;
    try {
        m_player.setDeviceType("Sequencer");
        if (m_player.isOpen())
            m_player.close();
        m_player.setFileName(m_tune);
        m_player.open();
        m_player.play();
    } catch (const platform::MidiError& failure) {
        m_messages.show(failure.what(), platform::MessageIcon::Critical);
        Form_Unload();
        return false;
    }
    showPlayerState();
    if (!m_loaded)
        return false;  // refused at the first look
    m_playerWatch->start();
    return true;
}

void frmMci::Form_Unload() noexcept
{
    // The sequencer outlives this window and may serve the next one.
    m_loaded = false;
    m_playerWatch->stop();
    if (m_player.isOpen())
        m_player.close();
}

void frmMci::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
    emit closed();
}

void frmMci::showPlayerState()
{
    platform::MidiState state = platform::MidiState::Closed;
    try {
        state = m_player.poll();
    } catch (const platform::MidiError& failure) {
        // A step refused late, sounds that failed to load, or a tune that
        // stopped being heard.
        // The watch runs from the load's return: a refusal now came late.
        const bool refusedLate = m_opening && m_playerWatch->isActive();
        m_playerWatch->stop();
        m_messages.show(failure.what(), platform::MessageIcon::Critical);
        close();
        if (refusedLate)
            emit loadFailed();
        return;
    }
    m_opening = state == platform::MidiState::Opening;
    switch (state) {
    case platform::MidiState::Opening:
    case platform::MidiState::Loading:
        m_MMControl1->setText(QStringLiteral("… 準備中"));
        break;
    case platform::MidiState::Playing:
        m_MMControl1->setText(QStringLiteral("▶ 演奏中"));
        break;
    case platform::MidiState::Stopped:
    case platform::MidiState::Closed:
        m_MMControl1->setText(QStringLiteral("■ 停止"));
        m_playerWatch->stop();  // the tune plays once; nothing more will change
        break;
    }
}

}  // namespace zentick::ui
