// PowerOn, PowerOff, StandBy and GetChipType against the scripted modem.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "scripted_modem.h"
#include "sim7100.h"

namespace {

using Record = std::tuple<int, int, std::string>;
using Strings = std::vector<std::string>;

Record Rec(const SCmdResponse& r) { return {r.cmdStatus, r.errCode, r.text}; }

// Scaled waits; shell commands are only recorded.
SDaemonSettings Fast(const std::string& device, Strings* shell) {
    SDaemonSettings s;
    s.device = device;
    s.timeScale = 0.01;
    s.runShell = [shell](const char* command) {
        shell->emplace_back(command);
        return 0;
    };
    return s;
}

class PowerOps : public testing::Test {
protected:
    void PowerOn() {
        modem.On("AT\r\n", "\r\nOK\r\n");
        modem.On("AT+CSCLK=1\r\n", "\r\nOK\r\n");
        ASSERT_EQ(Rec(impl.PowerOn()), Record(1, 0, ""));
    }
    // Commands after PowerOn's two.
    Strings Later() const {
        const Strings all = modem.Commands();
        return Strings(all.begin() + std::min<size_t>(2, all.size()), all.end());
    }

    ScriptedModem modem;
    Strings shell;
    CSim7100Impl impl{Fast(modem.Path(), &shell)};
};

TEST_F(PowerOps, PowerOnOpensThePortAndPausesBeforeUartSleep) {
    PowerOn();
    EXPECT_TRUE(impl.Initialized());
    EXPECT_FALSE(impl.Connected());
    const auto received = modem.Received();
    ASSERT_EQ(modem.Commands(), (Strings{"AT\r\n", "AT+CSCLK=1\r\n"}));
    // 1000 ms scaled by 0.01.
    const auto pause = received[1].at - received[0].at;
    EXPECT_GE(pause, std::chrono::milliseconds(10));
    EXPECT_LT(pause, std::chrono::milliseconds(500));
}

TEST(PowerOn, WithoutADeviceGivesUpAfterSixtyAttempts) {
    Strings shell;
    CSim7100Impl impl(Fast("/nonexistent/sim7100-test-port", &shell));
    testing::internal::CaptureStdout();
    const auto start = std::chrono::steady_clock::now();
    const Record r = Rec(impl.PowerOn());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r, Record(2, -2, "Chip is not powered on!"));
    size_t attempts = 0;
    for (size_t at = 0; (at = out.find("Init Sim7100 UART /nonexistent", at)) != std::string::npos; ++at) ++attempts;
    EXPECT_EQ(attempts, 60u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(600));  // a scaled second after each, the last included
    EXPECT_EQ(impl.Fd(), -1);
    EXPECT_FALSE(impl.Initialized());
}

