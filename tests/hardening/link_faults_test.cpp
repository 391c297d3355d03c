// Every way the process ends, at every stage: nothing hangs, the exit status
// is the fixed one, StandBy runs exactly once and takes a data connection
// down.  Pipelined requests far beyond the queue are answered once each, in order.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <thread>

#include "hardening_rig.h"

namespace hardening {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using Env = std::map<std::string, std::string>;

const std::string kOk = "\r\nOK\r\n";
const std::string kReadFrame = "[ERROR] Receive thread on read frame.";
// Long enough that a daemon waiting for the tool is told apart from one that is not.
const int kSlowToolSeconds = 5;
// From the trigger to the end of the process, StandBy's commands included, on
// a busy machine; a process that waits out the slow tool or a pause of the
// slow time scale overshoots it by seconds.
const int kBoundMs = 3000;

void ConnectUntilUdhcpc(Rig& r) {
    r.PowerOn();
    r.modem.On("AT+CGMM\r\n", "\r\nSIMCOM_SIM7600G\r\n\r\nOK\r\n");
    r.modem.On("AT$QCRMCALL=1,1\r\n", kOk);
    r.modem.On("AT$QCRMCALL=0,1\r\n", kOk);
    ASSERT_TRUE(r.peer.SendFrame(SIM7100_MSG_CONNECT));
    ASSERT_TRUE(WaitUntil([&] { return ReadFile(r.StubLog()).find("udhcpc") != std::string::npos; }, Within(5000)));
}

void Connected(Rig& r) {
    ASSERT_NO_FATAL_FAILURE(ConnectUntilUdhcpc(r));
    const auto connect = r.peer.ReadResponse(Within(5000));
    ASSERT_TRUE(connect && connect->record.cmdStatus == 1);
}

// A request whose exchange lasts (silent module, real time) and five more behind it.
void InALongExchange(Rig& r) {
    r.PowerOn();
    r.modem.On("AT+CSQ\r\n", ScriptedModem::Silence());
    std::string frames;
    for (int i = 0; i < 6; ++i) frames += RtosPeer::Frame(SIM7100_MSG_GET_SIGNAL_QUALITY);
    ASSERT_TRUE(r.peer.SendRaw(frames));
    ASSERT_TRUE(r.modem.WaitForCommands(3, Within(5000)));
}

// The queue stays full behind PowerOn's retries for a missing port.
void RetryingThePort(Rig& r, size_t queued) {
    std::string frames = RtosPeer::Frame(SIM7100_MSG_POWER_ON);
    for (size_t i = 0; i < queued; ++i) frames += RtosPeer::Frame(SIM7100_MSG_DISCONNECT);
    ASSERT_TRUE(r.peer.SendRaw(frames));
    ASSERT_TRUE(r.daemon.WaitForStdout("Init Sim7100 UART", Within(5000)));
}

void HalfAFrame(Rig& r) { r.peer.SendRaw(RtosPeer::Frame(SIM7100_MSG_SET_APN, std::string(256, 'a')).substr(0, 100)); }

std::function<void(Rig&)> Kill(int signal) {
    return [signal](Rig& r) { r.daemon.Signal(signal); };
}

void Close(Rig& r) { r.peer.CloseConnection(); }

std::string SignalLine(int signal) { return "SigHandler(): Terminated Signal: " + std::to_string(signal) + "\n"; }

struct SExitCase {
    const char* name;
    bool listen;
    Env env;
    std::function<void(Rig&)> stage;    // brings the daemon to the stage
    std::function<void(Rig&)> trigger;  // terminate, a signal or a link fault
    int status;
    std::string line;           // on stdout (status 0) or stderr (status 1)
    bool down;                  // StandBy takes a data connection down: one command, two shell steps
    bool peerSeesClose;         // and no response before it
    std::string doneOnce = {};  // stdout text that must not appear again after the trigger
};

TEST(LinkFaults, EveryWayOutAtEveryStageEndsTheProcessOnceWithItsStatus) {
    const Env realTime = {{"SIM7100D_TIME_SCALE", "1"}};
    // Exchange budgets of 2 s: PowerOn under a sanitizer on a busy machine
    // was seen to outlast 600 ms.
    const Env roomy = {{"SIM7100D_TIME_SCALE", "0.1"}};
    // Pauses of 5 s where the stage takes no pause itself.
    const Env slowTime = {{"SIM7100D_TIME_SCALE", Emulated() ? "50" : "5"}};
    const Env slowUdhcpc = {{"SIM7100_STUB_SLOW", "udhcpc"},
                            {"SIM7100_STUB_SLOW_S", std::to_string(kSlowToolSeconds)},
                            {"SIM7100D_TIME_SCALE", "0.1"}};
    const std::string terminated = "Sim7100 message of type 2 data (nil) size 0 received";
    // 60 port-open retries of 10 ms: over well before the bound.
    const Env noPort = {{"SIM7100D_DEVICE", "/nonexistent/ttyUSB2"}, {"SIM7100D_TIME_SCALE", "0.01"}};
    Env noPortSlowTime = noPort;
    noPortSlowTime["SIM7100D_TIME_SCALE"] = slowTime.at("SIM7100D_TIME_SCALE");
    // clang-format off
    const SExitCase cases[] = {
        {"terminate", true, roomy, Connected, [](Rig& r) { r.peer.SendFrame(SIM7100_MSG_TERMINATE); }, 0, terminated,
         true, true},
        {"SIGTERM while connected", true, roomy, Connected, Kill(SIGTERM), 0, SignalLine(15), true, true},
        {"header split across reads", true, roomy, Connected,
         [](Rig& r) {
             const std::string frame = RtosPeer::Frame(SIM7100_MSG_GET_SIGNAL_QUALITY);
             r.peer.SendRaw(frame.substr(0, 4));
             // The daemon must not wait for the rest of the header.
             EXPECT_TRUE(r.daemon.WaitForStderr(kReadFrame, Within(5000)));
             r.peer.SendRaw(frame.substr(4));
         }, 1, kReadFrame, true, false},
        {"SIGTERM while waiting for the connection", false, slowTime,
         [](Rig& r) { ASSERT_TRUE(WaitForSocket(r.daemon.Pid(), Within(5000))); }, Kill(SIGTERM), 0, SignalLine(15),
         false, false},
        // The exchange would hold the loop for 20 s.
        {"SIGINT in the middle of an exchange, more queued", true, realTime, InALongExchange, Kill(SIGINT), 0,
         SignalLine(2), false, true},
        {"SIGTERM on ReceiveThread during Connect's shell commands", true, slowUdhcpc, ConnectUntilUdhcpc,
         [](Rig& r) { SignalThread(r.daemon.Pid(), SIGTERM, "ReceiveThread"); }, 0, SignalLine(15), true, false},
        {"peer closes while a request runs and more are queued", true, realTime, InALongExchange, Close, 1,
         kReadFrame, false, false},
        {"length announces more bytes than ever arrive, then the peer closes", true, roomy, HalfAFrame, Close, 1,
         "[ERROR] Receive thread on read data.", false, false},
        // ReceiveThread does not see the end of the stream before a response meets it.
        {"peer gone while responses are written", true, noPort, [](Rig& r) { RetryingThePort(r, 40); }, Close, 0,
         SignalLine(13), false, false},
        {"SIGTERM during the port-open retries", true, noPortSlowTime, [](Rig& r) { RetryingThePort(r, 0); },
         Kill(SIGTERM), 0, SignalLine(15), false, false, "Init Sim7100 UART"},
        {"SIGTERM during the registration wait", true, realTime,
         [](Rig& r) {
             r.PowerOn();
             r.modem.On("AT+CGREG?\r\n", "\r\n+CGREG: 0,2\r\n\r\nOK\r\n", true);
             ASSERT_TRUE(r.peer.SendFrame(SIM7100_MSG_GPS_DOWNLOAD_XTRA));
             // PowerOn's two exchanges, then the first query: now it pauses.
             ASSERT_TRUE(r.daemon.WaitForStdout("LTE modem response", Within(5000), 3));
         }, Kill(SIGTERM), 0, SignalLine(15), false, false},
        // The peer takes nothing: the send waits through time-out after
        // time-out, and the signal reaches the main thread only through its
        // wake-up.
        {"SIGTERM on ReceiveThread while a response send is blocked", true, {},
         [](Rig& r) {
             std::string frames;
             for (int i = 0; i < 5000; ++i) frames += RtosPeer::Frame(SIM7100_MSG_GET_SIM_STATUS);
             ASSERT_TRUE(r.peer.SendRaw(frames));
             ASSERT_TRUE(r.daemon.WaitForStderr("[WARNING] Send data to RTOS - timeout.", Within(10000), 3));
         }, [](Rig& r) { SignalThread(r.daemon.Pid(), SIGTERM, "ReceiveThread"); }, 0, SignalLine(15), false, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig(c.listen);
        ASSERT_NO_FATAL_FAILURE(c.listen ? rig.StartLinked(c.env) : rig.Start(c.env));
        ASSERT_NO_FATAL_FAILURE(c.stage(rig));
        const size_t doneBefore = c.doneOnce.empty() ? 0 : DaemonProcess::Count(rig.daemon.Stdout(), c.doneOnce);
        const size_t commandsBefore = rig.modem.Commands().size();
        const size_t shellBefore = rig.StubCalls().size();

        const auto at = RtosPeer::Clock::now();
        c.trigger(rig);
        EXPECT_TRUE(!c.peerSeesClose || rig.peer.WaitClosed(Within(5000))) << "a response or no close";
        EXPECT_TRUE(WaitForZombie(rig.daemon.Pid(), Within(kSlowToolSeconds * 1000 + 5000)));
        const auto took = std::chrono::duration_cast<milliseconds>(RtosPeer::Clock::now() - at);
        // Never the 20 s exchange, the 1 s connect retry or the slow tool.
        EXPECT_LT(took.count(), Within(kBoundMs).count());
        kill(-rig.daemon.Pid(), SIGKILL);  // the slow tool and its shell
        EXPECT_EQ(ExitCode(rig.daemon.WaitExit(Within(5000))), c.status);

        const std::string out = rig.daemon.Stdout();
        EXPECT_THAT(c.status == 0 ? out : rig.daemon.Stderr(), HasSubstr(c.line));
        EXPECT_THAT(c.status == 0 ? rig.daemon.Stderr() : "", Not(HasSubstr("[ERROR]")));
        EXPECT_EQ(c.doneOnce.empty() ? 0 : DaemonProcess::Count(out, c.doneOnce), doneBefore);
        EXPECT_EQ(DaemonProcess::Count(out, "Stand by Sim7100"), 1u);
        EXPECT_EQ(DaemonProcess::Count(out, "Terminated Signal"),
                  c.line.find("Terminated Signal") != std::string::npos ? 1u : 0u);
        const auto calls = rig.StubCalls();
        const std::vector<std::string> shell = {"ifconfig wwan0 down", "pkill udhcpc"},
                                       command = {"AT$QCRMCALL=0,1\r\n"};
        EXPECT_EQ(std::vector<std::string>(calls.begin() + static_cast<long>(shellBefore), calls.end()),
                  c.down ? shell : std::vector<std::string>());
        // No queued request runs once the exit is due; StandBy's own
        // Disconnect is the only traffic.
        EXPECT_EQ(rig.CommandsSince(commandsBefore), c.down ? command : std::vector<std::string>());
        EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr()));
    }
}

