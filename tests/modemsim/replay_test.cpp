// Replaying a daemon trace: a session recorded by sim7100d-dev against the
// simulated module with faults, replayed to a fresh daemon with the requests
// the trace implies, gives the same trace byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "ctl_commands.h"
#include "daemon_process.h"
#include "rtos_peer.h"
#include "sim_client.h"
#include "test_support.h"
#include "trace_script.h"

namespace {

struct SRun {
    size_t answered = 0;  // requests that got their response
    std::string trace;
    std::vector<std::string> notes;
};

// One daemon against one simulator, the requests one after another.  Before
// each request the simulator has written all it owes, as between the
// requests of a person.
SRun Session(SConfig config, const std::vector<ctl::SRequest>& requests, const std::string& dir) {
    SRun run;
    const std::string trace = dir + "/LteDebug.txt";
    std::filesystem::remove(trace);
    modemsim::CSimulator sim(std::move(config));
    sim.onNote = [&run](const std::string& note) { run.notes.push_back(note); };
    std::string error;
    if (!sim.Open(error)) return ADD_FAILURE() << error, run;
    sim.Start();
    RtosPeer peer;
    DaemonProcess daemon;
    DaemonProcess::SOptions o{SIM7100D_DEV_PATH, SIM7100_EMULATOR, "", {}};
    o.env = {{"SIM7100D_DEVICE", sim.Path()},
             {"SIM7100D_PORT", std::to_string(peer.Port())},
             {"SIM7100D_TRACE_FILE", trace},
             {"SIM7100D_TIME_SCALE", "0.1"}};
    if (!daemon.Start(o)) return ADD_FAILURE() << daemon.Error(), run;
    EXPECT_TRUE(peer.AcceptRegistered(10s));
    for (const ctl::SRequest& r : requests) {
        EXPECT_TRUE(sim.WaitForQuiet(10s));
        EXPECT_TRUE(peer.SendFrame(r.type, std::string(r.payload.begin(), r.payload.end())));
        const auto response = peer.ReadResponse(30s);
        if (!response) return ADD_FAILURE() << "no response to " << r.Display() << "\n" << daemon.Stdout(), run;
        ++run.answered;
    }
    EXPECT_TRUE(peer.SendFrame(SIM7100_MSG_TERMINATE));
    EXPECT_TRUE(daemon.WaitExit(10s).has_value());
    sim.Stop();
    run.trace = ReadFile(trace);
    return run;
}

std::vector<ctl::SRequest> Requests(const std::string& script) {
    std::istringstream in(script);
    const ctl::SParseOutcome parsed = ctl::ParseScript(in, "script");
    EXPECT_TRUE(parsed.Ok()) << parsed.error << "\n" << script;
    return parsed.requests;
}

// The last session of a trace, as the replay and the converter see it.
SConfig Replaying(const std::string& trace, std::string& script) {
    const modemsim::STrace t = modemsim::ParseTrace(trace);
    SConfig c;
    c.timings.resultMs = 50;
    c.replay.active = true;
    c.replay.firstEntry = t.sessions.back().first;
    c.replay.entries.assign(t.entries.begin() + static_cast<long>(t.sessions.back().first), t.entries.end());
    c.replay.gapMs = 2;
    modemsim::AdoptTraceHabits(c.replay.entries, c);
    script = ctl::ScriptFromTrace(c.replay.entries, c.replay.firstEntry);
    return c;
}

TEST(Replay, RecordedSessionReplaysByteForByte) {
    const STempDir dir;
    // Echo on, answers split, two-part answers, a line after a final result
    // (flushed before the next command), PIN, password and message text.
    SConfig field;
    field.echo = true;
    field.timings.resultMs = 50;
    field.state.pinRequired = true;
    field.state.pin = "4711";
    field.faults.splitBytes = 16;
    field.faults.splitGapMs = 3;
    field.faults.overrides.push_back({"AT+CSQ", "\r\n+CSQ: 17,99\r\n\r\nOK\r\n", "\r\n+CREG: 1\r\n", 30, 0});
    const std::string session =
        "debug\npower-on\nsignal\nsim-status\nenter-pin 4711\nset-auth user s3cret\nset-sms-mode text\n"
        "write-sms 4917 'Hello field'\nread-sms 0\nxtra-download\nlbs-start\nlbs-location\nraw AT+CGMI\n";
    const SRun recorded = Session(field, Requests(session), dir.path);
    ASSERT_FALSE(recorded.trace.empty());

    // The scrubbed copy holds none of the secrets; it and the trace itself
    // replay to the daemon with the requests they imply, giving the same trace.
    const std::string scrubbed =
        modemsim::FormatTrace(modemsim::ScrubTrace(modemsim::ParseTrace(recorded.trace).entries));
    for (const char* secret : {"4711", "s3cret", "Hello field"}) EXPECT_EQ(scrubbed.find(secret), std::string::npos);
    for (const std::string& trace : {recorded.trace, scrubbed}) {
        std::string script;
        const SConfig replay = Replaying(trace, script);
        const SRun replayed = Session(replay, Requests(script), dir.path);
        EXPECT_TRUE(replayed.notes.empty()) << replayed.notes.front();
        EXPECT_EQ(replayed.answered, recorded.answered) << script;
        EXPECT_EQ(replayed.trace, trace);
    }
}

TEST(Replay, CommandsTheTraceDoesNotHaveNextAreAnsweredAsChosen) {
    const std::string recorded = "\r\n+CSQ: 5,99\r\n\r\nOK\r\n";
    const struct {
        modemsim::EReplayMismatch policy;
        std::string answer;  // to "AT+CGMI", the trace having "AT+CSQ" next
    } cases[] = {
        {modemsim::EReplayMismatch::eFail, "\r\nERROR\r\n"},
        {modemsim::EReplayMismatch::eModel, "\r\nSIMCOM INCORPORATED\r\n\r\nOK\r\n"},
        {modemsim::EReplayMismatch::eSilent, ""},
    };
    for (const auto& c : cases) {
        SConfig config;
        config.replay.active = true;
        config.replay.firstEntry = 4;
        config.replay.mismatch = c.policy;
        config.replay.entries = {{modemsim::ETraceTag::eInput, "AT+CSQ\r\n"}, {modemsim::ETraceTag::eOutput, recorded}};
        modemsim::CSimulator sim(config);
        std::vector<std::string> notes;
        sim.onNote = [&notes](const std::string& note) { notes.push_back(note); };
        std::string error;
        ASSERT_TRUE(sim.Open(error)) << error;
        sim.Start();
        CClient client(sim.Path());
        client.Send("AT+CGMI\r\n");
        if (!c.answer.empty()) {
            EXPECT_EQ(client.ReadUntilEnds(c.answer.substr(c.answer.size() - 4)), c.answer);
        }
        // The recorded answer still goes to its command, whatever came between.
        client.Send("AT+CSQ\r\n");
        EXPECT_EQ(client.ReadUntilEnds("OK\r\n"), recorded);
        sim.Stop();
        EXPECT_EQ(notes, std::vector<std::string>{"replay: expected AT+CSQ\\r\\n, got AT+CGMI\\r\\n, at entry 5"});
    }
}

}  // namespace
