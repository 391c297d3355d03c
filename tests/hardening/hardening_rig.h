// Shared pieces of the hardening suite, on top of the end-to-end rig: exit
// codes, sanitizer reports, file waits, the daemon's resident memory and a
// module simulator whose terminal keeps one path across hang-ups.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "e2e_rig.h"
#include "simulator.h"

namespace hardening {

using e2e::ExitCode;
using e2e::Rig;
using e2e::Within;
using std::chrono::milliseconds;

inline bool Emulated() { return !e2e::Emulator().empty(); }

inline bool Sanitized() {
#ifdef SIM7100_SANITIZED
    return true;
#else
    return false;
#endif
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

using ::WaitUntil;

template <typename Predicate>
bool WaitForFile(const std::string& path, Predicate done, milliseconds deadline) {
    return WaitUntil([&] { return done(e2e::ReadFile(path)); }, deadline);
}

// VmRSS of a process in KiB; -1 when it cannot be read.
inline long ResidentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

// Waits until the process has ended (a zombie not yet reaped), without
// waiting for its output pipes, which a shell it started may still hold.
inline bool WaitForZombie(pid_t pid, milliseconds deadline) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    return WaitForFile(
        path,
        [](const std::string& stat) {
            const size_t paren = stat.rfind(')');
            return stat.empty() || (paren != std::string::npos && stat.compare(paren, 4, ") Z ") == 0);
        },
        deadline);
}

// Waits until the process holds a socket: the daemon creates it after its
// signal handlers are in place, before it tries to connect.
inline bool WaitForSocket(pid_t pid, milliseconds deadline) {
    const std::string dir = "/proc/" + std::to_string(pid) + "/fd";
    return WaitUntil(
        [&] {
            std::error_code ec;
            for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
                if (std::filesystem::read_symlink(e.path(), ec).string().rfind("socket:", 0) == 0) return true;
            }
            return false;
        },
        deadline);
}

// modemsim in this process, behind a symbolic link that outlives hang-ups and
// restarts, so the daemon's device path stays the same.
class SimModule {
public:
    SimModule(modemsim::SConfig config, const std::string& link) {
        config.link = link;
        m_sim = std::make_unique<modemsim::CSimulator>(std::move(config));
        std::string error;
        if (!m_sim->Open(error)) throw std::runtime_error("modemsim: " + error);
        m_sim->Start();
    }
    ~SimModule() { m_sim->Stop(); }
    modemsim::CSimulator& Sim() { return *m_sim; }

private:
    std::unique_ptr<modemsim::CSimulator> m_sim;
};

// The fields of a request type's payload, in order; a text type is one
// field that is the whole payload, a type without an entry takes none.
struct SLayout {
    std::vector<size_t> fields;  // sizes; 1-byte number fields included
    bool text = false;
    size_t Size() const {
        size_t n = 0;
        for (size_t f : fields) n += f;
        return n;
    }
};

inline SLayout LayoutOf(uint32_t type) {
    static const std::map<uint32_t, SLayout> layouts = {
        {SIM7100_MSG_SET_AUTHENTICATION, {{256, 256}}},
        {SIM7100_MSG_SET_APN, {{256}}},
        {SIM7100_MSG_ENTER_PIN, {{32, 32}}},
        {SIM7100_MSG_RAW_COMMAND, {{}, true}},
        {SIM7100_MSG_SET_ERROR_REPORTING, {{}, true}},
        {SIM7100_MSG_SET_CLOCK, {{40}}},
        {SIM7100_MSG_SET_TIME_SERVER, {{256}}},
        {SIM7100_MSG_SET_SMS_MODE, {{1}}},
        {SIM7100_MSG_LIST_SMS, {{1, 1}}},
        {SIM7100_MSG_READ_SMS, {{1}}},
        {SIM7100_MSG_DELETE_SMS, {{1, 1}}},
        {SIM7100_MSG_WRITE_SMS, {{1, 16, 160}}},
    };
    const auto found = layouts.find(type);
    return found != layouts.end() ? found->second : SLayout{};
}

// Short timings, so two-part answers come well within the scaled budgets.
inline modemsim::SConfig QuickModule() {
    modemsim::SConfig c;
    c.timings.resultMs = 2;
    c.timings.nmeaPeriodMs = 5;
    c.timings.restartAfterMs = 20;
    return c;
}

}  // namespace hardening
