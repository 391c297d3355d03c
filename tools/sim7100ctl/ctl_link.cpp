#include "ctl_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ctl {
namespace {

// Milliseconds for poll: -1 without a deadline, 0 once it has passed.
int Remaining(Deadline deadline) {
    if (!deadline) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > 60000 ? 60000 : static_cast<int>(left);
}

bool Expired(Deadline deadline) { return deadline && Clock::now() >= *deadline; }

// Waits for `events` on fd; Ok when ready.
EWait WaitFor(int fd, short events, Deadline deadline, std::string& error) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = poll(&p, 1, Remaining(deadline));
        if (n > 0) return EWait::Ok;
        if (n < 0 && errno != EINTR) {
            error = std::string("poll: ") + strerror(errno);
            return EWait::Failed;
        }
        if (Expired(deadline)) return EWait::Timeout;
    }
}

}  // namespace

Deadline After(double seconds) {
    if (seconds <= 0) return std::nullopt;
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

CLink::~CLink() { Close(); }

void CLink::Close() {
    if (m_conn >= 0) close(m_conn);
    if (m_listen >= 0) close(m_listen);
    m_conn = m_listen = -1;
}

bool CLink::Listen(const std::string& address, uint16_t port, std::string& error) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1) {
        error = "'" + address + "' is not an IPv4 address";
        return false;
    }
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0) {
        error = std::string("socket: ") + strerror(errno);
        return false;
    }
    const int one = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(m_listen, 1) != 0) {
        error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + strerror(errno);
        Close();
        return false;
    }
    socklen_t size = sizeof addr;
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &size);
    m_port = ntohs(addr.sin_port);
    return true;
}

EWait CLink::Accept(Deadline deadline, std::string& peer, std::string& error) {
    const EWait ready = WaitFor(m_listen, POLLIN, deadline, error);
    if (ready != EWait::Ok) return ready;
    sockaddr_in addr{};
    socklen_t size = sizeof addr;
    m_conn = accept4(m_listen, reinterpret_cast<sockaddr*>(&addr), &size, SOCK_CLOEXEC);
    if (m_conn < 0) {
        error = std::string("accept: ") + strerror(errno);
        return EWait::Failed;
    }
    close(m_listen);
    m_listen = -1;
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text);
    peer = std::string(text) + ":" + std::to_string(ntohs(addr.sin_port));
    return EWait::Ok;
}

// NOLINTNEXTLINE(readability-make-member-function-const): writes to the link; const would hide that
bool CLink::Send(uint32_t type, const Bytes& payload, std::string& error) {
    Bytes frame(SIM7100_FRAME_HEADER_SIZE + payload.size());
    sim7100_frame_encode(frame.data(), frame.size(), type, payload.data(), static_cast<uint32_t>(payload.size()));
    size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t n = send(m_conn, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = std::string("send: ") + strerror(errno);
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

EWait CLink::Next(Deadline deadline, int& event, std::string& error) {
    // A failed decoder answers at once, with its failure.
    while (m_used == m_size && InStep()) {
        const EWait ready = WaitFor(m_conn, POLLIN, deadline, error);
        if (ready != EWait::Ok) return ready;
        const ssize_t n = recv(m_conn, m_received, sizeof m_received, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return EWait::Closed;
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
            error = std::string("recv: ") + strerror(errno);
            return EWait::Failed;
        }
        m_used = 0;
        m_size = n > 0 ? static_cast<size_t>(n) : 0;
    }
    m_used += sim7100_decode(&m_decoder, m_received + m_used, m_size - m_used, &event);
    return EWait::Ok;
}

EWait CLink::Register(Deadline deadline, Sim7100FrameHeader& header, std::string& error) {
    for (;;) {
        int event = SIM7100_LINK_MORE;
        const EWait result = Next(deadline, event, error);
        if (result != EWait::Ok || event == SIM7100_LINK_REGISTRATION) return result;
        if (event != SIM7100_LINK_MORE || m_decoder.filled >= SIM7100_FRAME_HEADER_SIZE) {
            header = m_decoder.header;
            return EWait::Stray;
        }
    }
}

EWait CLink::Receive(Deadline deadline, Sim7100FrameHeader& header, SCmdResponseData& record, std::string& error) {
    int event = SIM7100_LINK_MORE;
    while (event == SIM7100_LINK_MORE) {
        const EWait result = Next(deadline, event, error);
        if (result != EWait::Ok) return result;
    }
    header = m_decoder.header;
    // Only an unterminated text fails a frame of the response's length, and
    // the whole frame has been read: the stream is still in step.
    const bool unterminated = event == SIM7100_LINK_E_FRAME && header.length == SIM7100_RESPONSE_SIZE;
    if (event != SIM7100_LINK_RESPONSE && !unterminated) return EWait::Stray;
    record = m_decoder.record;
    if (unterminated) sim7100_decoder_init(&m_decoder);
    return EWait::Ok;
}

// NOLINTNEXTLINE(readability-make-member-function-const): drains the link; const would hide that
EWait CLink::WaitClosed(Deadline deadline) {
    std::string error;
    for (;;) {
        const EWait ready = WaitFor(m_conn, POLLIN, deadline, error);
        if (ready != EWait::Ok) return ready;
        uint8_t sink[512];
        const ssize_t n = recv(m_conn, sink, sizeof sink, 0);
        if (n == 0 || (n < 0 && errno == ECONNRESET)) return EWait::Closed;
        if (n < 0 && errno != EINTR) return EWait::Failed;
    }
}

}  // namespace ctl
