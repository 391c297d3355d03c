// IpcService over loopback against a test RTOS side on a free port.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cmd_response.h"
#include "ipc_service.h"
#include "rtos_peer.h"

namespace {

using namespace std::chrono_literals;

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
            m_frames.push_back(
                {type, data == nullptr, std::string(reinterpret_cast<const char*>(data), size), userData});
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
        service = std::make_unique<Ipc::IpcService>(peer.Port(), Fast());
        service->Start(inbox.Callback(), &inbox);
        ASSERT_TRUE(peer.Accept(5s));
        registration = peer.ReadExact(8, 5s).value_or("");
    }
    // The service goes first: a peer closing under a running ReceiveThread
    // is a fatal link fault.
    void TearDown() override { service.reset(); }

    RtosPeer peer;
    Inbox inbox;
    std::string registration;
    std::unique_ptr<Ipc::IpcService> service;
};

TEST_F(IpcLink, AnnouncesItselfFirstThenDeliversFramesWholeAndInOrder) {
    EXPECT_EQ(registration, std::string("\0\0\0\0\1\0\0\0", 8));
    const std::string pieces = sim7100::EncodeFrame(25, "ABCDE");
    const struct {
        const char* name;
        std::string first, rest;  // rest, if any, comes once `first` alone was not enough
        std::vector<SFrame> frames;
    } cases[] = {
        {"no payload", sim7100::EncodeFrame(20), {}, {{20, true, "", &inbox}}},
        {"a payload in pieces", pieces.substr(0, 10), pieces.substr(10), {{25, false, "ABCDE", &inbox}}},
        {"two frames in one segment",
         sim7100::EncodeFrame(34, "\x01") + sim7100::EncodeFrame(13),
         {},
         {{34, false, "\x01", &inbox}, {13, true, "", &inbox}}},
    };
    std::vector<SFrame> expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(peer.SendRaw(c.first));
        if (!c.rest.empty()) {
            // Handed over only once complete.
            EXPECT_FALSE(inbox.WaitFor(expected.size() + 1, 50ms));
            ASSERT_TRUE(peer.SendRaw(c.rest));
        }
        expected.insert(expected.end(), c.frames.begin(), c.frames.end());
        ASSERT_TRUE(inbox.WaitFor(expected.size(), 5s));
        EXPECT_EQ(inbox.Frames(), expected);
    }
    // A response: 1040 bytes on the wire.
    const SCmdResponse record(-101, "Chip internal fail! %s", "\r\nERROR\r\n");
    ASSERT_TRUE(service->Send(Ipc::eMsgGetSignalQuality, &record, sizeof(SCmdResponseData)));
    const std::string wire = peer.ReadExact(1040, 5s).value_or("");
    ASSERT_EQ(wire.size(), 1040u);
    EXPECT_EQ(wire.substr(0, 8), std::string("\x08\x04\0\0\x14\0\0\0", 8));
    EXPECT_EQ(memcmp(wire.data() + 8, &record, 1032), 0);
    // Back-to-back responses must not wait for the peer's delayed ACK (about
    // 40 ms each): the service's end of the link, found among this process's
    // descriptors by its peer's port, has Nagle's algorithm off.
    int noDelay = 0;
    for (int fd = 0; fd < 1024; ++fd) {
        sockaddr_in to{};
        socklen_t size = sizeof to, optSize = sizeof noDelay;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&to), &size) == 0 && to.sin_family == AF_INET &&
            ntohs(to.sin_port) == peer.Port()) {
            ASSERT_EQ(getsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, &optSize), 0);
        }
    }
    EXPECT_NE(noDelay, 0);
}

// Stopped (twice) after a link, or never started: sending fails with a
// warning and the peer sees the end of the stream.
TEST_F(IpcLink, SendFailsOnceStoppedOrNeverStarted) {
    Ipc::IpcService never(0, Fast());
    for (Ipc::IpcService* s : {service.get(), &never}) {
        s->Stop();
        s->Stop();
        testing::internal::CaptureStderr();
        const SCmdResponse record;
        EXPECT_FALSE(s->Send(Ipc::eMsgPowerOn, &record, sizeof(SCmdResponseData)));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "[WARNING] Request send data to RTOS while socket is not initialized.\n");
    }
    EXPECT_TRUE(peer.WaitClosed(5s));
}

}  // namespace
