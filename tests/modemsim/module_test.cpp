// modemsim in-process: how a field problem is described to it, and what the
// daemon sees on its terminal, each dialogue in one session.
#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "faults.h"
#include "settings.h"
#include "sim_client.h"
#include "test_support.h"

namespace {

const std::string kOk = "\r\nOK\r\n", kError = "\r\nERROR\r\n", kCsq = "\r\n+CSQ: 23,99\r\n\r\nOK\r\n";

TEST(modemsim_Scenario, RefusesWhatItDoesNotKnow) {
    const std::pair<const char*, const char*> kBad[] = {
        {R"({"faults": {"latency": 5}})", "faults: unknown key \"latency\""},
        {R"({"faults": {"latency_ms": "slow"}})", "faults.latency_ms: wrong type"},
        {R"({"state": {"registration": "away"}})", "state.registration"},
        {R"({"state": {"cmee": 3}})", "state.cmee: 3 not in range 0 to 2"},
    };
    for (const auto& [json, message] : kBad) {
        SConfig config;
        std::string error;
        EXPECT_FALSE(modemsim::LoadScenario(json, config, error)) << json;
        EXPECT_NE(error.find(message), std::string::npos) << json << " gave: " << error;
    }
}

// A key or a default changed in the settings or in the guide alone fails here.
TEST(modemsim_Scenario, GuideListsEveryKeyWithItsDefault) {
    std::set<std::string> settings, guide;
    for (const auto& s : modemsim::Settings())
        if (s.key != nullptr) settings.insert("| `" + std::string(s.key) + "` | `" + modemsim::DefaultJson(s) + "` |");
    std::istringstream text(ReadFile(MODEMSIM_GUIDE));
    const std::regex row(R"(^\| `[a-z_.]+` \| `[^`]*` \|)");
    std::smatch found;
    for (std::string line; std::getline(text, line);)
        if (std::regex_search(line, found, row)) guide.insert(found.str());
    std::vector<std::string> alone;
    std::set_symmetric_difference(guide.begin(), guide.end(), settings.begin(), settings.end(),
                                  std::back_inserter(alone));
    EXPECT_EQ(alone, std::vector<std::string>{}) << "rows in the guide or in the settings alone";
}

TEST(modemsim_CommandLine, OptionsOverridePresetsWhichOverrideTheScenario) {
    const STempDir temp;
    const std::string scenario = temp.path + "/scenario.json", log = temp.path + "/log.txt";
    std::ofstream(scenario) << R"({"echo": false, "model": "SIM7100E", "state": {"searching_queries": 2},
        "timings": {"result_ms": 100}, "faults": {"sim_busy_ms": 700, "latency_ms": 5},
        "overrides": [{"command": "AT+CSQ", "answer": "\r\n+CSQ: 14,99\r\n", "times": 1}]})";
    SConfig config;
    EXPECT_EQ(-1, Parse({"--scenario", scenario.c_str(), "--preset", "boot", "--preset", "echo", "--latency-ms", "9",
                         "--model", "SIM7100A", "--urc", "5000:+CREG: 1", "--roaming"},
                        config));
    // The preset keeps the scenario's duration.
    EXPECT_EQ(std::make_tuple(config.faults.simBusyMs, config.faults.bootLines, config.echo, config.faults.latencyMs,
                              config.model, config.state.registration, config.state.searchingQueries,
                              config.timings.resultMs, config.faults.overrides.size(), config.faults.urcs.at(0).text,
                              config.faults.urcs.at(0).everyMs),
              std::make_tuple(700, true, true, 9, modemsim::EModel::eSim7100A, 5, 2, 100, size_t{1},
                              std::string("+CREG: 1"), 5000));
    EXPECT_GT(Parse({"--model", "SIM900"}, config), 0);

    // Every command and answer goes to the log, each line stamped to the millisecond.
    SRunning([&](SConfig& c) { c.logFile = log; }).client->Exchange("AT+CSQ");
    const std::string text = ReadFile(log);
    EXPECT_NE(text.find("recv command     AT+CSQ\n"), std::string::npos) << text;
    EXPECT_NE(text.find("send answer      \\r\\n+CSQ: 23,99\\r\\n\\r\\nOK\\r\\n\n"), std::string::npos) << text;
    int y, mo, d, h, mi, s, ms;
    EXPECT_EQ(sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d", &y, &mo, &d, &h, &mi, &s, &ms), 7);
}

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
      {"ATE1", kOk},
      {"AT+CSQ", "AT+CSQ\r" + kCsq}}},
    {"AuthenticationAndDataCall",
     nullptr,
     {{"AT+CPIN=1", "\r\n+CME ERROR: operation not allowed\r\n"},  // errors on a line of their own by default
      {"AT+CGAUTH=1,3,\"secret\",\"alice\"", kOk},  // the daemon's set-auth; set-apn is the ctl session's
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

TEST(modemsim_Port, ShowsEachBehaviourAndFault) {
    const struct {
        const char* name;
        std::function<void(SConfig&)> setup;
        std::function<void(SRunning&)> check;
    } cases[] = {
        {"NmeaBurstsUntilSwitchedOff", nullptr,
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CGPSCOLD"), kOk);
             r.client->Send("AT+CGPSINFOCFG=2,3\r\n");
             // Up to the second burst.
             const std::string out =
                 r.client->ReadUntil([](const std::string& s) { return s.rfind("$GPRMC") != s.find("$GPRMC"); });
             EXPECT_EQ(out.rfind(kOk, 0), 0u) << out;
             r.client->Exchange("AT+CGPSINFOCFG=0");
             EXPECT_EQ(r.client->ReadFor(4 * 60ms), "");
         }},
        {"LatencyBaudPacingAndOversizedAnswer",
         [](SConfig& c) {
             c.faults.latencyMs = 200, c.faults.baud = 115200;
             c.faults.oversizeCommands = {"AT+CMGL"}, c.state.sms = {modemsim::SSms{}};
         },
         [](SRunning& r) {
             const auto start = Clock::now();
             const std::string answer = r.client->Exchange("AT+CMGL=4");
             EXPECT_GE(Clock::now() - start, 180ms + answer.size() * 1000ms / 11520);  // 10 bits a byte
             EXPECT_GE(answer.size(), 4200u);
             EXPECT_EQ(answer.compare(0, 10, "\r\n+CMGL: 0"), 0);
             EXPECT_EQ(answer.find("OK"), answer.size() - 4);
         }},
        // Gaps of 60 ms: only a replay waits for the reader, so a reader held up
        // past the gap would take two pieces at once.
        {"SplitAnswers", [](SConfig& c) { c.faults.splitBytes = 4, c.faults.splitGapMs = 60; },
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CSQ"), kCsq);
             EXPECT_GE(r.client->readSizes.size(), 5u);
             for (size_t n : r.client->readSizes) EXPECT_LE(n, 4u);
         }},
        {"SilentForChosenCommands",
         [](SConfig& c) {
             c.faults.silentCommands = {"at+csq", "AT+CGM*"};
         },
         [](SRunning& r) {
             // A whole name matches when no letter follows it; "*" takes any.
             r.client->Send("AT+CSQ\r\nAT+CSQ?\r\nAT+CGMR\r\n");
             ASSERT_TRUE(r.sim.WaitForCommands(3, 2000ms));
             EXPECT_EQ(r.client->ReadFor(200ms), "");
             EXPECT_EQ(r.client->Exchange("AT+CSQX"), kError);
         }},
        {"OverrideOnceWithALaterLine",
         [](SConfig& c) {
             c.faults.overrides = {{"AT+CSQ", "\r\n+CSQ: 14,99\r\n", "\r\n+CREG: 1\r\n", 30, 1}};
         },
         [](SRunning& r) {
             r.client->Send("AT+CSQ\r\n");
             EXPECT_EQ(r.client->ReadUntil([](auto& s) { return EndsWith(s, "+CREG: 1\r\n"); }),
                       "\r\n+CSQ: 14,99\r\n\r\n+CREG: 1\r\n");
             EXPECT_EQ(r.client->Exchange("AT+CSQ"), kCsq);
         }},
        {"UnsolicitedLines",
         [](SConfig& c) {
             c.faults.urcs = {{"RING", 40, 0}};
         },
         [](SRunning& r) {
             const auto thrice = [](const std::string& s) { return s.size() >= 24; };
             EXPECT_EQ(r.client->ReadUntil(thrice).substr(0, 24), "\r\nRING\r\n\r\nRING\r\n\r\nRING\r\n");
         }},
        {"GarbageBytesFromTheSeed", [](SConfig& c) { c.faults.garbageEveryMs = 30, c.faults.garbageBytes = 5; },
         [](SRunning& r) {
             // The default seed's bytes, whole and in order, so a report can be reproduced.
             modemsim::SFaults faults;
             faults.garbageBytes = 5;
             modemsim::CFaultPlan plan(faults, 1);
             std::string expected = plan.Garbage();
             expected += plan.Garbage();
             EXPECT_EQ(r.client->ReadUntil([](const std::string& s) { return s.size() >= 10; }).substr(0, 10),
                       expected);
         }},
        {"SilentAfterTheFirstCommands", [](SConfig& c) { c.faults.silentAfter = 1; },
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CSQ"), kCsq);
             r.client->Send("AT+CSQ\r\n");
             ASSERT_TRUE(r.sim.WaitForCommands(2, 2000ms));
             EXPECT_EQ(r.client->ReadFor(200ms), "");
         }},
        {"IdleErrorAfterSilence", [](SConfig& c) { c.faults.idleErrorMs = 400; },
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT"), kOk);
             EXPECT_EQ(r.client->ReadFor(500ms), "");  // the idle time itself
             EXPECT_EQ(r.client->Exchange("AT"), kError);
             EXPECT_EQ(r.client->Exchange("AT"), kOk);
         }},
        {"GpsStrictRefusesTheStateItIsIn", [](SConfig& c) { c.faults.gpsStrict = true; },
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CGPS=0"), kError);
             EXPECT_EQ(r.client->Exchange("AT+CGPSCOLD"), kOk);
             EXPECT_EQ(r.client->Exchange("AT+CGPSCOLD"), kError);
         }},
        {"NoCellAfterPowerUp", [](SConfig& c) { c.faults.noCellMs = 60000; },
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CSQ"), Info("+CSQ: 99,99"));
             EXPECT_EQ(r.client->Exchange("AT+CGREG?"), Info("+CGREG: 0,2"));
         }},
        {"XtraResultSecondPartLaterAndLbsOkFirst",
         [](SConfig& c) { c.faults.xtraResult = 3, c.faults.lbsOrder = modemsim::ELbsOrder::eOkFirst; },
         [](SRunning& r) {
             const auto line = [](auto& s) { return EndsWith(s, ": 3\r\n") || EndsWith(s, ": 1\r\n"); };
             const auto start = Clock::now();
             EXPECT_EQ(r.client->Exchange("AT+CGPSXD=0"), kOk);
             EXPECT_EQ(r.client->ReadUntil(line), "\r\n+CGPSXD: 3\r\n");
             EXPECT_GE(Clock::now() - start, 150ms);
             EXPECT_EQ(r.client->Exchange("AT+CLBS=1"), kOk);
             EXPECT_EQ(r.client->ReadUntil(line), "\r\n+CLBS: 1\r\n");
         }},
        {"HangUpInTheMiddleOfAnAnswer",
         [](SConfig& c) {
             c.faults.hangup = {"AT+CSQ", 2, 5, 50};
         },
         [](SRunning& r) {
             EXPECT_EQ(r.client->Exchange("AT+CSQ"), kCsq);
             const std::string old = r.sim.Path();
             r.client->Send("AT+CSQ\r\n");
             EXPECT_EQ(r.client->ReadFor(3000ms), "\r\n+CS");  // the first five bytes
             EXPECT_TRUE(r.client->hungUp);
             ASSERT_TRUE(r.sim.WaitForNewPath(old, 3000ms));
             EXPECT_EQ(CClient(r.sim.Path()).Exchange("AT+CSQ"), kCsq);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SRunning run(c.setup);
        c.check(run);
    }
}

}  // namespace
