// Faults of the link and signals at every stage: nothing hangs, the exit
// status is the fixed one (0 after a signal, 1 after a link fault) and
// StandBy runs exactly once.  A burst of requests far beyond the queue's 16
// items is answered in order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <thread>

#include "hardening_rig.h"

namespace hardening {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kOk = "\r\nOK\r\n";
// Long enough that a daemon waiting for the tool is told apart from one that is not.
const int kSlowToolSeconds = 5;

struct SExitCase {
    const char* name;
    bool listen;
    std::map<std::string, std::string> env;
    std::function<void(Rig&)> stage;    // brings the daemon to the stage
    std::function<void(Rig&)> trigger;  // the signal or the fault
    int status;
    const char* line;  // on stdout (status 0) or stderr (status 1)
    std::vector<std::string> shellAfter;  // shell steps after the trigger
};

void PowerOnWithSilentCsq(Rig& r) {
    r.PowerOn();
    r.modem.On("AT+CSQ\r\n", ScriptedModem::Silence());
}

void ConnectUntilUdhcpc(Rig& r) {
    r.PowerOn();
    r.modem.On("AT+CGMM\r\n", "\r\nSIMCOM_SIM7600G\r\n\r\nOK\r\n");
    r.modem.On("AT$QCRMCALL=1,1\r\n", kOk);
    r.modem.On("AT$QCRMCALL=0,1\r\n", kOk);
    ASSERT_TRUE(r.peer.SendFrame(SIM7100_MSG_CONNECT));
    ASSERT_TRUE(WaitForFile(r.StubLog(), [](const std::string& log) { return log.find("udhcpc") != std::string::npos; },
                            Within(5000)));
}

// A request whose exchange lasts (silent module, real time) and more behind it.
void QueueBehindALongExchange(Rig& r) {
    PowerOnWithSilentCsq(r);
    std::string frames;
    for (int i = 0; i < 6; ++i) frames += RtosPeer::Frame(SIM7100_MSG_GET_SIGNAL_QUALITY);
    ASSERT_TRUE(r.peer.SendRaw(frames));
    ASSERT_TRUE(r.modem.WaitForCommands(3, Within(5000)));
}

TEST(LinkFaults, SignalsAndLinkFaultsAtEveryStageEndTheProcessOnceWithItsStatus) {
    const std::map<std::string, std::string> realTime = {{"SIM7100D_TIME_SCALE", "1"}};
    const std::map<std::string, std::string> slowUdhcpc = {{"SIM7100_STUB_SLOW", "udhcpc"},
                                                           {"SIM7100_STUB_SLOW_S", std::to_string(kSlowToolSeconds)}};
    const SExitCase cases[] = {
        {"SIGTERM while waiting for the connection", false, realTime,
         [](Rig& r) {
             ASSERT_TRUE(WaitForSocket(r.daemon.Pid(), Within(5000)));
         },
         [](Rig& r) { r.daemon.Signal(SIGTERM); }, 0, "SigHandler(): Terminated Signal: 15\n", {}},
        {"SIGPIPE while idle", true, {}, [](Rig&) {}, [](Rig& r) { r.daemon.Signal(SIGPIPE); }, 0,
         "SigHandler(): Terminated Signal: 13\n", {}},
        {"SIGINT in the middle of an exchange", true, realTime,
         [](Rig& r) {
             PowerOnWithSilentCsq(r);
             ASSERT_TRUE(r.peer.SendFrame(SIM7100_MSG_GET_SIGNAL_QUALITY));
             ASSERT_TRUE(r.modem.WaitForCommands(3, Within(5000)));
         },
         [](Rig& r) { r.daemon.Signal(SIGINT); }, 0, "SigHandler(): Terminated Signal: 2\n", {}},
        {"SIGTERM during Connect's shell commands", true, slowUdhcpc, ConnectUntilUdhcpc,
         [](Rig& r) { r.daemon.Signal(SIGTERM); }, 0, "SigHandler(): Terminated Signal: 15\n",
         {"ifconfig wwan0 down", "pkill udhcpc"}},
        {"peer closes while a request runs and more are queued", true, realTime, QueueBehindALongExchange,
         [](Rig& r) { r.peer.CloseConnection(); }, 1, "[ERROR] Receive thread on read frame.", {}},
        {"length announces more bytes than ever arrive, then the peer closes", true, {},
         [](Rig& r) {
             r.peer.SendRaw(RtosPeer::Frame(SIM7100_MSG_SET_APN, std::string(256, 'a')).substr(0, 100));
         },
         [](Rig& r) { r.peer.CloseConnection(); }, 1, "[ERROR] Receive thread on read data.", {}},
        {"length announces more bytes than ever arrive, then SIGTERM", true, {},
         [](Rig& r) {
             r.peer.SendRaw(RtosPeer::Frame(SIM7100_MSG_SET_APN, std::string(256, 'a')).substr(0, 100));
         },
         [](Rig& r) { r.daemon.Signal(SIGTERM); }, 0, "SigHandler(): Terminated Signal: 15\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.listen);
        if (c.listen) {
            ASSERT_NO_FATAL_FAILURE(rig.StartLinked(c.env));
        } else {
            ASSERT_NO_FATAL_FAILURE(rig.Start(c.env));
        }
        ASSERT_NO_FATAL_FAILURE(c.stage(rig));
        const size_t commandsBefore = rig.modem.Commands().size();
        const size_t shellBefore = rig.StubCalls().size();

        const auto at = RtosPeer::Clock::now();
        c.trigger(rig);
        EXPECT_TRUE(WaitForZombie(rig.daemon.Pid(), Within(kSlowToolSeconds * 1000 + 5000)));
        const auto took = std::chrono::duration_cast<milliseconds>(RtosPeer::Clock::now() - at);
        // Never the 20 s exchange, the 1 s connect retry or the slow tool.
        EXPECT_LT(took.count(), Within(Sanitized() ? 2500 : 900).count());
        KillGroup(rig.daemon.Pid());  // the slow tool and its shell
        EXPECT_EQ(ExitCode(rig.daemon.WaitExit(Within(5000))), c.status);

        const std::string out = rig.daemon.Stdout();
        EXPECT_THAT(c.status == 0 ? out : rig.daemon.Stderr(), HasSubstr(c.line));
        EXPECT_EQ(DaemonProcess::Count(out, "Stand by Sim7100"), 1u);
        EXPECT_EQ(DaemonProcess::Count(out, "Terminated Signal"), c.status == 0 ? 1u : 0u);
        const auto calls = rig.StubCalls();
        EXPECT_EQ(std::vector<std::string>(calls.begin() + static_cast<long>(shellBefore), calls.end()),
                  c.shellAfter);
        // No queued request runs once the exit is due; StandBy's own
        // Disconnect is the only traffic.
        const auto after = rig.CommandsSince(commandsBefore);
        if (c.shellAfter.empty()) {
            EXPECT_TRUE(after.empty());
        } else {
            EXPECT_THAT(after, ElementsAre("AT$QCRMCALL=0,1\r\n"));
        }
        EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr()));
    }
}

