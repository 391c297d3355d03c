#include "ipc_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pal.h"
#include "process_exit.h"

#ifndef SIM7100_RECEIVE_STACK_SIZE
#define SIM7100_RECEIVE_STACK_SIZE 16384
#endif

namespace Ipc {

struct IpcService::Impl {
    PalThread m_thread{};
    alignas(16) unsigned char m_stack[SIM7100_RECEIVE_STACK_SIZE]{};
    std::atomic<bool> m_stop{true};
    int m_socket = -1;
    sockaddr_in m_addr{};
    pollfd m_writePoll{-1, POLLOUT | POLLERR | POLLNVAL, 0};
    pollfd m_readPoll{-1, POLLIN | POLLERR | POLLNVAL, 0};
    MsgCallback m_callback;
    void* m_userData = nullptr;
    uint16_t m_port;
    SDaemonSettings m_settings;
    // Lets Stop end ReceiveThread's wait at once instead of at its next
    // poll time-out.
    int m_stopPipe[2] = {-1, -1};

    Impl(uint16_t port, const SDaemonSettings& settings) : m_port(port), m_settings(settings) {}

    void OpenSocket();
    // Waits up to timeoutMs for an attempt in progress to finish; true when
    // the socket is ready for the next connect call to collect the result.
    bool WaitConnectDone(int timeoutMs);
    // Writes the parts one after the other as one stream, so a frame leaves in
    // one segment instead of two (the peer then wakes once per response).
    bool SendBytes(const iovec* parts, int count);
    void ReceiveLoop();
    // Polls the socket together with the stop pipe and the process wake pipe.
    // Returns the socket's events, 0 on a time-out, -1 on a poll failure and
    // -2 when the thread has been asked to stop or the process to exit.
    int PollSocket(const pollfd& socketPoll, int timeoutMs);
    // Ends the process with status 1 (through the main thread).
    void Fatal(const char* what);
    // Keeps this thread alive until Stop, so it is never left finished and
    // unjoined while the main thread runs the exit sequence.
    void Park();

    static uintptr_t ThreadEntry(void* self) {
        static_cast<Impl*>(self)->ReceiveLoop();
        return 0;
    }
};

static_assert(SIM7100_RECEIVE_STACK_SIZE >= 16384, "ReceiveThread's stack");

IpcService::IpcService(uint16_t port) : IpcService(port, SDaemonSettings{}) {}

IpcService::IpcService(uint16_t port, const SDaemonSettings& settings) : m_impl(new Impl(port, settings)) {}

IpcService::~IpcService() {
    Stop();
    delete m_impl;
}

void IpcService::Impl::OpenSocket() {
    m_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        perror("[ERROR] IpcService - init client socket.");
        exit(1);
    }
    fcntl(m_socket, F_SETFL, O_NONBLOCK);
    // Responses go out back to back; without this one would wait for the
    // peer's delayed ACK of the one before, about 40 ms.
    const int noDelay = 1;
    setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
    memset(&m_addr, 0, sizeof m_addr);
    m_addr.sin_family = AF_INET;
    m_addr.sin_port = htons(m_port);
    m_addr.sin_addr.s_addr = htonl(INADDR_ANY);
    const auto* address = reinterpret_cast<const sockaddr*>(&m_addr);
    const int retryMs = m_settings.Ms(1000);
    for (;;) {
        timespec begun{};
        clock_gettime(CLOCK_MONOTONIC, &begun);
        if (connect(m_socket, address, sizeof m_addr) == 0) break;
        // A connection in progress (always the first attempt on a
        // non-blocking socket) is collected as soon as it is done instead of
        // a second later; refused attempts still come once a second.
        if ((errno == EINPROGRESS || errno == EALREADY) && WaitConnectDone(retryMs) &&
            connect(m_socket, address, sizeof m_addr) == 0) {
            break;
        }
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const long elapsedMs = (now.tv_sec - begun.tv_sec) * 1000L + (now.tv_nsec - begun.tv_nsec) / 1000000L;
        if (elapsedMs < retryMs) PalThreadSleep(static_cast<uint32_t>(retryMs - elapsedMs));
        Exit::CompleteIfPending();
    }
    m_writePoll.fd = m_socket;
    m_readPoll.fd = m_socket;
}

