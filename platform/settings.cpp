#include "settings.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "process_exit.h"

int SDaemonSettings::Shell(const char* command) const {
    return runShell ? runShell(command) : RunShellCommand(command);
}

int RunShellCommand(const char* command) {
    char sh[] = "sh";
    char dashC[] = "-c";
    std::string text = command;
    char* argv[] = {sh, dashC, text.data(), nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) != 0) return -1;
    // A signal or a link fault must not wait for a slow tool (udhcpc without
    // a lease): the exit goes ahead, and StandBy's "pkill udhcpc" ends it.
    // The child's pidfd wakes us when it ends; kernels without pidfds get a
    // 10 ms pause between checks instead.
    const int child = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) {
            status = -1;
            break;
        }
        pollfd fds[2] = {{child, POLLIN, 0}, {Exit::WakeFd(), POLLIN, 0}};
        poll(fds, 2, child >= 0 ? -1 : 10);
        Exit::CompleteIfPending();
    }
    if (child >= 0) close(child);
    return status;
}

#ifdef SIM7100D_DEV

namespace {

std::string g_overrides;

SDaemonSettings FromEnvironment() {
    SDaemonSettings s;
    // A value that cannot be used stops the start: going on with a default
    // would reach the real port 50001 or wait for ever.
    bool refused = false;
    auto take = [&refused](const char* name, const char* wanted, auto apply) {
        const char* value = getenv(name);
        if (value == nullptr || *value == '\0') return;
        if (apply(value)) {
            g_overrides += g_overrides.empty() ? "" : " ";
            g_overrides += name;
            g_overrides += "=";
            g_overrides += value;
        } else {
            fprintf(stderr, "[ERROR] %s=%s refused: %s expected\n", name, value, wanted);
            refused = true;
        }
    };
    take("SIM7100D_DEVICE", "", [&](const char* v) {
        s.device = v;
        return true;
    });
    take("SIM7100D_TRACE_FILE", "", [&](const char* v) {
        s.traceFile = v;
        return true;
    });
    take("SIM7100D_PORT", "a TCP port from 1 to 65535", [&](const char* v) {
        char* end = nullptr;
        const unsigned long port = strtoul(v, &end, 10);
        if (*end != '\0' || port == 0 || port > 65535) return false;
        s.port = static_cast<uint16_t>(port);
        return true;
    });
    take("SIM7100D_TIME_SCALE", "a number above 0 and at most 1000", [&](const char* v) {
        char* end = nullptr;
        const double scale = strtod(v, &end);
        if (*end != '\0' || !(scale > 0.0) || scale > 1000.0) return false;
        s.timeScale = scale;
        return true;
    });
    if (refused) exit(1);
    return s;
}

}  // namespace

const SDaemonSettings& ProcessSettings() {
    static const SDaemonSettings settings = FromEnvironment();
    return settings;
}

void AnnounceSettings() {
    ProcessSettings();
    printf("sim7100d-dev: overrides: %s\n", g_overrides.empty() ? "none" : g_overrides.c_str());
}

#else

const SDaemonSettings& ProcessSettings() {
    static const SDaemonSettings settings;
    return settings;
}

void AnnounceSettings() {}

#endif
