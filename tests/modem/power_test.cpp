#include <gtest/gtest.h>

#include "scripted_modem.h"
#include "sim7100.h"

namespace {

SDaemonSettings FastSettings(const std::string& device) {
    SDaemonSettings s;
    s.device = device;
    s.timeScale = 0.01;
    return s;
}

TEST(PowerOn, OpensThePortAndAllowsUartSleep) {
    ScriptedModem modem;
    modem.On("AT\r\n", "\r\nOK\r\n");
    modem.On("AT+CSCLK=1\r\n", "\r\nOK\r\n");
    CSim7100Impl impl(FastSettings(modem.Path()));
    const SCmdResponse r = impl.PowerOn();
    EXPECT_EQ(r.cmdStatus, 1);
    EXPECT_EQ(r.errCode, 0);
    EXPECT_STREQ(r.text, "");
    EXPECT_TRUE(impl.Initialized());
    EXPECT_EQ(modem.Commands(), (std::vector<std::string>{"AT\r\n", "AT+CSCLK=1\r\n"}));
}

}  // namespace
