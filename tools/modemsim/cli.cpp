// The command line.  Order of effect: defaults, the scenario file (its
// presets, then its values), --preset options, then every other option.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <functional>
#include <map>

#include "config.h"
#include "replay.h"
#include "traffic_log.h"

namespace modemsim {

namespace {

std::string FirstCommand(const STrace& trace, const STraceSession& s, bool last) {
    for (size_t k = 0; k < s.end - s.first; ++k) {
        const STraceEntry& e = trace.entries[last ? s.end - 1 - k : s.first + k];
        if (e.tag == ETraceTag::eInput) return Escape(e.text);
    }
    return "-";
}

void ListSessions(const STrace& trace) {
    for (size_t n = 0; n < trace.sessions.size(); ++n) {
        const STraceSession& s = trace.sessions[n];
        size_t commands = 0, truncated = 0;
        for (size_t i = s.first; i < s.end; ++i) {
            commands += trace.entries[i].tag == ETraceTag::eInput ? 1 : 0;
            truncated += trace.entries[i].truncated ? 1 : 0;
        }
        std::printf("session %zu: entries %zu-%zu, %zu commands, first %s, last %s%s\n", n, s.first + 1, s.end,
                    commands, FirstCommand(trace, s, false).c_str(), FirstCommand(trace, s, true).c_str(),
                    truncated > 0 ? ", with a truncated entry" : "");
    }
}

// A trace is refused only when it is none; its damage is reported and read
// where the meaning is clear.
bool LoadTrace(const std::string& path, STrace& trace) {
    std::string error;
    if (!ReadTraceFile(path, trace, error)) {
        std::fprintf(stderr, "modemsim: %s\n", error.c_str());
        return false;
    }
    for (const std::string& problem : trace.problems)
        std::fprintf(stderr, "modemsim: %s %s\n", path.c_str(), problem.c_str());
    return true;
}

using Later = std::vector<std::function<void()>>;

template <class T>
CLI::Option* Value(CLI::App& app, Later& later, const std::string& name, T& target, const std::string& help) {
    return app.add_option_function<T>(
        name, [&later, &target](const T& v) { later.push_back([&target, v] { target = v; }); }, help);
}

CLI::Option* Flag(CLI::App& app, Later& later, const std::string& name, bool& target, const std::string& help) {
    return app.add_flag_function(
        name, [&later, &target](std::int64_t) { later.push_back([&target] { target = true; }); }, help);
}

}  // namespace

int ParseCommandLine(int argc, const char* const* argv, SConfig& config) {
    CLI::App app{"modemsim: a SIM7100/SIM7600 LTE module on a pseudo-terminal, answering AT commands"};
    Later later;
    std::string scenario;
    std::vector<std::string> presets;
    bool listPresets = false;

    app.add_option("--scenario", scenario, "Scenario file (JSON)")->check(CLI::ExistingFile);
    app.add_option("--preset", presets, "Preset of fault switches (repeatable); see --list-presets");
    app.add_flag("--list-presets", listPresets, "List the presets and exit");

    std::string model;
    app.add_option("--model", model, "SIM7600G (default), SIM7100E or SIM7100A")
        ->check(CLI::IsMember({"SIM7600G", "SIM7100E", "SIM7100A"}));
    Value(app, later, "--revision", config.revision, "Firmware revision instead of the model's own");
    Value(app, later, "--link", config.link, "Symbolic link to the terminal, removed at exit");
    Value(app, later, "--log", config.logFile, "Log every command and answer with time stamps");
    Flag(app, later, "--echo", config.echo, "Start with command echo on (as real modules do)");
    Value(app, later, "--seed", config.seed, "Seed of the garbage bytes");

    SModemState0& s = config.state;
    Value(app, later, "--pin", s.pin, "The SIM's PIN (1234)");
    Value(app, later, "--puk", s.puk, "The SIM's PUK (12345678)");
    Flag(app, later, "--pin-required", s.pinRequired, "The SIM asks for its PIN after power-up");
    Value(app, later, "--pin-attempts", s.pinAttempts, "PIN attempts left at start (3)");
    bool noSim = false;
    Flag(app, later, "--no-sim", noSim, "No SIM inserted");
    Value(app, later, "--cmee", s.cmee, "Error-report mode after power-up (2)")->check(CLI::Range(0, 2));
    Value(app, later, "--provider", s.provider, "Service provider name (spaces allowed)");
    Value(app, later, "--rssi", s.rssi, "Signal strength in +CSQ (23)");
    Value(app, later, "--network-mode", s.networkMode, "System mode in +CNSMOD (8, LTE)");
    Value(app, later, "--searching", s.searchingQueries, "CGREG answers 0,2 this many times first (0)");
    bool roaming = false;
    Flag(app, later, "--roaming", roaming, "Register as roaming (0,5) instead of home (0,1)");
    Value(app, later, "--sms-capacity", s.smsCapacity, "Message slots in the store (10)");

    STimings& t = config.timings;
    Value(app, later, "--result-ms", t.resultMs, "Acknowledgement to second result line, ms (1000)");
    Value(app, later, "--nmea-period-ms", t.nmeaPeriodMs, "Between NMEA bursts, ms (1000)");
    Value(app, later, "--restart-after-ms", t.restartAfterMs, "Power up again this long after AT+CPOF (-1: never)");

    SFaults& f = config.faults;
    Value(app, later, "--latency-ms", f.latencyMs, "Delay before each answer, ms");
    Value(app, later, "--baud", f.baud, "Pace the line at this baud rate (10 bits a byte, both ways)");
    Value(app, later, "--split-bytes", f.splitBytes, "Send output in pieces of this many bytes");
    Value(app, later, "--split-gap-ms", f.splitGapMs, "Gap between pieces, ms");
    Value(app, later, "--silent-after", f.silentAfter, "Answer only the first N commands");
    Value(app, later, "--silent", f.silentCommands, "Never answer this command (repeatable)");
    std::vector<std::string> urcs;
    app.add_option("--urc", urcs, "Unsolicited line at intervals, EVERY_MS:TEXT (repeatable), e.g. 5000:RING");
    Value(app, later, "--garbage-every-ms", f.garbageEveryMs, "Random bytes at this interval, ms");
    Value(app, later, "--garbage-bytes", f.garbageBytes, "How many random bytes each time (8)");
    Value(app, later, "--oversize", f.oversizeCommands, "Pad this command's answer (repeatable)");
    Value(app, later, "--oversize-bytes", f.oversizeBytes, "Size of padded answers (4200)");
    Value(app, later, "--hangup", f.hangup.nth, "Hang up in the middle of the Nth answer");
    Value(app, later, "--hangup-on", f.hangup.command, "Count only this command for --hangup");
    Value(app, later, "--hangup-after-bytes", f.hangup.afterBytes, "Bytes sent before the hang-up (half)");
    Value(app, later, "--reopen-ms", f.hangup.reopenMs, "A new terminal this long after a hang-up (500; -1: never)");
    std::string framing, lbsOrder;
    Value(app, later, "--error-framing", framing, "line (default, as real modules) or bare")
        ->check(CLI::IsMember({"bare", "line"}));
    Value(app, later, "--lbs-order", lbsOrder, "report-first (default) or ok-first")
        ->check(CLI::IsMember({"report-first", "ok-first"}));
    Value(app, later, "--idle-error-ms", f.idleErrorMs, "First command after this much idle time: ERROR");
    Value(app, later, "--sim-busy-ms", f.simBusyMs, "SIM busy this long after power-up");
    Flag(app, later, "--boot-lines", f.bootLines, "RDY, +CPIN, SMS DONE, PB DONE after power-up");
    Flag(app, later, "--gps-strict", f.gpsStrict, "GPS on/off in its current state: ERROR");
    Value(app, later, "--no-cell-ms", f.noCellMs, "No cell this long after power-up");
    Value(app, later, "--xtra-result", f.xtraResult, "Code of the +CGPSXD result line (0)");

    std::string replay, scrub, mismatch;
    long session = -1;
    bool listSessions = false;
    app.add_option("--replay", replay, "Answer with the module's answers recorded in this daemon trace")
        ->check(CLI::ExistingFile);
    app.add_option("--replay-session", session, "Session of the trace to replay (default: the last)")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--replay-list", listSessions, "List the sessions of the --replay trace and exit");
    app.add_option("--replay-mismatch", mismatch,
                   "A command the trace does not have next: fail (default), model, silent")
        ->check(CLI::IsMember({"fail", "model", "silent"}));
    Value(app, later, "--replay-gap-ms", config.replay.gapMs, "Before each recorded piece of an answer, ms (10)");
    app.add_option("--scrub", scrub, "Write this trace with PINs, password and SMS texts replaced to stdout and exit")
        ->check(CLI::ExistingFile);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    if (listPresets) {
        for (const auto& preset : Presets()) std::printf("%-12s %s\n", preset.name, preset.description);
        return 0;
    }
    STrace trace;
    if (!scrub.empty()) {
        if (!LoadTrace(scrub, trace)) return 2;
        const std::string copy = FormatTrace(ScrubTrace(trace.entries));
        std::fwrite(copy.data(), 1, copy.size(), stdout);
        return 0;
    }
    if (!replay.empty()) {
        if (!LoadTrace(replay, trace)) return 2;
        if (listSessions) {
            ListSessions(trace);
            return 0;
        }
        const size_t n = session < 0 ? trace.sessions.size() - 1 : static_cast<size_t>(session);
        if (n >= trace.sessions.size()) {
            std::fprintf(stderr, "modemsim: %s has sessions 0 to %zu (see --replay-list)\n", replay.c_str(),
                         trace.sessions.size() - 1);
            return 2;
        }
        const STraceSession& chosen = trace.sessions[n];
        SReplayConfig& r = config.replay;
        r.active = true;
        r.firstEntry = chosen.first;
        r.entries.assign(trace.entries.begin() + static_cast<std::ptrdiff_t>(chosen.first),
                         trace.entries.begin() + static_cast<std::ptrdiff_t>(chosen.end));
        if (mismatch == "model") r.mismatch = EReplayMismatch::eModel;
        if (mismatch == "silent") r.mismatch = EReplayMismatch::eSilent;
    } else if (listSessions) {
        std::fprintf(stderr, "modemsim: --replay-list needs --replay TRACE\n");
        return 2;
    }
    std::string error;
    if (!scenario.empty() && !LoadScenarioFile(scenario, config, error)) {
        std::fprintf(stderr, "modemsim: %s\n", error.c_str());
        return 2;
    }
    for (const auto& name : presets) {
        // cppcheck-suppress useStlAlgorithm ; applies them in order, stopping at the first unknown one
        if (!ApplyPreset(name, config)) {
            std::fprintf(stderr, "modemsim: unknown preset %s (see --list-presets)\n", name.c_str());
            return 2;
        }
    }
    // The trace shows the module's echo and error framing; options still win.
    if (config.replay.active) AdoptTraceHabits(config.replay.entries, config);
    for (const auto& apply : later) apply();
    if (!model.empty()) ParseModel(model, config.model);
    if (noSim) s.simInserted = false;
    if (roaming) s.registration = 5;
    if (!framing.empty()) f.errorFraming = framing == "line" ? EErrorFraming::eLine : EErrorFraming::eBare;
    if (!lbsOrder.empty()) f.lbsOrder = lbsOrder == "ok-first" ? ELbsOrder::eOkFirst : ELbsOrder::eReportFirst;
    for (const auto& given : urcs) {
        const size_t colon = given.find(':');
        char* end = nullptr;
        const long every = colon == std::string::npos ? 0 : std::strtol(given.c_str(), &end, 10);
        if (every <= 0 || end != given.c_str() + colon || colon + 1 >= given.size()) {
            std::fprintf(stderr, "modemsim: --urc wants EVERY_MS:TEXT, not %s\n", given.c_str());
            return 2;
        }
        f.urcs.push_back({given.substr(colon + 1), static_cast<int>(every), -1});
    }
    return -1;
}

}  // namespace modemsim
