// Preloaded (LD_PRELOAD) into the clock, and through it into its tune
// helper, by the containment test: on SIGUSR2 the process tries, from
// inside and on whichever of its threads takes the signal, what code that
// took it over would try, and writes what came of each to the file
// descriptor the test gave it, one line a try: "<role> <try> <value> <errno>".
// What to reach for is read, as the library loads, from probe.conf beside
// it, so that the handler makes system calls alone.

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct Config {
    int fd = -1;
    std::string role;  // "helper" or "clock"
    std::string home;
    std::string folder;  // the program's own
    std::string sockets[3];  // the X server, the session bus, the system bus: "path" or "@abstract"
    pid_t bystander = 0;
};
Config* g_config = nullptr;

void report(const char* what, long long value, int error)
{
    char line[160];
    const int length = std::snprintf(line, sizeof line, "%s %s %lld %d\n", g_config->role.c_str(), what, value, error);
    if (length > 0)
        (void)!write(g_config->fd, line, static_cast<std::size_t>(length));
}

template <typename Call>
void attempt(const char* what, Call call)
{
    errno = 0;
    const long long value = call();
    report(what, value, errno);
}

long long reach(const std::string& socketName)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketName.size() + 1);
    std::memcpy(address.sun_path, socketName.c_str(), socketName.size());
    if (socketName[0] == '@') {
        address.sun_path[0] = '\0';  // abstract: no closing zero either
        --length;
    }
    return connect(socket(AF_UNIX, SOCK_STREAM, 0), reinterpret_cast<sockaddr*>(&address), length);
}

void probe(int)
{
    const Config& c = *g_config;
    const std::string mine = c.home + "/" + c.role;
    attempt("create-in-home", [&] { return open((c.home + "/made-by-" + c.role).c_str(), O_WRONLY | O_CREAT, 0600); });
    attempt("create-beside-program", [&] { return open((c.folder + "/made-by-" + c.role).c_str(), O_WRONLY | O_CREAT, 0600); });
    attempt("write-settings", [&] { return open((c.folder + "/Zentick.ini").c_str(), O_WRONLY); });
    attempt("read-key", [&] { return open((c.home + "/.ssh/id_ed25519").c_str(), O_RDONLY); });
    attempt("truncate", [&] { return truncate((mine + "-1").c_str(), 0); });
    attempt("rename", [&] { return rename((mine + "-2").c_str(), (mine + "-renamed").c_str()); });
    attempt("delete", [&] { return unlink((mine + "-3").c_str()); });
    attempt("change-permissions", [&] { return chmod((mine + "-4").c_str(), 0777); });
    attempt("change-times", [&] {
        const timespec epoch[2] = {{0, 0}, {0, 0}};
        return utimensat(AT_FDCWD, (mine + "-4").c_str(), epoch, 0);
    });
    attempt("ipv4-socket", [] { return socket(AF_INET, SOCK_STREAM, 0); });
    attempt("ipv6-socket", [] { return socket(AF_INET6, SOCK_STREAM, 0); });
    attempt("reach-x-server", [&] { return reach(c.sockets[0]); });
    attempt("reach-session-bus", [&] { return reach(c.sockets[1]); });
    attempt("reach-system-bus", [&] { return reach(c.sockets[2]); });
    attempt("run-program", [] {
        pid_t child = 0;
        char program[] = "/bin/true";
        char* argv[] = {program, nullptr};
        const int failed = posix_spawn(&child, program, nullptr, nullptr, argv, nullptr);
        errno = failed;
        return failed ? -1LL : 0LL;
    });
    attempt("signal-another", [&] { return kill(c.bystander, 0); });
    attempt("trace-another", [&] {
        const long attached = ptrace(PTRACE_ATTACH, c.bystander, nullptr, nullptr);
        if (attached == 0)
            ptrace(PTRACE_DETACH, c.bystander, nullptr, nullptr);
        return attached;
    });
    // No set-user-ID program could raise it, were it allowed to run one.
    attempt("gain-privileges", [] {
        if (prctl(PR_GET_NO_NEW_PRIVS, 0, 0, 0, 0) != 1)
            return 0LL;
        errno = EPERM;
        return -1LL;
    });
    report("done", 0, 0);
}

std::string fieldOf(const std::string& text, const std::string& name)
{
    const auto at = text.find(name + "=");
    if (at == std::string::npos)
        return {};
    const auto from = at + name.size() + 1;
    return text.substr(from, text.find('\n', from) - from);
}

__attribute__((constructor)) void load()
{
    Dl_info self{};
    if (!dladdr(reinterpret_cast<void*>(&load), &self) || !self.dli_fname)
        return;
    std::string folder = self.dli_fname;
    folder.erase(folder.rfind('/'));
    std::string text;
    if (FILE* file = std::fopen((folder + "/probe.conf").c_str(), "r")) {
        char chunk[512];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            text.append(chunk, n);
        std::fclose(file);
    }
    if (text.empty())
        return;
    auto* config = new Config;
    config->fd = std::atoi(fieldOf(text, "fd").c_str());
    config->home = fieldOf(text, "home");
    config->sockets[0] = fieldOf(text, "x");
    config->sockets[1] = fieldOf(text, "session");
    config->sockets[2] = fieldOf(text, "system");
    config->bystander = std::atoi(fieldOf(text, "bystander").c_str());
    char program[4096] = {};
    if (readlink("/proc/self/exe", program, sizeof program - 1) > 0) {
        config->folder = program;
        config->folder.erase(config->folder.rfind('/'));
    }
    std::string commandLine;
    if (FILE* file = std::fopen("/proc/self/cmdline", "r")) {
        for (int c; (c = std::fgetc(file)) != EOF;)
            commandLine += static_cast<char>(c ? c : ' ');
        std::fclose(file);
    }
    config->role = commandLine.find("--tune-player") != std::string::npos ? "helper" : "clock";
    g_config = config;
    struct sigaction action {};
    action.sa_handler = probe;
    sigaction(SIGUSR2, &action, nullptr);
}

}  // namespace
