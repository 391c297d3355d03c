#include "ctl_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "frame_codec.h"

namespace ctl {
namespace {

// Frames far beyond any the daemon sends mean the stream is out of step.
constexpr uint32_t kMaxPayload = 1u << 20;

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
    const std::string frame = sim7100::EncodeFrame(type, payload.data(), payload.size());
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

// NOLINTNEXTLINE(readability-make-member-function-const): takes bytes off the link; const would hide that
EWait CLink::ReadExactly(Deadline deadline, void* data, size_t size, std::string& error) {
    size_t got = 0;
    while (got < size) {
        const EWait ready = WaitFor(m_conn, POLLIN, deadline, error);
        if (ready != EWait::Ok) return ready;
        const ssize_t n = recv(m_conn, static_cast<uint8_t*>(data) + got, size - got, 0);
        if (n == 0) return EWait::Closed;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            if (errno == ECONNRESET) return EWait::Closed;
            error = std::string("recv: ") + strerror(errno);
            return EWait::Failed;
        }
        got += static_cast<size_t>(n);
    }
    return EWait::Ok;
}

EWait CLink::ReceiveHeader(Deadline deadline, Sim7100FrameHeader& header, std::string& error) {
    return ReadExactly(deadline, &header, sizeof header, error);
}

EWait CLink::Receive(Deadline deadline, Sim7100FrameHeader& header, Bytes& payload, std::string& error) {
    EWait result = ReceiveHeader(deadline, header, error);
    if (result != EWait::Ok) return result;
    if (header.length > kMaxPayload) {
        error = "frame header announces " + std::to_string(header.length) + " bytes";
        return EWait::Failed;
    }
    payload.assign(header.length, 0);
    return ReadExactly(deadline, payload.data(), payload.size(), error);
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
