#pragma once

// A private PulseAudio with a null sink, its monitor recorded as it plays,
// and the child processes around them: how the alarm tests and benchmarks
// hear the real program.

#include "support/temp_dir.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zentick::test {

namespace sound {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr int kRate = 44100;
constexpr int kBlockFrames = kRate / 100;  // 10 ms
}  // namespace sound

using namespace sound;

inline double dbfs(int peak)
{
    return peak <= 0 ? -120.0 : 20.0 * std::log10(peak / 32768.0);
}

// A child process, ended when this goes.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& environment, bool pipeOut = false)
    {
        // Everything the child needs is made before the fork: a thread of
        // the parent's may hold the heap's lock at that moment.
        std::vector<std::string> settings = environment;
        for (char** inherited = environ; *inherited; ++inherited)
            settings.emplace_back(*inherited);  // later entries lose to earlier ones
        std::vector<char*> args;
        for (const auto& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (const auto& setting : settings)
            envp.push_back(const_cast<char*>(setting.c_str()));
        envp.push_back(nullptr);
        int out[2] = {-1, -1};
        if (pipeOut && pipe(out) != 0)
            return;
        const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlives a test that died
            if (pipeOut) {
                dup2(out[1], STDOUT_FILENO);
                close(out[0]);
                close(out[1]);
            }
            dup2(quiet, STDERR_FILENO);
            execvpe(args[0], args.data(), envp.data());
            _exit(127);
        }
        close(quiet);
        if (pipeOut) {
            close(out[1]);
            m_out = out[0];
        }
    }
    ~Child()
    {
        terminate();
        if (m_out >= 0)
            close(m_out);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Ends the child at once, as a crash would.
    void kill()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

    // Ends the child, asking first; its output is left open, to be read to its end.
    void terminate()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            for (int i = 0; i < 100 && waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(20ms);
            ::kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

    // Asks the child to end, as a session's end does: how long it took, or
    // nothing if it was still running after `patience`.
    std::optional<std::chrono::steady_clock::duration> endOnRequest(std::chrono::steady_clock::duration patience)
    {
        const auto asked = std::chrono::steady_clock::now();
        ::kill(m_pid, SIGTERM);
        while (std::chrono::steady_clock::now() - asked < patience) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                return std::chrono::steady_clock::now() - asked;
            }
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

    bool started() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }
    int out() const { return m_out; }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

inline std::string output(const std::string& command)
{
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            text += buffer;
        pclose(pipe);
    }
    return text;
}

// A sound server for this test alone, as a Debian 12 desktop runs it:
// PulseAudio, or PipeWire with its PulseAudio server and WirePlumber. Its
// own folders and socket, no system instance, one null sink as the default,
// and the volumes kept per role as a desktop keeps them.
class SoundServer {
public:
    enum class Kind { PulseAudio, PipeWire };

    // The kind named by ZENTICK_SOUND_SERVER ("pipewire"), else PulseAudio.
    static Kind chosen()
    {
        const char* named = std::getenv("ZENTICK_SOUND_SERVER");
        return named && std::string(named) == "pipewire" ? Kind::PipeWire : Kind::PulseAudio;
    }

    explicit SoundServer(Kind kind = chosen()) : m_kind(kind)
    {
        std::filesystem::create_directories(m_dir.path() / "run");
        std::filesystem::permissions(m_dir.path() / "run", std::filesystem::perms::owner_all);
        start();
    }

    // Stopped as a suspended computer stops it, or let go again.
    void freeze(bool frozen) const
    {
        for (const auto& process : m_processes)
            ::kill(process->pid(), frozen ? SIGSTOP : SIGCONT);
    }

    // Killed as a crash kills it, then started again on the same socket.
    void restart()
    {
        for (const auto& process : m_processes)
            process->kill();
        m_processes.clear();
        start();
    }

    std::filesystem::path socket() const
    {
        // pipewire-pulse listens where PULSE_RUNTIME_PATH points.
        return m_kind == Kind::PipeWire ? m_dir.path() / "run" / "native" : m_dir.path() / "native";
    }
    std::string address() const { return "unix:" + socket().string(); }
    std::string pactl(const std::string& what) const { return "PULSE_SERVER=" + address() + " pactl " + what + " 2>/dev/null"; }
    bool ready() const { return output(pactl("info")).find("Default Sink: zentick") != std::string::npos; }
    // The streams playing into the sink.
    std::string streams() const { return output(pactl("list sink-inputs short")); }
    const char* name() const { return m_kind == Kind::PipeWire ? "PipeWire" : "PulseAudio"; }

