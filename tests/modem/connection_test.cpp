// Connect, Disconnect and GetConnectionStatus; the wwan0 shell commands are
// recorded, never run.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "scripted_modem.h"
#include "sim7100.h"

namespace {

using Record = std::tuple<int, int, std::string>;
using Strings = std::vector<std::string>;

Record Rec(const SCmdResponse& r) { return {r.cmdStatus, r.errCode, r.text}; }

// A modem object on a scripted modem, with the shell log.
struct SLte {
    SLte() {
        SDaemonSettings s;
        s.device = modem.Path();
        s.timeScale = 0.01;
        s.runShell = [this](const char* command) {
            shell.emplace_back(command);
            return 0;
        };
        impl = std::make_unique<CSim7100Impl>(s);
    }
    void PowerOn() {
        modem.On("AT\r\n", "\r\nOK\r\n");
        modem.On("AT+CSCLK=1\r\n", "\r\nOK\r\n");
        ASSERT_EQ(impl->PowerOn().cmdStatus, 1);
    }
    // Commands after PowerOn's two.
    Strings Later() const {
        const Strings all = modem.Commands();
        return Strings(all.begin() + std::min<size_t>(2, all.size()), all.end());
    }
    // Connects as a SIM7100E with the shell log cleared afterwards.
    void Connect() {
        modem.On("AT+CGMM\r\n", "\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n");
        modem.On("AT$QCRMCALL=1,1\r\n", "\r\nOK\r\n");
        ASSERT_EQ(impl->Connect().cmdStatus, 1);
        shell.clear();
    }

