// Replay of a traced session: each command the daemon writes is answered
// with the pieces the real module sent after it, in order; output that a
// flush discarded is sent unasked before the next command, and the reads
// that found the end of input become a hang-up.  Knows nothing of terminals
// or time; the simulator turns its pieces into output jobs.
#pragma once

#include <string>
#include <vector>

#include "config.h"
#include "trace.h"

namespace modemsim {

struct SReplayPiece {
    enum EKind {
        eAnswer,   // read by the daemon: a read of its own, a short gap after the one before
        eResult,   // the first piece after a final result (a second result, an unsolicited
                   // line): comes after the module's result delay
        eFlushed,  // discarded by the daemon's flush: as soon as the daemon has read the
                   // answer before it, so that it is there when the next command flushes
        eHangUp,   // the daemon's reads found the end of input: the terminal hangs up
    };
    std::string bytes;
    EKind kind = eAnswer;
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

// What the trace shows of the module, for the model's answers to commands
// the trace does not have and for the banner: echo, the error framing, and
// the model and revision where the trace asked for them.
void AdoptTraceHabits(const std::vector<STraceEntry>& entries, SConfig& config);

}  // namespace modemsim
