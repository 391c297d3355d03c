// Bytes on their way to the terminal: jobs due at given times, written one
// whole job after another, cut into pieces (splitting), slowed to the baud
// rate (pacing) and, for one chosen answer, cut off by a hang-up.
//
// Paced output models a serial line: bytes go out back to back from the
// moment a job is due, and each piece (at most a UART FIFO's 16 bytes) is
// handed to the terminal when its last byte would have arrived.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "config.h"
#include "module.h"
#include "traffic_log.h"

namespace modemsim {

// How long `bytes` take on a line of `baud` (10 bits a byte); zero when the
// line is not paced.
Clock::duration LineTime(long baud, size_t bytes);

class COutput {
public:
    COutput(const SFaults& faults, CTrafficLog& log) : m_faults(faults), m_log(log) {}

    // kind names the job in the log ("answer", "echo", "unsolicited", ...).
    // Unsolicited output is dropped while nobody drains a large backlog,
    // as a serial line would lose it.
    void Add(Clock::time_point due, std::string bytes, const char* kind, bool unsolicited,
             size_t hangupAt = std::string::npos);
    // A piece that must reach the reader as a read of its own: it goes out
    // `gapMs` after the previous job ended, and only once the reader has
    // taken everything before it (`drainFd`, the terminal's other end, has
    // no unread input).  A terminal hands over all it holds in one read.
    // `hangUp`: instead of bytes, the terminal hangs up at that point.
    void AddPiece(Clock::time_point due, std::string bytes, const char* kind, int gapMs, bool hangUp = false);
    void SetDrainFd(int fd) { m_drainFd = fd; }
    bool Empty() const { return m_jobs.empty(); }
    void Clear();

    struct SResult {
        Clock::time_point wake = Clock::time_point::max();  // call again by then
        bool wantWritable = false;                          // the terminal is full
        bool hangUp = false;                                // the cut point is reached
    };
    SResult Pump(int fd, Clock::time_point now);

private:
    struct SJob {
        std::string bytes;
        const char* kind;
        size_t hangupAt;
        int gapMs = -1;  // AddPiece
    };
    using Key = std::pair<Clock::time_point, uint64_t>;
    bool Unread() const;  // the reader has not taken all that was written
    bool ReaderCaughtUp(Clock::time_point now, int gapMs, SResult& result);

    const SFaults& m_faults;
    CTrafficLog& m_log;
    std::map<Key, SJob> m_jobs;
    uint64_t m_seq = 0;
    size_t m_pendingBytes = 0;
    bool m_active = false;  // the first job has started and goes on first
    size_t m_position = 0;
    Clock::time_point m_nextWrite{};  // the end of a split fault's gap
    Clock::time_point m_lineFree{};   // when the last paced byte is through
    Clock::time_point m_hangupDue = Clock::time_point::max();
    Clock::time_point m_lastEnd{};  // when the last job was written whole
    int m_drainFd = -1;
};

}  // namespace modemsim
