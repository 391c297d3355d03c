// Everything the daemon would otherwise hard-wire: where the module is, where
// the RTOS side listens, where the trace goes, how long waits last and how
// shell commands run.  Defaults are the production values; tests build their
// own objects.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct SDaemonSettings {
    std::string device = "/dev/ttyUSB2";
    uint16_t port = 50001;
    std::string traceFile = "/tmp/SD0/LteDebug.txt";
    // Factor on every wait (poll time-outs, sleeps, connect retries).
    double timeScale = 1.0;
    // Runs one shell command to completion; empty means RunShellCommand.
    std::function<int(const char*)> runShell;

    // A fixed wait in milliseconds, scaled; a non-zero wait stays at least 1 ms.
    int Ms(int ms) const {
        if (ms <= 0 || timeScale == 1.0) return ms;
        const double scaled = ms * timeScale;
        return scaled < 1.0 ? 1 : static_cast<int>(scaled);
    }

    int Shell(const char* command) const;
};

// The settings of this process.  In sim7100d these are the defaults; in
// sim7100d-dev the SIM7100D_* environment variables may override them.
const SDaemonSettings& ProcessSettings();

// sim7100d-dev: one line naming the overrides taken; nothing in sim7100d.
void AnnounceSettings();

// Like system(), but leaves the caller's signal dispositions alone: system()
// ignores SIGINT in the caller while the child runs, which would swallow a
// Ctrl-C during Connect.
int RunShellCommand(const char* command);
