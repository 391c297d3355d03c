#include "process_exit.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace Exit {
namespace {

enum EState : int { eRunning, eRequested, eExiting };

std::atomic<int> g_state{eRunning};
std::atomic<int> g_status{0};
std::atomic<int> g_signal{0};
std::atomic<bool> g_woken{false};
std::atomic<WakeHook> g_wakeHook{nullptr};
std::atomic<SignalReport> g_signalReport{nullptr};
int g_pipe[2] = {-1, -1};

static_assert(std::atomic<int>::is_always_lock_free, "used from signal handlers");

bool Claim(int status, int signal) noexcept {
    int expected = eRunning;
    if (!g_state.compare_exchange_strong(expected, eRequested)) return false;
    g_status.store(status);
    g_signal.store(signal);
    if (g_pipe[1] >= 0) {
        const char byte = 1;
        ssize_t ignored = write(g_pipe[1], &byte, 1);
        (void)ignored;
    }
    return true;
}

}  // namespace

void Init() noexcept {
    if (g_pipe[0] >= 0) return;
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
    }
}

void RequestFromSignal(int signal) noexcept {
    const int savedErrno = errno;
    Claim(0, signal);
    errno = savedErrno;
}

void Request(int status) noexcept {
    if (Claim(status, 0)) WakeMain();
}

int WakeFd() noexcept { return g_state.load() == eExiting ? -1 : g_pipe[0]; }

bool Pending() noexcept { return g_state.load() == eRequested; }

void SetWakeHook(WakeHook hook) noexcept { g_wakeHook.store(hook); }

void WakeMain() noexcept {
    if (g_woken.exchange(true)) return;
    if (WakeHook hook = g_wakeHook.load()) hook();
}

void SetSignalReport(SignalReport report) noexcept { g_signalReport.store(report); }

void CompleteIfPending() noexcept {
    int expected = eRequested;
    if (!g_state.compare_exchange_strong(expected, eExiting)) return;
    const int signal = g_signal.load();
    if (signal != 0) {
        if (SignalReport report = g_signalReport.load()) report(signal);
    }
    exit(g_status.load());
}

}  // namespace Exit
