#include "replay.h"

#include "traffic_log.h"

namespace modemsim {

namespace {

bool EndsWith(const std::string& s, const char* tail) {
    const std::string t(tail);
    return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

// An answer so far whose last line is a final result: what follows came
// later (the second part of a two-part answer, or an unsolicited line).
bool EndsInResult(const std::string& answer) {
    if (!EndsWith(answer, "\r\n")) return false;
    const size_t start = answer.size() > 2 ? answer.rfind('\n', answer.size() - 3) : std::string::npos;
    const std::string last = answer.substr(start == std::string::npos ? 0 : start + 1);
    return EndsWith(last, "OK\r\n") || EndsWith(last, "ERROR\r\n") || last.find(" ERROR:") != std::string::npos;
}

// An empty read is the end of input (the port hung up) when no read after
// it, up to the next command, found bytes again.
bool EndOfInput(const std::vector<STraceEntry>& entries, size_t index) {
    for (size_t i = index; i < entries.size() && entries[i].tag != ETraceTag::eInput; ++i)
        if (entries[i].tag == ETraceTag::eOutput && !entries[i].text.empty()) return false;
    return entries[index].tag == ETraceTag::eOutput && entries[index].text.empty();
}

// The bytes read after the command at `index`; false when there are none.
bool AnswerAfter(const std::vector<STraceEntry>& entries, size_t index, std::string& answer) {
    answer.clear();
    for (size_t i = index + 1; i < entries.size() && entries[i].tag != ETraceTag::eInput; ++i)
        if (entries[i].tag == ETraceTag::eOutput) answer += entries[i].text;
    return !answer.empty();
}

// Where a command the daemon wrote ends: at its line end, or at the Ctrl-Z
// or Esc that ends a message text.
size_t CommandEnd(const std::string& bytes) {
    const size_t end = bytes.find_first_of("\r\n\x1a\x1b");
    if (end == std::string::npos) return end;
    return bytes.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
}

}  // namespace

std::string SReplayStep::Note() const {
    return "replay: expected " + (entry > 0 ? Escape(expected) : std::string("the end of the trace")) + ", got " +
           Escape(command) + (entry > 0 ? ", at entry " + std::to_string(entry) : std::string());
}

CReplay::CReplay(const SReplayConfig& config) : m_config(config) {}

std::vector<SReplayPiece> CReplay::Start() {
    const auto& entries = m_config.entries;
    size_t first = 0;
    while (first < entries.size() && entries[first].tag != ETraceTag::eInput) ++first;
    // Output before the first command has no command to belong to; only
    // what a flush discarded is worth sending.
    std::vector<SReplayPiece> pieces;
    for (size_t i = 0; i < first; ++i)
        if (entries[i].tag == ETraceTag::eFlushed) pieces.push_back({entries[i].text, SReplayPiece::eFlushed});
    m_next = first;
    return pieces;
}

std::vector<SReplayPiece> CReplay::AnswerFrom(size_t index) {
    const auto& entries = m_config.entries;
    std::vector<SReplayPiece> pieces;
    std::string answer;
    for (m_next = index; m_next < entries.size() && entries[m_next].tag != ETraceTag::eInput; ++m_next) {
        const STraceEntry& e = entries[m_next];
        if (EndOfInput(entries, m_next)) {
            // The rest of the session was written to a port that had hung up.
            pieces.push_back({"", SReplayPiece::eHangUp});
            m_next = entries.size();
            break;
        }
        if (e.tag == ETraceTag::eFlushed) {
            pieces.push_back({e.text, SReplayPiece::eFlushed});
            continue;
        }
        pieces.push_back({e.text, EndsInResult(answer) ? SReplayPiece::eResult : SReplayPiece::eAnswer});
        answer += e.text;
    }
    return pieces;
}

std::vector<SReplayStep> CReplay::Input(const std::string& bytes) {
    std::vector<SReplayStep> steps;
    m_pending += bytes;
    const auto& entries = m_config.entries;
    for (;;) {
        const std::string* expected = m_next < entries.size() ? &entries[m_next].text : nullptr;
        // The "\n" of a "\r\n" that the previous mismatch ended on.
        if (!m_pending.empty() && m_pending[0] == '\n' && (expected == nullptr || (*expected)[0] != '\n'))
            m_pending.erase(0, 1);
        if (m_pending.empty()) return steps;
        if (expected != nullptr && m_pending.compare(0, expected->size(), *expected) == 0) {
            SReplayStep step;
            step.command = *expected;
            step.matched = true;
            m_pending.erase(0, expected->size());
            step.pieces = AnswerFrom(m_next + 1);
            steps.push_back(std::move(step));
            continue;
        }
        if (expected != nullptr && expected->compare(0, m_pending.size(), m_pending) == 0) return steps;
        const size_t end = CommandEnd(m_pending);
        if (end == std::string::npos) return steps;
        SReplayStep step;
        step.command = m_pending.substr(0, end);
        m_pending.erase(0, end);
        if (expected != nullptr) step.expected = *expected;
        step.entry = expected != nullptr ? m_config.firstEntry + m_next + 1 : 0;
        steps.push_back(std::move(step));
    }
}

void AdoptTraceHabits(const std::vector<STraceEntry>& entries, SConfig& config) {
    const std::string* command = nullptr;
    bool echoSeen = false, bare = false, line = false;
    for (const STraceEntry& e : entries) {
        if (e.tag == ETraceTag::eInput) {
            command = &e.text;
            continue;
        }
        if (e.tag != ETraceTag::eOutput || command == nullptr) continue;
        const std::string echo = command->substr(0, command->find_first_of("\r\n")) + "\r";
        echoSeen = echoSeen || e.text.compare(0, echo.size(), echo) == 0;
        for (const char* report : {"+CME ERROR:", "+CMS ERROR:"}) {
            const size_t at = e.text.find(report);
            if (at == std::string::npos) continue;
            bare = bare || at == 0 || (at > 0 && e.text[at - 1] == '\r');
            line = line || (at >= 2 && e.text.compare(at - 2, 2, "\r\n") == 0);
        }
        command = nullptr;
    }
    config.echo = echoSeen;
    if (bare != line) config.faults.errorFraming = bare ? EErrorFraming::eBare : EErrorFraming::eLine;

    std::string answer;
    for (size_t i = 0; i < entries.size(); ++i) {
        const bool model = entries[i].text == "AT+CGMM\r\n", revision = entries[i].text == "AT+CGMR\r\n";
        if (entries[i].tag != ETraceTag::eInput || !(model || revision) || !AnswerAfter(entries, i, answer)) continue;
        const char* key = model ? "SIMCOM_" : "+CGMR: ";  // both seven long
        const size_t at = answer.find(key);
        if (at == std::string::npos) continue;
        const std::string value = answer.substr(at + 7, answer.find_first_of("\r\n", at) - at - 7);
        if (revision) config.revision = value;
        if (model) ParseModel(value, config.model);
    }
}

}  // namespace modemsim