TEST(LinkFaults, ABurstOfTenThousandRequestsIsAnsweredOnceEachInOrder) {
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.StartLinked());
    const size_t count = Emulated() ? 2000 : 10000;
    // Module not powered: every request is answered without the module, so
    // the link and the queue are what is measured.  Payload types get a
    // payload of their size now and then, a refusal otherwise.
    std::vector<uint32_t> types;
    std::string burst;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t type = 4 + static_cast<uint32_t>((i * 7) % 35);  // 4..38, never PowerOn
        types.push_back(type);
        burst += RtosPeer::Frame(type, i % 3 == 0 ? std::string(512, 'p') : std::string());
    }
    std::atomic<size_t> answered{0};
    std::vector<uint32_t> received;
    std::thread reader([&] {
        for (size_t i = 0; i < count; ++i) {
            const auto r = rig.peer.ReadResponse(Within(10000));
            if (!r) return;
            received.push_back(r->type);
            answered = i + 1;
        }
    });
    const auto start = RtosPeer::Clock::now();
    const bool sent = rig.peer.SendRaw(burst);
    reader.join();
    const auto ms = std::chrono::duration_cast<milliseconds>(RtosPeer::Clock::now() - start).count();
    std::cout << count << " requests answered in " << ms << " ms\n";
    EXPECT_TRUE(sent);
    ASSERT_EQ(answered.load(), count);
    EXPECT_EQ(received, types);
    // Nothing more: the next answer is that of the next request.
    EXPECT_EQ(rig.Request(SIM7100_MSG_GET_SIM_STATUS).Text(), "Chip is not initialized!");
    ASSERT_TRUE(rig.peer.SendFrame(SIM7100_MSG_TERMINATE));
    EXPECT_EQ(ExitCode(rig.daemon.WaitExit(Within(10000))), 0);
    EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr()));
}

}  // namespace
}  // namespace hardening
