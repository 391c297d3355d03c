// Cell-based location against the scripted module.
#include <functional>

#include "powered_modem.h"

namespace {

using Strings = std::vector<std::string>;
using Reply = ScriptedModem::Reply;

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

std::string Cgmr(const std::string& word) { return "\r\n+CGMR: " + word + "\r\n\r\nOK\r\n"; }

class LbsOps : public PoweredModem {
protected:
    void SetUp() override {
        PoweredModem::SetUp();
        // A location report completes on its first bytes: deliver it whole.
        modem.SetSplit(0, 0);
    }
    Strings SentSince(size_t before) const {
        const Strings all = Sent();
        return Strings(all.begin() + before, all.end());
    }
};

TEST_F(LbsOps, StartChecksTheFirmwareFirst) {
    const std::string started = kOk + "\r\n+CNETSTART: 0\r\n";
    const std::string refused = kOk + "\r\n+CNETSTART: 1\r\n";
    const struct {
        const char* name;
        std::string cgmr;
        std::string netStart;  // empty: not sent
        SRecord record;
    } cases[] = {
        {"SIM7600G-H", Cgmr("LE20B04SIM7600G22"), started, {1, 0, started}},
        {"SIM7100E new firmware", Cgmr("4534B07SIM7100E"), started, {1, 0, started}},
        {"SIM7100E old firmware", Cgmr("4534B06SIM7100E"), "",
         {10, 0, "AT+CGMR: '" + Cgmr("4534B06SIM7100E") + "'\nThis version does not support LBS"}},
        {"no revision", kOk, "", {10, 0, "AT+CGMR: '" + kOk + "'\nThis version does not support LBS"}},
        {"revision refused", kError, "", {2, -101, "AT+CGMR: Chip internal fail! " + kError}},
        {"start code 1", Cgmr("LE20B04SIM7600G22"), refused, {2, 1, "LBS Start error 1: " + refused}},
        {"start refused", Cgmr("LE20B04SIM7600G22"), kError, {2, -101, "Chip internal fail! " + kError}},
    };
    for (const auto& c : cases) {
        const size_t before = Sent().size();
        modem.On("AT+CGMR\r\n", c.cgmr);
        if (!c.netStart.empty()) modem.On("AT+CNETSTART\r\n", c.netStart);
        EXPECT_EQ(Rec(impl->LbsStart()), c.record) << c.name;
        Strings expected{"AT+CGMR\r\n"};
        if (!c.netStart.empty()) expected.push_back("AT+CNETSTART\r\n");
        EXPECT_EQ(SentSince(before), expected) << c.name;
    }
}

TEST_F(LbsOps, StopNeedsNoStart) {
    modem.On("AT+CNETSTOP\r\n", "\r\n+CNETSTOP: 0\r\n\r\nOK\r\n");
    EXPECT_EQ(Rec(impl->LbsStop()), (SRecord{1, 0, "\r\n+CNETSTOP: 0\r\n\r\nOK\r\n"}));
    EXPECT_EQ(Rec(impl->LbsStop()), (SRecord{2, -101, "Chip internal fail! " + kError}));
    EXPECT_EQ(Sent(), Strings(2, "AT+CNETSTOP\r\n"));
}

TEST_F(LbsOps, LocationInEitherOrder) {
    const std::string fix = "\r\n+CLBS: 0,31.228562,121.383660,550\r\n";
    const struct {
        const char* name;
        Reply reply;
        SRecord record;
    } cases[] = {
        {"report then OK", {{fix}, {kOk, 20}}, {1, 0, fix.substr(2) + kOk}},
        {"OK then report", {{kOk}, {fix, 20}}, {1, 0, fix.substr(2)}},
        {"no fix", {{"\r\n+CLBS: 2\r\n"}, {kOk, 20}}, {2, 2, "LBS Error: \r\n+CLBS: 2\r\n" + kOk}},
        // The report never comes: the acknowledgement alone is accepted.
        {"OK alone", {{kOk}}, {2, -2, "Chip responsed with invalid answer! " + kOk}},
        {"refused", {{kError}}, {2, -101, "Chip internal fail! " + kError}},
    };
    for (const auto& c : cases) {
        modem.On("AT+CLBS=1\r\n", c.reply);
        EXPECT_EQ(Rec(impl->LbsGetLocation()), c.record) << c.name;
        EXPECT_EQ(Sent().back(), "AT+CLBS=1\r\n") << c.name;
    }
}

TEST(LbsOpsUnpowered, AllRefuse) {
    auto impl = UnpoweredModem();
    const SRecord refused{2, -2, "Chip is not initialized!"};
    EXPECT_EQ(Rec(impl->LbsStart()), refused);
    EXPECT_EQ(Rec(impl->LbsStop()), refused);
    EXPECT_EQ(Rec(impl->LbsGetLocation()), refused);
}

}  // namespace
