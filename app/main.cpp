// Zentick: a world clock with a daily alarm.

#include "core/clock_state.h"
#include "platform/file_system.h"
#include "platform/fluidsynth/fluid_synth_player.h"
#include "platform/qt/qt_platform.h"
#include "ui/frmMain.h"

#include <QApplication>

#include <cstdlib>

int main(int argc, char* argv[])
{
    using namespace zentick;

    QApplication app(argc, argv);
    QApplication::setApplicationName(platform::kApplicationName);
    ui::installFontSubstitutes();

    platform::QtClock clock;
    platform::BellBeeper beeper(ui::frmMain::kTickInterval);
    platform::QtMessageBox messages;
    platform::DiskFileSystem files;
    platform::QtProgramDir programDir;
    platform::FluidSynthPlayer midi(platform::FluidSynthConfig::desktop(programDir.path()));

    ClockState state;
    ui::frmMain window(state, {clock, beeper, messages, files, programDir, midi});
    if (window.failed())
        return EXIT_FAILURE;
    window.show();
    return QApplication::exec();
}
