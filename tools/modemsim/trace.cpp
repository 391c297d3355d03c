#include "trace.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

namespace modemsim {

namespace {

constexpr std::array<ETraceTag, 3> kTags = {ETraceTag::eInput, ETraceTag::eOutput, ETraceTag::eFlushed};

// The tag that starts at `at`, or false.
bool TagAt(const std::string& file, size_t at, ETraceTag& tag) {
    if (file[at] != '[') return false;
    for (ETraceTag t : kTags) {
        const char* text = TraceTagText(t);
        if (file.compare(at, std::strlen(text), text) == 0) {
            tag = t;
            return true;
        }
    }
    return false;
}

bool IsInput(const STraceEntry& e, const char* text) { return e.tag == ETraceTag::eInput && e.text == text; }

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

char Placeholder(char c) { return std::isdigit(static_cast<unsigned char>(c)) ? '0' : 'x'; }

void Blank(std::string& s, size_t from, size_t to) {
    for (size_t i = from; i < to && i < s.size(); ++i) s[i] = Placeholder(s[i]);
}

// End of a parameter that starts at `from`: a comma, a line end or the end.
size_t ParameterEnd(const std::string& s, size_t from) {
    const size_t end = s.find_first_of(",\r\n", from);
    return end == std::string::npos ? s.size() : end;
}

// Blanks the secrets of one command in place and collects them.
void ScrubCommand(std::string& command, bool smsText, std::vector<std::string>& secrets) {
    auto keep = [&](size_t from, size_t to) {
        if (to > from) secrets.push_back(command.substr(from, to - from));
        Blank(command, from, to);
    };
    if (smsText) {
        size_t end = command.size();
        if (end > 0 && (command[end - 1] == 0x1A || command[end - 1] == 0x1B)) --end;
        keep(0, end);
        return;
    }
    if (StartsWith(command, "AT+CPIN=")) {
        const size_t pinEnd = ParameterEnd(command, 8);
        keep(8, pinEnd);
        if (pinEnd < command.size() && command[pinEnd] == ',') keep(pinEnd + 1, ParameterEnd(command, pinEnd + 1));
    } else if (StartsWith(command, "AT+CGAUTH=")) {
        // AT+CGAUTH=<cid>,<type>,"<password>","<user>": the password comes first.
        const size_t open = command.find('"');
        const size_t close = open == std::string::npos ? open : command.find('"', open + 1);
        if (close != std::string::npos) keep(open + 1, close);
    }
}

// Replaces, in one run of output pieces taken together, the secrets and
// the message lines that follow "+CMGR:" and "+CMGL:" headers.
void ScrubOutput(std::vector<STraceEntry>& entries, size_t first, size_t end, bool messages,
                 const std::vector<std::string>& secrets) {
    std::string all;
    for (size_t i = first; i < end; ++i) all += entries[i].text;
    for (const std::string& secret : secrets) {
        if (secret.size() < 3) continue;  // too short to tell from other digits
        for (size_t at = all.find(secret); at != std::string::npos; at = all.find(secret, at + secret.size()))
            Blank(all, at, at + secret.size());
    }
    if (messages) {
        for (size_t at = 0; at < all.size(); ++at) {
            if (all.compare(at, 6, "+CMGR:") != 0 && all.compare(at, 6, "+CMGL:") != 0) continue;
            const size_t bodyStart = all.find("\r\n", at);
            if (bodyStart == std::string::npos) break;
            size_t bodyEnd = all.find("\r\n", bodyStart + 2);
            if (bodyEnd == std::string::npos) bodyEnd = all.size();
            Blank(all, bodyStart + 2, bodyEnd);
            at = bodyEnd;
        }
    }
    size_t offset = 0;
    for (size_t i = first; i < end; ++i) {
        entries[i].text = all.substr(offset, entries[i].text.size());
        offset += entries[i].text.size();
    }
}

}  // namespace

const char* TraceTagText(ETraceTag tag) {
    switch (tag) {
    case ETraceTag::eOutput:
        return "[OUTPUT] ";
    case ETraceTag::eFlushed:
        return "[FLUSHED_OUTPUT] ";
    default:
        return "[INPUT] ";
    }
}

STrace ParseTrace(const std::string& file) {
    STrace trace;
    if (file.empty()) {
        trace.refusal = "empty file, not a daemon trace";
        trace.sessions.push_back({0, 0});
        return trace;
    }
    size_t line = 1, counted = 0;
    const auto lineOf = [&](size_t at) {
        if (at < counted) line = 1, counted = 0;
        line += static_cast<size_t>(std::count(file.begin() + static_cast<std::ptrdiff_t>(counted),
                                               file.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
        counted = at;
        return line;
    };
    const auto note = [&](size_t at, const std::string& what) {
        trace.problems.push_back("line " + std::to_string(lineOf(at)) + ": " + what);
    };
    // A tag starts an entry wherever it stands: after a newline normally,
    // right after the cut-off text of an entry when a run died mid-write.
    // At a line start, a known tag that lost its blank still starts one, and
    // an unknown tag starts a line that is no entry.
    struct SStart {
        size_t at, text;  // of the tag and of the text after it
        bool known;
        ETraceTag tag;
    };
    std::vector<SStart> starts;
    for (size_t at = file.find('['); at != std::string::npos; at = file.find('[', at + 1)) {
        ETraceTag tag{};
        const bool lineStart = at == 0 || file[at - 1] == '\n';
        if (TagAt(file, at, tag)) {
            if (!lineStart) note(at, "an entry cut off (a run ended mid-write), the next one follows on its line");
            starts.push_back({at, at + std::strlen(TraceTagText(tag)), true, tag});
            at = starts.back().text - 1;
            continue;
        }
        const size_t close = file.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ_", at + 1);
        if (!lineStart || close == std::string::npos || close == at + 1 || file[close] != ']') continue;
        const std::string name = file.substr(at, close + 1 - at);
        const auto* known =
            std::find_if(kTags.begin(), kTags.end(), [&name](ETraceTag t) { return name + " " == TraceTagText(t); });
        if (known != kTags.end()) {
            std::string what = "tag " + name;
            note(at, what.append(" without its blank, read as ").append(TraceTagText(*known)));
            starts.push_back({at, close + 1, true, *known});
        } else {
            note(at, "unknown tag " + name + ", line skipped");
            starts.push_back({at, close + 1, false, ETraceTag::eInput});
        }
        at = close;
    }
    trace.skippedBytes = starts.empty() ? file.size() : starts.front().at;
    if (std::none_of(starts.begin(), starts.end(), [](const SStart& s) { return s.known; })) {
        trace.refusal = "no [INPUT], [OUTPUT] or [FLUSHED_OUTPUT] entry in " + std::to_string(file.size()) +
                        " bytes, not a daemon trace";
        trace.sessions.push_back({0, 0});
        return trace;
    }
    for (size_t i = 0; i < starts.size(); ++i) {
        if (!starts[i].known) continue;
        STraceEntry e;
        e.tag = starts[i].tag;
        e.offset = starts[i].at;
        const size_t to = i + 1 < starts.size() ? starts[i + 1].at : file.size();
        e.text = file.substr(starts[i].text, to - starts[i].text);
        if (!e.text.empty() && e.text.back() == '\n') {
            e.text.pop_back();
        } else {
            e.truncated = true;
        }
        trace.entries.push_back(std::move(e));
    }
    // A mail client or editor that turned every CR LF into LF: the daemon's
    // commands end in CR LF, and so does the module's framing; restore it.
    const auto endsIn = [&](const char* tail) {
        return std::any_of(trace.entries.begin(), trace.entries.end(), [tail](const STraceEntry& e) {
            return e.tag == ETraceTag::eInput && e.text.size() >= std::strlen(tail) &&
                   e.text.compare(e.text.size() - std::strlen(tail), std::string::npos, tail) == 0;
        });
    };
    const bool restored = endsIn("\n") && !endsIn("\r\n");
    for (STraceEntry& e : trace.entries) {
        for (size_t at = e.text.find('\n'); restored && at != std::string::npos; at = e.text.find('\n', at + 2))
            e.text.insert(at, 1, '\r');
        // A command is one line: more lines after its line end are damage.
        const size_t end = e.text.find("\r\n");
        if (e.tag == ETraceTag::eInput && StartsWith(e.text, "AT") && end != std::string::npos &&
            end + 2 < e.text.size()) {
            note(e.offset, "text after the command's line end, skipped");
            e.text.erase(end + 2);
        }
    }
    std::vector<std::string> whole;
    if (restored) whole.push_back("line 1: no command ends in CR LF (converted line ends?), each LF read as CR LF");
    if (trace.skippedBytes > 0)
        whole.push_back("line 1: " + std::to_string(trace.skippedBytes) + " bytes before the first entry skipped");
    trace.problems.insert(trace.problems.begin(), whole.begin(), whole.end());

    size_t begin = 0;
    for (size_t i = 0; i < trace.entries.size(); ++i) {
        if (!StartsSession(trace.entries, i)) continue;
        size_t start = i;
        while (start > begin && trace.entries[start - 1].tag == ETraceTag::eFlushed) --start;
        trace.sessions.push_back({begin, start});
        begin = start;
    }
    trace.sessions.push_back({begin, trace.entries.size()});
    return trace;
}

bool ReadTraceFile(const std::string& path, STrace& trace, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    trace = ParseTrace(all.str());
    error = trace.refusal.empty() ? "" : path + ": " + trace.refusal;
    return error.empty();
}

std::string FormatTrace(const std::vector<STraceEntry>& entries) {
    std::string out;
    for (const STraceEntry& e : entries) {
        out += TraceTagText(e.tag);
        out += e.text;
        if (!e.truncated) out += '\n';
    }
    return out;
}

bool StartsSession(const std::vector<STraceEntry>& entries, size_t index) {
    if (!IsInput(entries[index], "AT\r\n")) return false;
    const auto next = std::find_if(entries.begin() + static_cast<std::ptrdiff_t>(index) + 1, entries.end(),
                                   [](const STraceEntry& e) { return e.tag == ETraceTag::eInput; });
    return next != entries.end() && next->text == "AT+CSCLK=1\r\n";
}

std::vector<STraceEntry> ScrubTrace(std::vector<STraceEntry> entries) {
    std::vector<std::string> secrets;
    bool smsText = false;  // the input after "AT+CMGW" is the message
    for (STraceEntry& e : entries) {
        if (e.tag != ETraceTag::eInput) continue;
        ScrubCommand(e.text, smsText, secrets);
        smsText = StartsWith(e.text, "AT+CMGW");
    }
    // Secrets may be echoed before they are sent in full (a PIN typed again),
    // so the output is scrubbed once all of them are known.
    bool messages = false;
    for (size_t i = 0; i < entries.size();) {
        if (entries[i].tag == ETraceTag::eInput) {
            messages = StartsWith(entries[i].text, "AT+CMGR") || StartsWith(entries[i].text, "AT+CMGL");
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (end < entries.size() && entries[end].tag == entries[i].tag) ++end;
        ScrubOutput(entries, i, end, messages && entries[i].tag == ETraceTag::eOutput, secrets);
        i = end;
    }
    return entries;
}

}  // namespace modemsim
