// The simulator: a module on a pseudo-terminal.  One loop (its own thread
// with Start, or the caller's with Run) reads commands, drives the module and
// the fault plan, and writes through the output queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "config.h"
#include "faults.h"
#include "module.h"
#include "output.h"
#include "pty_port.h"
#include "replay.h"
#include "traffic_log.h"

namespace modemsim {

class CSimulator {
public:
    explicit CSimulator(SConfig config);
    ~CSimulator();
    CSimulator(const CSimulator&) = delete;
    CSimulator& operator=(const CSimulator&) = delete;

    // Called on the loop's thread each time a terminal opens (also again
    // after a hang-up); set it before Open.
    std::function<void(const std::string& path)> onTerminal;
    // Called on the loop's thread with each line worth a person's attention
    // (a replay's mismatches); they go to the log as well.
    std::function<void(const std::string& line)> onNote;

    // Opens the terminal (and the link, and the log).  False with a reason.
    bool Open(std::string& error);
    void Run();    // until Stop
    void Start();  // Run on a thread of its own
    void Stop();   // from any thread (or a signal-waiting one)
    // The power key: switches on a module that AT+CPOF switched off, or
    // restarts a running one.
    void PowerKey();

    // The current slave path ("" while hung up).
    std::string Path() const;
    // Waits until a terminal other than `old` is open.
    bool WaitForNewPath(const std::string& old, std::chrono::milliseconds deadline) const;
    // Commands received so far (non-empty lines), and a wait for a count.
    long Commands() const;
    bool WaitForCommands(long count, std::chrono::milliseconds deadline) const;
    // Waits until all output due so far is written (a replay's answer and
    // the unsolicited output that follows it included).
    bool WaitForQuiet(std::chrono::milliseconds deadline) const;

private:
    void PowerUp(Clock::time_point now);
    void OpenTerminal();
    void HangUp(Clock::time_point now);
    void OnInput(const char* data, size_t size, Clock::time_point now);
    void OnModelInput(const char* data, size_t size, Clock::time_point now);
    void OnReplayInput(const char* data, size_t size, Clock::time_point now);
    void QueueReplay(const std::vector<SReplayPiece>& pieces, Clock::time_point now);
    void OpenDrain();
    void CountCommand();
    void OnLine(const std::string& line, Clock::time_point now);
    void OnText(bool cancelled, Clock::time_point now);
    // Queues an answer; `faults` applies the oversize and hang-up switches.
    void Deliver(const std::string& command, SAnswer answer, Clock::time_point now, bool faults);
    void Timers(Clock::time_point now);
    Clock::time_point NextTimer() const;

    SConfig m_config;
    CTrafficLog m_log;
    CModule m_module;
    CFaultPlan m_faults;
    COutput m_output;
    PtyPort m_pty;
    std::unique_ptr<CReplay> m_replay;
    int m_drain = -1;  // the terminal's far end, opened to see what is unread
    int m_control[2] = {-1, -1};
    std::thread m_thread;

    // Input assembly.
    std::string m_line;
    std::string m_text;  // SMS text after the prompt
    bool m_lastCr = false;
    Clock::time_point m_inputFree{};  // when the last byte read is through the line

    // Timers; max() when idle.
    Clock::time_point m_nmeaNext = Clock::time_point::max();
    std::vector<Clock::time_point> m_urcNext;
    Clock::time_point m_garbageNext = Clock::time_point::max();
    Clock::time_point m_restartAt = Clock::time_point::max();
    Clock::time_point m_reopenAt = Clock::time_point::max();

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::string m_path;
    long m_commands = 0;
    bool m_quiet = true;
};

}  // namespace modemsim
