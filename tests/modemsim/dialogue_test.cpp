// State the daemon's procedures change and read back: each case is a dialogue
// of commands and the exact answers the module gives, in one session.
#include <gtest/gtest.h>

#include <cstring>

#include "sim_client.h"

namespace {

using modemsim::SConfig;

struct SStep {
    std::string command;
    std::string answer;
};

struct SDialogue {
    const char* name;
    std::function<void(SConfig&)> setup;
    std::vector<SStep> steps;
};

const std::string kOk = "\r\nOK\r\n";
const std::string kError = "\r\nERROR\r\n";

std::string Info(const std::string& line) { return "\r\n" + line + "\r\n" + kOk; }

void Nothing(SConfig&) {}

modemsim::SSms Message(const char* status, const char* text) {
    modemsim::SSms sms;
    sms.status = status;
    sms.text = text;
    return sms;
}

const std::vector<SDialogue> kDialogues = {
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
      {"AT+CPIN?", Info("+CPIN: READY")},
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
    {"NoSim", [](SConfig& c) { c.state.simInserted = false; },
     {{"AT+CPIN?", "+CME ERROR: SIM not inserted\r\n"}, {"AT+CNSMOD?", Info("+CNSMOD: 0,0")}}},
    {"ErrorReportModes", Nothing,
     {{"AT+CMEE=0", kOk},
      {"AT+CPIN=1", kError},
      {"AT+CMEE=1", kOk},
      {"AT+CMEE?", Info("+CMEE: 1")},
      {"AT+CPIN=1", "+CME ERROR: 3\r\n"},
      {"AT+CMGR=99", "+CMS ERROR: 321\r\n"},
      {"AT+CMEE=3", kError}}},
    {"LineErrorFraming", [](SConfig& c) { modemsim::ApplyPreset("line-errors", c); },
     {{"AT+CPIN=1", "\r\n+CME ERROR: operation not allowed\r\n"}, {"AT+FOO", kError}}},
    {"PdpContextAndAuthentication", Nothing,
     {{"AT+CGDCONT=1,\"IP\",\"internet.example\"", kOk},
      {"AT+CGDCONT?", Info("+CGDCONT: 1,\"IP\",\"internet.example\",\"0.0.0.0\",0,0")},
      {"AT+CGAUTH=1,3,\"secret\",\"alice\"", kOk},
      {"AT+CGAUTH?", Info("+CGAUTH: 1,3,\"alice\"")},
      {"AT+CGAUTH=1,4,\"a\",\"b\"", kError},
      {"AT+CGDCONT=1,\"X25\",\"a\"", kError}}},
    {"DataCallSetQueryClear", Nothing,
     {{"AT$QCRMCALL?", kOk},
      {"AT$QCRMCALL=1,1", Info("$QCRMCALL: 1, V4")},
      {"AT$QCRMCALL?", Info("$QCRMCALL: 1, V4")},
      {"AT$QCRMCALL=0,1", kOk},
      {"AT$QCRMCALL?", kOk}}},
    {"RegistrationSearchesThenRoams",
     [](SConfig& c) {
         c.state.searchingQueries = 2;
         c.state.registration = 5;
     },
     {{"AT+CGREG?", Info("+CGREG: 0,2")}, {"AT+CGREG?", Info("+CGREG: 0,2")}, {"AT+CGREG?", Info("+CGREG: 0,5")},
      {"AT+CGREG=2", kOk}, {"AT+CGREG?", Info("+CGREG: 2,5")}}},
    {"RadioQueries",
     [](SConfig& c) {
         c.state.provider = "Tele Ring 1";
         c.state.rssi = 17;
     },
     {{"AT+CSQ", Info("+CSQ: 17,99")}, {"AT+CSPN?", Info("+CSPN: \"Tele Ring 1\",0")},
      {"AT+CNSMOD?", Info("+CNSMOD: 0,8")}}},
    {"TimeServerList", Nothing,
     {{"AT+CHTPSERV=\"DEL\",0", kError},
      {"AT+CHTPSERV=\"ADD\",\"time.example\",80,1", kOk},
      {"AT+CHTPSERV?", Info("+CHTPSERV: 0,\"time.example\",80,1")},
      {"AT+CHTPSERV=\"DEL\",0", kOk},
      {"AT+CHTPSERV?", kOk}}},
    {"ClockSetAndRead", Nothing,
     {{"AT+CCLK=\"24/02/29,23:59:58-04\"", kOk},
      {"AT+CCLK?", Info("+CCLK: \"24/02/29,23:59:58-04\"")},
      {"AT+CCLK=\"24/13/01,00:00:00+00\"", kError}}},
    {"XtraFlagAndGps", Nothing,
     {{"AT+CGPSXE?", Info("+CGPSXE: 0")}, {"AT+CGPSXE=1", kOk}, {"AT+CGPSXE?", Info("+CGPSXE: 1")},
      {"AT+CGPSCOLD", kOk}, {"AT+CGPSCOLD", kOk}, {"AT+CGPS?", Info("+CGPS: 1,1")}, {"AT+CGPS=0", kOk},
      {"AT+CGPS=0", kOk}}},
    {"GpsStrictRefusesSameState", [](SConfig& c) { modemsim::ApplyPreset("gps-strict", c); },
     {{"AT+CGPS=0", kError}, {"AT+CGPSCOLD", kOk}, {"AT+CGPSCOLD", kError}, {"AT+CGPS=0", kOk}}},
    {"EchoSwitch", Nothing,
     {{"ATE1", kOk},
      {"AT+CSQ", "AT+CSQ\r\r\n+CSQ: 23,99\r\n\r\nOK\r\n"},
      {"ATE0", "ATE0\r" + kOk},
      {"AT", kOk}}},
    {"EchoFromStart", [](SConfig& c) { c.echo = true; }, {{"AT", "AT\r" + kOk}}},
    {"ModelsAndUnknownCommands", [](SConfig& c) { c.model = modemsim::EModel::eSim7100A; },
     {{"AT+CGMM", Info("SIMCOM_SIM7100A")}, {"at+cgmm", Info("SIMCOM_SIM7100A")}, {"AT+NOPE", kError},
      {"ATX", kError}, {"HELLO", kError}}},
    {"SmsTextModeStore",
     [](SConfig& c) {
         c.state.sms = {Message("REC UNREAD", "first"), Message("REC READ", "second")};
         c.state.sms[1].number = "+4930123";
     },
     {{"AT+CMGF?", Info("+CMGF: 0")},
      {"AT+CMGF=1", kOk},
      {"AT+CMGL=\"REC READ\"", Info("+CMGL: 1,\"REC READ\",\"+4930123\",\"\",\"24/05/01,12:00:00+08\"\r\nsecond")},
      {"AT+CMGR=0", Info("+CMGR: \"REC UNREAD\",\"+491701234567\",\"\",\"24/05/01,12:00:00+08\"\r\nfirst")},
      {"AT+CMGL=\"REC UNREAD\"", kOk},
      {"AT+CMGL=4", "+CMS ERROR: invalid text mode parameter\r\n"},
      {"AT+CMGW=\"+4917\",,\"STO UNSENT\"", "\r\n> "},
      {"hello there\x1a", Info("+CMGW: 2")},
      {"AT+CMGW=\"+4917\",,\"ALL\"", "+CMS ERROR: invalid text mode parameter\r\n"},
      {"AT+CMGL=\"STO UNSENT\"", Info("+CMGL: 2,\"STO UNSENT\",\"+4917\",\"\",\r\nhello there")},
      {"AT+CMGD=1,1", kOk},
      {"AT+CMGL=\"ALL\"", Info("+CMGL: 2,\"STO UNSENT\",\"+4917\",\"\",\r\nhello there")},
      {"AT+CMGD=2", kOk},
      {"AT+CMGL=\"ALL\"", kOk},
      {"AT+CMGR=10", "+CMS ERROR: invalid memory index\r\n"},
      {"AT+CMGR=3", kOk}}},
    {"SmsPduModeListsByNumber",
     [](SConfig& c) {
         c.state.sms = {Message("REC UNREAD", "hellohello")};
         c.state.sms[0].number = "+4917";
         c.state.sms[0].time = "24/05/01,12:00:00+08";
     },
     {{"AT+CMGL=\"ALL\"", "+CMS ERROR: invalid PDU mode parameter\r\n"},
      {"AT+CMGL=4", Info("+CMGL: 0,0,,24\r\n00040491947100004250102100008" "00AE8329BFD4697D9EC37")},
      {"AT+CMGL=0", kOk}}},
    {"SmsStoreFull", [](SConfig& c) { c.state.smsCapacity = 1; },
     {{"AT+CMGF=1", kOk}, {"AT+CMGW=\"+1\"", "\r\n> "}, {"a\x1a", Info("+CMGW: 0")},
      {"AT+CMGW=\"+1\"", "+CMS ERROR: memory full\r\n"}}},
};

void PrintTo(const SDialogue& c, std::ostream* os) { *os << c.name; }

class Dialogue : public testing::TestWithParam<SDialogue> {};

TEST_P(Dialogue, AnswersEachStepExactly) {
    SConfig config = FastConfig();
    GetParam().setup(config);
    SRunning run(config);
    for (const SStep& step : GetParam().steps) {
        SCOPED_TRACE(step.command);
        // Message text ends with Ctrl-Z, not with a line end.
        const bool text = step.command.back() == '\x1a';
        run.client->Send(text ? step.command : step.command + "\r\n");
        EXPECT_EQ(run.client->ReadUntil(Complete), step.answer);
    }
}

INSTANTIATE_TEST_SUITE_P(modemsim, Dialogue, testing::ValuesIn(kDialogues),
                         [](const testing::TestParamInfo<SDialogue>& info) { return info.param.name; });

// The daemon decides cell location support from the revision word alone.
bool SupportsLbs(const std::string& word) {
    if (word.find("SIM7600") != std::string::npos) return true;
    if (word.size() < 15) return false;
    return static_cast<unsigned char>(word[5]) > '0' || static_cast<unsigned char>(word[6]) > '6';
}

TEST(modemsim_Models, IdentifyThemselvesAndOnlySim7600PassesTheLocationFirmwareTest) {
    const struct {
        modemsim::EModel model;
        const char* identity;
        bool lbs;
    } kModels[] = {{modemsim::EModel::eSim7600G, "SIM7600G", true},
                   {modemsim::EModel::eSim7100E, "SIM7100E", false},
                   {modemsim::EModel::eSim7100A, "SIM7100A", false}};
    for (const auto& m : kModels) {
        SCOPED_TRACE(m.identity);
        SConfig config = FastConfig();
        config.model = m.model;
        SRunning run(config);
        EXPECT_NE(run.client->Exchange("AT+CGMM").find(m.identity), std::string::npos);
        const std::string revision = run.client->Exchange("AT+CGMR");
        char word[65] = {};
        ASSERT_EQ(sscanf(strstr(revision.c_str(), "+CGMR:"), "+CGMR: %64s", word), 1);
        EXPECT_EQ(SupportsLbs(word), m.lbs) << word;
    }
}

TEST(modemsim_PowerOff, SilencesTheModuleUntilThePowerKey) {
    SConfig config = FastConfig();
    config.state.searchingQueries = 1;
    SRunning run(config);
    EXPECT_EQ(run.client->Exchange("AT+CGREG?"), Info("+CGREG: 0,2"));
    EXPECT_EQ(run.client->Exchange("ATE1"), kOk);
    EXPECT_EQ(run.client->Exchange("AT+CPOF"), "AT+CPOF\r" + kOk);
    run.client->Send("AT\r\n");
    ASSERT_TRUE(run.sim.WaitForCommands(4, 2000ms));
    EXPECT_EQ(run.client->ReadFor(200ms), "");
    run.sim.PowerKey();
    // Power-up brings back echo off and a fresh registration search.
    EXPECT_EQ(run.client->Exchange("AT"), kOk);
    EXPECT_EQ(run.client->Exchange("AT+CGREG?"), Info("+CGREG: 0,2"));
}

TEST(modemsim_PowerOff, RestartsByItselfWhenAsked) {
    SConfig config = FastConfig();
    config.timings.restartAfterMs = 100;
    config.faults.bootLines = true;
    SRunning run(config);
    const std::string boot = run.client->ReadUntilEnds("PB DONE\r\n");
    EXPECT_EQ(run.client->Exchange("AT+CPOF"), kOk);
    EXPECT_EQ(run.client->ReadUntilEnds("PB DONE\r\n"), boot);
    EXPECT_EQ(boot, "\r\nRDY\r\n\r\n+CPIN: READY\r\n\r\nSMS DONE\r\n\r\nPB DONE\r\n");
    EXPECT_EQ(run.client->Exchange("AT"), kOk);
}

}  // namespace
