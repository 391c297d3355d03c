// Daemon traces as they come from the field: read into entries and sessions,
// scrubbed and replayed.  A session recorded by sim7100d-dev against the
// simulated module with faults, replayed to a fresh daemon with the requests
// the trace implies, gives the same trace byte for byte.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "ctl_commands.h"
#include "daemon_rig.h"
#include "sim_client.h"
#include "trace_script.h"

namespace {

// "{I'AT\r\n' O'\r\nOK\r\n'~}": a session per brace, a tag's first letter,
// '~' after a truncated entry.
std::string Describe(const modemsim::STrace& t) {
    std::string out;
    for (const auto& s : t.sessions) {
        out += "{";
        for (size_t i = s.first; i < s.end; ++i) {
            const auto& e = t.entries[i];
            out += std::string(i > s.first ? " " : "") + modemsim::TraceTagText(e.tag)[1] + "'" + e.text + "'" +
                   (e.truncated ? "~" : "");
        }
        out += "}";
    }
    for (const auto& problem : t.problems) out += " !" + problem;
    return out + (t.refusal.empty() ? "" : " refused: " + t.refusal);
}

TEST(Trace, FieldTracesAreReadIntoEntriesAndSessions) {
    const std::string powerOn = "[INPUT] AT\r\n\n[OUTPUT] \r\nOK\r\n\n[INPUT] AT+CSCLK=1\r\n\n[OUTPUT] \r\nOK\r\n\n";
    const struct {
        const char* name;
        std::string file;
        std::string expected;
    } cases[] = {
        {"empty file", "", "{} refused: empty file, not a daemon trace"},
        {"text", "board-7\n",
         "{} refused: no [INPUT], [OUTPUT] or [FLUSHED_OUTPUT] entry in 8 bytes, not a daemon trace"},
        {"line ends without CR", "[INPUT] AT+CSQ\n\n[OUTPUT] AT+CSQ\r\n+CSQ: 5,99\n\n",
         "{I'AT+CSQ\r\n' O'AT+CSQ\r\r\n+CSQ: 5,99\r\n'} !line 1: no command ends in CR LF (converted line ends?), "
         "each LF read as CR LF"},
        {"tag without its blank", "[OUTPUT] a\n[INPUT]AT+CSPN?\r\n\n",
         "{O'a' I'AT+CSPN?\r\n'} !line 2: tag [INPUT] without its blank, read as [INPUT] "},
        {"a line in a command", "[INPUT] AT\r\n\nAT+CSQ\r\n\n",
         "{I'AT\r\n'} !line 1: text after the command's line end, skipped"},
        {"a raw AT alone starts none", "[INPUT] AT\r\n\n[OUTPUT] \r\nOK\r\n\n[INPUT] AT+CSQ\r\n\n",
         "{I'AT\r\n' O'\r\nOK\r\n' I'AT+CSQ\r\n'}"},
        {"power-on starts a session, flushed output before it goes with it",
         "[INPUT] ATI\r\n\n[FLUSHED_OUTPUT] \r\nRDY\r\n\n" + powerOn,
         "{I'ATI\r\n'}{F'\r\nRDY\r\n' I'AT\r\n' O'\r\nOK\r\n' I'AT+CSCLK=1\r\n' O'\r\nOK\r\n'}"},
        {"binary bytes kept", std::string("[OUTPUT] \x00\xff\x1a\n", 13), std::string("{O'\x00\xff\x1a'}", 8)},
        {"run cut mid-entry, next appended", "[OUTPUT] \r\nO[INPUT] AT\r\n\n",
         "{O'\r\nO'~ I'AT\r\n'} !line 2: an entry cut off (a run ended mid-write), the next one follows on its line"},
        {"cut inside the first entry", "T] \r\nOK\r\n\n[INPUT] AT+CSQ\r\n\n",
         "{I'AT+CSQ\r\n'} !line 1: 10 bytes before the first entry skipped"},
        {"unknown tag", "[OUTPUT] a\r\n[DEBUG] b\n", "{O'a\r'} !line 2: unknown tag [DEBUG], line skipped"},
        {"partial tag at the end is text", "[OUTPUT] a\r\n[OUTP", "{O'a\r\n[OUTP'~}"},
    };
    const STempDir dir;
    for (const auto& c : cases) {
        const modemsim::STrace trace = modemsim::ParseTrace(c.file);
        EXPECT_EQ(Describe(trace), c.expected) << c.name;
        // What is read is written back unchanged where nothing was repaired
        // (the scrubbed copy relies on it).
        if (trace.refusal.empty() && c.expected.find("skipped") == std::string::npos &&
            c.expected.find(" read as ") == std::string::npos) {
            EXPECT_EQ(modemsim::FormatTrace(trace.entries), c.file) << c.name;
        }
        // Both tools refuse what is no trace, and name the damage of one.
        const std::string file = dir.path + "/trace";
        std::ofstream(file, std::ios::binary) << c.file;
        SConfig config;
        std::string out, err, script, error;
        std::vector<std::string> warnings;
        EXPECT_EQ(Parse({"--replay", file.c_str(), "--replay-list"}, config, &out, &err),
                  trace.refusal.empty() ? 0 : 2);
        EXPECT_EQ(ctl::ScriptFromTraceFile(file, -1, "", script, warnings, error), trace.refusal.empty()) << c.name;
        for (const std::string& problem : trace.problems) {
            EXPECT_NE(err.find(file + " " + problem + "\n"), std::string::npos) << err;
            EXPECT_NE(script.find("# trace " + problem + "\n"), std::string::npos) << script;
        }
        EXPECT_EQ(warnings.size(), trace.problems.size()) << c.name;
        if (!trace.refusal.empty()) {
            EXPECT_EQ(error, file + ": " + trace.refusal);
            EXPECT_NE(err.find(file + ": " + trace.refusal), std::string::npos) << err;
        }
    }
}

TEST(Trace, ScriptMarksEveryGuessAndTakesTypesFromTheConsoleLog) {
    const std::string csq = "[INPUT] AT+CSQ\r\n\n[OUTPUT] \r\n+CSQ: 5,99\r\n\r\nOK\r\n\n";
    const struct {
        std::string trace, console;
        std::vector<std::string> lines;  // in the script, in this order
    } cases[] = {
        {"[INPUT] AT+CGREG?\r\n\n[OUTPUT] \r\n+CGREG: 0,1\r\n\r\nOK\r\n\n",
         "",
         {"# guess: only AT+CGREG? was sent: a raw AT+CGREG? sends the same", "xtra-download"}},
        {"[INPUT] AT+CPIN?\r\n\n" + csq,
         "",
         {"# guess: AT+CPIN? got no answer, so the request may have stopped there: named from its first command",
          "# guess: could also be enter-pin while the SIM was ready", "sim-status", "signal"}},
        {"[INPUT] AT+CGMI\r\n\n", "", {"--console-log names them", "# guess: no request sends AT+CGMI", "raw AT+CGMI"}},
        // As the journal holds the lines: the request that sent nothing is kept.
        {"[INPUT] AT+CPIN?\r\n\n" + csq,
         "Dec 07 12:00:01 board sim7100d[9]: Sim7100 message of type 12 data 0x1 size 0 received\n"
         "x: Sim7100 message of type 10 data 0x2 size 64 received\nx: message of type 5 data (nil) size 0 received\n"
         "x: Sim7100 message of type 20 data (nil) size 0 received\n",
         {"# entry 1: EnterPin (10), named by console log line 2",
          "# guess: its arguments are not in the trace (the request stopped after AT+CPIN?)",
          "# console log line 3: StandBy (5), payload 0 bytes, sent no command to the module\nstand-by",
          "# entry 2: GetSignalQuality (20), named by console log line 4\nsignal"}},
    };
    for (const auto& c : cases) {
        std::vector<ctl::SConsoleRequest> console;
        std::string error;
        EXPECT_EQ(ctl::ParseConsoleLog(c.console, console, error), !c.console.empty()) << error;
        const std::string script =
            ctl::ScriptFromTrace(modemsim::ParseTrace(c.trace).entries, 0, console.empty() ? nullptr : &console);
        size_t at = 0;
        for (const std::string& line : c.lines) {
            at = script.find(line, at);
            EXPECT_NE(at, std::string::npos) << line << " not in order in\n" << script;
        }
    }
}

TEST(Replay, PiecesKeepTheirGroupingAndTheEndOfInputHangsUp) {
    // Only the first piece after a final result waits the result delay;
    // flushed output goes at once; the end-of-input reads become a hang-up.
    modemsim::SReplayConfig config;
    config.entries = modemsim::ParseTrace(
                         "[INPUT] AT+CGPSINFOCFG=2,3\r\n\n[OUTPUT] \r\nOK\r\n\n[OUTPUT] $GPGGA,\r\n\n[OUTPUT] $GPRMC,\n"
                         "[FLUSHED_OUTPUT] $GPGSV\n[INPUT] AT+CSQ\r\n\n[OUTPUT] \r\n+CSQ:\n[OUTPUT] \n[OUTPUT] \n")
                         .entries;
    modemsim::CReplay replay(config);
    replay.Start();
    std::string kinds;
    for (const auto& step : replay.Input("AT+CGPSINFOCFG=2,3\r\nAT+CSQ\r\n"))
        for (const auto& piece : step.pieces) kinds += "ARFH"[piece.kind] + piece.bytes.substr(0, 2) + " ";
    EXPECT_EQ(kinds, "A\r\n R$G A$G F$G A\r\n H ");
}

// One daemon against one simulator, the requests one after another, and the
// trace it writes.  The simulator has written all it owes before each
// request, as between the requests of a person: output the daemon flushes
// then lies waiting for the flush, however late the simulator runs.  A replay
// notes no mismatch.
std::string Session(SConfig config, const std::vector<ctl::SRequest>& requests, double& seconds,
                    std::string* console = nullptr) {
    modemsim::CSimulator sim(std::move(config));
    sim.onNote = [](const std::string& note) { ADD_FAILURE() << note; };
    std::string error;
    if (!sim.Open(error)) return ADD_FAILURE() << error, "";
    sim.Start();
    sim7100test::Rig rig;
    rig.StartLinked({{"SIM7100D_DEVICE", sim.Path()}, {"SIM7100D_TIME_SCALE", "0.1"}});
    const auto start = Clock::now();
    for (const ctl::SRequest& r : requests) {
        EXPECT_TRUE(sim.WaitForQuiet(10s));
        rig.Request(r.type, std::string(r.payload.begin(), r.payload.end()));
    }
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_TRUE(rig.peer.SendFrame(SIM7100_MSG_TERMINATE));
    EXPECT_TRUE(rig.daemon.WaitExit(10s).has_value());
    sim.Stop();
    if (console != nullptr) *console = rig.daemon.Stdout();
    return ReadFile(rig.TraceFile());
}

std::vector<ctl::SRequest> Requests(const std::string& script) {
    std::istringstream in(script);
    const ctl::SParseOutcome parsed = ctl::ParseScript(in, "script");
    EXPECT_TRUE(parsed.Ok()) << parsed.error << "\n" << script;
    return parsed.requests;
}

TEST(Replay, RecordedSessionReplaysByteForByte) {
    // Echo on, answers split, two-part answers, a line after a final result
    // (flushed before the next command), PIN, password and message text, and
    // a hang-up in the middle of an answer, after which the daemon reads the
    // end of input and cannot write.  No NMEA: a burst that outlasts an
    // exchange is flushed by the next one at a time the trace does not keep.
    SConfig field;
    ASSERT_EQ(-1, ParseWords("--echo --model SIM7100E --result-ms 150 --pin-required --pin 4711 "
                             "--split-bytes 16 --split-gap-ms 3 --hangup 1 --hangup-on AT+CGMI "
                             "--hangup-after-bytes 5 --reopen-ms -1",
                             field));
    field.faults.overrides.push_back({"AT+CSQ", "\r\n+CSQ: 17,99\r\n\r\nOK\r\n", "\r\n+CREG: 1\r\n", 30, 0});
    const std::string session =
        "debug\npower-on\nsignal\nflush\nsignal\nsim-status\nenter-pin 4711\nchip-type\nfirmware\nset-auth user "
        "s3cret\n"
        "set-sms-mode text\nwrite-sms 4917 'Hello field'\nread-sms 0\nxtra-download\n"
        "lbs-start\nlbs-location\nraw AT+CGMI\nsignal\n";
    double recordedSeconds = 0, replayedSeconds = 0;
    std::string consoleLog;
    const char* const faults[] = {"[FLUSHED_OUTPUT] \r\n+CREG", "SIM\n[OUTPUT] \n[OUTPUT] \n"};
    std::string recorded;
    // A daemon held up past the 30 ms before +CREG reads it with the answer:
    // a session without the flushed line is recorded again, at most twice.
    for (int attempt = 0; attempt < 3; ++attempt) {
        consoleLog.clear();
        recorded = Session(field, Requests(session), recordedSeconds, &consoleLog);
        if (recorded.find(faults[0]) != std::string::npos) break;
    }
    ASSERT_FALSE(recorded.empty());
    // The flush request sent nothing: only the console log puts it back.
    std::vector<ctl::SConsoleRequest> console;
    std::string error;
    ASSERT_TRUE(ctl::ParseConsoleLog(consoleLog, console, error)) << error;
    for (const char* fault : faults)
        EXPECT_NE(recorded.find(fault), std::string::npos) << fault << " not in\n" << recorded;

    // The scrubbed copy (--scrub) holds placeholders in every byte of every
    // secret, wherever it stands; it and the trace itself replay (--replay)
    // to the daemon with the requests they imply, giving the same trace.
    const STempDir dir;
    const std::string file = dir.path + "/LteDebug.txt", copy = dir.path + "/scrubbed.txt";
    std::ofstream(file, std::ios::binary) << recorded;
    std::string scrubbed;
    SConfig unused;
    EXPECT_EQ(Parse({"--scrub", file.c_str()}, unused, &scrubbed), 0);
    for (const std::string secret : {"4711", "s3cret", "Hello field"})
        for (size_t at = recorded.find(secret); at != std::string::npos; at = recorded.find(secret, at + 1))
            EXPECT_EQ(scrubbed.substr(at, secret.size()).find_first_not_of("0x"), std::string::npos) << secret;
    std::ofstream(copy, std::ios::binary) << scrubbed;
    for (const auto& [path, trace] : {std::pair{file, recorded}, std::pair{copy, scrubbed}}) {
        SConfig replay;
        ASSERT_EQ(Parse({"--replay", path.c_str(), "--replay-gap-ms", "3", "--result-ms", "150"}, replay), -1);
        EXPECT_EQ(std::make_pair(replay.model, replay.revision),
                  std::make_pair(modemsim::EModel::eSim7100E, std::string(modemsim::ModelRevision(field.model))));
        const std::string script = ctl::ScriptFromTrace(replay.replay.entries, replay.replay.firstEntry, &console);
        // How many empty reads follow the hang-up depends on how many of the
        // daemon's polls ran out before it: the daemon's timing, not the module's.
        const auto fold = [](const std::string& t) {
            return std::regex_replace(t, std::regex("(\\[OUTPUT\\] \n)+"), "[OUTPUT] …\n");
        };
        EXPECT_EQ(fold(Session(replay, Requests(script), replayedSeconds)), fold(trace)) << script;
        // A figure for docs/modemsim.md, not a verdict: timing on a shared machine varies.
        std::printf("replay: recorded %.2f s, replayed %.2f s (%+.0f %%)\n", recordedSeconds, replayedSeconds,
                    100 * (replayedSeconds / recordedSeconds - 1));
    }
}

TEST(Replay, CommandsTheTraceDoesNotHaveNextAreAnsweredAsChosen) {
    const std::string recorded = "\r\n+CSQ: 5,99\r\n\r\nOK\r\n";
    const STempDir temp;
    const std::string trace = temp.path + "/trace";
    std::ofstream(trace) << "[INPUT] AT+CSQ\r\n\n[OUTPUT] " + recorded + "\n";
    const struct {
        const char* policy;
        std::string answer;  // to "AT+CGMI", the trace having "AT+CSQ" next
    } cases[] = {
        {"fail", "\r\nERROR\r\n"},
        {"model", "\r\nSIMCOM INCORPORATED\r\n\r\nOK\r\n"},
        {"silent", ""},
    };
    for (const auto& c : cases) {
        const std::string log = temp.path + "/" + c.policy;
        {
            SRunning run([&](SConfig& config) {
                EXPECT_EQ(
                    Parse({"--replay", trace.c_str(), "--replay-mismatch", c.policy, "--log", log.c_str()}, config),
                    -1);
            });
            run.client->Send("AT+CGMI\r\n");
            if (!c.answer.empty()) {
                EXPECT_EQ(run.client->ReadUntil(Complete), c.answer);
            }
            // The recorded answer still goes to its command, whatever came between, and alone:
            // for the silent policy, anything sent for AT+CGMI would be read here first.
            EXPECT_EQ(run.client->Exchange("AT+CSQ"), recorded);
        }
        EXPECT_NE(ReadFile(log).find("expected AT+CSQ\\r\\n, got AT+CGMI\\r\\n, at entry 1"), std::string::npos)
            << ReadFile(log);
    }
}

}  // namespace
