#include "platform/qt/process_midi_player.h"

#include "platform/midi_wire.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <utility>

namespace zentick::platform {

namespace {

// A helper told to go ends within milliseconds; one that does not is stopped.
constexpr int kExitWaitMilliseconds = 500;

constexpr const char* kUnreadableReply = "曲を演奏するプロセスから読めない応答がありました。";

}  // namespace

ProcessMidiPlayer::ProcessMidiPlayer(QString program, QStringList arguments, std::chrono::milliseconds patience)
    : m_program(std::move(program))
    , m_arguments(std::move(arguments))
    , m_patience(patience)
{
}

ProcessMidiPlayer::~ProcessMidiPlayer()
{
    end();
}

bool ProcessMidiPlayer::running() const
{
    // waitForFinished(0) sees an end that no event loop has reported yet.
    return m_helper && m_helper->state() != QProcess::NotRunning && !m_helper->waitForFinished(0);
}

bool ProcessMidiPlayer::start()
{
    m_helper = std::make_unique<QProcess>();
    // The helper's messages (FluidSynth's warnings) belong with the clock's.
    m_helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_helper->start(m_program, m_arguments);
    if (m_helper->waitForStarted(static_cast<int>(m_patience.count())))
        return true;
    m_helper.reset();
    return false;
}

void ProcessMidiPlayer::send(std::string_view command)
{
    std::string line = std::string(command) + '\n';
    m_helper->write(line.data(), static_cast<qint64>(line.size()));
    m_helper->waitForBytesWritten(static_cast<int>(m_patience.count()));
}

std::string ProcessMidiPlayer::ask(std::string_view command)
{
    if (!running()) {
        if (m_open)
            fail("曲を演奏するプロセスが終了しました。");  // and the tune with it
        if (!start())
            fail("曲を演奏するプログラムを起動できません: " + m_program.toStdString());
    }
    send(command);
    const QDeadlineTimer deadline(m_patience);
    while (!m_helper->canReadLine()) {
        if (m_helper->state() == QProcess::NotRunning || deadline.hasExpired()) {
            fail(m_helper->state() == QProcess::NotRunning ? "曲を演奏するプロセスが終了しました。"
                                                            : "曲を演奏するプロセスが応答しません。");
        }
        m_helper->waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    }
    const QByteArray line = m_helper->readLine().chopped(1);  // without its newline
    auto reply = midi_wire::readReply(std::string_view(line.constData(), static_cast<std::size_t>(line.size())));
    if (!reply)
        fail(kUnreadableReply);
    if (reply->refused)
        throw MidiError(reply->text);
    return std::move(reply->text);
}

void ProcessMidiPlayer::fail(const std::string& why)
{
    // Whatever state the helper is in, it is not to be trusted with the next tune.
    end();
    throw MidiError(why);
}

void ProcessMidiPlayer::end() noexcept
{
    m_open = false;
    if (!m_helper)
        return;
    m_helper->closeWriteChannel();  // its input ends: the helper closes the device and exits
    if (!m_helper->waitForFinished(kExitWaitMilliseconds)) {
        m_helper->kill();
        m_helper->waitForFinished(kExitWaitMilliseconds);
    }
    m_helper.reset();
}

void ProcessMidiPlayer::prepare()
{
    // A helper that ended on its own (a SoundFont that crashes the
    // synthesizer, say) is not started again every tick: the next tune's
    // opening tries again and tells the user, and so does a prepare() after
    // release().
    if (m_helper)
        return;
    if (start())
        send("prepare");
}

void ProcessMidiPlayer::release() noexcept
{
    if (!m_open)
        end();
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
    // The type and name travel with each opening, so a new helper has them too.
    ask("type " + midi_wire::escape(m_type));
    ask("file " + midi_wire::escape(midi_wire::pathText(m_file)));
    ask("open");
    m_open = true;
}

void ProcessMidiPlayer::play()
{
    ask("play");
}

void ProcessMidiPlayer::close() noexcept
{
    if (!m_open)
        return;
    m_open = false;
    try {
        ask("close");
    } catch (const MidiError&) {
        // The helper went wrong and has been ended: nothing plays any more.
    }
}

bool ProcessMidiPlayer::isOpen() const noexcept
{
    return m_open;
}

MidiState ProcessMidiPlayer::poll()
{
    if (!m_open)
        return MidiState::Closed;
    const auto state = midi_wire::stateNamed(ask("poll"));
    if (!state)
        fail(kUnreadableReply);
    if (*state == MidiState::Closed)
        m_open = false;
    return *state;
}

qint64 ProcessMidiPlayer::helperId() const noexcept
{
    return running() ? m_helper->processId() : 0;
}

}  // namespace zentick::platform
