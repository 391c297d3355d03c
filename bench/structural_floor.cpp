// The structural floor: the cheapest program with the daemon's fixed shape,
// for the benchmark only.  A receive thread reads each frame and hands it to
// the main thread through a locked queue; the main thread flushes the port,
// writes "AT+CSQ\r\n", polls and reads until "OK\r\n", prints the daemon's
// console lines and sends one 1040-byte response.  What the daemon would
// cost if its own code cost nothing.
//
// Settings as sim7100d-dev takes them: SIM7100D_PORT, SIM7100D_DEVICE.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "sim7100_protocol.h"

namespace {

struct SItem {
    uint32_t type;
    unsigned char* data;
    uint32_t size;
};

// Fixed ring: the daemon's queue holds 16 items.
class CQueue {
public:
    // Notified after the unlock: the woken thread finds the lock free.
    void Push(const SItem& item) {
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_notFull.wait(lock, [this] { return m_count < kDepth; });
            m_items[(m_head + m_count) % kDepth] = item;
            ++m_count;
        }
        m_notEmpty.notify_one();
    }
    SItem Pop() {
        SItem item;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_notEmpty.wait(lock, [this] { return m_count > 0; });
            item = m_items[m_head];
            m_head = (m_head + 1) % kDepth;
            --m_count;
        }
        m_notFull.notify_one();
        return item;
    }

private:
    static constexpr unsigned kDepth = 16;
    std::mutex m_lock;
    std::condition_variable m_notEmpty, m_notFull;
    SItem m_items[kDepth]{};
    unsigned m_head = 0, m_count = 0;
};

CQueue g_queue;
int g_socket = -1;

bool ReadAll(int fd, void* buffer, size_t size) {
    auto* p = static_cast<unsigned char*>(buffer);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = read(fd, p + got, size - got);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

void ReceiveLoop() {
    for (;;) {
        uint32_t header[2];
        if (!ReadAll(g_socket, header, sizeof header)) break;
        SItem item{header[1], nullptr, header[0]};
        if (item.size != 0) {
            item.data = static_cast<unsigned char*>(malloc(item.size));
            if (item.data == nullptr || !ReadAll(g_socket, item.data, item.size)) break;
        }
        g_queue.Push(item);
        if (item.type == SIM7100_MSG_TERMINATE) return;
    }
    // The link is gone: end the main thread too.
    g_queue.Push({SIM7100_MSG_TERMINATE, nullptr, 0});
}

int OpenPort(const char* path) {
    const int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    tcsetattr(fd, TCSANOW, &t);
    tcflush(fd, TCIOFLUSH);
    return fd;
}

bool EndsWith(const char* data, size_t length, const char* tail) {
    const size_t n = strlen(tail);
    return length >= n && memcmp(data + length - n, tail, n) == 0;
}

// One exchange; the answer is left in `answer`.  0 ok, -101 error, -102
// pending after the retries.
int Exchange(int fd, const char* command, char* answer, size_t room) {
    printf("Send modem cmd %s\n", command);
    tcflush(fd, TCIFLUSH);
    const size_t length = strlen(command);
    if (write(fd, command, length) != static_cast<ssize_t>(length)) return -100;
    size_t received = 0;
    int status = -102;
    memset(answer, 0, room);
    for (int retries = 20; retries > 0 && received + 1 < room;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0 || !(p.revents & POLLIN)) {
            --retries;
            continue;
        }
        const ssize_t n = read(fd, answer + received, room - 1 - received);
        if (n < 0) break;
        received += static_cast<size_t>(n);
        if (EndsWith(answer, received, "OK\r\n")) {
            status = 0;
            break;
        }
        if (EndsWith(answer, received, "ERROR\r\n")) {
            status = -101;
            break;
        }
        --retries;
    }
    printf("LTE modem response %s, status %d\n", answer, status);
    return status;
}

}  // namespace

int main() {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const char* portText = getenv("SIM7100D_PORT");
    const char* device = getenv("SIM7100D_DEVICE");
    if (portText == nullptr || device == nullptr) {
        fputs("sim7100-structural-floor: set SIM7100D_PORT and SIM7100D_DEVICE\n", stderr);
        return 2;
    }
    g_socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(atoi(portText)));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(g_socket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        perror("sim7100-structural-floor: connect");
        return 1;
    }
    const int one = 1;
    setsockopt(g_socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::thread receiver(ReceiveLoop);
    const uint32_t registration[2] = {0, SIM7100_MSG_REGISTER};
    if (write(g_socket, registration, sizeof registration) != sizeof registration) return 1;

    int port = -1;
    char answer[4097];
    unsigned char frame[8 + sizeof(SCmdResponseData)];
    for (;;) {
        const SItem item = g_queue.Pop();
        printf("Sim7100 message of type %d data %p size %u received\n", static_cast<int>(item.type),
               static_cast<void*>(item.data), item.size);
        if (item.type == SIM7100_MSG_TERMINATE) break;
        SCmdResponseData r{};
        r.cmdStatus = SIM7100_STATUS_OK;
        if (item.type == SIM7100_MSG_POWER_ON) {
            if (port < 0) port = OpenPort(device);
            if (port < 0) r.cmdStatus = SIM7100_STATUS_FAILED;
        } else if (port < 0) {
            r.cmdStatus = SIM7100_STATUS_FAILED;
        } else {
            const int status = Exchange(port, "AT+CSQ\r\n", answer, sizeof answer);
            unsigned rssi = 0, ber = 0;
            const char* at = strstr(answer, "+CSQ: ");
            if (status == 0 && at != nullptr && sscanf(at, "+CSQ: %u,%u", &rssi, &ber) == 2) {
                r.errCode = static_cast<int32_t>(rssi);
            } else {
                r.cmdStatus = SIM7100_STATUS_FAILED;
                r.errCode = status;
            }
            snprintf(r.text, sizeof r.text, "CSQ: %.*s", static_cast<int>(sizeof r.text) - 6, answer);
        }
        printf("Sim7100 Response cmdStatus: %d, errCode: %d, text %s\n", r.cmdStatus, r.errCode, r.text);
        const uint32_t header[2] = {sizeof r, item.type};
        memcpy(frame, header, sizeof header);
        memcpy(frame + sizeof header, &r, sizeof r);
        if (write(g_socket, frame, sizeof frame) != static_cast<ssize_t>(sizeof frame)) break;
        free(item.data);
    }
    shutdown(g_socket, SHUT_RDWR);
    receiver.join();
    close(g_socket);
    if (port >= 0) close(port);
    return 0;
}
