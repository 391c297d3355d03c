// The daemon's side of the simulator's terminal for the tests: a raw
// reader/writer on the slave path, and a simulator running in-process.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "simulator.h"

using namespace std::chrono_literals;

class CClient {
public:
    explicit CClient(const std::string& path);
    ~CClient();

    void Send(const std::string& bytes);
    // Reads until done(all read so far) holds, the deadline passes or the
    // terminal hangs up; returns what was read.
    std::string ReadUntil(const std::function<bool(const std::string&)>& done,
                          std::chrono::milliseconds deadline = 3000ms);
    std::string ReadUntilEnds(const std::string& tail, std::chrono::milliseconds deadline = 3000ms);
    // Everything that arrives within the window (to show that nothing does).
    std::string ReadFor(std::chrono::milliseconds window) {
        return ReadUntil([](const std::string&) { return false; }, window);
    }
    // A command with "\r\n", read up to its final result or prompt.
    std::string Exchange(const std::string& command, std::chrono::milliseconds deadline = 3000ms);

    std::vector<size_t> readSizes;
    bool hungUp = false;

private:
    int m_fd = -1;
};

// An answer is complete at a final result, an error report or the prompt.
bool Complete(const std::string& answer);

// Short timings, so two-part answers and NMEA bursts come quickly.
modemsim::SConfig FastConfig();

struct SRunning {
    explicit SRunning(const modemsim::SConfig& config);
    ~SRunning() { sim.Stop(); }
    modemsim::CSimulator sim;
    std::unique_ptr<CClient> client;
};
