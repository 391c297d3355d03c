// Faults of the module as the process meets them: what the RTOS side gets
// back, how long it takes at most, and that the next request is served.  How
// answers in pieces, with unsolicited lines, echoed or overflowing are read is
// the exchange's and the answer tables' part.
#include <gtest/gtest.h>

#include <optional>

#include "hardening_rig.h"

namespace hardening {
namespace {

// Garbage and no final result fail the request (status 2) within the
// exchange's budget, and the next request is served.  The garbage holds binary
// bytes and conversions a format string would act on: the fail path formats
// the module's text with a format of its own.
TEST(ModuleFaults, GarbageWithoutAFinalResultFailsInTimeVerbatimAndTheNextRequestIsServed) {
    const std::string garbage = "\x7f\x80\xfe\x01%n%n%s%s%x%p%99999999s%.1000000f";
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.StartPowered());
    rig.modem.SetSplit(0, 0);
    rig.modem.On("AT+CSQ\r\n", garbage);
    const auto start = RtosPeer::Clock::now();
    const auto r = rig.Request(SIM7100_MSG_GET_SIGNAL_QUALITY);
    // The exchange budget is 20 polls of 1 s, scaled by 0.03.
    EXPECT_LT(RtosPeer::Clock::now() - start, Within(2000));
    EXPECT_EQ(std::make_tuple(r.record.cmdStatus, r.record.errCode, r.Text()),
              std::make_tuple(2, -102, "Chip internal fail! " + garbage));
    rig.modem.On("AT+CSQ\r\n", "\r\n+CSQ: 23,99\r\n\r\nOK\r\n");
    EXPECT_EQ(rig.Request(SIM7100_MSG_GET_SIGNAL_QUALITY).record.errCode, 23);
    EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr()));
}

// The terminal hangs up in the middle of an answer and then disappears; the
// daemon fails the requests that need it, and PowerOn finds the terminal again
// once it is back.
TEST(ModuleFaults, HangUpAndVanishedTerminalAreSurvivedUntilPowerOnFindsItAgain) {
    Rig rig;
    const std::string link = rig.dir + "/ttyUSB2";
    modemsim::SConfig config = QuickModule();
    config.faults.hangup = {"AT+CSQ", 1, 10, -1};
    std::optional<SimModule> module(std::in_place, config, link);
    ASSERT_NO_FATAL_FAILURE(rig.StartLinked({{"SIM7100D_DEVICE", link}}));
    ASSERT_EQ(rig.Request(SIM7100_MSG_POWER_ON).record.cmdStatus, 1);

    const auto cut = rig.Request(SIM7100_MSG_GET_SIGNAL_QUALITY);
    EXPECT_EQ(cut.record.cmdStatus, 2);
    // The port is dead: the next exchange fails at once instead of waiting.
    const auto dead = rig.Request(SIM7100_MSG_GET_CHIP_TYPE);
    EXPECT_EQ(dead.record.cmdStatus, 2);
    EXPECT_EQ(dead.record.errCode, -100);

    module.reset();  // the terminal and its link are gone
    ASSERT_TRUE(rig.peer.SendFrame(SIM7100_MSG_POWER_ON));
    ASSERT_TRUE(rig.daemon.WaitForStderr("Uart could not be opened", Within(5000)));
    module.emplace(config, link);
    const auto on = rig.peer.ReadResponse(Within(5000));
    ASSERT_TRUE(on);
    EXPECT_EQ(on->type, SIM7100_MSG_POWER_ON);
    EXPECT_EQ(on->record.cmdStatus, 1) << on->Text();
    EXPECT_EQ(rig.Request(SIM7100_MSG_GET_CHIP_TYPE).record.cmdStatus, 9);
    EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr()));
}

}  // namespace
}  // namespace hardening
