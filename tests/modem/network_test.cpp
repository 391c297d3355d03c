// Network information queries against the scripted module.
#include <functional>

#include "powered_modem.h"

namespace {

using Op = std::function<SCmdResponse(CSim7100Impl&)>;

const Op kCsq = [](CSim7100Impl& m) { return m.GetSignalQuality(); };
const Op kCgmr = [](CSim7100Impl& m) { return m.GetFirmwareVersion(); };
const Op kCspn = [](CSim7100Impl& m) { return m.GetServiceProvider(); };
const Op kCnsmod = [](CSim7100Impl& m) { return m.GetNetworkMode(); };
const Op kCmee = [](CSim7100Impl& m) { return m.SetErrorReporting("2"); };

class NetworkOps : public PoweredModem {};

TEST_F(NetworkOps, EachQueryAndItsRecord) {
    const std::string name70(70, 'N');
    const struct {
        const char* name;
        Op op;
        std::string command, answer;
        SRecord record;
    } cases[] = {
        {"CSQ", kCsq, "AT+CSQ\r\n", "\r\n+CSQ: 23,99\r\n\r\nOK\r\n", {1, 23, "CSQ: \r\n+CSQ: 23,99\r\n\r\nOK\r\n"}},
        {"CSQ unknown", kCsq, "AT+CSQ\r\n", "\r\n+CSQ: 99,99\r\n\r\nOK\r\n",
         {2, 0, "CSQ: \r\n+CSQ: 99,99\r\n\r\nOK\r\n"}},
        {"CSQ 198", kCsq, "AT+CSQ\r\n", "\r\n+CSQ: 198,0\r\n\r\nOK\r\n", {1, 198, "CSQ: \r\n+CSQ: 198,0\r\n\r\nOK\r\n"}},
        {"CGMR", kCgmr, "AT+CGMR\r\n", "\r\n+CGMR: LE20B04SIM7600G22 extra\r\n\r\nOK\r\n",
         {1, 0, "LE20B04SIM7600G22"}},
        {"CGMR no word", kCgmr, "AT+CGMR\r\n", "\r\nOK\r\n", {2, 0, "AT+CGMR: Incorrect response! \r\nOK\r\n"}},
        {"CGMR failed", kCgmr, "AT+CGMR\r\n", "\r\nERROR\r\n", {2, -101, "AT+CGMR: Chip internal fail! \r\nERROR\r\n"}},
        {"CMEE", kCmee, "AT+CMEE=2\r\n", "\r\nOK\r\n", {1, 0, "MEE: \r\nOK\r\n"}},
        {"CMEE refused", kCmee, "AT+CMEE=2\r\n", "\r\nERROR\r\n", {2, -101, "Chip internal fail! \r\nERROR\r\n"}},
        {"CSPN", kCspn, "AT+CSPN?\r\n", "\r\n+CSPN: \"T-Mobile D.E\",1\r\n\r\nOK\r\n", {1, 1, "SPN: T Mobile D E"}},
        {"CSPN empty", kCspn, "AT+CSPN?\r\n", "\r\n+CSPN: \"\",0\r\n\r\nOK\r\n", {1, 0, "SPN: "}},
        {"CSPN 70", kCspn, "AT+CSPN?\r\n", "\r\n+CSPN: \"" + name70 + "\",0\r\n\r\nOK\r\n",
         {1, 0, "SPN: " + name70.substr(0, 63)}},
        // Failure shows the answer as cleaned so far.
        {"CSPN no mode", kCspn, "AT+CSPN?\r\n", "\r\n+CSPN: \"E-Plus\"\r\n\r\nOK\r\n",
         {2, 0, "SPN: \r\n+CSPN: \"E Plus\"\r\n\r\nOK\r\n"}},
        {"CNSMOD", kCnsmod, "AT+CNSMOD?\r\n", "\r\n+CNSMOD: 0,8\r\n\r\nOK\r\n",
         {1, 8, "NSMOD: \r\n+CNSMOD: 0,8\r\n\r\nOK\r\n"}},
        {"CNSMOD short", kCnsmod, "AT+CNSMOD?\r\n", "\r\n+CNSMOD: 0\r\n\r\nOK\r\n",
         {2, 0, "NSMOD: \r\n+CNSMOD: 0\r\n\r\nOK\r\n"}},
        {"CNSMOD silent", kCnsmod, "AT+CNSMOD?\r\n", "", {2, -100, "Chip internal fail! "}},
    };
    for (const auto& c : cases) {
        modem.On(c.command, c.answer.empty() ? ScriptedModem::Silence() : ScriptedModem::Reply{{c.answer}});
        EXPECT_EQ(Rec(c.op(*impl)), c.record) << c.name;
        EXPECT_EQ(Sent().back(), c.command) << c.name;
    }
}

TEST_F(NetworkOps, LongAnswersAreCutAtTheField) {
    modem.SetSplit(0, 0);  // every pending read spends a retry
    const std::string filler(1100, 'x');
    modem.On("AT+CSQ\r\n", "\r\n+CSQ: 20,3\r\n" + filler + "\r\nOK\r\n");
    const SRecord r = Rec(impl->GetSignalQuality());
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, 20);
    EXPECT_EQ(r.text, ("CSQ: \r\n+CSQ: 20,3\r\n" + filler).substr(0, 1023));
}

TEST(NetworkOpsUnpowered, AllRefuse) {
    auto impl = UnpoweredModem();
    for (const Op& op : {kCsq, kCgmr, kCspn, kCnsmod, kCmee}) {
        EXPECT_EQ(Rec(op(*impl)), (SRecord{2, -2, "Chip is not initialized!"}));
    }
}

}  // namespace