    // What a desktop's alert-sound slider does: the volume of every stream
    // of the "event" role, kept by the server for the streams to come.
    void muteAlertSounds() const
    {
        Child alert({"pacat", "--playback", "--property=media.role=event", "--raw", "/dev/zero"},
                    {"PULSE_SERVER=" + address()});
        for (int i = 0; i < 100 && streams().empty(); ++i)
            std::this_thread::sleep_for(20ms);
        const std::string mute = "PULSE_SERVER=" + address()
            + " sh -c 'for i in $(pactl list short sink-inputs | cut -f1); do pactl set-sink-input-volume $i 0; done'";
        std::system(mute.c_str());
        std::this_thread::sleep_for(300ms);  // the server keeps it
    }

private:
    void start()
    {
        const std::string dir = m_dir.path().string();
        const std::vector<std::string> environment = {
            "HOME=" + dir, "XDG_RUNTIME_DIR=" + dir + "/run", "XDG_CONFIG_HOME=" + dir + "/config",
            "XDG_STATE_HOME=" + dir + "/state", "PULSE_RUNTIME_PATH=" + dir + "/run", "PULSE_STATE_PATH=" + dir + "/state",
            "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir + "/run/bus", "DISPLAY="};
        const auto run = [&](std::vector<std::string> argv) {
            m_processes.push_back(std::make_unique<Child>(argv, environment));
        };
        // A killed server leaves its sockets behind: a new one must not be
        // taken as listening before it is.
        for (const char* stale : {"native", "pipewire-0", "pipewire-0.lock"})
            std::filesystem::remove(m_dir.path() / "run" / stale);
        std::filesystem::remove(socket());
        if (m_kind == Kind::PulseAudio) {
            run({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--disable-shm=yes", "-L",
                 "module-native-protocol-unix socket=" + socket().string() + " auth-anonymous=1", "-L",
                 "module-null-sink sink_name=zentick rate=44100 channels=2", "-L", "module-stream-restore"});
        } else {
            if (!std::filesystem::exists(m_dir.path() / "run" / "bus"))
                m_bus = std::make_unique<Child>(std::vector<std::string>{"dbus-daemon", "--session", "--nofork", "--nopidfile",
                                                                         "--address=unix:path=" + dir + "/run/bus"},
                                                environment);
            for (int i = 0; i < 200 && !std::filesystem::exists(m_dir.path() / "run" / "bus"); ++i)
                std::this_thread::sleep_for(10ms);
            run({"pipewire"});
            for (int i = 0; i < 200 && !std::filesystem::exists(m_dir.path() / "run" / "pipewire-0"); ++i)
                std::this_thread::sleep_for(10ms);
            run({"wireplumber"});
            run({"pipewire-pulse"});
        }
        for (int i = 0; i < 400 && !std::filesystem::exists(socket()); ++i)
            std::this_thread::sleep_for(25ms);
        if (m_kind == Kind::PipeWire) {
            std::system(pactl("load-module module-null-sink sink_name=zentick rate=44100 channels=2 > /dev/null").c_str());
            for (int i = 0; i < 80 && !ready(); ++i) {
                std::system(pactl("set-default-sink zentick").c_str());
                std::this_thread::sleep_for(25ms);
            }
        }
        for (int i = 0; i < 80 && !ready(); ++i)
            std::this_thread::sleep_for(25ms);
    }

    Kind m_kind;
    TempDir m_dir;
    std::unique_ptr<Child> m_bus;  // PipeWire's session bus, kept across restarts
    std::vector<std::unique_ptr<Child>> m_processes;
};

// The sink's monitor, read as it arrives, one peak per 10 ms block.
class Recording {
public:
    struct Block {
        Clock::time_point arrived;
        int peak;
        int fullScaleRun;  // the longest run of full-scale samples in it
    };

    explicit Recording(const SoundServer& server)
        : m_parec({"parec", "--device=zentick.monitor", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                   "--latency-msec=10"},
                  {"PULSE_SERVER=" + server.address()}, true)
        , m_reader([this] { read(); })
    {
    }
    ~Recording()
    {
        m_stop = true;
        m_parec.terminate();  // the reader may wait in read() for data that never comes: now it sees the end
        m_reader.join();
    }

    std::vector<Block> blocks() const
    {
        const std::lock_guard lock(m_mutex);
        return m_blocks;
    }

    // Until the first block has come (at most 10 s): from then on nothing
    // the server plays is missed.
    void waitUntilUnderWay() const
    {
        for (int i = 0; i < 1000 && blocks().empty(); ++i)
            std::this_thread::sleep_for(10ms);
    }

private:
    void read()
    {
        std::vector<std::int16_t> samples(kBlockFrames * 2);
        const auto bytes = samples.size() * sizeof samples[0];
        while (!m_stop) {
            std::size_t got = 0;
            while (got < bytes && !m_stop) {
                const auto n = ::read(m_parec.out(), reinterpret_cast<char*>(samples.data()) + got, bytes - got);
                if (n <= 0)
                    return;
                got += static_cast<std::size_t>(n);
            }
            Block block{Clock::now(), 0, 0};
            int run = 0;
            for (const auto sample : samples) {
                const int level = std::abs(static_cast<int>(sample));
                block.peak = std::max(block.peak, level);
                run = level >= 32767 ? run + 1 : 0;
                block.fullScaleRun = std::max(block.fullScaleRun, run);
            }
            const std::lock_guard lock(m_mutex);
            m_blocks.push_back(block);
        }
    }

    Child m_parec;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<Block> m_blocks;
    std::thread m_reader;  // last: it reads the members above
};

}  // namespace zentick::test
