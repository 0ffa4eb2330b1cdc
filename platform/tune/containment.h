#pragma once

// The tune helper parses bytes nobody vouches for: a tune the user fetched
// from anywhere, and SoundFonts, whose readers have had memory-safety faults
// before. Once it holds what it needs (its libraries, its connection to the
// sound server, the places of the SoundFonts it may load), it gives up every
// right it has no use for, so that a file that takes it over cannot turn it
// against its user:
// - Landlock (as far as the kernel's ABI goes; none is refused for want of
//   a newer one): it may read only the system's libraries and configuration
//   and those SoundFonts, create, write, rename or remove no file anywhere,
//   execute nothing, and (from ABI 4) open no TCP connection, (from ABI 6)
//   neither signal nor reach an abstract socket outside itself;
// - seccomp, on every thread: no new socket of any family and no connection
//   (the sound server's is made already), no program run, no process made
//   (threads only), none traced or signalled, no file made, truncated,
//   renamed, removed or given other permissions, whatever Landlock holds;
//   a refused call fails with EPERM, so a probe ends no alarm;
// - no new privileges, ever.
// Where the kernel lacks a layer the helper plays all the same, and says so
// once on its standard error. Elsewhere than Linux it runs as it is.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace zentick::platform {

// What Landlock takes charge of at an ABI version: the file-system rights a
// rule must grant, the TCP rights, and the scopes a process keeps to itself.
struct LandlockRights {
    std::uint64_t fs = 0;
    std::uint64_t net = 0;
    std::uint64_t scoped = 0;
};
LandlockRights landlockRights(int abi);

class Containment {
public:
    // Prepares the rules: the system's libraries, configuration and the
    // few devices a sound needs stay readable, and so do `readable` (the
    // SoundFonts, links resolved). Nothing is restricted yet.
    explicit Containment(const std::vector<std::filesystem::path>& readable);
    ~Containment();
    Containment(const Containment&) = delete;
    Containment& operator=(const Containment&) = delete;

    // Restricts the calling thread to the rules; threads it starts later
    // inherit them. Landlock holds a thread at a time: run this on every
    // thread the process has, before seal().
    void confineThisThread() const;
    // Refuses the calls listed above on every thread, and says on standard
    // error which layer the kernel lacked. The last step.
    void seal();

    int landlockAbi() const { return m_abi; }

private:
    int m_abi = 0;
    int m_ruleset = -1;
    mutable bool m_confined = true;
};

}  // namespace zentick::platform
