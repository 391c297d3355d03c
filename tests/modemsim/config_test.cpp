// Scenario files, the command line and the log: the ways a field problem is
// described to the simulator.
#include <fstream>

#include "sim_client.h"
#include "test_support.h"

namespace {

TEST(modemsim_Scenario, RefusesWhatItDoesNotKnow) {
    const std::pair<const char*, const char*> kBad[] = {
        {R"({"faults": {"latency": 5}})", "faults: unknown key \"latency\""},
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

TEST(modemsim_CommandLine, OptionsOverridePresetsWhichOverrideTheScenario) {
    const STempDir temp;
    const std::string scenario = temp.path + "/scenario.json", log = temp.path + "/log.txt";
    std::ofstream(scenario) << R"({"echo": false, "model": "SIM7100E", "state": {"searching_queries": 2},
        "timings": {"result_ms": 100}, "faults": {"sim_busy_ms": 700, "latency_ms": 5},
        "overrides": [{"command": "AT+CSQ", "answer": "\r\n+CSQ: 14,99\r\n", "times": 1}]})";
    SConfig config;
    EXPECT_EQ(Parse({"--scenario", scenario.c_str(), "--preset", "boot", "--preset", "echo", "--latency-ms", "9",
                     "--model", "SIM7100A", "--urc", "5000:+CREG: 1", "--provider", "My Net", "--roaming", "--hangup",
                     "3", "--log", log.c_str()},
                    config),
              -1);
    // The preset keeps the scenario's duration.
    EXPECT_EQ(std::make_tuple(config.faults.simBusyMs, config.faults.bootLines, config.echo, config.faults.latencyMs,
                              config.model, config.state.provider, config.state.registration, config.faults.hangup.nth,
                              config.state.searchingQueries, config.timings.resultMs, config.faults.overrides.size(),
                              config.faults.urcs.at(0).text, config.faults.urcs.at(0).everyMs),
              std::make_tuple(700, true, true, 9, modemsim::EModel::eSim7100A, std::string("My Net"), 5, 3, 2, 100,
                              size_t{1}, std::string("+CREG: 1"), 5000));
    for (const auto& bad : std::vector<std::vector<const char*>>{{"--model", "SIM900"}, {"--no-such-option"}})
        EXPECT_GT(Parse(bad, config), 0) << bad[0];

    // Every command and answer goes to the log, each line stamped to the millisecond.
    SRunning([&](SConfig& c) { c.logFile = log; }).client->Exchange("AT+CSQ");
    const std::string text = ReadFile(log);
    EXPECT_NE(text.find("recv command     AT+CSQ\n"), std::string::npos) << text;
    EXPECT_NE(text.find("send answer      \\r\\n+CSQ: 23,99\\r\\n\\r\\nOK\\r\\n\n"), std::string::npos) << text;
    int y, mo, d, h, mi, s, ms;
    EXPECT_EQ(sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d.%3d", &y, &mo, &d, &h, &mi, &s, &ms), 7);
}

}  // namespace
