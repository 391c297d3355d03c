// IpcService over loopback against a test RTOS side on a free port.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <string>

#include "cmd_response.h"
#include "ipc_service.h"
#include "rtos_peer.h"

namespace {

using namespace std::chrono_literals;

SDaemonSettings Fast() {
    SDaemonSettings s;
    s.timeScale = 0.01;
    return s;
}

class IpcLink : public testing::Test {
protected:
    void SetUp() override {
        service = std::make_unique<Ipc::IpcService>(peer.Port(), Fast());
        service->Start([](Ipc::EIpcMsgType, const uint8_t*, unsigned, void*) {}, nullptr);
        ASSERT_TRUE(peer.AcceptRegistered(5s));
    }
    // The service goes first: a peer closing under a running ReceiveThread
    // is a fatal link fault.
    void TearDown() override { service.reset(); }

    RtosPeer peer;
    std::unique_ptr<Ipc::IpcService> service;
};

// Receiving is the frames fuzz replay's (fuzz_frames).
TEST_F(IpcLink, SendsWholeResponsesWithoutDelay) {
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
