// Network information and cell-based location.
#include "dialogue.h"

namespace {

const std::string kCsq = "AT+CSQ\r\n";
const std::string kCgmr = "AT+CGMR\r\n";
const std::string kCspn = "AT+CSPN?\r\n";
const std::string kMode = "AT+CNSMOD?\r\n";
const std::string kRevision = Line("+CGMR: LE20B04SIM7600G22");

TEST(Network, Dialogues) {
    const Op cmee = [](M& m) { return m.SetErrorReporting("2", 1); };
    const std::string spn = Line("+CSPN: \"T-Mobile D.E\",1"), noMode = Line("+CSPN: \"E-Plus\"");
    RunDialogues({
        {"CSQ", kOn, &M::GetSignalQuality, {{kCsq, Line("+CSQ: 23,99")}}, {1, 23, "CSQ: " + Line("+CSQ: 23,99")}},
        {"CGMR", kOn, &M::GetFirmwareVersion, {{kCgmr, kRevision}}, {1, 0, "LE20B04SIM7600G22"}},
        {"CGMR no word", kOn, &M::GetFirmwareVersion, {{kCgmr, kOk}}, {2, 0, "AT+CGMR: Incorrect response! " + kOk}},
        {"CGMR refused", kOn, &M::GetFirmwareVersion, {{kCgmr, kError}}, {2, -101, "AT+CGMR: " + kFail + kError}},
        {"CMEE", kOn, cmee, {{"AT+CMEE=2\r\n", kOk}}, {1, 0, "MEE: " + kOk}},
        {"CSPN", kOn, &M::GetServiceProvider, {{kCspn, spn}}, {1, 1, "SPN: T Mobile D E"}},
        // Failure shows the answer as cleaned so far.
        {"no mode", kOn, &M::GetServiceProvider, {{kCspn, noMode}}, {2, 0, "SPN: " + Line("+CSPN: \"E Plus\"")}},
        {"CNSMOD", kOn, &M::GetNetworkMode, {{kMode, Line("+CNSMOD: 0,8")}}, {1, 8, "NSMOD: " + Line("+CNSMOD: 0,8")}},
    });
}

TEST(Lbs, Dialogues) {
    const std::string started = kOk + "\r\n+CNETSTART: 0\r\n", failed = kOk + "\r\n+CNETSTART: 1\r\n";
    const std::string net = "AT+CNETSTART\r\n", clbs = "AT+CLBS=1\r\n", stop = "\r\n+CNETSTOP: 0\r\n\r\nOK\r\n";
    const std::string old = Line("+CGMR: 4534B06SIM7100E");
    const std::string fix = "\r\n+CLBS: 0,31.228562,121.383660,550\r\n", noFix = "\r\n+CLBS: 2\r\n";
    const std::string unsupported = "'\nThis version does not support LBS";
    RunDialogues({
        {"SIM7600G-H", kOn, &M::LbsStart, {{kCgmr, kRevision}, {net, started}}, {1, 0, started}},
        {"SIM7100E old firmware", kOn, &M::LbsStart, {{kCgmr, old}}, {10, 0, "AT+CGMR: '" + old + unsupported}},
        {"code 1", kOn, &M::LbsStart, {{kCgmr, kRevision}, {net, failed}}, {2, 1, "LBS Start error 1: " + failed}},
        {"stop", kOn, &M::LbsStop, {{"AT+CNETSTOP\r\n", stop}}, {1, 0, stop}},
        // The report and the OK come in either order.
        {"report then OK", kOn, &M::LbsGetLocation, {{clbs, TwoReads(fix, kOk)}}, {1, 0, fix.substr(2) + kOk}},
        {"OK then report", kOn, &M::LbsGetLocation, {{clbs, TwoReads(kOk, fix)}}, {1, 0, fix.substr(2)}},
        {"no fix", kOn, &M::LbsGetLocation, {{clbs, TwoReads(noFix, kOk)}}, {2, 2, "LBS Error: " + noFix + kOk}},
        // The report never comes: the acknowledgement alone is accepted.
        {"OK alone", kOn, &M::LbsGetLocation, {{clbs, kOk}}, {2, -2, "Chip responsed with invalid answer! " + kOk}},
    });
}

}  // namespace
