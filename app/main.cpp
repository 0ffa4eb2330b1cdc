// Zentick: a world clock with a daily alarm.

#include "core/clock_state.h"
#include "platform/bell/bell_player.h"
#include "platform/disk/disk_file_system.h"
#include "platform/qt/desktop_notifications.h"
#include "platform/qt/logind_sleep_watch.h"
#include "platform/qt/power_manager_wake_up.h"
#include "platform/qt/qt_platform.h"
#include "platform/qt/session_environment.h"
#include "platform/qt/termination.h"
#include "platform/tune/containment.h"
#include "platform/tune/fluid_synth_player.h"
#include "platform/tune/helper.h"
#include "platform/tune/process_midi_player.h"
#include "platform/tune/wire.h"
#include "ui/fonts.h"
#include "ui/frmMain.h"
#include "ui/program_icon.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdlib>
#include <string>
#include <string_view>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Qt's own Japanese texts (context menus, the message boxes' button), from
// where Qt keeps its translations. False when they are not installed.
bool loadToolkitTranslations(QTranslator& translator)
{
    // Japanese whatever the system's language: every text the user sees is.
    return translator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

// The helper process that plays the tunes: the player alone, no windows.
// It takes what it needs, then contains itself, before it reads a byte of a
// tune or a SoundFont.
int serveTunes(int argc, char* argv[])
{
    using namespace zentick;
    const QCoreApplication app(argc, argv);  // for the program's folder, where a SoundFont may be
    const platform::QtProgramDir programDir;
    platform::FluidSynthConfig config = platform::FluidSynthConfig::desktop(programDir.path());
    platform::Containment containment(platform::soundFontFiles(config.soundFonts));
#if defined(__linux__)
    // A server restarting is waited for a moment: this may be the helper
    // that takes a tune over after the sound server went away.
    config.soundServer = platform::PulseConnection::connect(std::chrono::milliseconds(1500));
    if (config.soundServer)
        config.soundServer->runOnItsThread([&containment] { containment.confineThisThread(); });
#endif
    containment.confineThisThread();
    containment.seal();
    config.findsNewSoundFonts = false;  // the next helper finds a SoundFont put in place since
    platform::FluidSynthPlayer midi(std::move(config));
    const int status = platform::serveMidiPlayer(midi);
    // A SoundFont still loading runs inside FluidSynth on a thread of its
    // own: the exit handlers would tear the libraries down under it.
    if (midi.loading())
        std::_Exit(status);
    return status;
}

}  // namespace

int main(int argc, char* argv[])
{
    using namespace zentick;

#if defined(__GLIBC__)
    // One heap for every thread: a SoundFont is loaded on a thread of its
    // own, and in a heap of that thread's its tens of megabytes would stay
    // with the process after they are freed.
    mallopt(M_ARENA_MAX, 1);
#endif
    if (argc == 2 && argv[1] == platform::kTunePlayerSwitch)
        return serveTunes(argc, argv);

    // Qt reads the window system from here; a -platform argument still wins.
    if (const std::string systems = platform::preferredWindowSystems(platform::SessionEnvironment::current());
        !systems.empty())
        qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(systems));
    QApplication app(argc, argv);
    // The name screen readers and desktops give the program.
    QApplication::setApplicationName(ui::frmMain::kCaption);
    // The desktop entry: docks group the window under it and show its icon,
    // and on Wayland it is the window's app id.
    QApplication::setDesktopFileName(platform::appId());
    // Message boxes, which have no window of their own to say so, carry the
    // program's icon and the desktop's proportional Japanese font.
    QApplication::setWindowIcon(ui::programIcon());
    QApplication::setFont(ui::msPGothic(9));
    QTranslator toolkitTexts;
    if (loadToolkitTranslations(toolkitTexts))
        QApplication::installTranslator(&toolkitTexts);
    ui::installFontSubstitutes();

    platform::QtClock clock;
    platform::BellBeeper beeper(ui::frmMain::kTickInterval);
    platform::QtMessageBox messages;
    platform::DiskFileSystem files;
    platform::QtProgramDir programDir;
    platform::ProcessMidiPlayer midi(platform::ProcessMidiPlayer::runningProgram(),
                                     {QString::fromUtf8(platform::kTunePlayerSwitch)});
    platform::DesktopNotifications notice(QApplication::applicationName());
    platform::LogindSleepWatch sleep(QApplication::applicationName());
    platform::PowerManagerWakeUp wakeUp;

    ClockState state;
    ui::frmMain window(state, {clock, beeper, messages, files, programDir, midi, notice, sleep, wakeUp});
    if (window.failed())
        return EXIT_FAILURE;
    // The window the alarm's notice concerns.
    notice.setWindow(&window);
    // The session's end leaves every event loop, those of open message boxes
    // too, so no box can keep the program past a logout; the window then
    // closes as if the user had closed it, which saves the settings.
    platform::TerminationRequests endOfSession([&window] {
        QCoreApplication::exit(0);
        window.close();
    });
    window.show();
    return QApplication::exec();
}
