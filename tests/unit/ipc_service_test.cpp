// IpcService over loopback against a test listener on a free port.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cmd_response.h"
#include "ipc_service.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<unsigned char>;

// The RTOS side: listens on 127.0.0.1 at a port the system picks.
class Listener {
public:
    Listener() {
        m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof addr;
        if (bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(m_listen, 4) != 0 ||
            getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &length) != 0) {
            ADD_FAILURE() << "cannot listen on loopback";
        }
        m_port = ntohs(addr.sin_port);
    }
    ~Listener() {
        if (m_peer >= 0) close(m_peer);
        close(m_listen);
    }
    uint16_t Port() const { return m_port; }

    bool Accept() {
        if (!Ready(m_listen, POLLIN, 5000)) return false;
        m_peer = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        const int one = 1;
        setsockopt(m_peer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return m_peer >= 0;
    }
    // Exactly n bytes within the deadline; an empty result on end of stream.
    Bytes Read(size_t n) {
        Bytes out(n);
        size_t got = 0;
        while (got < n && Ready(m_peer, POLLIN, 5000)) {
            const ssize_t r = read(m_peer, out.data() + got, n - got);
            if (r <= 0) break;
            got += static_cast<size_t>(r);
        }
        out.resize(got);
        return out;
    }
    void Write(const Bytes& bytes) { ASSERT_EQ(write(m_peer, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

private:
    static bool Ready(int fd, short events, int ms) {
        pollfd p{fd, events, 0};
        return poll(&p, 1, ms) == 1;
    }
    int m_listen = -1;
    int m_peer = -1;
    uint16_t m_port = 0;
};

Bytes Header(uint32_t length, uint32_t type) {
    Bytes b(8);
    memcpy(b.data(), &length, 4);
    memcpy(b.data() + 4, &type, 4);
    return b;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct SFrame {
    uint32_t type;
    bool null;
    std::string data;
    void* userData;
    bool operator==(const SFrame& o) const {
        return type == o.type && null == o.null && data == o.data && userData == o.userData;
    }
};

void PrintTo(const SFrame& f, std::ostream* os) {
    *os << "{" << f.type << ", " << (f.null ? "null" : "data") << ", " << testing::PrintToString(f.data) << "}";
}

// What ReceiveThread handed over, in order.
class Inbox {
public:
    Ipc::MsgCallback Callback() {
        return [this](Ipc::EIpcMsgType type, const uint8_t* data, unsigned size, void* userData) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_frames.push_back({type, data == nullptr, std::string(reinterpret_cast<const char*>(data), size), userData});
            m_changed.notify_all();
        };
    }
    bool WaitFor(size_t n, std::chrono::milliseconds deadline) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, deadline, [&] { return m_frames.size() >= n; });
    }
    std::vector<SFrame> Frames() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_frames;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<SFrame> m_frames;
};

SDaemonSettings Fast() {
    SDaemonSettings s;
    s.timeScale = 0.01;
    return s;
}

class IpcLink : public testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<Ipc::IpcService>(listener.Port(), Fast());
        service->Start(inbox.Callback(), &inbox);
        ASSERT_TRUE(listener.Accept());
        registration = listener.Read(8);
    }
    // The service goes first: a peer closing under a running ReceiveThread
    // is a fatal link fault.
    void TearDown() override { service.reset(); }

    Listener listener;
    Inbox inbox;
    Bytes registration;
    std::unique_ptr<Ipc::IpcService> service;
};

TEST_F(IpcLink, AnnouncesItselfFirst) { EXPECT_EQ(registration, (Bytes{0, 0, 0, 0, 1, 0, 0, 0})); }

TEST_F(IpcLink, DeliversFramesWholeAndInOrder) {
    listener.Write(Header(0, 20));
    ASSERT_TRUE(inbox.WaitFor(1, 5s));

    // A payload in pieces is handed over only once complete.
    listener.Write(Header(5, 25) + Bytes{'A', 'B'});
    EXPECT_FALSE(inbox.WaitFor(2, 50ms));
    listener.Write(Bytes{'C', 'D', 'E'});
    ASSERT_TRUE(inbox.WaitFor(2, 5s));

    // Two frames in one segment.
    listener.Write(Header(1, 34) + Bytes{1} + Header(0, 13));
    ASSERT_TRUE(inbox.WaitFor(4, 5s));

    EXPECT_EQ(inbox.Frames(), (std::vector<SFrame>{{20, true, "", &inbox},
                                                    {25, false, "ABCDE", &inbox},
                                                    {34, false, "\x01", &inbox},
                                                    {13, true, "", &inbox}}));
}

TEST_F(IpcLink, ResponseIs1040BytesOnTheWire) {
    const SCmdResponse record(-101, "Chip internal fail! %s", "\r\nERROR\r\n");
    ASSERT_TRUE(service->Send(Ipc::eMsgGetSignalQuality, &record, sizeof(SCmdResponseData)));
    const Bytes wire = listener.Read(1040);
    ASSERT_EQ(wire.size(), 1040u);
    EXPECT_EQ(Bytes(wire.begin(), wire.begin() + 8), (Bytes{0x08, 0x04, 0, 0, 20, 0, 0, 0}));
    EXPECT_EQ(memcmp(wire.data() + 8, &record, 1032), 0);
}

TEST_F(IpcLink, StopTwiceThenSendFails) {
    service->Stop();
    service->Stop();
    EXPECT_TRUE(listener.Read(1).empty());  // the peer sees the end of the stream
    testing::internal::CaptureStderr();
    EXPECT_FALSE(service->Send(Ipc::eMsgPowerOn, nullptr, 0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[WARNING] Request send data to RTOS while socket is not initialized.\n");
}

TEST(IpcService, SendBeforeStartFailsAndStopIsHarmless) {
    Ipc::IpcService service(0, Fast());  // never started: no socket at all
    testing::internal::CaptureStderr();
    const SCmdResponse record;
    EXPECT_FALSE(service.Send(Ipc::eMsgPowerOn, &record, sizeof(SCmdResponseData)));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "[WARNING] Request send data to RTOS while socket is not initialized.\n");
    service.Stop();
    service.Stop();
}

}  // namespace