void IpcService::Start(const MsgCallback& callback, void* userData) {
    Impl& d = *m_impl;
    d.OpenSocket();
    if (pipe2(d.m_stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) d.m_stopPipe[0] = d.m_stopPipe[1] = -1;
    d.m_callback = callback;
    d.m_userData = userData;
    d.m_stop = false;
    PalThreadCreate(&d.m_thread, "ReceiveThread", &Impl::ThreadEntry, &d, SIM7100_RECEIVE_STACK_SIZE, d.m_stack, 190,
                    0);
    if (!Send(eMsgRegister, nullptr, 0)) exit(1);
}

void IpcService::Stop() {
    Impl& d = *m_impl;
    if (!d.m_stop) {
        d.m_stop = true;
        if (d.m_stopPipe[1] >= 0) {
            const char byte = 1;
            ssize_t ignored = write(d.m_stopPipe[1], &byte, 1);
            (void)ignored;
        }
        PalThreadJoin(&d.m_thread, 0, -1);
        PalThreadDelete(&d.m_thread);
    }
    if (d.m_socket != -1) {
        shutdown(d.m_socket, SHUT_RDWR);
        close(d.m_socket);
        d.m_socket = -1;
    }
    for (int& fd : d.m_stopPipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    d.m_callback = nullptr;
}

bool IpcService::Impl::WaitConnectDone(int timeoutMs) {
    for (;;) {
        pollfd fds[2] = {{m_socket, POLLOUT, 0}, {Exit::WakeFd(), POLLIN, 0}};
        const int rc = poll(fds, 2, timeoutMs);
        if (rc < 0 && errno == EINTR) continue;
        return rc > 0 && fds[0].revents != 0;
    }
}

bool IpcService::Send(EIpcMsgType type, const void* data, unsigned size) {
    uint32_t header[2] = {size, static_cast<uint32_t>(type)};
    iovec parts[2] = {{header, sizeof header}, {const_cast<void*>(data), size}};
    return m_impl->SendBytes(parts, data == nullptr || size == 0 ? 1 : 2);
}

bool IpcService::Impl::SendBytes(const iovec* parts, int count) {
    if (m_socket == -1) {
        fputs("[WARNING] Request send data to RTOS while socket is not initialized.\n", stderr);
        return false;
    }
    iovec rest[2] = {};
    size_t total = 0;
    for (int i = 0; i < count; ++i) {
        rest[i] = parts[i];
        total += parts[i].iov_len;
    }
    iovec* next = rest;
    int left = count;
    size_t sent = 0;
    while (sent < total) {
        pollfd fds[2] = {m_writePoll, {Exit::WakeFd(), POLLIN, 0}};
        const int rc = poll(fds, 2, m_settings.Ms(1000));
        if (rc < 0 && errno == EINTR) {
            Exit::CompleteIfPending();
            continue;
        }
        if (fds[1].revents & POLLIN) Exit::CompleteIfPending();
        if (rc > 0 && (fds[0].revents & POLLOUT)) {
            const ssize_t n = writev(m_socket, next, left);
            if (n <= 0) {
                // A peer that has gone raised SIGPIPE: leave as the signal asks.
                Exit::CompleteIfPending();
                perror("[ERROR] Send data to RTOS on write.");
                break;
            }
            sent += static_cast<size_t>(n);
            // A partial write goes on where it stopped.
            left = SkipWritten(next, left, static_cast<size_t>(n));
        } else if (rc == 0) {
            fputs("[WARNING] Send data to RTOS - timeout.\n", stderr);
        } else {
            perror("[ERROR] Send data to RTOS on poll.");
            break;
        }
    }
    return sent == total;
}

int SkipWritten(iovec*& next, int left, size_t written) {
    for (size_t done = written; done > 0 && left > 0;) {
        const size_t step = done < next->iov_len ? done : next->iov_len;
        next->iov_base = static_cast<unsigned char*>(next->iov_base) + step;
        next->iov_len -= step;
        done -= step;
        if (next->iov_len == 0) {
            ++next;
            --left;
        }
    }
    return left;
}

int IpcService::Impl::PollSocket(const pollfd& socketPoll, int timeoutMs) {
    for (;;) {
        pollfd fds[3] = {socketPoll, {m_stopPipe[0], POLLIN, 0}, {Exit::WakeFd(), POLLIN, 0}};
        const int rc = poll(fds, 3, timeoutMs);
        if (rc < 0 && errno == EINTR) continue;
        if (rc < 0) return -1;
        if (m_stop || (fds[2].revents & POLLIN)) return -2;
        if (rc == 0) return 0;
        if (fds[0].revents != 0) return fds[0].revents;
    }
}

void IpcService::Impl::Fatal(const char* what) {
    perror(what);
    Exit::Request(1);
    Park();
}

void IpcService::Impl::Park() {
    while (!m_stop) {
        pollfd stop{m_stopPipe[0], POLLIN, 0};
        poll(&stop, 1, 1000);
    }
}

void IpcService::Impl::ReceiveLoop() {
    while (!m_stop) {
        const int events = PollSocket(m_readPoll, m_settings.Ms(1000));
        if (events == -2) break;
        if (events == 0) continue;
        if (events < 0 || !(events & POLLIN)) return Fatal("[ERROR] Receive thread on poll #1.");

        uint32_t header[2];
        if (read(m_socket, header, sizeof header) < static_cast<ssize_t>(sizeof header)) {
            return Fatal("[ERROR] Receive thread on read frame.");
        }
        const uint32_t length = header[0];
        const auto type = static_cast<EIpcMsgType>(header[1]);
        uint8_t* buffer = nullptr;
        if (length != 0) {
            buffer = static_cast<uint8_t*>(malloc(length));
            if (buffer == nullptr) return Fatal("[ERROR] Receive thread on allocate data.");
            uint32_t received = 0;
            while (!m_stop && received < length) {
                const int ev = PollSocket(m_readPoll, m_settings.Ms(1000));
                if (ev == -2) break;
                if (ev == 0) continue;
                if (ev < 0 || !(ev & POLLIN)) {
                    free(buffer);
                    return Fatal("[ERROR] Receive thread on poll #2.");
                }
                const ssize_t n = read(m_socket, buffer + received, length - received);
                if (n <= 0) {
                    free(buffer);
                    return Fatal("[ERROR] Receive thread on read data.");
                }
                received += static_cast<uint32_t>(n);
            }
            if (received < length) {  // stopped half-way: the frame is dropped
                free(buffer);
                break;
            }
        }
        if (m_callback) m_callback(type, buffer, length, m_userData);
        free(buffer);
    }
    // Left for an exit, not for Stop: make sure the main thread leaves its
    // queue wait, and stay unfinished.  The main thread may already be in the
    // exit sequence (no longer Pending), and a thread that ended there would
    // be left unjoined.
    if (!m_stop) {
        if (Exit::Pending()) Exit::WakeMain();
        Park();
    }
}

}  // namespace Ipc
