#include "scripted_modem.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <stdexcept>

ScriptedModem::ScriptedModem(int idleEndMs) : m_idleEndMs(idleEndMs) {
    if (!m_pty.Open()) throw std::runtime_error(m_pty.Error());
    m_view = open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (pipe2(m_stop, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    m_thread = std::thread([this] { Run(); });
}

ScriptedModem::~ScriptedModem() {
    const char byte = 1;
    ssize_t ignored = write(m_stop[1], &byte, 1);
    (void)ignored;
    m_thread.join();
    close(m_stop[0]);
    close(m_stop[1]);
    if (m_view >= 0) close(m_view);
}

void ScriptedModem::On(const std::string& command, Reply reply, bool sticky) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_rules.push_back({command, std::move(reply), sticky, false});
}

void ScriptedModem::SetDefault(Reply reply) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_default = std::move(reply);
}

void ScriptedModem::SetSplit(size_t chunkBytes, int gapMicros) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_chunkBytes = chunkBytes;
    m_gapMicros = gapMicros;
}

void ScriptedModem::Inject(const std::string& bytes) {
    std::lock_guard<std::mutex> lock(m_writeLock);
    m_pty.WriteAll(bytes.data(), bytes.size());
}

std::vector<ScriptedModem::SReceived> ScriptedModem::Received() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_received;
}

std::vector<std::string> ScriptedModem::Commands() const {
    std::vector<std::string> out;
    for (const auto& r : Received()) out.push_back(r.command);
    return out;
}

bool ScriptedModem::WaitForCommands(size_t n, std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, deadline, [&] { return m_received.size() >= n; });
}

bool ScriptedModem::WaitDrained(std::chrono::milliseconds deadline) const {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        // Polling hands bytes still on their way over to the count.
        pollfd master{m_pty.MasterFd(), POLLIN, 0};
        poll(&master, 1, 0);
        int unread = 0;
        if (ioctl(m_pty.MasterFd(), FIONREAD, &unread) == 0 && unread == 0 && m_waiting) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait_for(lock, std::chrono::milliseconds(1));
    }
}

bool ScriptedModem::Sleep(int ms) {
    pollfd stop{m_stop[0], POLLIN, 0};
    return poll(&stop, 1, ms) == 0;
}

void ScriptedModem::Run() {
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{m_pty.MasterFd(), POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        // An unterminated command ("DBG" without CR LF) counts once idle.
        m_waiting = true;
        const int rc = poll(fds, 2, pending.empty() ? -1 : m_idleEndMs);
        m_waiting = false;
        if (fds[1].revents & POLLIN) return;
        if (rc == 0) {
            Answer(pending);
            pending.clear();
            continue;
        }
        char buffer[4096];
        const ssize_t n = (fds[0].revents & POLLIN) ? read(m_pty.MasterFd(), buffer, sizeof buffer) : 0;
        if (n <= 0) {
            if (fds[0].revents != 0 && !Sleep(5)) return;  // hung up: wait for the end
            continue;
        }
        pending.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find_first_of("\n\x1a")) != std::string::npos) {
            const std::string command = pending.substr(0, end + 1);
            pending.erase(0, end + 1);
            Answer(command);
        }
    }
}

void ScriptedModem::Answer(const std::string& command) {
    Reply reply;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_received.push_back({command, std::chrono::steady_clock::now()});
        m_changed.notify_all();
        reply = m_default;
        for (auto& rule : m_rules) {
            if (rule.used) continue;
            const bool prefix = !rule.command.empty() && rule.command.back() == '*';
            const bool match =
                prefix ? command.compare(0, rule.command.size() - 1, rule.command, 0, rule.command.size() - 1) == 0
                       : command == rule.command;
            if (!match) continue;
            reply = rule.reply;
            if (!rule.sticky) rule.used = true;
            break;
        }
    }
    WriteReply(reply);
}

bool ScriptedModem::WaitRead() {
    for (;;) {
        // A pseudo-terminal hands written bytes on to the port's side later;
        // polling that side hands them on first, so the count includes them.
        pollfd view{m_view, POLLIN, 0};
        poll(&view, 1, 0);
        int unread = 0;
        if (ioctl(m_view, FIONREAD, &unread) != 0 || unread == 0) return true;
        pollfd fds[2] = {{m_pty.MasterFd(), POLLIN, 0}, {m_stop[0], POLLIN, 0}};
        poll(fds, 2, 1);
        if ((fds[0].revents | fds[1].revents) & POLLIN) return false;
    }
}

void ScriptedModem::WriteReply(const Reply& reply) {
    for (const auto& chunk : reply) {
        if (chunk.delayMs > 0 && !Sleep(chunk.delayMs)) return;
        if (chunk.afterRead && !WaitRead()) return;
        if (chunk.hangUp) {
            std::lock_guard<std::mutex> lock(m_writeLock);
            m_pty.Close();
            return;
        }
        WriteSplit(chunk.bytes);
    }
}

void ScriptedModem::WriteSplit(const std::string& bytes) {
    size_t chunk;
    int gap;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        chunk = m_chunkBytes == 0 ? bytes.size() : m_chunkBytes;
        gap = m_gapMicros;
    }
    for (size_t at = 0; at < bytes.size(); at += chunk) {
        {
            std::lock_guard<std::mutex> lock(m_writeLock);
            if (m_pty.MasterFd() < 0) return;
            m_pty.WriteAll(bytes.data() + at, std::min(chunk, bytes.size() - at));
        }
        if (gap > 0 && at + chunk < bytes.size()) usleep(static_cast<useconds_t>(gap));
    }
}
