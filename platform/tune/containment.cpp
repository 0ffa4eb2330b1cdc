#include "platform/tune/containment.h"

#include <cstdio>

#if defined(__linux__)
#include <seccomp.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#endif

namespace zentick::platform {

namespace {

// Landlock's interface as the kernel's own header spells it; written out
// here, since the build machine's header may be older than the kernel the
// helper runs on.
namespace landlock {
constexpr std::uint64_t kExecute = 1ULL << 0;
constexpr std::uint64_t kWriteFile = 1ULL << 1;
constexpr std::uint64_t kReadFile = 1ULL << 2;
constexpr std::uint64_t kReadDir = 1ULL << 3;
constexpr std::uint64_t kMakeSym = 1ULL << 12;  // the last of ABI 1's, each a bit from kExecute on
constexpr std::uint64_t kRefer = 1ULL << 13;     // ABI 2
constexpr std::uint64_t kTruncate = 1ULL << 14;  // ABI 3
constexpr std::uint64_t kIoctlDev = 1ULL << 15;  // ABI 5
constexpr std::uint64_t kBindTcp = 1ULL << 0;    // ABI 4, network
constexpr std::uint64_t kConnectTcp = 1ULL << 1;
constexpr std::uint64_t kScopeAbstractUnixSocket = 1ULL << 0;  // ABI 6
constexpr std::uint64_t kScopeSignal = 1ULL << 1;
}  // namespace landlock

}  // namespace

LandlockRights landlockRights(int abi)
{
    LandlockRights rights;
    if (abi < 1)
        return rights;
    rights.fs = (landlock::kMakeSym << 1) - 1;
    if (abi >= 2)
        rights.fs |= landlock::kRefer;
    if (abi >= 3)
        rights.fs |= landlock::kTruncate;
    if (abi >= 4)
        rights.net = landlock::kBindTcp | landlock::kConnectTcp;
    if (abi >= 5)
        rights.fs |= landlock::kIoctlDev;
    if (abi >= 6)
        rights.scoped = landlock::kScopeAbstractUnixSocket | landlock::kScopeSignal;
    return rights;
}

#if defined(__linux__)

namespace {

namespace landlock {
constexpr unsigned kCreateRulesetVersion = 1U << 0;
constexpr int kRulePathBeneath = 1;

struct RulesetAttr {
    std::uint64_t handledAccessFs;
    std::uint64_t handledAccessNet;
    std::uint64_t scoped;
};
struct __attribute__((packed)) PathBeneathAttr {
    std::uint64_t allowedAccess;
    std::int32_t parentFd;
};
}  // namespace landlock

// Set once the helper is sealed in.
std::atomic<bool> g_sealed{false};

// What stays readable for the libraries the helper runs on: code and data,
// configuration (the C library's, the sound client's), the C library's
// look at the processor count and at itself; and the devices a sound and a
// random number need.
struct Place {
    const char* path;
    std::uint64_t rights;
};
constexpr std::uint64_t kRead = landlock::kReadFile | landlock::kReadDir;
const Place kPlaces[] = {
    {"/usr", kRead},
    {"/lib", kRead},
    {"/lib32", kRead},
    {"/lib64", kRead},
    {"/libx32", kRead},
    {"/etc", kRead},
    {"/sys/devices/system/cpu", kRead},
    {"/proc/self", kRead},
    {"/dev/null", landlock::kReadFile | landlock::kWriteFile},
    {"/dev/zero", landlock::kReadFile},
    {"/dev/random", landlock::kReadFile},
    {"/dev/urandom", landlock::kReadFile},
    // ALSA's devices, for a machine with no sound server.
    {"/dev/snd", kRead | landlock::kWriteFile | landlock::kIoctlDev},
};

int landlockAbiOfKernel()
{
    const long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, landlock::kCreateRulesetVersion);
    return abi < 0 ? 0 : static_cast<int>(abi);
}

void allow(int ruleset, const LandlockRights& handled, const std::filesystem::path& path, std::uint64_t rights)
{
    const int place = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (place < 0)
        return;
    struct stat status {};
    if (::fstat(place, &status) == 0) {
        // A rule on a file grants what may be done to a file only.
        if (!S_ISDIR(status.st_mode))
            rights &= landlock::kExecute | landlock::kWriteFile | landlock::kReadFile | landlock::kTruncate
                | landlock::kIoctlDev;
        const landlock::PathBeneathAttr rule{rights & handled.fs, place};
        syscall(SYS_landlock_add_rule, ruleset, landlock::kRulePathBeneath, &rule, 0);
    }
    ::close(place);
}

}  // namespace

