// Power, identity and the LTE data connection.  Refusals before PowerOn are
// the dispatch fuzz replay's, for every request type.
#include <chrono>

#include "daemon_process.h"
#include "dialogue.h"

namespace {

const std::string kCgmm = "AT+CGMM\r\n";
const std::string kCall = "AT$QCRMCALL=1,1\r\n";
const std::string kHangUp = "AT$QCRMCALL=0,1\r\n";
const Strings kUpSteps = {"ifconfig wwan0 up", "udhcpc -i wwan0", "ifconfig wwan0"};
const Strings kUp7600 = {"cat /sys/class/net/wwan0/qmi/raw_ip", "ifconfig wwan0 mtu 1430", "ifconfig wwan0 up",
                         "udhcpc -i wwan0", "ifconfig wwan0"};
const Strings kDown = {"ifconfig wwan0 down", "pkill udhcpc"};

TEST(Power, Dialogues) {
    const std::string down = "\r\nNORMAL POWER DOWN\r\n\r\nOK\r\n", at = "AT\r\n", csclk = "AT+CSCLK=1\r\n";
    // A verbatim copy keeps 1023 characters and the terminator.
    const std::string model = "\r\nSIMCOM_SIM7600G" + std::string(1100, 'v') + kOk;
    RunDialogues({
        // Every bench powers on (the pause test shows its two commands); a refused step leaves the port open.
        {"no AT", kOff, &M::PowerOn, {{at, kError}}, {2, -2, "Modem is not responding to AT command!"}, {}, kOn},
        {"no CSCLK", kOff, &M::PowerOn, {{at, kOk}, {csclk, kError}}, {2, -2, "Failed to allow UART sleep!"}, {}, kOn},
        {"power off closed", kOff, &M::PowerOff, {}, {1, 0, ""}},
        {"stand by", kOn, &M::StandBy, {}, {1, 0, ""}, {}, kOff},
        {"power off", kOn, &M::PowerOff, {{"AT+CPOF\r\n", down}}, {1, 0, down}, {}, kOff},
        {"power off refused", kOn, &M::PowerOff, {{"AT+CPOF\r\n", kError}}, {2, -101, kFail + kError}, {}, kOff},
        // Connected: the link goes down first, even when the module refuses the hang-up.
        {"stand by connected", kUp, &M::StandBy, {{kHangUp, kError}}, {1, 0, ""}, kDown, kOff},
        {"power off connected", kUp, &M::PowerOff, {{kHangUp, kError}, {"AT+CPOF\r\n", kOk}}, {1, 0, kOk}, kDown, kOff},
        {"chip", kOn, &M::GetChipType, {{kCgmm, model}}, {9, 2, model.substr(0, 1023)}},
    });
}

TEST(Connection, Dialogues) {
    const std::string v4 = "\r\n$QCRMCALL: 1, V4\r\n\r\nOK\r\n", v6 = "\r\n$QCRMCALL: 1, V6\r\n\r\nOK\r\n";
    const std::string v4Refused = "\r\n$QCRMCALL: 1, V4\r\n\r\nERROR\r\n", status = "AT$QCRMCALL?\r\n";
    RunDialogues({
        {"SIM7600G-H", kOn, &M::Connect, {{kCgmm, Line("SIMCOM_SIM7600G-H")}, {kCall, kOk}}, {1, 0, kOk}, kUp7600, kUp},
        {"SIM7100A", kOn, &M::Connect, {{kCgmm, Line("SIMCOM_SIM7100A")}, {kCall, v4}}, {1, 0, v4}, kUpSteps, kUp},
        {"unknown chip", kOn, &M::Connect, {{kCgmm, Line("SIM800")}}, {2, -2, "Unknown chip type! " + Line("SIM800")}},
        // No model name to be had: the call goes ahead without the SIM7600G steps.
        {"model query refused", kOn, &M::Connect, {{kCgmm, kError}, {kCall, kOk}}, {1, 0, kOk}, kUpSteps, kUp},
        // A failing shell step stops neither call.
        {"shell fails", kOn, &M::Connect, {{kCgmm, Line("SIM7600G")}, {kCall, kOk}}, {1, 0, kOk}, kUp7600, kUp, 1 << 8},
        {"shell fails down", kUp, &M::Disconnect, {{kHangUp, kOk}}, {1, 0, kOk}, kDown, kOn, 1 << 8},
        {"connect twice", kUp, &M::Connect, {}, {1, 0, "Modem already connected"}},
        {"disconnect idle", kOn, &M::Disconnect, {}, {1, 0, "Modem already disconnected"}},
        // Down even when the module refuses the hang-up.
        {"disconnect", kUp, &M::Disconnect, {{kHangUp, kError}}, {2, -101, kFail + kError}, kDown, kOn},
        // Up only for the exact IPv4 line of an accepted query; errCode stays 0.
        {"status V4", kOn, &M::GetConnectionStatus, {{status, v4}}, {3, 0, v4}},
        {"status V6", kOn, &M::GetConnectionStatus, {{status, v6}}, {4, 0, v6}},
        {"status refused", kOn, &M::GetConnectionStatus, {{status, v4Refused}}, {4, 0, v4Refused}},
    });
}

TEST(Connection, InterfaceGoesDownBeforeTheHangUp) {
    SBench b(kUp);
    b.modem.On(kHangUp, kOk);
    ASSERT_EQ(b.impl->Disconnect().cmdStatus, 1);
    EXPECT_EQ(b.shellAt, std::vector<size_t>(2, b.before));
}

TEST(Power, PausesAScaledSecondBeforeUartSleep) {
    SBench b(kOn);
    const auto received = b.modem.Received();
    ASSERT_EQ(received.size(), 2u);
    const auto pause = received[1].at - received[0].at;
    EXPECT_GE(pause, std::chrono::milliseconds(30));
    EXPECT_LT(pause, std::chrono::milliseconds(500));
}

TEST(Power, WithoutADeviceGivesUpAfterSixtyAttempts) {
    SDaemonSettings s;
    s.device = "/nonexistent/sim7100-test-port";
    s.timeScale = 0.01;
    CSim7100Impl impl(s);
    testing::internal::CaptureStdout();
    const auto start = std::chrono::steady_clock::now();
    ExpectRecord(impl.PowerOn(), {2, -2, "Chip is not powered on!"});
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(DaemonProcess::Count(testing::internal::GetCapturedStdout(), "Init Sim7100 UART /nonexistent"), 60u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(600));  // a scaled second after each attempt
    EXPECT_FALSE(impl.Initialized());
}

}  // namespace
