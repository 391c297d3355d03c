// A module double on a pseudo-terminal: it answers each command with scripted
// chunks (bytes, delays, silence, a hang-up) and records what it received.
// Answers go out in small chunks with short gaps by default, so the daemon's
// reads see them split.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pty_port.h"

class ScriptedModem {
public:
    struct SChunk {
        std::string bytes;
        int delayMs = 0;      // wait before writing these bytes
        bool hangUp = false;  // close the terminal instead of writing
        // Wait until the port has read everything before; a new command
        // coming in instead drops the rest of the reply.
        bool afterRead = false;
    };
    using Reply = std::vector<SChunk>;

    struct SReceived {
        std::string command;  // as received, terminator included
        std::chrono::steady_clock::time_point at;
    };

    // A command without terminator ends after `idleEndMs` of quiet.
    explicit ScriptedModem(int idleEndMs = 50);
    ~ScriptedModem();
    ScriptedModem(const ScriptedModem&) = delete;
    ScriptedModem& operator=(const ScriptedModem&) = delete;

    const std::string& Path() const { return m_pty.SlavePath(); }

    // The next command equal to `command` (terminator included; a trailing
    // '*' matches any rest) gets `reply`.  Rules are used once each, in the
    // order given; a sticky rule answers every time.
    void On(const std::string& command, Reply reply, bool sticky = false);
    void On(const std::string& command, const std::string& text, bool sticky = false) {
        On(command, Reply{{text}}, sticky);
    }
    // Answer to commands no rule matches (default "\r\nERROR\r\n").
    void SetDefault(Reply reply);
    // Chunk size and gap of the automatic splitting (0 bytes: no splitting).
    void SetSplit(size_t chunkBytes, int gapMicros);

    // Writes bytes now, unasked.
    void Inject(const std::string& bytes);

    std::vector<SReceived> Received() const;
    std::vector<std::string> Commands() const;
    // Waits until at least n commands were received; false after the deadline.
    bool WaitForCommands(size_t n, std::chrono::milliseconds deadline) const;
    // Waits until every byte the port wrote has been read and answered, so a
    // command the port sent late is not taken for the next request's.
    bool WaitDrained(std::chrono::milliseconds deadline) const;

    // Silence: no answers, commands still recorded.
    static Reply Silence() { return {}; }

private:
    struct SRule {
        std::string command;
        Reply reply;
        bool sticky;
        bool used;
    };

    void Run();
    void Answer(const std::string& command);
    void WriteReply(const Reply& reply);
    void WriteSplit(const std::string& bytes);
    bool Sleep(int ms);  // false when stopping
    // True once the port has read all we wrote; false on a new command or the end.
    bool WaitRead();

    PtyPort m_pty;
    int m_view = -1;  // our own slave end, to see what the port has not read
    int m_idleEndMs;
    std::atomic<bool> m_waiting{false};  // in poll, all read bytes answered
    int m_stop[2] = {-1, -1};
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<SRule> m_rules;
    Reply m_default{{"\r\nERROR\r\n"}};
    size_t m_chunkBytes = 8;
    int m_gapMicros = 300;
    std::vector<SReceived> m_received;
    std::mutex m_writeLock;
    std::thread m_thread;
};
