// Replay of a traced session: each command the daemon writes is answered
// with the pieces the real module sent after it, in order; output that a
// flush discarded is sent unasked before the next command.  Knows nothing
// of terminals or time; the simulator turns its pieces into output jobs.
#pragma once

#include <string>
#include <vector>

#include "config.h"
#include "trace.h"

namespace modemsim {

struct SReplayPiece {
    std::string bytes;
    bool afterResult = false;  // follows a final result: sent after the result delay
    bool flushed = false;      // unsolicited, discarded by the daemon's flush
};

struct SReplayStep {
    std::string command;  // the bytes the daemon wrote, line end included
    bool matched = false;
    std::vector<SReplayPiece> pieces;  // when matched
    std::string expected;              // when not: the command the trace has next ...
    size_t entry = 0;                  // ... and its number in the file; 0 at the end

    // "replay: expected X, got Y, at entry N", with control bytes escaped.
    std::string Note() const;
};

class CReplay {
public:
    // `config.replay` holds the session; its entries are numbered from
    // `firstEntry` + 1 in notes, as in the file.
    explicit CReplay(const SReplayConfig& config);

    // Flushed output that precedes the first command.
    std::vector<SReplayPiece> Start();
    // Bytes from the daemon; one step per complete command.
    std::vector<SReplayStep> Input(const std::string& bytes);

private:
    std::vector<SReplayPiece> AnswerFrom(size_t index);

    const SReplayConfig& m_config;
    size_t m_next = 0;  // the next entry to be answered (an input, or the end)
    std::string m_pending;
};

// What the trace shows of the module's habits, for the model's answers to
// commands the trace does not have: echo, and the error framing.
void AdoptTraceHabits(const std::vector<STraceEntry>& entries, SConfig& config);

}  // namespace modemsim
