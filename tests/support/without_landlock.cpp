// Runs a command as on a kernel without Landlock: its three calls fail with
// ENOSYS, as where Landlock is not built in, for the command and everything
// it starts. The helper's containment then takes the path it takes on such
// a kernel, the very code that runs there.
// Usage: without_landlock COMMAND [ARGUMENTS...]

#include <seccomp.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <unistd.h>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fputs("usage: without_landlock COMMAND [ARGUMENTS...]\n", stderr);
        return 2;
    }
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    if (!filter)
        return 1;
    for (const int call : {SCMP_SYS(landlock_create_ruleset), SCMP_SYS(landlock_add_rule), SCMP_SYS(landlock_restrict_self)})
        seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), call, 0);
    if (seccomp_load(filter) != 0) {
        std::perror("without_landlock: seccomp");
        return 1;
    }
    seccomp_release(filter);
    execvp(argv[1], argv + 1);
    std::perror("without_landlock");
    return 127;
}
