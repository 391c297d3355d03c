// The command line.  Order of effect: defaults, the scenario file (its
// presets, then its values), --preset options, then every other option.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <type_traits>

#include "config.h"
#include "replay.h"
#include "settings.h"
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

// A setting given on the command line is kept for later, so that it wins
// over the scenario file, the presets and the trace's habits.
template <class T>
void AddSetting(CLI::App& app, Later& later, const SSetting& s, T& target, const T& fresh) {
    const auto keep = [&later, &target](T value) { later.push_back([&target, value] { target = value; }); };
    CLI::Option* option = nullptr;
    if constexpr (std::is_same_v<T, bool>) {
        option = app.add_flag_function(
            s.flag, [keep, fresh](std::int64_t) { keep(!fresh); }, s.help);
    } else if constexpr (std::is_enum_v<T> || std::is_same_v<T, int>) {
        if (!s.choices.empty()) {
            const auto value = [&s](const std::string& name) {
                const SChoice* choice = ChoiceNamed(s, name);
                return choice == nullptr ? T{} : static_cast<T>(choice->value);
            };
            if (s.switchTo != nullptr) {
                const T chosen = value(s.switchTo);
                app.add_flag_function(
                    s.flag, [keep, chosen](std::int64_t) { keep(chosen); }, s.help);
                return;
            }
            std::vector<std::string> names(s.choices.size());
            std::transform(s.choices.begin(), s.choices.end(), names.begin(), [](const SChoice& c) { return c.name; });
            option = app.add_option_function<std::string>(
                s.flag, [keep, value](const std::string& name) { keep(value(name)); }, s.help);
            option->check(CLI::IsMember(names));
        }
    }
    if (option == nullptr) option = app.add_option_function<T>(s.flag, keep, s.help);
    if (s.low != LONG_MIN || s.high != LONG_MAX) option->check(CLI::Range(s.low, s.high));
    const std::string shown = DefaultText(s);
    if (!shown.empty()) option->default_str(shown);
}

// The actions and what the table cannot hold, read after parsing.
struct SActions {
    std::string scenario, replay, scrub;
    std::vector<std::string> presets, urcs;
    bool listPresets = false, listKeys = false, listSessions = false;
    long session = -1;
};

void AddActions(CLI::App& app, SActions& a) {
    app.add_option("--urc", a.urcs, "Unsolicited line at intervals, EVERY_MS:TEXT (repeatable), e.g. 5000:RING");
    app.add_option("--replay", a.replay, "Answer with the module's answers recorded in this daemon trace")
        ->check(CLI::ExistingFile);
    app.add_option("--replay-session", a.session, "Session of the trace to replay (default: the last)")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--replay-list", a.listSessions, "List the sessions of the --replay trace and exit");
    app.add_option("--scrub", a.scrub, "Write this trace with PINs, password and SMS texts replaced to stdout and exit")
        ->check(CLI::ExistingFile);
}

void ListKeys() {
    for (const SSetting& s : Settings()) {
        if (s.key == nullptr) continue;
        std::string more = ChoiceNames(s);
        if (s.low != LONG_MIN || s.high != LONG_MAX) more = std::to_string(s.low) + " to " + std::to_string(s.high);
        std::printf("%-28s %-16s %s%s%s\n", s.key, DefaultJson(s).c_str(), s.help, more.empty() ? "" : ": ",
                    more.c_str());
    }
}

// Picks the session of the trace to replay; -1 to go on, else the exit status.
int ChooseSession(const SActions& a, SConfig& config) {
    STrace trace;
    if (!LoadTrace(a.replay, trace)) return 2;
    if (a.listSessions) {
        ListSessions(trace);
        return 0;
    }
    const size_t n = a.session < 0 ? trace.sessions.size() - 1 : static_cast<size_t>(a.session);
    if (n >= trace.sessions.size()) {
        std::fprintf(stderr, "modemsim: %s has sessions 0 to %zu (see --replay-list)\n", a.replay.c_str(),
                     trace.sessions.size() - 1);
        return 2;
    }
    const STraceSession& chosen = trace.sessions[n];
    SReplayConfig& r = config.replay;
    r.active = true;
    r.firstEntry = chosen.first;
    r.entries.assign(trace.entries.begin() + static_cast<std::ptrdiff_t>(chosen.first),
                     trace.entries.begin() + static_cast<std::ptrdiff_t>(chosen.end));
    return -1;
}

}  // namespace

int ParseCommandLine(int argc, const char* const* argv, SConfig& config) {
    CLI::App app{"modemsim: a SIM7100/SIM7600 LTE module on a pseudo-terminal, answering AT commands"};
    Later later;
    SActions a;
    app.add_option("--scenario", a.scenario, "Scenario file (JSON)")->check(CLI::ExistingFile);
    app.add_option("--preset", a.presets, "Preset of fault switches (repeatable); see --list-presets");
    app.add_flag("--list-presets", a.listPresets, "List the presets and exit");
    app.add_flag("--list-keys", a.listKeys, "List the scenario file's keys with their defaults and exit");
    SConfig fresh;
    for (const SSetting& s : Settings()) {
        if (s.flag == nullptr) continue;
        std::visit([&](auto get) { AddSetting(app, later, s, get(config), get(fresh)); }, s.field);
    }
    AddActions(app, a);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    if (a.listPresets) {
        for (const auto& preset : Presets()) std::printf("%-12s %s\n", preset.name, preset.description);
        return 0;
    }
    if (a.listKeys) {
        ListKeys();
        return 0;
    }
    if (!a.scrub.empty()) {
        STrace trace;
        if (!LoadTrace(a.scrub, trace)) return 2;
        const std::string copy = FormatTrace(ScrubTrace(trace.entries));
        std::fwrite(copy.data(), 1, copy.size(), stdout);
        return 0;
    }
    if (!a.replay.empty()) {
        const int status = ChooseSession(a, config);
        if (status >= 0) return status;
    } else if (a.listSessions) {
        std::fprintf(stderr, "modemsim: --replay-list needs --replay TRACE\n");
        return 2;
    }
    std::string error;
    if (!a.scenario.empty() && !LoadScenarioFile(a.scenario, config, error)) {
        std::fprintf(stderr, "modemsim: %s\n", error.c_str());
        return 2;
    }
    for (const auto& name : a.presets) {
        // cppcheck-suppress useStlAlgorithm ; applies them in order, stopping at the first unknown one
        if (!ApplyPreset(name, config)) {
            std::fprintf(stderr, "modemsim: unknown preset %s (see --list-presets)\n", name.c_str());
            return 2;
        }
    }
    // The trace shows the module's echo and error framing; options still win.
    if (config.replay.active) AdoptTraceHabits(config.replay.entries, config);
    for (const auto& apply : later) apply();
    for (const auto& given : a.urcs) {
        const size_t colon = given.find(':');
        char* end = nullptr;
        const long every = colon == std::string::npos ? 0 : std::strtol(given.c_str(), &end, 10);
        if (every <= 0 || end != given.c_str() + colon || colon + 1 >= given.size()) {
            std::fprintf(stderr, "modemsim: --urc wants EVERY_MS:TEXT, not %s\n", given.c_str());
            return 2;
        }
        config.faults.urcs.push_back({given.substr(colon + 1), static_cast<int>(every), -1});
    }
    return -1;
}

}  // namespace modemsim