    ScriptedModem modem;
    Strings shell;
    std::unique_ptr<CSim7100Impl> impl;  // closed before the modem and the shell log go
};

const Strings kCommonUp = {"ifconfig wwan0 up", "udhcpc -i wwan0", "ifconfig wwan0"};
const Strings kSim7600Up = {"cat /sys/class/net/wwan0/qmi/raw_ip", "ifconfig wwan0 mtu 1430", "ifconfig wwan0 up",
                            "udhcpc -i wwan0", "ifconfig wwan0"};
const Strings kDown = {"ifconfig wwan0 down", "pkill udhcpc"};

TEST(ConnectionOps, RefuseBeforePowerOn) {
    SLte t;
    for (auto op : {&CSim7100Impl::Connect, &CSim7100Impl::Disconnect, &CSim7100Impl::GetConnectionStatus}) {
        EXPECT_EQ(Rec(((*t.impl).*op)()), Record(2, -2, "Chip is not initialized!"));
    }
    EXPECT_TRUE(t.modem.Commands().empty());
    EXPECT_TRUE(t.shell.empty());
}

TEST(ConnectionOps, ConnectFollowsTheChipType) {
    const struct {
        const char* model;
        const char* callAnswer;
        Record expected;
        Strings commands;
        Strings steps;
    } cases[] = {
        {"SIMCOM_SIM7600G-H", "\r\nOK\r\n", {1, 0, "\r\nOK\r\n"},
         {"AT+CGMM\r\n", "AT$QCRMCALL=1,1\r\n"}, kSim7600Up},
        {"SIMCOM_SIM7100E", "\r\nOK\r\n", {1, 0, "\r\nOK\r\n"},
         {"AT+CGMM\r\n", "AT$QCRMCALL=1,1\r\n"}, kCommonUp},
        {"SIMCOM_SIM7100A", "\r\n$QCRMCALL: 1, V4\r\n\r\nOK\r\n", {1, 0, "\r\n$QCRMCALL: 1, V4\r\n\r\nOK\r\n"},
         {"AT+CGMM\r\n", "AT$QCRMCALL=1,1\r\n"}, kCommonUp},
        {"SIM800", "\r\nOK\r\n", {2, -2, "Unknown chip type! \r\nSIM800\r\n\r\nOK\r\n"},
         {"AT+CGMM\r\n"}, {}},
        {"SIMCOM_SIM7600G-H", "\r\nERROR\r\n", {2, -101, "Chip internal fail! \r\nERROR\r\n"},
         {"AT+CGMM\r\n", "AT$QCRMCALL=1,1\r\n"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " / " + c.callAnswer);
        SLte t;
        t.PowerOn();
        t.modem.On("AT+CGMM\r\n", std::string("\r\n") + c.model + "\r\n\r\nOK\r\n");
        t.modem.On("AT$QCRMCALL=1,1\r\n", c.callAnswer);
        EXPECT_EQ(Rec(t.impl->Connect()), c.expected);
        EXPECT_EQ(t.Later(), c.commands);
        EXPECT_EQ(t.shell, c.steps);
        EXPECT_EQ(t.impl->Connected(), c.expected == Record(1, 0, c.callAnswer));
    }
}

TEST(ConnectionOps, ConnectTwiceAndDisconnectTwice) {
    SLte t;
    t.PowerOn();
    EXPECT_EQ(Rec(t.impl->Disconnect()), Record(1, 0, "Modem already disconnected"));
    t.Connect();
    const Strings before = t.Later();
    EXPECT_EQ(Rec(t.impl->Connect()), Record(1, 0, "Modem already connected"));
    EXPECT_EQ(t.Later(), before);
    EXPECT_TRUE(t.shell.empty());

    t.modem.On("AT$QCRMCALL=0,1\r\n", "\r\nOK\r\n");
    EXPECT_EQ(Rec(t.impl->Disconnect()), Record(1, 0, "\r\nOK\r\n"));
    EXPECT_EQ(t.shell, kDown);
    EXPECT_EQ(t.Later().back(), "AT$QCRMCALL=0,1\r\n");
    EXPECT_FALSE(t.impl->Connected());
    EXPECT_EQ(Rec(t.impl->Disconnect()), Record(1, 0, "Modem already disconnected"));
    EXPECT_EQ(t.shell, kDown);
}

TEST(ConnectionOps, RefusedHangUpStillCountsAsDisconnected) {
    SLte t;
    t.PowerOn();
    t.Connect();
    t.modem.On("AT$QCRMCALL=0,1\r\n", "\r\n+CME ERROR: 3\r\n\r\nERROR\r\n");
    EXPECT_EQ(Rec(t.impl->Disconnect()), Record(2, -101, "Chip internal fail! \r\n+CME ERROR: 3\r\n\r\nERROR\r\n"));
    EXPECT_EQ(t.shell, kDown);
    EXPECT_FALSE(t.impl->Connected());
}

TEST(ConnectionOps, StatusIsUpOnlyForTheExactIpv4Line) {
    const struct {
        ScriptedModem::Reply answer;
        int status;
    } cases[] = {
        {{{"\r\n$QCRMCALL: 1, V4\r\n\r\nOK\r\n"}}, 3},
        {{{"\r\n$QCRMCALL: 1, V6\r\n\r\nOK\r\n"}}, 4},
        {{{"\r\n$QCRMCALL: 1,V4\r\n\r\nOK\r\n"}}, 4},
        {{{"\r\nOK\r\n"}}, 4},
        {{{"\r\n$QCRMCALL: 1, V4\r\n\r\nERROR\r\n"}}, 4},
        {ScriptedModem::Silence(), 4},
    };
    SLte t;
    t.PowerOn();
    for (const auto& c : cases) {
        std::string text;
        for (const auto& chunk : c.answer) text += chunk.bytes;
        SCOPED_TRACE(testing::PrintToString(text));
        t.modem.On("AT$QCRMCALL?\r\n", c.answer);
        // errCode stays 0 even when the exchange failed.
        EXPECT_EQ(Rec(t.impl->GetConnectionStatus()), Record(c.status, 0, text));
    }
    EXPECT_FALSE(t.impl->Connected());
}

}  // namespace
