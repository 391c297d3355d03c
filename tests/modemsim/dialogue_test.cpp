// State the daemon's procedures change and read back: each case is a dialogue
// of commands and the exact answers the module gives, in one session.
#include "sim_client.h"

namespace {

const std::string kOk = "\r\nOK\r\n", kError = "\r\nERROR\r\n";

std::string Info(const std::string& line) { return "\r\n" + line + "\r\n" + kOk; }

modemsim::SSms Message(const char* status, const char* number, const char* text) {
    modemsim::SSms sms;
    sms.status = status;
    sms.number = number;
    sms.text = text;
    sms.time = "24/05/01,12:00:00+08";
    return sms;
}

const struct {
    const char* name;
    std::function<void(SConfig&)> setup;
    std::vector<std::pair<std::string, std::string>> steps;  // command, exact answer
} kDialogues[] = {
    {"PinCountsDownThenPukSetsNewPin",
     [](SConfig& c) { c.state.pinRequired = true; },
     {{"AT+CPIN?", Info("+CPIN: SIM PIN")},
      {"AT+CPIN=0000", "+CME ERROR: incorrect password\r\n"},
      {"AT+SPIC", Info("+SPIC: 2,10,3,10")},
      {"AT+CPIN=0001", "+CME ERROR: incorrect password\r\n"},
      {"AT+CPIN=0002", "+CME ERROR: incorrect password\r\n"},
      {"AT+CPIN?", Info("+CPIN: SIM PUK")},
      {"AT+CPIN=1234", "+CME ERROR: SIM PUK required\r\n"},
      {"AT+CPIN=11111111,4321", "+CME ERROR: incorrect password\r\n"},
      {"AT+SPIC", Info("+SPIC: 0,9,3,10")},
      {"AT+CPIN=12345678,4321", kOk},
      {"AT+SPIC", Info("+SPIC: 3,10,3,10")},
      {"AT+CPIN=4321", "+CME ERROR: operation not allowed\r\n"}}},
    {"LockedSimRefusesSimCommands",
     [](SConfig& c) { c.state.pinRequired = true; },
     {{"AT+CSPN?", "+CME ERROR: SIM PIN required\r\n"},
      {"AT+CMGL=4", "+CMS ERROR: SIM PIN required\r\n"},
      {"AT+CGREG?", Info("+CGREG: 0,0")},
      {"AT$QCRMCALL=1,1", kError},
      {"AT+CPIN=1234", kOk},
      {"AT+CSPN?", Info("+CSPN: \"Simulated Net\",0")}}},
    {"ErrorReportAndEchoModes",
     nullptr,
     {{"AT+CMEE=0", kOk},
      {"AT+CPIN=1", kError},
      {"AT+CMEE=1", kOk},
      {"AT+CMEE?", Info("+CMEE: 1")},
      {"AT+CPIN=1", "+CME ERROR: 3\r\n"},
      {"AT+CMGR=99", "+CMS ERROR: 321\r\n"},
      {"AT+CMEE=3", kError},
      {"ATE1", kOk},
      {"AT+CSQ", "AT+CSQ\r\r\n+CSQ: 23,99\r\n\r\nOK\r\n"},
      {"ATE0", "ATE0\r" + kOk},
      {"AT", kOk}}},
    {"PdpContextAuthenticationAndDataCall",
     nullptr,
     {{"AT+CGDCONT=1,\"IP\",\"internet.example\"", kOk},
      {"AT+CGDCONT?", Info("+CGDCONT: 1,\"IP\",\"internet.example\",\"0.0.0.0\",0,0")},
      {"AT+CGAUTH=1,3,\"secret\",\"alice\"", kOk},
      {"AT+CGAUTH?", Info("+CGAUTH: 1,3,\"alice\"")},
      {"AT+CGAUTH=1,4,\"a\",\"b\"", kError},
      {"AT+CGDCONT=1,\"X25\",\"a\"", kError},
      {"AT$QCRMCALL?", kOk},
      {"AT$QCRMCALL=1,1", Info("$QCRMCALL: 1, V4")},
      {"AT$QCRMCALL?", Info("$QCRMCALL: 1, V4")},
      {"AT$QCRMCALL=0,1", kOk},
      {"AT$QCRMCALL?", kOk}}},
    {"RegistrationSearchesThenRoams",
     [](SConfig& c) { c.state.searchingQueries = 1, c.state.registration = 5; },
     {{"AT+CGREG?", Info("+CGREG: 0,2")},
      {"AT+CGREG?", Info("+CGREG: 0,5")},
      {"AT+CGREG=2", kOk},
      {"AT+CGREG?", Info("+CGREG: 2,5")}}},
    {"GpsStrictRefusesSameState",
     [](SConfig& c) { modemsim::ApplyPreset("gps-strict", c); },
     {{"AT+CGPS=0", kError}, {"AT+CGPSCOLD", kOk}, {"AT+CGPSCOLD", kError}, {"AT+CGPS=0", kOk}}},
    {"SmsTextModeStore",
     [](SConfig& c) {
         c.state.sms = {Message("REC UNREAD", "+491701234567", "first"), Message("REC READ", "+4930123", "second")};
     },
     {{"AT+CMGF?", Info("+CMGF: 0")},
      {"AT+CMGF=1", kOk},
      {"AT+CMGL=\"REC READ\"", Info("+CMGL: 1,\"REC READ\",\"+4930123\",\"\",\"24/05/01,12:00:00+08\"\r\nsecond")},
      {"AT+CMGR=0", Info("+CMGR: \"REC UNREAD\",\"+491701234567\",\"\",\"24/05/01,12:00:00+08\"\r\nfirst")},
      {"AT+CMGL=\"REC UNREAD\"", kOk},
      {"AT+CMGL=4", "+CMS ERROR: invalid text mode parameter\r\n"},
      {"AT+CMGW=\"+4917\",,\"STO UNSENT\"", "\r\n> "},
      {"hello\r", "\r\n> "},
      {"there\x1a", Info("+CMGW: 2")},
      {"AT+CMGW=\"+4917\",,\"ALL\"", "+CMS ERROR: invalid text mode parameter\r\n"},
      {"AT+CMGL=\"STO UNSENT\"", Info("+CMGL: 2,\"STO UNSENT\",\"+4917\",\"\",\r\nhello\r\nthere")},
      {"AT+CMGD=1,1", kOk},
      {"AT+CMGL=\"ALL\"", Info("+CMGL: 2,\"STO UNSENT\",\"+4917\",\"\",\r\nhello\r\nthere")},
      {"AT+CMGD=2", kOk},
      {"AT+CMGL=\"ALL\"", kOk},
      {"AT+CMGR=10", "+CMS ERROR: invalid memory index\r\n"},
      {"AT+CMGR=3", kOk}}},
    {"SmsStoreFull",
     [](SConfig& c) { c.state.smsCapacity = 1; },
     {{"AT+CMGF=1", kOk},
      {"AT+CMGW=\"+1\"", "\r\n> "},
      {"a\x1a", Info("+CMGW: 0")},
      {"AT+CMGW=\"+1\"", "+CMS ERROR: memory full\r\n"}}},
};

TEST(modemsim_Dialogue, AnswersEachStepExactly) {
    for (const auto& d : kDialogues) {
        SRunning run(d.setup);
        for (const auto& [command, answer] : d.steps) {
            SCOPED_TRACE(std::string(d.name) + ": " + command);
            // Message text ends with Ctrl-Z or a line of it with CR, not with CR LF.
            run.client->Send(command.back() == '\x1a' || command.back() == '\r' ? command : command + "\r\n");
            EXPECT_EQ(run.client->ReadUntil(Complete), answer);
        }
    }
}

}  // namespace
