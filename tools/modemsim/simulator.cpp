#include "simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>

namespace modemsim {

namespace {

constexpr char kStop = 'q';
constexpr char kPowerKey = 'p';
constexpr char kCtrlZ = 0x1A;
constexpr char kEscape = 0x1B;

std::chrono::milliseconds Ms(long ms) { return std::chrono::milliseconds(ms); }

}  // namespace

CSimulator::CSimulator(SConfig config)
    : m_config(std::move(config)),
      m_module(m_config),
      m_faults(m_config.faults, m_config.seed),
      m_output(m_config.faults, m_log) {
    if (pipe2(m_control, O_CLOEXEC | O_NONBLOCK) != 0) m_control[0] = m_control[1] = -1;
    if (m_config.replay.active) m_replay = std::make_unique<CReplay>(m_config.replay);
}

CSimulator::~CSimulator() {
    Stop();
    if (m_thread.joinable()) m_thread.join();
    for (int fd : m_control)
        if (fd >= 0) close(fd);
    if (m_drain >= 0) close(m_drain);
}

void CSimulator::OpenDrain() {
    if (m_drain >= 0) close(m_drain);
    m_drain = m_replay ? open(m_pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC) : -1;
    m_output.SetDrainFd(m_drain);
}

bool CSimulator::Open(std::string& error) {
    if (m_control[0] < 0) {
        error = "cannot create the control pipe";
        return false;
    }
    if (!m_config.logFile.empty() && !m_log.Open(m_config.logFile, error)) return false;
    if (!m_pty.Open()) {
        error = m_pty.Error();
        return false;
    }
    if (!m_config.link.empty() && !m_pty.Link(m_config.link)) {
        error = m_pty.Error();
        m_pty.Close();
        return false;
    }
    fcntl(m_pty.MasterFd(), F_SETFL, fcntl(m_pty.MasterFd(), F_GETFL) | O_NONBLOCK);
    OpenDrain();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_path = m_pty.SlavePath();
    }
    m_log.Write("note", "terminal", m_pty.SlavePath());
    if (onTerminal) onTerminal(m_pty.SlavePath());
    return true;
}

void CSimulator::Start() {
    m_thread = std::thread([this] { Run(); });
}

void CSimulator::Stop() {
    if (m_control[1] < 0) return;
    ssize_t ignored = write(m_control[1], &kStop, 1);
    (void)ignored;
}

void CSimulator::PowerKey() {
    ssize_t ignored = write(m_control[1], &kPowerKey, 1);
    (void)ignored;
}

std::string CSimulator::Path() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_path;
}

bool CSimulator::WaitForNewPath(const std::string& old, std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, deadline, [&] { return !m_path.empty() && m_path != old; });
}

long CSimulator::Commands() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_commands;
}

bool CSimulator::WaitForCommands(long count, std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, deadline, [&] { return m_commands >= count; });
}

bool CSimulator::WaitForQuiet(std::chrono::milliseconds deadline) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, deadline, [&] { return m_quiet; });
}

void CSimulator::Run() {
    PowerUp(Clock::now());
    if (m_replay) QueueReplay(m_replay->Start(), Clock::now());
    for (;;) {
        Clock::time_point now = Clock::now();
        Timers(now);
        COutput::SResult out;
        const int master = m_pty.MasterFd();
        if (master >= 0) out = m_output.Pump(master, now);
        if (m_output.Empty() != m_quiet) {
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_quiet = m_output.Empty();
            }
            m_changed.notify_all();
        }
        if (out.hangUp) {
            HangUp(now);
            continue;
        }
        const Clock::time_point wake = std::min(out.wake, NextTimer());
        // To the microsecond: paced pieces are a fraction of a millisecond apart.
        timespec timeout{60, 0};
        if (wake != Clock::time_point::max()) {
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wake - now).count();
            const long long capped = std::clamp<long long>(ns, 0, 60000000000LL);
            timeout = {static_cast<time_t>(capped / 1000000000), static_cast<long>(capped % 1000000000)};
        }
        pollfd fds[2] = {{m_control[0], POLLIN, 0},
                         {master, static_cast<short>(POLLIN | (out.wantWritable ? POLLOUT : 0)), 0}};
        const int ready =
            ppoll(fds, master >= 0 ? 2 : 1, wake != Clock::time_point::max() ? &timeout : nullptr, nullptr);
        if (ready < 0) continue;
        now = Clock::now();
        if (fds[0].revents & POLLIN) {
            char code = 0;
            while (read(m_control[0], &code, 1) == 1) {
                if (code == kStop) return;
                if (code == kPowerKey) {
                    m_log.Write("note", "power key", "");
                    m_output.Clear();
                    PowerUp(now);
                }
            }
        }
        if (master >= 0 && (fds[1].revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0) {
                // On a paced line the module has the bytes once they are through.
                m_inputFree = std::max(m_inputFree, now) + LineTime(m_config.faults.baud, static_cast<size_t>(n));
                OnInput(buffer, static_cast<size_t>(n), m_inputFree);
            }
        } else if (master >= 0 && (fds[1].revents & (POLLHUP | POLLERR))) {
            // Nobody holds the other end; do not spin on it.
            usleep(10000);
        }
    }
}