Containment::Containment(const std::vector<std::filesystem::path>& readable) : m_abi(landlockAbiOfKernel())
{
    if (m_abi == 0)
        return;
    const LandlockRights handled = landlockRights(m_abi);
    // Fields a kernel does not know stay zero, as it asks.
    const landlock::RulesetAttr attributes{handled.fs, handled.net, handled.scoped};
    m_ruleset = static_cast<int>(syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0));
    if (m_ruleset < 0) {
        m_abi = 0;
        return;
    }
    for (const auto& [path, rights] : kPlaces)
        allow(m_ruleset, handled, path, rights);
    for (const auto& file : readable)
        allow(m_ruleset, handled, file, landlock::kReadFile);
}

Containment::~Containment()
{
    if (m_ruleset >= 0)
        ::close(m_ruleset);
}

void Containment::confineThisThread() const
{
    // Required of a process without privileges, and wanted of all.
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    if (m_ruleset >= 0 && syscall(SYS_landlock_restrict_self, m_ruleset, 0) != 0)
        m_confined = false;
}

void Containment::seal()
{
    prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    bool sealed = false;
    if (scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW)) {
        const auto refuse = [&](int call, unsigned count = 0, const scmp_arg_cmp* condition = nullptr) {
            seccomp_rule_add_array(filter, SCMP_ACT_ERRNO(EPERM), call, count, condition);
        };
        // Every thread, those of the sound client and FluidSynth too.
        seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1);
        // A call of another architecture's numbering fails too; it ends nothing.
        seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_ERRNO(ENOSYS));
        for (const int call : {SCMP_SYS(execve), SCMP_SYS(execveat), SCMP_SYS(fork), SCMP_SYS(vfork), SCMP_SYS(ptrace),
                               SCMP_SYS(process_vm_readv), SCMP_SYS(process_vm_writev), SCMP_SYS(pidfd_getfd),
                               SCMP_SYS(pidfd_send_signal), SCMP_SYS(tkill), SCMP_SYS(socket), SCMP_SYS(socketpair),
                               SCMP_SYS(connect), SCMP_SYS(bind), SCMP_SYS(listen), SCMP_SYS(accept),
                               SCMP_SYS(accept4), SCMP_SYS(creat), SCMP_SYS(truncate), SCMP_SYS(unlink),
                               SCMP_SYS(unlinkat), SCMP_SYS(rename), SCMP_SYS(renameat), SCMP_SYS(renameat2),
                               SCMP_SYS(mkdir), SCMP_SYS(mkdirat), SCMP_SYS(rmdir), SCMP_SYS(link), SCMP_SYS(linkat),
                               SCMP_SYS(symlink), SCMP_SYS(symlinkat), SCMP_SYS(mknod), SCMP_SYS(mknodat),
                               SCMP_SYS(chmod), SCMP_SYS(fchmod), SCMP_SYS(fchmodat), SCMP_SYS(chown),
                               SCMP_SYS(fchown), SCMP_SYS(lchown), SCMP_SYS(fchownat), SCMP_SYS(setxattr),
                               SCMP_SYS(lsetxattr), SCMP_SYS(fsetxattr), SCMP_SYS(removexattr),
                               SCMP_SYS(lremovexattr), SCMP_SYS(fremovexattr), SCMP_SYS(utime), SCMP_SYS(utimes),
                               SCMP_SYS(utimensat), SCMP_SYS(futimesat), SCMP_SYS(mount), SCMP_SYS(umount2),
                               SCMP_SYS(unshare), SCMP_SYS(setns), SCMP_SYS(pivot_root), SCMP_SYS(chroot),
                               SCMP_SYS(bpf), SCMP_SYS(perf_event_open), SCMP_SYS(userfaultfd), SCMP_SYS(keyctl),
                               SCMP_SYS(add_key), SCMP_SYS(request_key), SCMP_SYS(io_uring_setup),
                               SCMP_SYS(io_uring_enter), SCMP_SYS(io_uring_register)})
            refuse(call);
        // Threads only: a clone that makes a process is refused. clone3's
        // arguments cannot be read; refused as unknown, it makes the C
        // library fall back to clone.