// The module is not powered: the link and the queue are what is measured.
// Every request is refused, so its response is told apart by its type.
TEST(LinkFaults, PipelinedRequestsFarBeyondTheQueueAreAnsweredOnceEachInOrder) {
    const std::string auth(512, 'p');
    // Refused by the payload guard or, unpowered, by the operation.
    const std::pair<uint32_t, std::string> kinds[] = {
        {SIM7100_MSG_GET_SIM_STATUS, ""}, {SIM7100_MSG_SET_AUTHENTICATION, auth}, {SIM7100_MSG_SET_AUTHENTICATION, ""}};
    const size_t count = Emulated() ? 2000 : 10000;
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.StartLinked());
    std::string burst;
    for (size_t i = 0; i < count; ++i) burst += RtosPeer::Frame(kinds[i % 3].first, kinds[i % 3].second);
    size_t answered = 0;
    std::thread reader([&] {
        for (; answered < count; ++answered) {
            const auto r = rig.peer.ReadResponse(Within(10000));
            if (!r || r->type != kinds[answered % 3].first || r->record.errCode != -2) return;
        }
    });
    EXPECT_TRUE(rig.peer.SendRaw(burst));
    reader.join();
    EXPECT_EQ(answered, count) << "the first wrong or missing response";
    EXPECT_TRUE(rig.modem.Commands().empty());
    // Nothing more: the next answer is that of the next request.
    EXPECT_EQ(rig.Request(SIM7100_MSG_GET_SIM_STATUS).record.cmdStatus, 2);
    ASSERT_TRUE(rig.peer.SendFrame(SIM7100_MSG_TERMINATE));
    EXPECT_EQ(ExitCode(rig.daemon.WaitExit(Within(10000))), 0);
    EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr()));
}

}  // namespace
}  // namespace hardening
