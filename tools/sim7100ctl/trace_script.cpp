#include "trace_script.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "ctl_commands.h"
#include "sim7100_protocol.h"

namespace ctl {

namespace {

using Words = std::vector<std::string>;

struct SCommand {
    std::string text;  // as written, line end included
    size_t entry;      // its number in the trace file
    bool answered;     // the module's reads after it held bytes
};

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

std::string Chomp(const std::string& s) {
    const size_t end = s.find_first_of("\r\n");
    return end == std::string::npos ? s : s.substr(0, end);
}

// The nth (from 0) double-quoted parameter.
std::string Quoted(const std::string& s, int nth) {
    size_t open = s.find('"');
    for (int i = 0; i < nth && open != std::string::npos; ++i) open = s.find('"', s.find('"', open + 1) + 1);
    if (open == std::string::npos) return "";
    const size_t close = s.find('"', open + 1);
    return s.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

// The parameters after '=', split at commas.
Words Parameters(const std::string& s) {
    Words words;
    const std::string rest = Chomp(s.substr(s.find('=') + 1));
    size_t from = 0;
    for (size_t comma = rest.find(',');; comma = rest.find(',', from)) {
        words.push_back(rest.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos) return words;
        from = comma + 1;
    }
}

const char* kSelectors[] = {"unread", "read", "unsent", "sent", "all"};

Words SmsSelector(const std::string& list) {
    const std::string name = Quoted(list, 0);
    if (!name.empty()) return {name};
    const Words p = Parameters(list);
    const unsigned long n = std::strtoul(p[0].c_str(), nullptr, 10);
    return {n < 5 ? kSelectors[n] : "all"};
}

// A request made of up to two commands in a row (and, for write-sms, the
// message text after them).
struct SRule {
    const char* first;   // a prefix of the first command
    const char* second;  // a prefix of the command after it, or null
    bool secondOptional;
    uint32_t type;
    Words (*args)(const SCommand* commands);  // from the rule's first command on
    const char* note;                         // what else the commands could be
};

// How many of a request's commands its arguments are read from.
size_t ArgsNeed(uint32_t type) {
    switch (type) {
    case SIM7100_MSG_ENTER_PIN:
    case SIM7100_MSG_SET_TIME_SERVER:
    case SIM7100_MSG_LIST_SMS:
        return 2;
    case SIM7100_MSG_WRITE_SMS:
        return 3;
    default:
        return 1;
    }
}

Words None(const SCommand*) { return {}; }

// Rules tried in order at each command; the first that fits takes its commands.
const SRule kRules[] = {
    {"AT\r\n", "AT+CSCLK=1\r\n", false, SIM7100_MSG_POWER_ON, None, nullptr},
    {"AT+CPOF\r\n", nullptr, false, SIM7100_MSG_POWER_OFF, None, nullptr},
    {"AT+CGMM\r\n", "AT$QCRMCALL=1,1\r\n", false, SIM7100_MSG_CONNECT, None, nullptr},
    {"AT+CGMM\r\n", nullptr, false, SIM7100_MSG_GET_CHIP_TYPE, None, "or connect refused for an unknown chip"},
    {"AT$QCRMCALL=0,1\r\n", nullptr, false, SIM7100_MSG_DISCONNECT, None, "or power-off or stand-by while connected"},
    {"AT$QCRMCALL?\r\n", nullptr, false, SIM7100_MSG_GET_CONNECTION_STATUS, None, nullptr},
    {"AT+CGAUTH=1,3,\"", nullptr, false, SIM7100_MSG_SET_AUTHENTICATION,
     [](const SCommand* c) {
         return Words{Quoted(c[0].text, 1), Quoted(c[0].text, 0)};
     },
     nullptr},
    {"AT+CGDCONT=1,\"IP\",\"", nullptr, false, SIM7100_MSG_SET_APN,
     [](const SCommand* c) { return Words{Quoted(c[0].text, 1)}; }, nullptr},
    {"AT+CPIN?\r\n", "AT+CPIN=", false, SIM7100_MSG_ENTER_PIN, [](const SCommand* c) { return Parameters(c[1].text); },
     nullptr},
    {"AT+CPIN?\r\n", "AT+SPIC\r\n", false, SIM7100_MSG_GET_PIN_RETRIES, None, nullptr},
    {"AT+CPIN?\r\n", nullptr, false, SIM7100_MSG_GET_SIM_STATUS, None,
     "or enter-pin while the SIM was ready, or pin-retries after a failed query"},
    {"AT+CGPSCOLD\r\n", nullptr, false, SIM7100_MSG_GPS_START, None, nullptr},
    {"AT+CGPS=0\r\n", nullptr, false, SIM7100_MSG_GPS_STOP, None, nullptr},
    {"AT+CGPSINFOCFG=2,3\r\n", "AT+CGPSINFOCFG=0\r\n", true, SIM7100_MSG_GPS_GET_INFO, None, nullptr},
    {"AT+CGPSXE=1\r\n", "AT+CGPSXE?\r\n", true, SIM7100_MSG_GPS_ENABLE_XTRA, None, nullptr},
    {"AT+CGPSXE?\r\n", nullptr, false, SIM7100_MSG_GPS_GET_XTRA_STATUS, None, nullptr},
    {"AT+CSQ\r\n", nullptr, false, SIM7100_MSG_GET_SIGNAL_QUALITY, None, nullptr},
    {"AT+CGMR\r\n", "AT+CNETSTART\r\n", false, SIM7100_MSG_LBS_START, None, nullptr},
    {"AT+CGMR\r\n", nullptr, false, SIM7100_MSG_GET_FIRMWARE_VERSION, None,
     "or lbs-start on a firmware without location"},
    {"AT+CNETSTOP\r\n", nullptr, false, SIM7100_MSG_LBS_STOP, None, nullptr},
    {"AT+CLBS=1\r\n", nullptr, false, SIM7100_MSG_LBS_GET_LOCATION, None, nullptr},
    {"AT+CMEE=", nullptr, false, SIM7100_MSG_SET_ERROR_REPORTING,
     [](const SCommand* c) { return Words{Chomp(c[0].text.substr(8))}; }, nullptr},
    {"AT+CSPN?\r\n", nullptr, false, SIM7100_MSG_GET_SERVICE_PROVIDER, None, nullptr},
    {"AT+CNSMOD?\r\n", nullptr, false, SIM7100_MSG_GET_NETWORK_MODE, None, nullptr},
    {"AT+CCLK=\"", nullptr, false, SIM7100_MSG_SET_CLOCK, [](const SCommand* c) { return Words{Quoted(c[0].text, 0)}; },
     nullptr},
    {"AT+CGREG?\r\n", "AT+CGPSXD=0\r\n", true, SIM7100_MSG_GPS_DOWNLOAD_XTRA, None, nullptr},
    {"AT+CGPSXD=0\r\n", nullptr, false, SIM7100_MSG_GPS_DOWNLOAD_XTRA, None, nullptr},
    {"AT+CHTPSERV=\"DEL\",0\r\n", "AT+CHTPSERV=\"ADD\",\"", false, SIM7100_MSG_SET_TIME_SERVER,
     [](const SCommand* c) { return Words{Quoted(c[1].text, 1)}; }, nullptr},
    {"AT+CHTPUPDATE\r\n", nullptr, false, SIM7100_MSG_UPDATE_TIME, None, nullptr},
    {"AT+CMGF?\r\n", "AT+CMGL=", false, SIM7100_MSG_LIST_SMS, [](const SCommand* c) { return SmsSelector(c[1].text); },
     "add --headers where only the header lines were asked for: the trace cannot tell"},
    {"AT+CMGF?\r\n", nullptr, false, SIM7100_MSG_GET_SMS_MODE, None, nullptr},
    {"AT+CMGF=1\r\n", "AT+CMGW=\"+", false, SIM7100_MSG_WRITE_SMS,
     [](const SCommand* c) {
         std::string text = c[2].text;
         if (!text.empty() && (text.back() == 0x1A || text.back() == 0x1B)) text.pop_back();
         return Words{Chomp(c[1].text.substr(10, c[1].text.find('"', 10) - 10)), text, "--status",
                      Quoted(c[1].text, 1)};
     },
     nullptr},
    {"AT+CMGF=", nullptr, false, SIM7100_MSG_SET_SMS_MODE, [](const SCommand* c) { return Parameters(c[0].text); },
     nullptr},
    {"AT+CMGR=", nullptr, false, SIM7100_MSG_READ_SMS, [](const SCommand* c) { return Parameters(c[0].text); },
     nullptr},
    {"AT+CMGD=", nullptr, false, SIM7100_MSG_DELETE_SMS,
     [](const SCommand* c) {
         Words p = Parameters(c[0].text);
         if (p.size() > 1) p.insert(p.begin() + 1, "--flag");
         return p;
     },
     nullptr},
};

// A word as a script reads it back: quoted where it holds blanks or quotes.
std::string Word(const std::string& w) {
    if (!w.empty() && w.find_first_of(" \t'\"#") == std::string::npos) return w;
    return w.find('\'') == std::string::npos ? "'" + w + "'" : "\"" + w + "\"";
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char two[3];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out + "00";
}

bool EndsText(const std::string& text) { return !text.empty() && (text.back() == 0x1A || text.back() == 0x1B); }

// How many commands from `i` on rule `r` takes, or 0.  `strict`: the second
// command must be there unless optional (the request type is guessed from
// the commands); else the first is enough (the type is known).
size_t Fit(const std::vector<SCommand>& commands, size_t i, const SRule& r, bool strict) {
    const auto fits = [&](size_t at, const char* prefix) {
        return at < commands.size() && StartsWith(commands[at].text, prefix);
    };
    size_t first = i;
    // Registration is polled before the assistance-data download.
    if (std::strcmp(r.first, "AT+CGREG?\r\n") == 0)
        while (fits(first, r.first) && fits(first + 1, r.first)) ++first;
    if (!fits(first, r.first)) return 0;
    const bool second = r.second != nullptr && fits(first + 1, r.second);
    if (strict && r.second != nullptr && !second && !r.secondOptional) return 0;
    size_t taken = first - i + 1 + (second ? 1 : 0);
    if (r.type == SIM7100_MSG_WRITE_SMS && second) {
        // The text follows only once the prompt came.
        const bool text = i + 2 < commands.size() && EndsText(commands[i + 2].text);
        if (text) taken = 3;
        if (strict && !text) return 0;
    }
    return taken;
}

// The first rule that fits at `i`, of request type `type` (the first command
// is enough), or of any type (0; the rule must fit whole); null when none.
const SRule* FirstFit(const std::vector<SCommand>& commands, size_t i, uint32_t type, size_t& taken) {
    const SRule* found = std::find_if(std::begin(kRules), std::end(kRules), [&](const SRule& r) {
        return (type == 0 || r.type == type) && (taken = Fit(commands, i, r, type == 0)) > 0;
    });
    return found != std::end(kRules) ? found : nullptr;
}

bool Refuse(std::string& error, const std::string& why) {
    error = why;
    return false;
}

// The reasons a request named from its commands is a guess.
std::vector<std::string> Guesses(const std::vector<SCommand>& commands, size_t i, size_t taken, const SRule& r,
                                 bool known) {
    std::vector<std::string> why;
    const SCommand& last = commands[i + taken - 1];
    if (!last.answered && !known)
        why.push_back(Chomp(last.text) + " got no answer, so the request may have stopped there: named from " +
                      (taken > 1 ? "its commands up to it" : "its first command"));
    if (!known && r.second != nullptr && r.secondOptional && taken == 1)
        why.push_back("only " + Chomp(r.first) + " was sent: a raw " + Chomp(r.first) + " sends the same");
    if (!known && r.note != nullptr)
        why.push_back(StartsWith(r.note, "or ") ? std::string("could also be ") + (r.note + 3) : r.note);
    return why;
}

std::string Heading(size_t entry, uint32_t type) {
    return "# entry " + std::to_string(entry) + ": " + TypeName(type) + " (" + std::to_string(type) + ")";
}

// One request and its comments.  `known`: the console log named its type.
std::string Request(const std::vector<SCommand>& commands, size_t i, size_t taken, const SRule& r, bool known,
                    const std::string& source) {
    std::string out = Heading(commands[i].entry, r.type) + source + "\n";
    for (const std::string& why : Guesses(commands, i, taken, r, known)) out += "# guess: " + why + "\n";
    std::string line = CommandNameOf(r.type);
    if (taken < ArgsNeed(r.type) && r.args != None) {
        return out + "# guess: its arguments are not in the trace (the request stopped after " +
               Chomp(commands[i + taken - 1].text) + "); fill them in:\n# " + line + " ...\n";
    }
    for (const std::string& w : r.args(&commands[i])) line += " " + Word(w);
    return out + line + "\n";
}

std::string Raw(const SCommand& c, const std::string& source, bool known) {
    const std::string& text = c.text;
    const bool plain = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0 &&
                       Chomp(text).size() == text.size() - 2 &&
                       (text.find('\'') == std::string::npos || text.find('"') == std::string::npos);
    std::string out = Heading(c.entry, SIM7100_MSG_RAW_COMMAND) + source + "\n";
    if (!known)
        out += "# guess: no request sends " + Chomp(text) + ": a raw command, or a request this script cannot name\n";
    return out + (plain ? "raw " + Word(Chomp(text)) + "\n"
                        : "frame " + std::to_string(SIM7100_MSG_RAW_COMMAND) + " " + Hex(text) + "\n");
}

// A request of the console log that sent no command to the module.
std::string Silent(const SConsoleRequest& r) {
    std::string out = "# console log line " + std::to_string(r.line) + ": " + TypeName(r.type) + " (" +
                      std::to_string(r.type) + "), payload " + std::to_string(r.size) +
                      " bytes, sent no command to the module\n";
    if (r.type == SIM7100_MSG_RAW_COMMAND) {
        const bool debug = r.size == sizeof SIM7100_RAW_DEBUG;
        return out + "# guess: by its size, " + (debug ? "debug" : "flush") + "\n" + (debug ? "debug\n" : "flush\n");
    }
    const std::string name = CommandNameOf(r.type);
    if (r.type == SIM7100_MSG_TERMINATE || name.empty()) return out + "# (no request of sim7100ctl sends it)\n";
    if (r.size == 0) return out + name + "\n";
    return out + "# guess: refused before the port; its arguments are not in the trace; fill them in:\n# " + name +
           " ...\n";
}

// Walks the console log's requests from `k0`, giving each the commands its
// type sends.  The cost counts the requests that sent nothing, so the best
// start is the first request that sent a traced command; SIZE_MAX when the
// commands outlast the log.
size_t Walk(const std::vector<SCommand>& commands, const std::vector<SConsoleRequest>& console, size_t k0,
            std::string* script) {
    size_t i = 0, cost = 0;
    for (size_t k = k0; k < console.size() && i < commands.size(); ++k) {
        const SConsoleRequest& c = console[k];
        const std::string source = ", named by console log line " + std::to_string(c.line);
        if (c.type == SIM7100_MSG_RAW_COMMAND) {
            const bool control = c.size == sizeof SIM7100_RAW_DEBUG || c.size == sizeof SIM7100_RAW_FLUSH;
            if (!control || commands[i].text.size() + 1 == c.size) {
                if (script) *script += Raw(commands[i], source, true);
                ++i;
                continue;
            }
            ++cost;
            if (script) *script += Silent(c);
            continue;
        }
        size_t taken = 0;
        const SRule* rule = FirstFit(commands, i, c.type, taken);
        if (rule == nullptr) {
            ++cost;
            if (script) *script += Silent(c);
            continue;
        }
        if (script) *script += Request(commands, i, taken, *rule, true, source);
        i += taken;
    }
    return i < commands.size() ? SIZE_MAX : cost;
}

}  // namespace

bool ParseConsoleLog(const std::string& text, std::vector<SConsoleRequest>& requests, std::string& error) {
    std::istringstream in(text);
    std::string line;
    for (size_t n = 1; std::getline(in, line); ++n) {
        const size_t at = line.find("message of type ");
        int type = 0;
        unsigned size = 0;
        char end[16] = {};
        if (at == std::string::npos ||
            std::sscanf(line.c_str() + at, "message of type %d data %*s size %u %15s", &type, &size, end) != 3 ||
            std::strcmp(end, "received") != 0)
            continue;
        requests.push_back({static_cast<uint32_t>(type), size, n});
    }
    if (requests.empty()) error = "no \"message of type N data P size S received\" line: not the daemon's console log";
    return error.empty();
}

std::string ScriptFromTrace(const std::vector<modemsim::STraceEntry>& entries, size_t firstEntry,
                            const std::vector<SConsoleRequest>* console) {
    std::vector<SCommand> commands;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].tag == modemsim::ETraceTag::eOutput && !entries[i].text.empty() && !commands.empty())
            commands.back().answered = true;
        if (entries[i].tag == modemsim::ETraceTag::eInput)
            commands.push_back({entries[i].text, firstEntry + i + 1, false});
    }

    std::string script = "# The trace was written in debug mode: this traces the replay as well.\ndebug\n";
    if (console != nullptr && !commands.empty()) {
        size_t best = SIZE_MAX, from = 0;
        for (size_t k0 = 0; k0 < console->size(); ++k0) {
            const size_t cost = Walk(commands, *console, k0, nullptr);
            if (cost < best) best = cost, from = k0;
        }
        if (best != SIZE_MAX) {
            script +=
                "# Request types from the console log, its lines " + std::to_string((*console)[from].line) + " on.\n";
            Walk(commands, *console, from, &script);
            return script;
        }
        script += "# guess: the console log does not fit these commands (another run?): types guessed from them.\n";
    }
    script +=
        "# Requests that sent no command (stand-by without a connection, flush, requests refused before\n"
        "# the port) are not in the trace; --console-log names them.\n";
    for (size_t i = 0; i < commands.size();) {
        size_t taken = 0;
        const SRule* rule = FirstFit(commands, i, 0, taken);
        if (rule == nullptr) {
            script += Raw(commands[i], "", false);
            ++i;
            continue;
        }
        script += Request(commands, i, taken, *rule, false, "");
        i += taken;
    }
    return script;
}

