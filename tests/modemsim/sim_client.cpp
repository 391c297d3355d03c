#include "sim_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

CClient::CClient(const std::string& path) {
    m_fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0) throw std::runtime_error("cannot open " + path);
    termios tio{};
    tcgetattr(m_fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_fd, TCSANOW, &tio);
}

CClient::~CClient() {
    if (m_fd >= 0) close(m_fd);
}

void CClient::Send(const std::string& bytes) {
    ASSERT_EQ(write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

std::string CClient::ReadUntil(const std::function<bool(const std::string&)>& done,
                               std::chrono::milliseconds deadline) {
    std::string all;
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done(all)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{m_fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[8192];
        const ssize_t n = (p.revents & POLLIN) ? read(m_fd, buffer, sizeof buffer) : -1;
        if (n <= 0) {
            hungUp = true;
            break;
        }
        readSizes.push_back(static_cast<size_t>(n));
        all.append(buffer, static_cast<size_t>(n));
    }
    return all;
}

std::string CClient::ReadUntilEnds(const std::string& tail, std::chrono::milliseconds deadline) {
    return ReadUntil(
        [&](const std::string& s) { return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0; },
        deadline);
}

std::string CClient::Exchange(const std::string& command, std::chrono::milliseconds deadline) {
    Send(command + "\r\n");
    return ReadUntil(Complete, deadline);
}

bool Complete(const std::string& a) {
    auto ends = [&](const std::string& t) { return a.size() >= t.size() && a.compare(a.size() - t.size(), t.size(), t) == 0; };
    const bool report = a.find("+CME ERROR:") != std::string::npos || a.find("+CMS ERROR:") != std::string::npos;
    return ends("OK\r\n") || ends("ERROR\r\n") || (report && ends("\r\n")) || ends("> ");
}

modemsim::SConfig FastConfig() {
    modemsim::SConfig config;
    config.timings.resultMs = 150;
    config.timings.nmeaPeriodMs = 60;
    return config;
}

SRunning::SRunning(const modemsim::SConfig& config) : sim(config) {
    std::string error;
    if (!sim.Open(error)) throw std::runtime_error(error);
    sim.Start();
    client = std::make_unique<CClient>(sim.Path());
}
