#pragma once

#include "core/clock_state.h"
#include "platform/message_box.h"

#include <QWidget>

#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace zentick::ui {

// The settings dialog: zone, summer time, alarm time and sound. Modeless,
// filled from the clock state when it opens, written back only at OK.
class frmIni final : public QWidget {
    Q_OBJECT

public:
    // `showTime` runs after a valid OK, so the new zone shows at once.
    frmIni(ClockState& state, platform::MessageBox& messages, std::function<void()> showTime);
    ~frmIni() override;

private:
    void createControls();
    void Form_Load();
    void cmdOk_Click();

    ClockState& m_state;
    platform::MessageBox& m_messages;
    std::function<void()> m_showTime;

    QComboBox* m_cmbArea = nullptr;
    QCheckBox* m_chkSummer = nullptr;
    QLineEdit* m_txtAlHr = nullptr;
    QPushButton* m_cmdOk = nullptr;
    QLineEdit* m_txtAlMin = nullptr;
    QButtonGroup* m_optBuzzer = nullptr;  // ids 0 to 2 are the buzzer values
};

}  // namespace zentick::ui
