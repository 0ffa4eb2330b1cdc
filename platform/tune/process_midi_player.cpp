#include "platform/tune/process_midi_player.h"

#include "platform/tune/helper.h"
#include "platform/tune/tune_reader.h"
#include "platform/tune/wire.h"

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>
#include <new>

#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif
#include <utility>

namespace zentick::platform {

namespace {

// A helper told to go ends within milliseconds; one that does not is stopped.
constexpr int kExitWaitMilliseconds = 500;
// No answer is this long: a helper that writes more without a line's end
// is talking nonsense, and its output is not kept.
constexpr qint64 kLongestAnswer = 64 * 1024;

constexpr const char* kUnreadableReply = "曲を演奏するプロセスから読めない応答がありました。";
// An answer that belongs to a device closed since: read and dropped.
constexpr std::string_view kStale = "stale";
constexpr std::string_view kGreeting = "greeting";

std::string verbOf(std::string_view command)
{
    return std::string(command.substr(0, command.find(' ')));
}

}  // namespace

QString ProcessMidiPlayer::runningProgram()
{
#if defined(Q_OS_LINUX)
    return QStringLiteral("/proc/self/exe");
#else
    return QCoreApplication::applicationFilePath();  // the module's own path, read from the system
#endif
}

ProcessMidiPlayer::ProcessMidiPlayer(QString program, QStringList arguments, std::chrono::milliseconds patience)
    : m_program(std::move(program))
    , m_arguments(std::move(arguments))
    , m_patience(patience)
{
    m_patienceTimer.setSingleShot(true);
    m_patienceTimer.setInterval(m_patience);
    QObject::connect(&m_patienceTimer, &QTimer::timeout, &m_patienceTimer,
                     [this] { fail("曲を演奏するプロセスが応答しません。"); });
}

ProcessMidiPlayer::~ProcessMidiPlayer()
{
    if (m_helper)
        m_leaving.push_back(std::move(m_helper));
    // The program is ending: the last helpers are waited for here, briefly.
    for (const auto& helper : m_leaving) {
        QObject::disconnect(helper.get(), nullptr, &m_patienceTimer, nullptr);
        helper->closeWriteChannel();
        if (helper->state() != QProcess::NotRunning && !helper->waitForFinished(kExitWaitMilliseconds)) {
            helper->kill();
            helper->waitForFinished(kExitWaitMilliseconds);
        }
    }
}

void ProcessMidiPlayer::start()
{
    m_helperEnded = false;
    m_helper = std::make_unique<QProcess>();
    QProcess* helper = m_helper.get();
    // The helper's messages (FluidSynth's warnings) belong with the clock's.
    helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(helper, &QProcess::readyReadStandardOutput, &m_patienceTimer, [this] { readAnswers(); });
    QObject::connect(helper, &QProcess::finished, &m_patienceTimer, [this] { ended(); });
    QObject::connect(helper, &QProcess::errorOccurred, &m_patienceTimer, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            fail("曲を演奏するプログラムを起動できません: " + m_program.toStdString());
    });
    m_awaited.assign(1, std::string(kGreeting));
    m_patienceTimer.start();
    std::vector<std::string> environment;
#if defined(Q_OS_UNIX)
    // As it stands: a name given twice is kept to its first value, as every
    // library reads it (QProcessEnvironment would keep the last).
    for (char** entry = environ; *entry; ++entry)
        environment.emplace_back(*entry);
#else
    for (const QString& entry : QProcessEnvironment::systemEnvironment().toStringList())
        environment.push_back(entry.toStdString());
#endif
    QProcessEnvironment trimmed;
    for (const auto& entry : helperEnvironment(environment)) {
        const auto equals = entry.find('=');
        trimmed.insert(QString::fromStdString(entry.substr(0, equals)), QString::fromStdString(entry.substr(equals + 1)));
    }
    helper->setProcessEnvironment(trimmed);
    helper->start(m_program, m_arguments);
}

void ProcessMidiPlayer::send(std::string_view command, bool answered)
{
    if (!m_helper)
        return;  // ended: the failure is already on its way to the device
    const std::string line = std::string(command) + '\n';
    // Written as the pipe takes it, on the event loop: never waited for.
    m_helper->write(line.data(), static_cast<qint64>(line.size()));
    if (!answered)
        return;
    m_awaited.push_back(verbOf(command));
    if (!m_patienceTimer.isActive())
        m_patienceTimer.start();
}

