// The daemon's side of the simulator's terminal for the tests: a raw
// reader/writer on the slave path, and a simulator running in-process.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>

#include "simulator.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using modemsim::SConfig;

inline bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// An answer is complete at a final result, an error report or the prompt.
inline bool Complete(const std::string& a) {
    const bool report = a.find("+CME ERROR:") != std::string::npos || a.find("+CMS ERROR:") != std::string::npos;
    return EndsWith(a, "OK\r\n") || EndsWith(a, "ERROR\r\n") || (report && EndsWith(a, "\r\n")) || EndsWith(a, "> ");
}

class CClient {
public:
    explicit CClient(const std::string& path) : m_fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        termios tio{};
        EXPECT_EQ(tcgetattr(m_fd, &tio), 0) << path;
        cfmakeraw(&tio);
        tcsetattr(m_fd, TCSANOW, &tio);
    }
    ~CClient() { close(m_fd); }
    void Send(const std::string& s) { EXPECT_EQ(write(m_fd, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
    // Reads until done(all read so far) holds, the deadline passes or the terminal hangs up.
    std::string ReadUntil(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds within = 3s) {
        std::string all;
        char buffer[8192];
        for (const auto end = Clock::now() + within; !done(all) && Clock::now() < end;) {
            pollfd p{m_fd, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
            const ssize_t n = (p.revents & POLLIN) ? read(m_fd, buffer, sizeof buffer) : -1;
            if ((hungUp = n <= 0)) break;
            readSizes.push_back(static_cast<size_t>(n));
            all.append(buffer, static_cast<size_t>(n));
        }
        return all;
    }
    // Everything that arrives within the window (to show that nothing does).
    std::string ReadFor(std::chrono::milliseconds window) {
        return ReadUntil([](const std::string&) { return false; }, window);
    }
    std::string Exchange(const std::string& command) { return Send(command + "\r\n"), ReadUntil(Complete); }
    std::vector<size_t> readSizes;
    bool hungUp = false;

private:
    int m_fd;
};

// modemsim's command line into `config`, its output captured (stdout to `out`, stderr to `err`).
inline int Parse(std::vector<const char*> args, SConfig& config, std::string* out = nullptr,
                 std::string* err = nullptr) {
    args.insert(args.begin(), "modemsim");
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const int result = modemsim::ParseCommandLine(static_cast<int>(args.size()), args.data(), config);
    std::string unused;
    (out != nullptr ? *out : unused) = testing::internal::GetCapturedStdout();
    (err != nullptr ? *err : unused) = testing::internal::GetCapturedStderr();
    return result;
}
// The same from one line of words split at blanks.
inline int ParseWords(const std::string& words, SConfig& config) {
    std::istringstream in(words);
    const std::vector<std::string> kept{std::istream_iterator<std::string>(in), {}};
    std::vector<const char*> args;
    for (const std::string& word : kept) args.push_back(word.c_str());
    return Parse(args, config);
}

// Short timings, so two-part answers and NMEA bursts come quickly.
struct SRunning {
    explicit SRunning(const std::function<void(SConfig&)>& setup = nullptr)
        : sim([&] {
              SConfig config;
              config.timings.resultMs = 150, config.timings.nmeaPeriodMs = 60;
              if (setup) setup(config);
              return config;
          }()) {
        std::string error;
        if (!sim.Open(error)) throw std::runtime_error(error);
        sim.Start();
        client = std::make_unique<CClient>(sim.Path());
    }
    ~SRunning() { sim.Stop(); }
    modemsim::CSimulator sim;
    std::unique_ptr<CClient> client;
};
