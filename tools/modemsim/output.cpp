#include "output.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace modemsim {

namespace {
constexpr size_t kUnsolicitedBacklog = size_t{64} * 1024;
constexpr size_t kFifoBytes = 16;
}  // namespace

Clock::duration LineTime(long baud, size_t bytes) {
    if (baud <= 0) return Clock::duration::zero();
    const auto ns = static_cast<long long>(bytes) * 10 * 1000000000LL / baud;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns));
}

void COutput::Add(Clock::time_point due, std::string bytes, const char* kind, bool unsolicited, size_t hangupAt) {
    if (bytes.empty() && hangupAt == std::string::npos) return;
    if (unsolicited && m_pendingBytes > kUnsolicitedBacklog) return;
    m_pendingBytes += bytes.size();
    m_jobs.emplace(Key{due, m_seq++}, SJob{std::move(bytes), kind, hangupAt});
}

void COutput::AddPiece(Clock::time_point due, std::string bytes, const char* kind, int gapMs, bool hangUp) {
    m_pendingBytes += bytes.size();
    m_jobs.emplace(Key{due, m_seq++}, SJob{hangUp ? std::string() : std::move(bytes), kind,
                                           hangUp ? 0 : std::string::npos, std::max(0, gapMs)});
}

void COutput::Clear() {
    m_jobs.clear();
    m_pendingBytes = 0;
    m_active = false;
    m_position = 0;
    m_hangupDue = Clock::time_point::max();
    m_lineFree = {};
}

bool COutput::Unread() const {
    pollfd far{m_drainFd, POLLIN, 0};
    return m_drainFd >= 0 && poll(&far, 1, 0) > 0 && (far.revents & POLLIN) != 0;
}

bool COutput::ReaderCaughtUp(Clock::time_point now, int gapMs, SResult& result) {
    // Written bytes reach the reader's queue a moment later, on a kernel
    // worker; polling the terminal's far end completes that hand-over first,
    // so "nothing to read" there means the reader has read it all.  Nothing
    // signals a read, so look every millisecond; more often for a piece due
    // at once (flushed output must beat the reader's short flush read).
    const bool unread = Unread();
    const Clock::time_point ready = m_lastEnd + std::chrono::milliseconds(gapMs);
    if (now >= ready && !unread) return true;
    const Clock::duration look =
        gapMs == 0 ? Clock::duration(std::chrono::microseconds(200)) : std::chrono::milliseconds(1);
    result.wake = unread ? now + look : ready;
    return false;
}

COutput::SResult COutput::Pump(int fd, Clock::time_point now) {
    SResult result;
    while (!m_jobs.empty()) {
        auto first = m_jobs.begin();
        if (!m_active && first->first.first > now) {
            result.wake = first->first.first;
            return result;
        }
        if (now < m_nextWrite) {
            result.wake = m_nextWrite;
            return result;
        }
        SJob& job = first->second;
        if (!m_active && job.gapMs >= 0 && !ReaderCaughtUp(now, job.gapMs, result)) return result;
        if (!m_active) {
            m_active = true;
            m_position = 0;
            const size_t shown = std::min(job.hangupAt, job.bytes.size());
            m_log.Write("send", job.kind, job.bytes.substr(0, shown));
        }
        if (m_position == job.hangupAt) {
            // A moment between the last byte and the hang-up, and not before
            // the reader took those bytes (closing discards what is unread),
            // unless it has stopped reading.
            if (m_hangupDue == Clock::time_point::max()) m_hangupDue = now + std::chrono::milliseconds(50);
            const bool unread = Unread() && now < m_hangupDue + std::chrono::seconds(2);
            result.hangUp = now >= m_hangupDue && !unread;
            result.wake = unread ? std::max(m_hangupDue, now + std::chrono::milliseconds(1)) : m_hangupDue;
            return result;
        }
        // Each piece of a split answer waits until the reader took the one
        // before, so that pieces stay reads of their own on a loaded machine.
        if (m_faults.splitBytes > 0 && m_position > 0 && m_position % m_faults.splitBytes == 0 && Unread()) {
            result.wake = now + std::chrono::milliseconds(1);
            return result;
        }
        size_t n = job.bytes.size() - m_position;
        if (m_faults.splitBytes > 0) n = std::min(n, m_faults.splitBytes - m_position % m_faults.splitBytes);
        if (m_faults.baud > 0) n = std::min(n, kFifoBytes);
        if (job.hangupAt != std::string::npos) n = std::min(n, job.hangupAt - m_position);
        // Absolute times, so the wake-up latency of each piece does not add up.
        const Clock::time_point arrives = std::max(m_lineFree, first->first.first) + LineTime(m_faults.baud, n);
        if (m_faults.baud > 0 && now < arrives) {
            result.wake = arrives;
            return result;
        }
        const ssize_t written = n > 0 ? write(fd, job.bytes.data() + m_position, n) : 0;
        if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
            result.wantWritable = true;
            return result;
        }
        // A terminal that refuses bytes for good loses them.
        const size_t done = written < 0 ? n : static_cast<size_t>(written);
        m_position += done;
        m_pendingBytes -= std::min(m_pendingBytes, done);
        if (m_faults.baud > 0) m_lineFree = done == n ? arrives : now;
        if (m_position >= job.bytes.size() && job.hangupAt == std::string::npos) {
            m_jobs.erase(first);
            m_active = false;
            m_lastEnd = now;
        } else if (m_faults.splitBytes > 0 && m_position % m_faults.splitBytes == 0) {
            m_nextWrite = std::max(m_nextWrite, now + std::chrono::milliseconds(m_faults.splitGapMs));
        }
    }
    return result;
}

}  // namespace modemsim