bool ScriptFromTraceFile(const std::string& tracePath, long session, const std::string& consolePath,
                         std::string& script, std::vector<std::string>& warnings, std::string& error) {
    modemsim::STrace trace;
    if (!modemsim::ReadTraceFile(tracePath, trace, error)) return false;
    std::vector<SConsoleRequest> console;
    if (!consolePath.empty()) {
        std::ifstream in(consolePath, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) return Refuse(error, "cannot read " + consolePath);
        if (!ParseConsoleLog(text.str(), console, error)) return Refuse(error, consolePath + ": " + error);
    }
    const size_t n = session < 0 ? trace.sessions.size() - 1 : static_cast<size_t>(session);
    if (n >= trace.sessions.size())
        return Refuse(error, tracePath + " has sessions 0 to " + std::to_string(trace.sessions.size() - 1));
    script = "# Requests implied by session " + std::to_string(n) + " of " + tracePath + "\n";
    for (const std::string& problem : trace.problems) {
        warnings.push_back(tracePath);
        warnings.back().append(" ").append(problem);
        script += "# trace " + problem + "\n";
    }
    const modemsim::STraceSession& s = trace.sessions[n];
    const std::vector<modemsim::STraceEntry> entries(trace.entries.begin() + static_cast<std::ptrdiff_t>(s.first),
                                                     trace.entries.begin() + static_cast<std::ptrdiff_t>(s.end));
    script += ScriptFromTrace(entries, s.first, console.empty() ? nullptr : &console);
    return true;
}

}  // namespace ctl