void CSimulator::PowerUp(Clock::time_point now) {
    m_log.Write("note", "power up", "");
    for (const SPiece& line : m_module.PowerUp(now)) m_output.Add(now + Ms(line.delayMs), line.bytes, "boot", true);
    m_faults.PoweredUp(now);
    const SFaults& f = m_config.faults;
    m_urcNext.assign(f.urcs.size(), Clock::time_point::max());
    for (size_t i = 0; i < f.urcs.size(); ++i) {
        if (f.urcs[i].everyMs > 0)
            m_urcNext[i] = now + Ms(f.urcs[i].firstMs >= 0 ? f.urcs[i].firstMs : f.urcs[i].everyMs);
    }
    m_garbageNext = f.garbageEveryMs > 0 ? now + Ms(f.garbageEveryMs) : Clock::time_point::max();
    m_nmeaNext = Clock::time_point::max();
    m_restartAt = Clock::time_point::max();
    m_line.clear();
    m_text.clear();
}

void CSimulator::OpenTerminal() {
    if (!m_pty.Open()) {
        m_log.Write("note", "reopen failed", m_pty.Error());
        m_reopenAt = Clock::now() + Ms(1000);
        return;
    }
    fcntl(m_pty.MasterFd(), F_SETFL, fcntl(m_pty.MasterFd(), F_GETFL) | O_NONBLOCK);
    OpenDrain();
    if (!m_config.link.empty() && !m_pty.Link(m_config.link)) m_log.Write("note", "link failed", m_pty.Error());
    m_log.Write("note", "terminal", m_pty.SlavePath());
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_path = m_pty.SlavePath();
    }
    m_changed.notify_all();
    if (onTerminal) onTerminal(m_pty.SlavePath());
}

void CSimulator::HangUp(Clock::time_point now) {
    m_log.Write("note", "hang-up", "");
    m_output.Clear();
    m_pty.Close();
    if (m_drain >= 0) close(m_drain);
    m_drain = -1;
    m_output.SetDrainFd(-1);
    m_line.clear();
    m_text.clear();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_path.clear();
    }
    m_changed.notify_all();
    if (m_config.faults.hangup.reopenMs >= 0) m_reopenAt = now + Ms(m_config.faults.hangup.reopenMs);
}

void CSimulator::OnInput(const char* data, size_t size, Clock::time_point now) {
    if (m_replay) {
        OnReplayInput(data, size, now);
    } else {
        OnModelInput(data, size, now);
    }
}

void CSimulator::QueueReplay(const std::vector<SReplayPiece>& pieces, Clock::time_point now) {
    static const char* const kKinds[] = {"answer", "result", "unsolicited", "hang-up"};
    for (const SReplayPiece& p : pieces) {
        const int gap = p.kind == SReplayPiece::eResult    ? m_config.timings.resultMs
                        : p.kind == SReplayPiece::eFlushed ? 0
                                                           : m_config.replay.gapMs;
        m_output.AddPiece(now, p.bytes, kKinds[p.kind], gap, p.kind == SReplayPiece::eHangUp);
    }
}

void CSimulator::OnReplayInput(const char* data, size_t size, Clock::time_point now) {
    for (const SReplayStep& step : m_replay->Input(std::string(data, size))) {
        m_log.Write("recv", "command", step.command);
        if (step.matched) {
            QueueReplay(step.pieces, now + Ms(m_config.faults.latencyMs));
            CountCommand();
            continue;
        }
        const std::string note = step.Note();
        m_log.WriteText("note", "mismatch", note);
        if (onNote) onNote(note);
        switch (m_config.replay.mismatch) {
        case EReplayMismatch::eFail: {
            const std::string line = step.command.substr(0, step.command.find_first_of("\r\n"));
            m_output.AddPiece(now, (m_module.Echo() ? line + "\r" : "") + CModule::Error(), "answer",
                              m_config.replay.gapMs);
            CountCommand();
            break;
        }
        case EReplayMismatch::eModel:
            OnModelInput(step.command.data(), step.command.size(), now);
            break;
        case EReplayMismatch::eSilent:
            m_log.Write("note", "silent", "");
            CountCommand();
            break;
        }
    }
}

void CSimulator::CountCommand() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        ++m_commands;
    }
    m_changed.notify_all();
}

