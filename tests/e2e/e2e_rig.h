// One daemon process wired to a scripted modem and a test RTOS side, with a
// temporary folder of its own for the trace file and the stub tools' log.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "daemon_process.h"
#include "rtos_peer.h"
#include "scripted_modem.h"
#include "test_support.h"

namespace e2e {

using std::chrono::milliseconds;

inline std::vector<std::string> Emulator() {
    std::vector<std::string> words;
    std::istringstream in(SIM7100_E2E_EMULATOR);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// Deadlines stretch under the emulator, which runs everything many times slower.
inline milliseconds Within(int ms) { return milliseconds(Emulator().empty() ? ms : ms * 10); }

inline std::string Field(const std::string& text, size_t size) {
    std::string f = text.substr(0, size);
    f.resize(size, '\0');
    return f;
}

inline std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

using ::ExitCode;
using ::ReadFile;

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
        DaemonProcess::SOptions o{SIM7100_E2E_DAEMON_DEV, Emulator(), SIM7100_E2E_STUB_DIR, {}};
        o.env = {{"SIM7100D_DEVICE", modem.Path()},
                 {"SIM7100D_PORT", std::to_string(peer.Port())},
                 {"SIM7100D_TRACE_FILE", TraceFile()},
                 {"SIM7100D_TIME_SCALE", "0.01"},
                 {"SIM7100_STUB_LOG", StubLog()}};
        // ThreadSanitizer would otherwise sleep a second in every exit.
        const char* tsan = getenv("TSAN_OPTIONS");
        o.env["TSAN_OPTIONS"] = std::string(tsan != nullptr ? tsan : "") + " atexit_sleep_ms=0";
        for (const auto& kv : env) o.env[kv.first] = kv.second;
        ASSERT_TRUE(daemon.Start(o)) << daemon.Error();
    }

    // Start and accept the registered link.
    void StartLinked(const std::map<std::string, std::string>& env = {}) {
        ASSERT_NO_FATAL_FAILURE(Start(env));
        ASSERT_TRUE(peer.AcceptRegistered(Within(5000))) << "no registration frame";
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

    // Start, accept the registered link and power the module on.
    void StartPowered(const std::map<std::string, std::string>& env = {}) {
        ASSERT_NO_FATAL_FAILURE(StartLinked(env));
        ASSERT_NO_FATAL_FAILURE(PowerOn());
    }

    void PowerOn() {
        modem.On("AT\r\n", "\r\nOK\r\n");
        modem.On("AT+CSCLK=1\r\n", "\r\nOK\r\n");
        const auto r = Request(SIM7100_MSG_POWER_ON);
        ASSERT_EQ(r.record.cmdStatus, 1) << r.Text();
    }

    // Commands the modem received from index `from` on.
    std::vector<std::string> CommandsSince(size_t from) const {
        const auto all = modem.Commands();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
    }
};

}  // namespace e2e
