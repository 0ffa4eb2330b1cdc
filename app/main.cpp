// Zentick: a world clock with a daily alarm.

#include "core/clock_state.h"
#include "platform/file_system.h"
#include "platform/fluidsynth/fluid_synth_player.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/termination.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QTranslator>

#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char* argv[])
{
    using namespace zentick;

#if defined(__GLIBC__)
    // One heap for every thread: a tune's SoundFont is loaded on a thread of
    // its own, and in a heap of that thread's its tens of megabytes would
    // stay with the process after they are freed.
    mallopt(M_ARENA_MAX, 1);
#endif
    QApplication app(argc, argv);
    QApplication::setApplicationName(platform::kApplicationName);
    // The desktop entry `tools/dev install` writes: docks group the window
    // under it and show its icon.
    QApplication::setDesktopFileName(QStringLiteral("zentick"));
    QTranslator toolkitTexts;
    if (ui::loadToolkitTranslations(toolkitTexts))
        QApplication::installTranslator(&toolkitTexts);
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
    platform::TerminationRequests endOfSession([&window] { window.close(); });
    window.show();
    return QApplication::exec();
}
