// A bounded soak: requests of random types and payloads, valid and not,
// pipelined a few deep against modemsim, whose fault switches change at
// random every few hundred requests (a new module behind the same link).
// Every request is answered exactly once and in order, no sanitizer speaks,
// and the daemon's resident memory stays flat.
//   SIM7100_SOAK_REQUESTS  number of requests (default 3000; 300 under the emulator)
//   SIM7100_SOAK_SEED      seed of the random choices (default 1)
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <optional>
#include <random>

#include "hardening_rig.h"

namespace hardening {
namespace {

size_t EnvNumber(const char* name, size_t fallback) {
    const char* v = getenv(name);
    return v != nullptr && *v != '\0' ? strtoull(v, nullptr, 10) : fallback;
}

class CSoak {
public:
    explicit CSoak(unsigned seed) : m_random(seed) {}

    size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_random); }
    bool Chance(int percent) { return static_cast<int>(Pick(100)) < percent; }

    std::string Bytes(size_t n, bool binary) {
        static const char kPlain[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,.\"";
        std::string s(n, '\0');
        for (auto& c : s) c = binary ? static_cast<char>(Pick(256)) : kPlain[Pick(sizeof kPlain - 1)];
        return s;
    }

    // A request: mostly the types the module serves, some unknown ones; PowerOn
    // often enough that the port is open most of the time.
    uint32_t Type() {
        if (Chance(8)) return SIM7100_MSG_POWER_ON;
        if (Chance(3)) {
            const uint32_t unknown[] = {0, 1, SIM7100_MSG_LAST_REQUEST + 1, SIM7100_MSG_LAST_REQUEST + 2, 0xFFFFFFFFu};
            return unknown[Pick(5)];
        }
        return 3 + static_cast<uint32_t>(Pick(36));
    }

    // Every payload shape is the bad-input walk's; here they come mixed:
    // none, one byte short, the layout, or much longer.
    std::string Payload(uint32_t type) {
        if (type == SIM7100_MSG_RAW_COMMAND && Chance(60)) {
            const char* commands[] = {"AT\r\n", "AT+CSQ\r\n", "AT+CPIN?\r\n", "AT+CGREG?\r\n", "FLUSH\r\n", "ATI\r\n"};
            return commands[Pick(6)];
        }
        const size_t layout = LayoutSizeOf(type);
        const size_t sizes[] = {0, layout > 0 ? layout - 1 : Pick(8), layout > 0 ? layout : 1 + Pick(40),
                                layout + Pick(5000)};
        return Bytes(sizes[Pick(4)], Chance(20));
    }

    modemsim::SConfig Module() {
        modemsim::SConfig c = QuickModule();
        c.seed = static_cast<unsigned>(Pick(1u << 30));
        c.model = Chance(50) ? modemsim::EModel::eSim7600G : modemsim::EModel::eSim7100E;
        c.echo = Chance(30);
        if (Chance(30)) c.faults.latencyMs = 1 + static_cast<int>(Pick(3));
        if (Chance(30)) {
            c.faults.splitBytes = 1 + Pick(16);
            c.faults.splitGapMs = static_cast<int>(Pick(2));
        }
        if (Chance(20)) c.faults.silentCommands = {Chance(50) ? "AT+CSQ" : "AT+CGMR"};
        if (Chance(30)) c.faults.urcs = {{"RING", 3 + static_cast<int>(Pick(20)), -1}};
        if (Chance(20)) {
            c.faults.garbageEveryMs = 5 + static_cast<int>(Pick(30));
            c.faults.garbageBytes = 1 + Pick(64);
        }
        if (Chance(20)) {
            c.faults.oversizeCommands = {Chance(50) ? "AT+CPIN" : "AT+CMGL"};
            c.faults.oversizeBytes = 4000 + Pick(3000);
        }
        if (Chance(20)) c.faults.hangup = {"", 5 + static_cast<int>(Pick(40)), 0, 5};
        c.faults.errorFraming = Chance(20) ? modemsim::EErrorFraming::eLine : modemsim::EErrorFraming::eBare;
        c.faults.bootLines = Chance(10);
        c.state.pinRequired = Chance(10);
        return c;
    }

private:
    std::mt19937 m_random;
};

TEST(Soak, RandomRequestsAgainstAFaultyModuleAreAnsweredOnceInOrderWithFlatMemory) {
    const size_t total = EnvNumber("SIM7100_SOAK_REQUESTS", Emulated() ? 300 : 3000);
    const auto seed = static_cast<unsigned>(EnvNumber("SIM7100_SOAK_SEED", 1));
    const size_t segment = 250;
    const size_t window = 4;
    const size_t sampleAt = std::min<size_t>(1000, total / 3);
    CSoak soak(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));

    Rig rig;
    const std::string link = rig.dir + "/ttyUSB2";
    std::optional<SimModule> module;
    // Waits of 1 s become 1 ms: a silent command costs 20 ms, not 20 s.
    ASSERT_NO_FATAL_FAILURE(rig.StartLinked({{"SIM7100D_DEVICE", link}, {"SIM7100D_TIME_SCALE", "0.001"}}));

    std::deque<uint32_t> expected;  // types of the requests awaiting a response
    size_t sent = 0, answered = 0, segmentEnd = 0;
    long rssAtSample = -1;
    while (sent < total || !expected.empty()) {
        // Once a segment's window has drained, the terminal goes; the next one has other faults.
        if (expected.empty() && sent == segmentEnd) {
            module.emplace(soak.Module(), link);
            segmentEnd = std::min(total, sent + segment);
        }
        for (; sent < segmentEnd && expected.size() < window; ++sent) {
            const uint32_t type = soak.Type();
            ASSERT_TRUE(rig.peer.SendFrame(type, soak.Payload(type))) << "request " << sent;
            if (type >= SIM7100_MSG_FIRST_REQUEST && type <= SIM7100_MSG_LAST_REQUEST) expected.push_back(type);
        }
        if (expected.empty()) continue;
        const auto r = rig.peer.ReadResponse(Within(20000));
        ASSERT_TRUE(r) << "no response after " << answered << " answered";
        ASSERT_EQ(r->type, expected.front()) << "response " << answered;
        expected.pop_front();
        if (++answered == sampleAt) rssAtSample = ResidentKiB(rig.daemon.Pid());
    }
    const long rssAtEnd = ResidentKiB(rig.daemon.Pid());

    // Nothing more comes: terminate gets no response, then the link closes.
    ASSERT_TRUE(rig.peer.SendFrame(SIM7100_MSG_TERMINATE));
    EXPECT_FALSE(rig.peer.ReadResponse(Within(5000))) << "a response came twice";
    EXPECT_EQ(ExitCode(rig.daemon.WaitExit(Within(10000))), 0);
    EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr()));
    // The sanitizers' own bookkeeping grows with every allocation; their leak
    // check at exit stands in for the measurement there.
    if (!Sanitized()) {
        ASSERT_GT(rssAtSample, 0);
        EXPECT_LE(rssAtEnd - rssAtSample, 512) << "resident memory grew from answer " << sampleAt;
    }
}

}  // namespace
}  // namespace hardening
