#include "ui_fixture.h"

#include "core/zone_table.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QRadioButton>

namespace zentick::ui::test {
namespace {

using platform::MessageIcon;

class SettingsDialogTest : public MainWindowTest {
protected:
    frmIni* dialog = nullptr;

    void SetUp() override
    {
        writeSettings("5,0,#07:00:00#,2\r\n");
        start();
        click(control<QPushButton>("cmdIni"));
        dialog = main->settingsDialog();
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(dialog->isVisible());
    }

    template <typename T> T* field(const char* name) { return control<T>(dialog, name); }
    QList<QRadioButton*> sounds() { return dialog->findChildren<QRadioButton*>(QStringLiteral("optBuzzer")); }

    void enterAlarm(const QString& hour, const QString& minute)
    {
        field<QLineEdit>("txtAlHr")->setText(hour);
        field<QLineEdit>("txtAlMin")->setText(minute);
    }
    void pressOk() { click(field<QPushButton>("cmdOk")); }
};

TEST_F(SettingsDialogTest, OpensWithTheCurrentSettings)
{
    EXPECT_EQ(dialog->windowTitle(), "設定画面");
    auto* zones = field<QComboBox>("cmbArea");
    ASSERT_EQ(zones->count(), kZoneCount);
    EXPECT_FALSE(zones->isEditable());
    for (int i = 0; i < kZoneCount; ++i)
        EXPECT_EQ(zones->itemText(i), qs(kZoneLabels[static_cast<std::size_t>(i)]));
    EXPECT_EQ(zones->currentIndex(), 5);
    EXPECT_FALSE(field<QCheckBox>("chkSummer")->isChecked());
    EXPECT_EQ(field<QLineEdit>("txtAlHr")->text(), "7");
    EXPECT_EQ(field<QLineEdit>("txtAlMin")->text(), "0");
    ASSERT_EQ(sounds().size(), 3);
    EXPECT_TRUE(sounds()[2]->isChecked());
    EXPECT_EQ(dialog->focusWidget(), zones);
    dialog->close();
}

TEST_F(SettingsDialogTest, AlarmEntriesAreReadForgivinglyAndCheckedForRange)
{
    struct Case {
        const char* hour;
        const char* minute;
        bool accepted;
        int h, m;
    } const cases[] = {
        {"23", "59", true, 23, 59},   {"22.5", "0", true, 22, 0},   {"23.5", "0", false, 0, 0},
        {"6", "59.4", true, 6, 59},   {"7時", "5", true, 7, 5},     {"1 5", "0", true, 15, 0},
        {"&H17", "0", true, 23, 0},   {"24", "0", false, 0, 0},     {"-1", "0", false, 0, 0},
        {"0", "60", false, 0, 0},     {"", "", true, 0, 0},         {"abc", "xyz", true, 0, 0},
        {"123456", "0", false, 0, 0}, {"１２", "３０", true, 12, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.hour) + " / " + c.minute);
        messages.shown.clear();
        state.alarmTime = buildTime(7, 0, 0);
        state.alarmDone = 1;
        click(control<QPushButton>("cmdIni"));
        dialog = main->settingsDialog();
        enterAlarm(QString::fromUtf8(c.hour), QString::fromUtf8(c.minute));
        pressOk();
        if (c.accepted) {
            EXPECT_TRUE(messages.shown.empty());
            EXPECT_FALSE(dialog->isVisible());
            EXPECT_EQ(state.alarmTime, buildTime(c.h, c.m, 0));
            EXPECT_EQ(state.alarmDone, 0);
        } else {
            EXPECT_EQ(messages.shown, (std::vector<Message>{{"アラーム時刻に誤りがあります", MessageIcon::None}}));
            EXPECT_TRUE(dialog->isVisible());
            EXPECT_EQ(state.alarmTime, buildTime(7, 0, 0));
            EXPECT_EQ(state.alarmDone, 1);
            dialog->close();
        }
    }
}

TEST_F(SettingsDialogTest, ARejectedOkKeepsZoneSummerAndSoundButNotTheAlarmTime)
{
    field<QComboBox>("cmbArea")->setCurrentIndex(9);
    field<QCheckBox>("chkSummer")->setChecked(true);
    sounds()[1]->setChecked(true);
    enterAlarm("24", "0");
    pressOk();
    dialog->close();
    EXPECT_EQ(state.area, 9);
    EXPECT_EQ(state.summer, 1);
    EXPECT_EQ(state.buzzer, 1);
    EXPECT_EQ(state.alarmTime, buildTime(7, 0, 0));
}

TEST_F(SettingsDialogTest, AValidOkShowsTheNewZoneAtOnceAndSoundsAnAlarmDueNow)
{
    // Local 12:00 is 4:00 in zone 15; an alarm at that minute sounds on OK.
    checkAlarm(true);
    field<QComboBox>("cmbArea")->setCurrentIndex(15);
    sounds()[0]->setChecked(true);
    enterAlarm("4", "0");
    pressOk();
    EXPECT_EQ(timeText(), "4:00");
    EXPECT_EQ(beeper.beeps, 1);
    EXPECT_EQ(state.alarmDone, 1);

    // OK without a change re-arms, so the alarm sounds again at once.
    click(control<QPushButton>("cmdIni"));
    click(control<QPushButton>(main->settingsDialog(), "cmdOk"));
    EXPECT_EQ(beeper.beeps, 2);
}

TEST_F(SettingsDialogTest, EnterDoesNotConfirmAndEscapeDoesNotClose)
{
    QTest::keyClick(field<QLineEdit>("txtAlHr"), Qt::Key_Return);
    QTest::keyClick(field<QLineEdit>("txtAlHr"), Qt::Key_Escape);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(messages.shown.empty());
    dialog->close();
}

TEST_F(SettingsDialogTest, HandEditedValuesTheControlsCannotShowSurviveAnOk)
{
    dialog->close();
    state.area = 30;
    state.buzzer = 7;
    click(control<QPushButton>("cmdIni"));
    dialog = main->settingsDialog();
    EXPECT_EQ(field<QComboBox>("cmbArea")->currentIndex(), -1);
    EXPECT_TRUE(sounds()[2]->isChecked());
    pressOk();
    EXPECT_EQ(state.area, 30);
    EXPECT_EQ(state.buzzer, 2);
}

}  // namespace
}  // namespace zentick::ui::test