TEST(PowerOn, RefusedStepsLeaveThePortOpen) {
    const struct {
        const char* atAnswer;
        const char* text;
        Strings commands;
    } cases[] = {
        {"\r\nERROR\r\n", "Modem is not responding to AT command!", {"AT\r\n"}},
        {"\r\nOK\r\n", "Failed to allow UART sleep!", {"AT\r\n", "AT+CSCLK=1\r\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ScriptedModem modem;
        Strings shell;
        CSim7100Impl impl(Fast(modem.Path(), &shell));
        modem.On("AT\r\n", c.atAnswer);
        modem.On("AT+CSCLK=1\r\n", "\r\n+CME ERROR: 4\r\n\r\nERROR\r\n");
        EXPECT_EQ(Rec(impl.PowerOn()), Record(2, -2, c.text));
        EXPECT_EQ(modem.Commands(), c.commands);
        EXPECT_TRUE(impl.Initialized());
        modem.On("AT+CGMM\r\n", "\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n");
        EXPECT_EQ(impl.GetChipType().cmdStatus, 9);
    }
}

TEST_F(PowerOps, PowerOffAndStandByOnAClosedPortSendNothing) {
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(Rec(impl.PowerOff()), Record(1, 0, ""));
        EXPECT_EQ(Rec(impl.StandBy()), Record(1, 0, ""));
    }
    EXPECT_TRUE(modem.Commands().empty());
    PowerOn();
    EXPECT_EQ(Rec(impl.StandBy()), Record(1, 0, ""));
    EXPECT_EQ(Rec(impl.PowerOff()), Record(1, 0, ""));
    EXPECT_TRUE(Later().empty());
    EXPECT_EQ(impl.Fd(), -1);
    EXPECT_FALSE(impl.Initialized());
}

TEST(PowerOff, SendsCpofAndClosesThePortWhateverTheAnswer) {
    const struct {
        const char* answer;
        Record expected;
    } cases[] = {
        {"\r\nNORMAL POWER DOWN\r\n\r\nOK\r\n", {1, 0, "\r\nNORMAL POWER DOWN\r\n\r\nOK\r\n"}},
        {"\r\nERROR\r\n", {2, -101, "Chip internal fail! \r\nERROR\r\n"}},
    };
    for (const auto& c : cases) {
        ScriptedModem modem;
        Strings shell;
        CSim7100Impl impl(Fast(modem.Path(), &shell));
        modem.On("AT\r\n", "\r\nOK\r\n");
        modem.On("AT+CSCLK=1\r\n", "\r\nOK\r\n");
        modem.On("AT+CPOF\r\n", c.answer);
        ASSERT_EQ(impl.PowerOn().cmdStatus, 1);
        EXPECT_EQ(Rec(impl.PowerOff()), c.expected);
        EXPECT_EQ(Rec(impl.PowerOff()), Record(1, 0, ""));
        EXPECT_EQ(modem.Commands(), (Strings{"AT\r\n", "AT+CSCLK=1\r\n", "AT+CPOF\r\n"}));
        EXPECT_EQ(impl.Fd(), -1);
        EXPECT_FALSE(impl.Initialized());
        EXPECT_TRUE(shell.empty());
    }
}

TEST(StandBy, WhileConnectedDisconnectsFirst) {
    using Op = SCmdResponse (CSim7100Impl::*)();
    const struct {
        const char* name;
        Op op;
        Strings commands;
    } cases[] = {
        {"StandBy", &CSim7100Impl::StandBy, {"AT$QCRMCALL=0,1\r\n"}},
        {"PowerOff", &CSim7100Impl::PowerOff, {"AT$QCRMCALL=0,1\r\n", "AT+CPOF\r\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedModem modem;
        Strings shell;
        SDaemonSettings settings = Fast(modem.Path(), &shell);
        std::chrono::steady_clock::time_point lastShell;
        settings.runShell = [&](const char* command) {
            shell.emplace_back(command);
            lastShell = std::chrono::steady_clock::now();
            return 0;
        };
        CSim7100Impl impl(settings);
        modem.On("AT\r\n", "\r\nOK\r\n");
        modem.On("AT+CSCLK=1\r\n", "\r\nOK\r\n");
        modem.On("AT+CGMM\r\n", "\r\nSIMCOM_SIM7100A\r\n\r\nOK\r\n");
        modem.On("AT$QCRMCALL=1,1\r\n", "\r\nOK\r\n");
        modem.On("AT+CPOF\r\n", "\r\nOK\r\n");
        // The module refusing the hang-up must not keep the port open.
        modem.On("AT$QCRMCALL=0,1\r\n", "\r\nERROR\r\n");
        ASSERT_EQ(impl.PowerOn().cmdStatus, 1);
        ASSERT_EQ(impl.Connect().cmdStatus, 1);
        shell.clear();
        const size_t before = modem.Commands().size();

        EXPECT_EQ((impl.*c.op)().cmdStatus, 1);
        const Strings all = modem.Commands();
        EXPECT_EQ(Strings(all.begin() + before, all.end()), c.commands);
        EXPECT_EQ(shell, (Strings{"ifconfig wwan0 down", "pkill udhcpc"}));
        // The interface goes down before the module is told.
        const auto received = modem.Received();
        ASSERT_GT(received.size(), before);
        EXPECT_LT(lastShell, received[before].at);
        EXPECT_FALSE(impl.Connected());
        EXPECT_EQ(impl.Fd(), -1);
    }
}

TEST_F(PowerOps, GetChipTypeNamesTheFirstModelFound) {
    EXPECT_EQ(Rec(impl.GetChipType()), Record(2, -2, "Chip is not initialized!"));
    PowerOn();
    const struct {
        const char* answer;
        Record expected;
    } cases[] = {
        {"\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n", {9, 0, "\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n"}},
        {"\r\nSIMCOM_SIM7100A\r\n\r\nOK\r\n", {9, 1, "\r\nSIMCOM_SIM7100A\r\n\r\nOK\r\n"}},
        {"\r\nSIMCOM_SIM7600G-H\r\n\r\nOK\r\n", {9, 2, "\r\nSIMCOM_SIM7600G-H\r\n\r\nOK\r\n"}},
        {"\r\nSIM7600G SIM7100A\r\n\r\nOK\r\n", {9, 1, "\r\nSIM7600G SIM7100A\r\n\r\nOK\r\n"}},
        {"\r\nSIM800\r\n\r\nOK\r\n", {9, 3, "\r\nSIM800\r\n\r\nOK\r\n"}},
        {"\r\nSIM7600G %s%n 100%\r\n\r\nOK\r\n", {9, 2, "\r\nSIM7600G %s%n 100%\r\n\r\nOK\r\n"}},
        {"\r\nERROR\r\n", {2, -101, "Chip internal fail! \r\nERROR\r\n"}},
    };
    for (const auto& c : cases) {
        modem.On("AT+CGMM\r\n", c.answer);
        EXPECT_EQ(Rec(impl.GetChipType()), c.expected);
    }
    EXPECT_EQ(Later(), Strings(std::size(cases), "AT+CGMM\r\n"));
}

}  // namespace