#if defined(__s390__) || defined(__s390x__)
        const scmp_arg_cmp process = SCMP_A1_64(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0);
#else
        const scmp_arg_cmp process = SCMP_A0_64(SCMP_CMP_MASKED_EQ, CLONE_THREAD, 0);
#endif
        refuse(SCMP_SYS(clone), 1, &process);
        seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
        seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(openat2), 0);
        // Signals for this process alone.
        const scmp_arg_cmp another = SCMP_A0_32(SCMP_CMP_NE, static_cast<std::uint32_t>(::getpid()));
        for (const int call : {SCMP_SYS(kill), SCMP_SYS(tgkill), SCMP_SYS(rt_sigqueueinfo), SCMP_SYS(rt_tgsigqueueinfo)})
            refuse(call, 1, &another);
        // No file made or emptied by opening it; without Landlock, none
        // opened for writing at all.
        std::vector<std::pair<int, unsigned>> flagsOf = {{SCMP_SYS(openat), 2}};
#if defined(SYS_open)
        flagsOf.emplace_back(SCMP_SYS(open), 1);
#endif
        std::vector<std::pair<std::uint32_t, std::uint32_t>> refused = {{O_CREAT, O_CREAT}, {O_TRUNC, O_TRUNC}};
        if (m_abi == 0 || !m_confined)
            refused.insert(refused.end(), {{O_ACCMODE, O_WRONLY}, {O_ACCMODE, O_RDWR}});
        for (const auto& [call, argument] : flagsOf) {
            for (const auto& [mask, value] : refused) {
                const scmp_arg_cmp flags{argument, SCMP_CMP_MASKED_EQ, mask, value};
                refuse(call, 1, &flags);
            }
        }
        // Typing into the terminal the clock was started from.
        const scmp_arg_cmp typing = SCMP_A1_32(SCMP_CMP_EQ, static_cast<std::uint32_t>(TIOCSTI));
        refuse(SCMP_SYS(ioctl), 1, &typing);
        sealed = seccomp_load(filter) == 0;
        seccomp_release(filter);
    }
    g_sealed.store(sealed);
    if (m_abi == 0 || !m_confined)
        std::fputs("zentick --tune-player: the kernel has no Landlock: files are not kept from the tune helper\n", stderr);
    if (!sealed)
        std::fputs("zentick --tune-player: the kernel refused seccomp's filter: the tune helper's calls are not "
                   "limited\n",
                   stderr);
}

}  // namespace zentick::platform

#if defined(__SANITIZE_ADDRESS__)
// LeakSanitizer looks for leaks by tracing the process from another it
// makes, which a sealed helper may not: its leaks are looked for where the
// player runs in a test's own process instead.
extern "C" int __lsan_is_turned_off()
{
    return zentick::platform::g_sealed.load() ? 1 : 0;
}
#endif

#else

Containment::Containment(const std::vector<std::filesystem::path>&) {}
Containment::~Containment() = default;
void Containment::confineThisThread() const {}
void Containment::seal() {}

}  // namespace zentick::platform

#endif
