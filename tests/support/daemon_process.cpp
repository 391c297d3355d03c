#include "daemon_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>
#include <sstream>

extern char** environ;

int ExitCode(const std::optional<int>& status) {
    if (!status) return -1000;
    return WIFEXITED(*status) ? WEXITSTATUS(*status) : -WTERMSIG(*status);
}

DaemonProcess::~DaemonProcess() { Kill(); }

bool DaemonProcess::Start(const SOptions& options) {
    // SIM7100_DAEMON_WRAPPER (for example "valgrind --error-exitcode=99")
    // goes first on the command line, then the emulator; words split at spaces.
    const char* wrapper = getenv("SIM7100_DAEMON_WRAPPER");
    std::istringstream words(std::string(wrapper != nullptr ? wrapper : "") + " " + options.emulator);
    std::vector<std::string> args(std::istream_iterator<std::string>(words), {});
    args.push_back(options.binary);
    args.insert(args.end(), options.args.begin(), options.args.end());

    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string name = std::string(*e).substr(0, std::string(*e).find('='));
        if (name.rfind("SIM7100D_", 0) != 0 && name != "SIM7100_STUB_LOG" && name != "PATH" &&
            options.env.count(name) == 0) {
            env.emplace_back(*e);
        }
    }
    const char* path = getenv("PATH");
    if (options.env.count("PATH") == 0) {
        env.push_back("PATH=" + (options.stubDir.empty() ? "" : options.stubDir + ":") +
                      (path != nullptr ? path : "/usr/bin:/bin"));
    }
    for (const auto& kv : options.env) env.push_back(kv.first + "=" + kv.second);

    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    int out[2] = {-1, -1}, err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        for (int fd : {out[0], out[1]}) close(fd);
        m_error = "pipe";
        return false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    // Nothing of this process (a pty master, a listener) leaks into the child.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    // Its own group, so teardown can end it with the shells it started.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const int rc = posix_spawnp(&m_pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(out[1]);
    close(err[1]);
    if (rc != 0) {
        m_pid = -1;
        close(out[0]);
        close(err[0]);
        m_error = std::string("spawn ") + argv[0] + ": " + strerror(rc);
        return false;
    }
    m_reader = std::thread([this, o = out[0], e = err[0]] { Drain(o, e); });
    return true;
}

void DaemonProcess::Drain(int outFd, int errFd) {
    pollfd p[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    while (p[0].fd >= 0 || p[1].fd >= 0) {
        if (poll(p, 2, -1) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (p[i].fd < 0 || p[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(p[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            std::lock_guard<std::mutex> lock(m_lock);
            if (n <= 0) {
                close(p[i].fd);
                p[i].fd = -1;  // poll skips it
            } else {
                m_output[i].append(buffer, static_cast<size_t>(n));
            }
            m_changed.notify_all();
        }
    }
    // The pipes end when the child does (its shells are short-lived).  It is
    // reaped under the lock, so Signal and Kill never reach a reused pid.
    siginfo_t info;
    while (waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
    }
    std::lock_guard<std::mutex> lock(m_lock);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_status = status;
    m_changed.notify_all();
}

bool DaemonProcess::Signal(int signal) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_pid > 0 && !m_status && kill(m_pid, signal) == 0;
}

std::optional<int> DaemonProcess::WaitExit(std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait_for(lock, deadline, [&] { return m_status.has_value(); });
    return m_status;
}

std::string DaemonProcess::Output(bool err) const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_output[err ? 1 : 0];
}

size_t DaemonProcess::Count(const std::string& haystack, const std::string& needle) {
    size_t count = 0;
    for (size_t at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + needle.size()))
        ++count;
    return count;
}

bool DaemonProcess::WaitFor(const std::string& text, bool err, std::chrono::milliseconds deadline, size_t times) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, deadline, [&] { return Count(m_output[err ? 1 : 0], text) >= times; });
}

void DaemonProcess::Kill() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_pid > 0 && !m_status) kill(-m_pid, SIGKILL);
    }
    if (m_reader.joinable()) m_reader.join();
}
