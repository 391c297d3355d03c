#include "rtos_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace {

using std::chrono::milliseconds;

// Waits for input on fd until `end`; false on a time-out.
bool Readable(int fd, RtosPeer::Clock::time_point end) {
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(end - RtosPeer::Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        const int rc = poll(&p, 1, left < 0 ? 0 : static_cast<int>(left));
        if (rc > 0) return true;
        if (rc == 0 || errno != EINTR) return false;
    }
}

// What the library's decoder makes of `bytes` taken at once, or 0 when they
// are not one whole frame.
int DecodeOne(const std::string& bytes, Sim7100Decoder& decoder) {
    int event = 0;
    sim7100_decoder_init(&decoder);
    return sim7100_decode(&decoder, bytes.data(), bytes.size(), &event) == bytes.size() ? event : 0;
}

// One recv once input has come; -2 on a time-out or without a connection.
ssize_t Receive(int fd, char* buffer, size_t n, RtosPeer::Clock::time_point end) {
    for (;;) {
        if (fd < 0 || !Readable(fd, end)) return -2;
        const ssize_t got = recv(fd, buffer, n, 0);
        if (got >= 0 || errno != EINTR) return got;
    }
}

}  // namespace

RtosPeer::RtosPeer(bool listen) {
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listen < 0) throw std::runtime_error("socket");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;  // a free port: suites run side by side
    socklen_t len = sizeof addr;
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(m_listen);
        throw std::runtime_error("bind");
    }
    m_port = ntohs(addr.sin_port);
    if (listen && ::listen(m_listen, 4) != 0) throw std::runtime_error("listen");
}

RtosPeer::~RtosPeer() {
    CloseConnection();
    if (m_listen >= 0) close(m_listen);
}

bool RtosPeer::AcceptRegistered(milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    if (!Readable(m_listen, end)) return false;
    CloseConnection();
    m_conn = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (m_conn < 0) return false;
    // Frames sent in parts go out as they are, not held back by Nagle.
    const int noDelay = 1;
    setsockopt(m_conn, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    const auto first = ReadExact(8, std::chrono::duration_cast<milliseconds>(end - Clock::now()));
    Sim7100Decoder decoder;
    return first && DecodeOne(*first, decoder) == SIM7100_LINK_REGISTRATION;
}

std::string RtosPeer::Frame(uint32_t type, const std::string& payload) {
    std::string frame(SIM7100_FRAME_HEADER_SIZE + payload.size(), '\0');
    sim7100_frame_encode(frame.data(), frame.size(), type, payload.data(), static_cast<uint32_t>(payload.size()));
    return frame;
}

bool RtosPeer::SendRaw(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = send(m_conn, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool RtosPeer::SendFrame(uint32_t type, const std::string& payload) { return SendRaw(Frame(type, payload)); }

std::optional<std::string> RtosPeer::ReadExact(size_t n, milliseconds deadline) {
    const auto end = Clock::now() + deadline;
    std::string out;
    char buffer[4096];
    while (out.size() < n) {
        const ssize_t got = Receive(m_conn, buffer, std::min(sizeof buffer, n - out.size()), end);
        if (got <= 0) return std::nullopt;
        out.append(buffer, static_cast<size_t>(got));
    }
    return out;
}

std::optional<RtosPeer::SResponse> RtosPeer::ReadResponse(milliseconds deadline) {
    const auto bytes = ReadExact(SIM7100_FRAME_HEADER_SIZE + SIM7100_RESPONSE_SIZE, deadline);
    Sim7100Decoder decoder;
    if (!bytes || DecodeOne(*bytes, decoder) != SIM7100_LINK_RESPONSE) return std::nullopt;
    return SResponse{decoder.header.type, decoder.record};
}

bool RtosPeer::WaitClosed(milliseconds deadline) {
    char byte;
    const ssize_t got = Receive(m_conn, &byte, 1, Clock::now() + deadline);
    return got == 0 || (got == -1 && errno == ECONNRESET);
}

void RtosPeer::CloseConnection() {
    if (m_conn >= 0) close(m_conn);
    m_conn = -1;
}
