#pragma once

#include "settings/ini_file.h"
#include "support/fakes.h"
#include "ui/frmIni.h"
#include "ui/frmMain.h"
#include "ui/frmMci.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace zentick::ui::test {

using namespace zentick::test;

// The main window on fakes: the clock, the sound, the message boxes, the
// files and the sequencer are all the test's.
class MainWindowTest : public ::testing::Test {
protected:
    FakeClock clock;
    CountingBeeper beeper;
    RecordingMessageBox messages;
    MemoryFileSystem files;
    FixedProgramDir programDir{"/opt/zentick"};
    FakeMidiPlayer midi;
    RecordingAlarmNotice notice;
    FakeSleepWatch sleep;
    RecordingWakeUp wakeUp;
    UiPlatform platform{clock, beeper, messages, files, programDir, midi, notice, sleep, wakeUp};
    ClockState state;
    std::unique_ptr<frmMain> main;

    void TearDown() override
    {
        main.reset();
        // No window may outlive its test.
        for (QWidget* window : QApplication::topLevelWidgets())
            EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();
    }

    std::filesystem::path ini() const { return settings::iniPath("/opt/zentick"); }

    void writeSettings(const std::string& line) { files.files[ini()] = line; }

    frmMain& start()
    {
        main.reset();  // one clock at a time, as the program has: the platform serves one
        main = std::make_unique<frmMain>(state, platform);
        main->show();
        return *main;
    }

    template <typename T> T* control(QWidget* window, const char* name)
    {
        auto* found = window->findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    template <typename T> T* control(const char* name) { return control<T>(main.get(), name); }

    void tick() { QMetaObject::invokeMethod(control<QTimer>("Timer1"), "timeout", Qt::DirectConnection); }

    void click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton, QPoint at = {})
    {
        QTest::mouseClick(widget, button, Qt::NoModifier, at.isNull() ? widget->rect().center() : at);
    }

    QString timeText() { return control<QLineEdit>("txtTimeWd")->text(); }
    void checkAlarm(bool on)
    {
        auto* box = control<QCheckBox>("chkAl");
        if (box->isChecked() != on)
            click(box);
    }
};

}  // namespace zentick::ui::test
