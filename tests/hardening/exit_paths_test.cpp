// The process ends at once, with its line and status, where it waits for
// something other than the module: the port-open retries, the registration
// wait, a response the peer does not take, and a peer gone while responses
// are still being written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "hardening_rig.h"

namespace hardening {
namespace {

using Env = std::map<std::string, std::string>;

std::string Frames(uint32_t type, size_t count) {
    std::string all;
    for (size_t i = 0; i < count; ++i) all += RtosPeer::Frame(type);
    return all;
}

struct SCase {
    const char* name;
    Env env;
    std::function<void(Rig&)> stage;
    std::function<void(Rig&)> trigger;
    std::string signalLine;
    std::string doneOnce;  // stdout text that must not appear again after the trigger
    int boundMs;           // from the trigger to the end of the process
};

TEST(ExitPaths, EndAtOnceWithTheLineAndStatusZero) {
    const std::string missing = "/nonexistent/ttyUSB2";
    const std::string searching = "\r\n+CGREG: 0,2\r\n\r\nOK\r\n";
    // clang-format off
    const SCase cases[] = {
        // The queue stays full behind a long PowerOn, so ReceiveThread does
        // not see the end of the stream before a response meets it.
        {"peer gone while responses are written", {{"SIM7100D_DEVICE", missing}},
         [](Rig& r) {
             ASSERT_TRUE(r.peer.SendRaw(RtosPeer::Frame(SIM7100_MSG_POWER_ON) + Frames(SIM7100_MSG_DISCONNECT, 40)));
             ASSERT_TRUE(r.daemon.WaitForStdout("Init Sim7100 UART", Within(5000)));
         },
         [](Rig& r) { r.peer.CloseConnection(); }, "SigHandler(): Terminated Signal: 13\n", "", 2000},
        {"SIGTERM during the port-open retries", {{"SIM7100D_DEVICE", missing}, {"SIM7100D_TIME_SCALE", "1"}},
         [](Rig& r) {
             ASSERT_TRUE(r.peer.SendFrame(SIM7100_MSG_POWER_ON));
             ASSERT_TRUE(r.daemon.WaitForStdout("Init Sim7100 UART", Within(5000)));
         },
         [](Rig& r) { r.daemon.Signal(SIGTERM); }, "SigHandler(): Terminated Signal: 15\n", "Init Sim7100 UART", 900},
        {"SIGTERM during the registration wait", {{"SIM7100D_TIME_SCALE", "1"}},
         [&](Rig& r) {
             ASSERT_NO_FATAL_FAILURE(r.PowerOn());
             r.modem.On("AT+CGREG?\r\n", searching, true);
             ASSERT_TRUE(r.peer.SendFrame(SIM7100_MSG_GPS_DOWNLOAD_XTRA));
             // PowerOn's two exchanges, then the first query: now it pauses.
             ASSERT_TRUE(r.daemon.WaitForStdout("LTE modem response", Within(5000), 3));
         },
         [](Rig& r) { r.daemon.Signal(SIGTERM); }, "SigHandler(): Terminated Signal: 15\n",
         "Send modem cmd AT+CGREG?", 900},
        // The peer takes nothing: the send waits through time-out after
        // time-out, and the signal reaches the main thread only through its
        // wake-up.
        {"SIGTERM on ReceiveThread while a response send is blocked", {},
         [](Rig& r) {
             ASSERT_TRUE(r.peer.SendRaw(Frames(SIM7100_MSG_GET_SIM_STATUS, 5000)));
             ASSERT_TRUE(r.daemon.WaitForStderr("[WARNING] Send data to RTOS - timeout.", Within(10000), 3));
         },
         [](Rig& r) { SignalThread(r.daemon.Pid(), SIGTERM, "ReceiveThread"); }, "SigHandler(): Terminated Signal: 15\n", "",
         900},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        ASSERT_NO_FATAL_FAILURE(rig.StartLinked(c.env));
        ASSERT_NO_FATAL_FAILURE(c.stage(rig));
        const size_t before = c.doneOnce.empty() ? 0 : DaemonProcess::Count(rig.daemon.Stdout(), c.doneOnce);
        const auto at = RtosPeer::Clock::now();
        ASSERT_NO_FATAL_FAILURE(c.trigger(rig));
        EXPECT_TRUE(WaitForZombie(rig.daemon.Pid(), Within(5000)));
        const auto took = std::chrono::duration_cast<milliseconds>(RtosPeer::Clock::now() - at);
        EXPECT_LT(took.count(), Within(Sanitized() ? 2500 : c.boundMs).count());
        EXPECT_EQ(ExitCode(rig.daemon.WaitExit(Within(5000))), 0);
        const std::string out = rig.daemon.Stdout();
        EXPECT_EQ(DaemonProcess::Count(out, c.signalLine), 1u);
        if (!c.doneOnce.empty()) {
            EXPECT_EQ(DaemonProcess::Count(out, c.doneOnce), before);
        }
        EXPECT_THAT(rig.daemon.Stderr(), testing::Not(testing::HasSubstr("[ERROR]")));
    }
}

}  // namespace
}  // namespace hardening
