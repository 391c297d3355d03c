// Scenario files, the command line, command patterns, the log and the PDU
// coding: the ways a field problem is described to the simulator.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "sim_client.h"

namespace {

using modemsim::SConfig;

TEST(modemsim_Scenario, RefusesWhatItDoesNotKnow) {
    const struct {
        const char* json;
        const char* error;
    } kBad[] = {
        {R"({"faults": {"latency": 5}})", "faults: unknown key \"latency\""},
        {R"({"modle": "SIM7100E"})", "scenario: unknown key \"modle\""},
        {R"({"model": "SIM900"})", "model:"},
        {R"({"presets": ["echo", "loud"]})", "unknown preset \"loud\""},
        {R"({"faults": {"latency_ms": "slow"}})", "faults.latency_ms: wrong type"},
        {R"({"state": {"registration": "away"}})", "state.registration"},
        {R"({"state": {"sms": [{"status": "NEW"}]}})", "unknown status"},
        {R"({"overrides": [{"answer": "x"}]})", "overrides[].command"},
        {R"({"faults": {"hangup": {"nth": 1, "when": 2}}})", "faults.hangup: unknown key \"when\""},
        {R"({"faults": )", "parse error"},
    };
    for (const auto& c : kBad) {
        SConfig config;
        std::string error;
        EXPECT_FALSE(modemsim::LoadScenario(c.json, config, error)) << c.json;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.json << " gave: " << error;
    }
}

TEST(modemsim_Scenario, ReplaysAFieldProblem) {
    // A SIM7100E that needs its PIN, roams after two searches, and once
    // answered the signal query without its final result.
    const char* json = R"({
        "model": "SIM7100E",
        "presets": ["line-errors"],
        "state": {"pin_required": true, "searching_queries": 2, "registration": "roaming",
                  "provider": "Roam Co"},
        "timings": {"result_ms": 100},
        "faults": {"latency_ms": 10},
        "overrides": [{"command": "AT+CSQ", "answer": "\r\n+CSQ: 14,99\r\n", "times": 1}]
    })";
    SConfig config = FastConfig();
    std::string error;
    ASSERT_TRUE(modemsim::LoadScenario(json, config, error)) << error;
    SRunning run(config);
    CClient& c = *run.client;
    EXPECT_EQ(c.Exchange("AT+CGMM"), "\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n");
    EXPECT_EQ(c.Exchange("AT+CSPN?"), "\r\n+CME ERROR: SIM PIN required\r\n");
    EXPECT_EQ(c.Exchange("AT+CPIN=1234"), "\r\nOK\r\n");
    c.Send("AT+CSQ\r\n");
    EXPECT_EQ(c.ReadUntilEnds("\r\n+CSQ: 14,99\r\n"), "\r\n+CSQ: 14,99\r\n");
    EXPECT_EQ(c.Exchange("AT+CSQ"), "\r\n+CSQ: 23,99\r\n\r\nOK\r\n");
    for (const char* stat : {"0,2", "0,2", "0,5"}) EXPECT_EQ(c.Exchange("AT+CGREG?"), "\r\n+CGREG: " + std::string(stat) + "\r\n\r\nOK\r\n");
}

int Parse(std::vector<const char*> args, SConfig& config) {
    args.insert(args.begin(), "modemsim");
    return modemsim::ParseCommandLine(static_cast<int>(args.size()), args.data(), config);
}

TEST(modemsim_CommandLine, OptionsOverridePresetsWhichOverrideTheScenario) {
    char path[] = "/tmp/modemsim-scenario-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string json = R"({"echo": false, "faults": {"sim_busy_ms": 700, "latency_ms": 5}})";
    ASSERT_EQ(write(fd, json.data(), json.size()), static_cast<ssize_t>(json.size()));
    close(fd);

    SConfig config;
    EXPECT_EQ(Parse({"--scenario", path, "--preset", "boot", "--preset", "echo", "--latency-ms", "9", "--model",
                     "SIM7100A", "--urc", "5000:+CREG: 1", "--provider", "My Net", "--roaming", "--hangup", "3"},
                    config),
              -1);
    unlink(path);
    EXPECT_EQ(config.faults.simBusyMs, 700);  // the preset keeps the scenario's duration
    EXPECT_TRUE(config.faults.bootLines);
    EXPECT_TRUE(config.echo);
    EXPECT_EQ(config.faults.latencyMs, 9);
    EXPECT_EQ(config.model, modemsim::EModel::eSim7100A);
    ASSERT_EQ(config.faults.urcs.size(), 1u);
    EXPECT_EQ(config.faults.urcs[0].text, "+CREG: 1");
    EXPECT_EQ(config.faults.urcs[0].everyMs, 5000);
    EXPECT_EQ(config.state.provider, "My Net");
    EXPECT_EQ(config.state.registration, 5);
    EXPECT_EQ(config.faults.hangup.nth, 3);
}

TEST(modemsim_CommandLine, RefusesBadValues) {
    const std::vector<std::vector<const char*>> kBad = {
        {"--model", "SIM900"}, {"--preset", "loud"}, {"--urc", "RING"}, {"--urc", "x:RING"},
        {"--error-framing", "fancy"}, {"--cmee", "3"}, {"--no-such-option"},
    };
    for (const auto& args : kBad) {
        SConfig config;
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
        EXPECT_GT(Parse(args, config), 0) << args[0];
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
    }
}

TEST(modemsim_Patterns, MatchWholeCommandNamesOrPrefixesWithStar) {
    const struct {
        const char* command;
        const char* pattern;
        bool match;
    } kCases[] = {
        {"AT+CSQ", "AT+CSQ", true},         {"AT+CSQ?", "at+csq", true},       {"AT+CSQX", "AT+CSQ", false},
        {"AT+CGPSXD=0", "AT+CGPSXD", true}, {"AT+CGPS=0", "AT+CGPSXD", false}, {"AT+CGPSXD=0", "AT+CGPS*", true},
        {"AT", "", false},
    };
    for (const auto& c : kCases) EXPECT_EQ(modemsim::MatchesPattern(c.command, c.pattern), c.match) << c.command << " ~ " << c.pattern;
}

TEST(modemsim_Log, RecordsCommandsAndAnswersWithTimes) {
    char path[] = "/tmp/modemsim-log-XXXXXX";
    close(mkstemp(path));
    SConfig config = FastConfig();
    config.logFile = path;
    {
        SRunning run(config);
        run.client->Exchange("AT+CSQ");
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    unlink(path);
    const std::string log = text.str();
    EXPECT_NE(log.find("recv command     AT+CSQ\n"), std::string::npos) << log;
    EXPECT_NE(log.find("send answer      \\r\\n+CSQ: 23,99\\r\\n\\r\\nOK\\r\\n\n"), std::string::npos) << log;
    // Each line starts with a date and a time to the millisecond.
    int y, mo, d, h, mi, s, ms;
    EXPECT_EQ(sscanf(log.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d", &y, &mo, &d, &h, &mi, &s, &ms), 7);
}

TEST(modemsim_Pdu, EncodesSeptetsAndAddresses) {
    modemsim::SSms sms;
    sms.status = "STO UNSENT";
    sms.number = "+4917";
    sms.text = "hellohello";
    EXPECT_EQ(modemsim::EncodePdu(sms), "00110004919471" "0000AA0AE8329BFD4697D9EC37");
    sms.text = "@$_";
    EXPECT_EQ(modemsim::EncodePdu(sms).substr(20), "03004104");
}

}  // namespace
