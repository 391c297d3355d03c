// sim7100d-dev as a process, wired to a scripted modem and a test RTOS side,
// with a temporary folder of its own; and what the suites that run it look
// for.  Reads SIM7100_E2E_DAEMON_DEV, _STUB_DIR and _EMULATOR from the build.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "daemon_process.h"
#include "rtos_peer.h"
#include "scripted_modem.h"
#include "sim7100_protocol.h"
#include "test_support.h"

namespace sim7100test {

using std::chrono::milliseconds;

inline bool Emulated() { return !std::string(SIM7100_E2E_EMULATOR).empty(); }

// Deadlines stretch under the emulator, which runs everything many times slower.
inline milliseconds Within(int ms) { return milliseconds(Emulated() ? ms * 10 : ms); }

inline bool Sanitized() {
#ifdef SIM7100_SANITIZED
    return true;
#else
    return false;
#endif
}

inline std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(path));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// What the sanitizers (and glibc's own checks) print when they find a fault.
inline bool HasFaultReport(const std::string& err) {
    for (const char* mark :
         {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:", "WARNING: ThreadSanitizer",
          "*** buffer overflow detected", "*** stack smashing", "free(): ", "malloc(): ", "double free"}) {
        if (err.find(mark) != std::string::npos) return true;
    }
    return false;
}

// VmRSS of a process in KiB; -1 when it cannot be read.
inline long ResidentKiB(pid_t pid) {
    for (const auto& line : ReadLines("/proc/" + std::to_string(pid) + "/status")) {
        if (line.rfind("VmRSS:", 0) == 0) return strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

// Waits until the process has ended (a zombie not yet reaped), without
// waiting for its output pipes, which a shell it started may still hold.
inline bool WaitForZombie(pid_t pid, milliseconds deadline) {
    return WaitUntil(
        [&] {
            const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
            const size_t paren = stat.rfind(')');
            return stat.empty() || (paren != std::string::npos && stat.compare(paren, 4, ") Z ") == 0);
        },
        deadline);
}

// Signals one of the process's threads, found by name: there the main
// thread learns of the signal only through the wake pipe.  A process that
// ends meanwhile has no such thread, which the caller's checks then see.
inline void SignalThread(pid_t pid, int signal, const std::string& thread) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (std::filesystem::directory_iterator t(tasks, ec), end; !ec && t != end; t.increment(ec)) {
        if (ReadFile(t->path().string() + "/comm") != thread + "\n") continue;
        ASSERT_EQ(syscall(SYS_tgkill, pid, atoi(t->path().filename().c_str()), signal), 0);
        return;
    }
    ADD_FAILURE() << "no thread " << thread << (ec ? " (" + ec.message() + ")" : std::string());
}

// Waits until the process holds a socket: the daemon creates it after its
// signal handlers are in place, before it tries to connect.
inline bool WaitForSocket(pid_t pid, milliseconds deadline) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    return WaitUntil(
        [&] {
            std::error_code ec;
            for (std::filesystem::directory_iterator e(dir, ec), end; !ec && e != end; e.increment(ec)) {
                std::error_code gone;
                if (std::filesystem::read_symlink(e->path(), gone).string().rfind("socket:", 0) == 0) return true;
            }
            return false;
        },
        deadline);
}

// A request type's layout size from the protocol's request list; 0 for types
// without a fixed layout (text payloads or none).
inline size_t LayoutSizeOf(uint32_t type) {
    size_t size = 0;
#define SIM7100_RIG_FIELD(t, layout, field, kind) \
    if (type == (t)) size += SIM7100_FIELD_SIZE(layout, field);
    SIM7100_REQUEST_FIELDS(SIM7100_RIG_FIELD)
#undef SIM7100_RIG_FIELD
    return size;
}

struct Rig {
    ScriptedModem modem;
    RtosPeer peer;
    STempDir temp;
    const std::string dir = temp.path;
    DaemonProcess daemon;

    explicit Rig(bool listen = true) : peer(listen) {}
    ~Rig() {
        daemon.Kill();
        if (::testing::Test::HasFailure()) {
            auto tail = [](const std::string& s) { return s.size() > 6000 ? s.substr(s.size() - 6000) : s; };
            std::cerr << "--- daemon stdout ---\n"
                      << tail(daemon.Stdout()) << "--- daemon stderr ---\n"
                      << tail(daemon.Stderr()) << "---\n";
        }
    }

    std::string StubLog() const { return dir + "/stub.log"; }
    std::string TraceFile() const { return dir + "/LteDebug.txt"; }
    std::vector<std::string> StubCalls() const { return ReadLines(StubLog()); }

    // Starts sim7100d-dev pointed at this rig; `env` adds or replaces settings.
    void Start(const std::map<std::string, std::string>& env = {}) {
        DaemonProcess::SOptions o{SIM7100_E2E_DAEMON_DEV, SIM7100_E2E_EMULATOR, SIM7100_E2E_STUB_DIR, {}};
        o.env = {{"SIM7100D_DEVICE", modem.Path()},
                 {"SIM7100D_PORT", std::to_string(peer.Port())},
                 {"SIM7100D_TRACE_FILE", TraceFile()},
                 // Exchange budgets of 600 ms: a module double that a busy
                 // machine holds up for 200 ms must not time an answer out.
                 {"SIM7100D_TIME_SCALE", "0.03"},
                 {"SIM7100_STUB_LOG", StubLog()}};
        // ThreadSanitizer would otherwise sleep a second in every exit.
        const char* tsan = getenv("TSAN_OPTIONS");
        o.env["TSAN_OPTIONS"] = std::string(tsan != nullptr ? tsan : "") + " atexit_sleep_ms=0";
        for (const auto& kv : env) o.env[kv.first] = kv.second;
        ASSERT_TRUE(daemon.Start(o)) << daemon.Error();
    }

    void StartLinked(const std::map<std::string, std::string>& env = {}) {
        ASSERT_NO_FATAL_FAILURE(Start(env));
        ASSERT_TRUE(peer.AcceptRegistered(Within(5000))) << "no registration frame";
    }

    void StartPowered(const std::map<std::string, std::string>& env = {}) {
        ASSERT_NO_FATAL_FAILURE(StartLinked(env));
        ASSERT_NO_FATAL_FAILURE(PowerOn());
    }

    RtosPeer::SResponse Request(uint32_t type, const std::string& payload = {}) {
        EXPECT_TRUE(peer.SendFrame(type, payload));
        const auto r = peer.ReadResponse(Within(5000));
        if (!r) {
            ADD_FAILURE() << "no response to type " << type;
            return {};
        }
        EXPECT_EQ(r->type, type);
        return *r;
    }

    void PowerOn() {
        modem.On("AT\r\n", "\r\nOK\r\n");
        modem.On("AT+CSCLK=1\r\n", "\r\nOK\r\n");
        const auto r = Request(SIM7100_MSG_POWER_ON);
        ASSERT_EQ(r.record.cmdStatus, 1) << r.Text();
    }

    std::vector<std::string> CommandsSince(size_t from) const {
        const auto all = modem.Commands();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
    }
};

}  // namespace sim7100test
