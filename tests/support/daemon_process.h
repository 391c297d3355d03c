// Runs a daemon binary as a child process for end-to-end tests: its own
// process group, a chosen environment, a PATH that starts with the stub tools
// folder, stdout and stderr captured through pipes.  Every wait has a
// deadline; the destructor kills and reaps whatever is left.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Exit status, or minus the signal that ended the process; -1000 for none.
int ExitCode(const std::optional<int>& status);

class DaemonProcess {
public:
    struct SOptions {
        std::string binary;
        // Prepended to the argv (the cross build's emulator, words split at
        // spaces); may be empty.
        std::string emulator;
        // Put first on the child's PATH, if any, unless env sets PATH.
        std::string stubDir;
        // Set in the child, replacing this process's values; SIM7100D_* and
        // SIM7100_STUB_LOG of this process are never passed on.
        std::map<std::string, std::string> env;
        std::vector<std::string> args = {};  // after the binary
    };

    DaemonProcess() = default;
    ~DaemonProcess();
    DaemonProcess(const DaemonProcess&) = delete;
    DaemonProcess& operator=(const DaemonProcess&) = delete;

    // False, with the reason in Error(), when the child cannot be spawned.
    bool Start(const SOptions& options);
    const std::string& Error() const { return m_error; }
    pid_t Pid() const { return m_pid; }

    bool Signal(int signal) const;

    // The raw wait status once the child has ended; nothing at the deadline.
    std::optional<int> WaitExit(std::chrono::milliseconds deadline);

    std::string Stdout() const { return Output(false); }
    std::string Stderr() const { return Output(true); }
    // Waits until `text` has appeared `times` times on stdout (or stderr).
    bool WaitForStdout(const std::string& text, std::chrono::milliseconds deadline, size_t times = 1) const {
        return WaitFor(text, false, deadline, times);
    }
    bool WaitForStderr(const std::string& text, std::chrono::milliseconds deadline, size_t times = 1) const {
        return WaitFor(text, true, deadline, times);
    }

    static size_t Count(const std::string& haystack, const std::string& needle);

    // SIGKILL to the child's process group, then reap.
    void Kill();

private:
    void Drain(int outFd, int errFd);
    std::string Output(bool err) const;
    bool WaitFor(const std::string& text, bool onStderr, std::chrono::milliseconds deadline, size_t times) const;

    pid_t m_pid = -1;
    std::optional<int> m_status;  // set by the reader once the pipes end and the child is reaped
    std::string m_error;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::string m_output[2];  // stdout, stderr
    std::thread m_reader;
};