void ProcessMidiPlayer::readAnswers()
{
    while (m_helper && m_helper->canReadLine()) {
        const QByteArray line = m_helper->readLine().chopped(1);  // without its newline
        if (m_awaited.empty())
            return fail(kUnreadableReply);
        const std::string command = std::move(m_awaited.front());
        m_awaited.pop_front();
        answered(command, std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
    }
    if (!m_helper)
        return;
    if (m_helper->bytesAvailable() > kLongestAnswer)
        return fail(kUnreadableReply);
    if (m_awaited.empty())
        m_patienceTimer.stop();
    else
        m_patienceTimer.start();  // the helper is alive: its patience starts again
}

void ProcessMidiPlayer::answered(const std::string& command, std::string_view line)
{
    if (command == kGreeting) {
        if (line != midi_wire::greeting())
            fail("曲を演奏するプログラムがこの時計と違う版です: " + m_program.toStdString());
        return;
    }
    const auto reply = midi_wire::readReply(line);
    if (!reply)
        return fail(kUnreadableReply);
    if (command == kStale || command == "close")
        return;
    if (reply->refused) {
        if (reply->lost && m_open && !m_failure && !m_movedOn)
            return moveToNewHelper();
        if (m_open && !m_failure)
            m_failure = reply->text;
        return;
    }
    if (command == "poll") {
        const auto state = midi_wire::stateNamed(reply->text);
        if (!state)
            return fail(kUnreadableReply);
        if (m_open)
            m_state = *state;
    }
}

void ProcessMidiPlayer::ended()
{
    // A helper that ended on its own (a SoundFont that crashes the
    // synthesizer, say) is not started again every tick: the next tune's
    // opening tries again and tells the user, and so does a prepare() after
    // release().
    fail("曲を演奏するプロセスが終了しました。");  // and the tune with it
}

void ProcessMidiPlayer::fail(std::string why)
{
    if (m_open && !m_failure)
        m_failure = std::move(why);
    // Whatever state the helper is in, it is not to be trusted with the next tune.
    if (m_helper)
        m_helper->kill();
    retire();
    m_helperEnded = true;
}

void ProcessMidiPlayer::retire() noexcept
{
    m_patienceTimer.stop();
    m_awaited.clear();
    if (!m_helper)
        return;
    QProcess* helper = m_helper.get();
    QObject::disconnect(helper, nullptr, &m_patienceTimer, nullptr);
    m_leaving.push_back(std::move(m_helper));
    const auto forget = [this, helper] {
        const auto found = std::find_if(m_leaving.begin(), m_leaving.end(),
                                        [helper](const auto& leaving) { return leaving.get() == helper; });
        if (found == m_leaving.end())
            return;
        found->release()->deleteLater();  // it may be inside its own signal
        m_leaving.erase(found);
    };
    if (helper->state() == QProcess::NotRunning)
        return forget();
    QObject::connect(helper, &QProcess::finished, &m_patienceTimer, forget);
    helper->closeWriteChannel();  // its input ends: the helper closes the device and exits
    QTimer::singleShot(kExitWaitMilliseconds, helper, [helper] { helper->kill(); });
}

void ProcessMidiPlayer::sendTune(const std::filesystem::path& file, std::string_view bytes)
{
    if (!m_helper)
        return;
    const std::string message = midi_wire::tuneMessage(file, bytes);
    m_helper->write(message.data(), static_cast<qint64>(message.size()));
}

void ProcessMidiPlayer::prepare(const std::filesystem::path& tune)
{
    if (m_helper || m_helperEnded)
        return;
    start();
    // The helper reads no tune file: the clock hands it over. One that
    // cannot be read now is told of when it opens.
    try {
        sendTune(tune, readTuneBytes(tune));
    } catch (const MidiError&) {
    }
    send("prepare " + midi_wire::escape(midi_wire::pathText(tune)), false);
}

void ProcessMidiPlayer::release() noexcept
{
    if (m_open)
        return;
    retire();
    m_helperEnded = false;
}

void ProcessMidiPlayer::setDeviceType(std::string_view type)
{
    m_type = type;
}

void ProcessMidiPlayer::setFileName(const std::filesystem::path& file)
{
    m_file = file;
}

void ProcessMidiPlayer::open()
{
    m_open = true;
    m_state = MidiState::Opening;
    m_failure.reset();
    m_played = false;
    m_movedOn = false;
    sendOpening();
}

void ProcessMidiPlayer::sendOpening()
{
    // Read as it is now, changed since it was armed or not.
    std::string bytes;
    try {
        bytes = readTuneBytes(m_file);
    } catch (const MidiError& refusal) {
        m_failure = refusal.what();
        return;
    }
    if (!m_helper)
        start();
    sendTune(m_file, bytes);
    // The type and name travel with each opening, so a new helper has them too.
    send("type " + midi_wire::escape(m_type));
    send("file " + midi_wire::escape(midi_wire::pathText(m_file)));
    send("open");
}

// A helper may open no new connection to the sound server once it has
// contained itself: a new one, which connects as it starts, takes the tune
// over, from its beginning; once for each opening.
void ProcessMidiPlayer::moveToNewHelper()
{
    m_movedOn = true;
    retire();
    sendOpening();
    if (m_played)
        send("play");
}

void ProcessMidiPlayer::play()
{
    m_played = true;
    send("play");
}

void ProcessMidiPlayer::close() noexcept
{
    if (!m_open)
        return;
    m_open = false;
    m_state = MidiState::Closed;
    m_failure.reset();
    // Answers still to come speak of this device: they are read and dropped.
    for (auto& command : m_awaited) {
        if (command != kGreeting)
            command = kStale;
    }
    try {
        send("close");
    } catch (const std::bad_alloc&) {
        // The helper keeps the device until its next opening or its end.
    }
}

bool ProcessMidiPlayer::isOpen() const noexcept
{
    return m_open;
}

MidiState ProcessMidiPlayer::poll()
{
    if (m_failure) {
        const std::string why = std::move(*m_failure);
        close();  // the helper may still hold the device
        throw MidiError(why);
    }
    if (!m_open)
        return MidiState::Closed;
    if (std::find(m_awaited.begin(), m_awaited.end(), "poll") == m_awaited.end())
        send("poll");
    return m_state;
}

qint64 ProcessMidiPlayer::helperId() const noexcept
{
    return m_helper && m_helper->state() != QProcess::NotRunning ? m_helper->processId() : 0;
}

}  // namespace zentick::platform
