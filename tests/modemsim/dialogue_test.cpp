// The module state the daemon's procedures change and read back: each case is
// a dialogue of commands and the answers the module gives, in one session.
#include "sim_client.h"

namespace {

const std::string kOk = "\r\nOK\r\n", kError = "\r\nERROR\r\n";

std::string Info(const std::string& line) { return "\r\n" + line + "\r\n" + kOk; }

void Bare(SConfig& c) { c.faults.errorFraming = modemsim::EErrorFraming::eBare; }

const struct {
    const char* name;
    std::function<void(SConfig&)> setup;
    std::vector<std::pair<std::string, std::string>> steps;  // command, exact answer
} kDialogues[] = {
    {"PinCountsDownThenPukSetsNewPin",
     [](SConfig& c) { c.state.pinRequired = true, Bare(c); },
     {{"AT+CPIN?", Info("+CPIN: SIM PIN")},
      {"AT+CSPN?", "+CME ERROR: SIM PIN required\r\n"},
      {"AT+CGREG?", Info("+CGREG: 0,0")},
      {"AT+CPIN=0000", "+CME ERROR: incorrect password\r\n"},
      {"AT+CPIN=0001", "+CME ERROR: incorrect password\r\n"},
      {"AT+CPIN=0002", "+CME ERROR: incorrect password\r\n"},
      {"AT+CPIN?", Info("+CPIN: SIM PUK")},
      {"AT+CPIN=1234", "+CME ERROR: SIM PUK required\r\n"},
      {"AT+CPIN=11111111,4321", "+CME ERROR: incorrect password\r\n"},
      {"AT+SPIC", Info("+SPIC: 0,9,3,10")},
      {"AT+CPIN=12345678,4321", kOk},
      {"AT+SPIC", Info("+SPIC: 3,10,3,10")},
      {"AT+CPIN=4321", "+CME ERROR: operation not allowed\r\n"}}},
    {"ErrorReportAndEchoModes",
     Bare,
     {{"AT+CMEE=0", kOk},
      {"AT+CPIN=1", kError},
      {"AT+CMEE=1", kOk},
      {"AT+CPIN=1", "+CME ERROR: 3\r\n"},
      {"AT+CMGR=99", "+CMS ERROR: 321\r\n"},
      {"ATE1", kOk},
      {"AT+CSQ", "AT+CSQ\r\r\n+CSQ: 23,99\r\n\r\nOK\r\n"}}},
    {"ContextAuthenticationAndDataCall",
     nullptr,
     {{"AT+CPIN=1", "\r\n+CME ERROR: operation not allowed\r\n"},  // errors on a line of their own by default
      {"AT+CGDCONT=1,\"IP\",\"internet.example\"", kOk},
      {"AT+CGAUTH=1,3,\"secret\",\"alice\"", kOk},
      {"AT$QCRMCALL=1,1", Info("$QCRMCALL: 1, V4")},
      {"AT$QCRMCALL?", Info("$QCRMCALL: 1, V4")},
      {"AT$QCRMCALL=0,1", kOk},
      {"AT$QCRMCALL?", kOk}}},
    {"RegistrationSearchesThenRoams",
     [](SConfig& c) { c.state.searchingQueries = 1, c.state.registration = 5; },
     {{"AT+CGREG?", Info("+CGREG: 0,2")}, {"AT+CGREG?", Info("+CGREG: 0,5")}}},
    {"SmsTextModeStore",
     [](SConfig& c) {
         c.state.sms = {modemsim::SSms{}, modemsim::SSms{}};  // unread, then read
         c.state.sms[1].status = "REC READ";
         c.state.smsCapacity = 3, Bare(c);
     },
     {{"AT+CMGF=1", kOk},
      {"AT+CMGR=0", Info("+CMGR: \"REC UNREAD\",\"+491701234567\",\"\",\"24/05/01,12:00:00+08\"\r\n")},
      {"AT+CMGL=\"REC UNREAD\"", kOk},
      {"AT+CMGL=4", "+CMS ERROR: invalid text mode parameter\r\n"},
      {"AT+CMGW=\"+4917\",,\"STO UNSENT\"", "\r\n> "},
      {"hello\x1a", Info("+CMGW: 2")},
      {"AT+CMGW=\"+1\"", "+CMS ERROR: memory full\r\n"},
      {"AT+CMGD=1,1", kOk},
      {"AT+CMGL=\"ALL\"", Info("+CMGL: 2,\"STO UNSENT\",\"+4917\",\"\",\r\nhello")},
      {"AT+CMGD=2", kOk},
      {"AT+CMGL=\"ALL\"", kOk}}},
};

TEST(modemsim_Dialogue, AnswersEachStepExactly) {
    for (const auto& d : kDialogues) {
        SRunning run(d.setup);
        for (const auto& [command, answer] : d.steps) {
            SCOPED_TRACE(std::string(d.name) + ": " + command);
            // Message text ends with Ctrl-Z, not with CR LF.
            run.client->Send(command.back() == '\x1a' ? command : command + "\r\n");
            EXPECT_EQ(run.client->ReadUntil(Complete), answer);
        }
    }
}

}  // namespace
