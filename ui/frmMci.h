#pragma once

#include "platform/message_box.h"
#include "platform/midi_player.h"

#include <QWidget>

#include <filesystem>

class QLabel;
class QTimer;

namespace zentick::ui {

// The small window that plays the alarm tune. It owns the sequencer device
// from its load to its close; closing it stops the tune at once.
class frmMci final : public QWidget {
    Q_OBJECT

public:
    frmMci(platform::MidiPlayer& player, platform::MessageBox& messages, std::filesystem::path tune);
    ~frmMci() override;

    // Opens the tune and starts it. When the player refuses a step the user
    // is told, the window closes itself, and the result is false. A player
    // that answers later may refuse after this has returned true: the user
    // is told the same way, and loadFailed() follows.
    bool Form_Load();

signals:
    // The player refused to open or start the tune after the load had returned.
    void loadFailed();
    // The window has closed, whoever closed it.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Unload() noexcept;
    void showPlayerState();

    platform::MidiPlayer& m_player;
    platform::MessageBox& m_messages;
    std::filesystem::path m_tune;
    QLabel* m_MMControl1 = nullptr;
    QTimer* m_playerWatch = nullptr;
    bool m_loaded = false;
    bool m_opening = false;  // the player has not yet said whether the tune opened and started
};

}  // namespace zentick::ui