void CSimulator::OnModelInput(const char* data, size_t size, Clock::time_point now) {
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        const bool lineEnd = c == '\r' || c == '\n';
        // "\r\n" ends one line, and "\r" alone does too (terminal programs).
        if (c == '\n' && m_lastCr) {
            m_lastCr = false;
            continue;
        }
        m_lastCr = c == '\r';
        if (c == '\b' || c == 0x7F) {
            std::string& buffer = m_module.ExpectingText() ? m_text : m_line;
            if (!buffer.empty()) buffer.pop_back();
        } else if (m_module.ExpectingText()) {
            if (c == kCtrlZ || c == kEscape) {
                OnText(c == kEscape, now);
            } else if (lineEnd) {
                m_text += '\n';
                m_output.Add(now, CModule::Prompt(), "prompt", false);
            } else {
                m_text += c;
            }
        } else if (lineEnd) {
            const std::string line = m_line;
            m_line.clear();
            OnLine(line, now);
        } else if (m_line.size() < 4096) {
            m_line += c;
        }
    }
}

void CSimulator::OnLine(const std::string& line, Clock::time_point now) {
    const std::string command = NormaliseCommand(line);
    if (command.empty()) return;
    m_log.Write("recv", "command", line);
    if (!m_module.PoweredOn()) {
        m_log.Write("note", "powered off", "");
    } else {
        const bool echo = m_module.Echo();
        const CFaultPlan::EAction action = m_faults.Classify(command, now);
        SAnswer answer;
        const SOverride* replaced = nullptr;
        if (action == CFaultPlan::EAction::eIdleError) {
            answer.bytes = CModule::Error();
        } else if (action == CFaultPlan::EAction::eAnswer && (replaced = m_faults.Override(command)) != nullptr) {
            answer.bytes = replaced->answer;
            if (!replaced->later.empty()) answer.later.push_back({replaced->laterMs, replaced->later});
        } else if (action == CFaultPlan::EAction::eAnswer) {
            answer = m_module.Execute(line, now);
            if (!m_module.PoweredOn()) {  // AT+CPOF: nothing more goes out
                m_output.Clear();
                m_log.Write("note", "power off", "");
                if (m_config.timings.restartAfterMs >= 0)
                    m_restartAt = now + Ms(m_config.faults.latencyMs + m_config.timings.restartAfterMs);
            }
        }
        if (action == CFaultPlan::EAction::eSilent) {
            m_log.Write("note", "silent", "");
        } else {
            if (echo) m_output.Add(now, line + "\r", "echo", false);
            Deliver(command, std::move(answer), now, true);
        }
    }
    CountCommand();
}

void CSimulator::OnText(bool cancelled, Clock::time_point now) {
    m_log.Write("recv", cancelled ? "text (esc)" : "text", m_text);
    if (m_module.Echo()) m_output.Add(now, m_text, "echo", false);
    SAnswer answer = m_module.FinishText(m_text, cancelled);
    m_text.clear();
    Deliver("", std::move(answer), now, false);
}

void CSimulator::Deliver(const std::string& command, SAnswer answer, Clock::time_point now, bool faults) {
    size_t cut = std::string::npos;
    if (faults) {
        m_faults.Oversize(command, answer.bytes);
        cut = m_faults.HangupPoint(command, answer.bytes.size());
    }
    const Clock::time_point due = now + Ms(m_config.faults.latencyMs);
    m_output.Add(due, std::move(answer.bytes), "answer", false, cut);
    for (SPiece& piece : answer.later) m_output.Add(due + Ms(piece.delayMs), std::move(piece.bytes), "result", false);
    if (!m_module.NmeaActive()) {
        m_nmeaNext = Clock::time_point::max();
    } else if (m_nmeaNext == Clock::time_point::max()) {
        m_nmeaNext = due + Ms(m_config.timings.nmeaPeriodMs);
    }
}

void CSimulator::Timers(Clock::time_point now) {
    if (now >= m_restartAt) PowerUp(now);
    if (now >= m_reopenAt) {
        m_reopenAt = Clock::time_point::max();
        OpenTerminal();
    }
    if (!m_module.PoweredOn() || m_pty.MasterFd() < 0) return;
    const SFaults& f = m_config.faults;
    if (now >= m_nmeaNext) {
        const std::time_t utc = std::time(nullptr);
        m_output.Add(now, m_module.NmeaBurst(utc), "nmea", true);
        m_nmeaNext = now + Ms(std::max(1, m_config.timings.nmeaPeriodMs));
    }
    for (size_t i = 0; i < m_urcNext.size(); ++i) {
        if (now < m_urcNext[i]) continue;
        m_output.Add(now, "\r\n" + f.urcs[i].text + "\r\n", "unsolicited", true);
        m_urcNext[i] = now + Ms(f.urcs[i].everyMs);
    }
    if (now >= m_garbageNext) {
        m_output.Add(now, m_faults.Garbage(), "garbage", true);
        m_garbageNext = now + Ms(f.garbageEveryMs);
    }
}

Clock::time_point CSimulator::NextTimer() const {
    Clock::time_point next = std::min({m_restartAt, m_reopenAt});
    if (!m_module.PoweredOn() || m_pty.MasterFd() < 0) return next;
    next = std::min({next, m_nmeaNext, m_garbageNext});
    for (const auto& t : m_urcNext) next = std::min(next, t);
    return next;
}

}  // namespace modemsim
