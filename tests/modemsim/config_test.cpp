// Scenario files, the command line and the log: the ways a field problem is
// described to the simulator.
#include <fstream>
#include <sstream>

#include "sim_client.h"

namespace {

TEST(modemsim_Scenario, RefusesWhatItDoesNotKnow) {
    const std::pair<const char*, const char*> kBad[] = {
        {R"({"faults": {"latency": 5}})", "faults: unknown key \"latency\""},
        {R"({"model": "SIM900"})", "model:"},
        {R"({"faults": {"latency_ms": "slow"}})", "faults.latency_ms: wrong type"},
        {R"({"state": {"registration": "away"}})", "state.registration"},
        {R"({"faults": )", "parse error"},
    };
    for (const auto& [json, message] : kBad) {
        SConfig config;
        std::string error;
        EXPECT_FALSE(modemsim::LoadScenario(json, config, error)) << json;
        EXPECT_NE(error.find(message), std::string::npos) << json << " gave: " << error;
    }
}

TEST(modemsim_Scenario, ReplaysAFieldProblemIntoTheLog) {
    // A SIM7100E that needs its PIN, roams after two searches, and once
    // answered the signal query without its final result.
    const char* json = R"({"model": "SIM7100E", "presets": ["line-errors"],
        "state": {"pin_required": true, "searching_queries": 2, "registration": "roaming", "provider": "Roam Co"},
        "timings": {"result_ms": 100}, "faults": {"latency_ms": 10},
        "overrides": [{"command": "AT+CSQ", "answer": "\r\n+CSQ: 14,99\r\n", "times": 1}]})";
    const std::string log = testing::TempDir() + "modemsim-log-" + std::to_string(getpid());
    {
        std::string error;
        SRunning run([&](SConfig& c) {
            EXPECT_TRUE(modemsim::LoadScenario(json, c, error)) << error;
            c.logFile = log;
        });
        CClient& c = *run.client;
        EXPECT_EQ(c.Exchange("AT+CGMM"), "\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n");
        EXPECT_EQ(c.Exchange("AT+CSPN?"), "\r\n+CME ERROR: SIM PIN required\r\n");
        EXPECT_EQ(c.Exchange("AT+CPIN=1234"), "\r\nOK\r\n");
        c.Send("AT+CSQ\r\n");
        EXPECT_EQ(c.ReadUntilEnds("\r\n+CSQ: 14,99\r\n"), "\r\n+CSQ: 14,99\r\n");
        EXPECT_EQ(c.Exchange("AT+CSQ"), "\r\n+CSQ: 23,99\r\n\r\nOK\r\n");
        for (const char* stat : {"0,2", "0,2", "0,5"})
            EXPECT_EQ(c.Exchange("AT+CGREG?"), "\r\n+CGREG: " + std::string(stat) + "\r\n\r\nOK\r\n");
    }
    std::stringstream text;
    text << std::ifstream(log).rdbuf();
    std::remove(log.c_str());
    EXPECT_NE(text.str().find("recv command     AT+CSQ\n"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("send answer      \\r\\n+CSQ: 23,99\\r\\n\\r\\nOK\\r\\n\n"), std::string::npos);
    // Each line starts with a date and a time to the millisecond.
    int y, mo, d, h, mi, s, ms;
    EXPECT_EQ(sscanf(text.str().c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d", &y, &mo, &d, &h, &mi, &s, &ms), 7);
}

int Parse(std::vector<const char*> args, SConfig& config) {
    args.insert(args.begin(), "modemsim");
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const int result = modemsim::ParseCommandLine(static_cast<int>(args.size()), args.data(), config);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    return result;
}

TEST(modemsim_CommandLine, OptionsOverridePresetsWhichOverrideTheScenario) {
    const std::string path = testing::TempDir() + "modemsim-scenario-" + std::to_string(getpid()) + ".json";
    std::ofstream(path) << R"({"echo": false, "faults": {"sim_busy_ms": 700, "latency_ms": 5}})";
    SConfig config;
    EXPECT_EQ(Parse({"--scenario", path.c_str(), "--preset", "boot", "--preset", "echo", "--latency-ms", "9", "--model",
                     "SIM7100A", "--urc", "5000:+CREG: 1", "--provider", "My Net", "--roaming", "--hangup", "3"},
                    config),
              -1);
    std::remove(path.c_str());
    // The preset keeps the scenario's duration.
    EXPECT_EQ(std::make_tuple(config.faults.simBusyMs, config.faults.bootLines, config.echo, config.faults.latencyMs,
                              config.model, config.state.provider, config.state.registration, config.faults.hangup.nth),
              std::make_tuple(700, true, true, 9, modemsim::EModel::eSim7100A, std::string("My Net"), 5, 3));
    ASSERT_EQ(config.faults.urcs.size(), 1u);
    EXPECT_EQ(config.faults.urcs[0].text, "+CREG: 1");
    EXPECT_EQ(config.faults.urcs[0].everyMs, 5000);
    for (const auto& bad : std::vector<std::vector<const char*>>{
             {"--model", "SIM900"}, {"--preset", "loud"}, {"--urc", "x:RING"}, {"--no-such-option"}})
        EXPECT_GT(Parse(bad, config), 0) << bad[0];
}

}  // namespace
