// The send path's continuation after short writes (loopback never makes
// them), a send the socket cannot take, and registration as soon as a
// listening peer accepts.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "cmd_response.h"
#include "ipc_service.h"
#include "rtos_peer.h"

namespace {

using namespace std::chrono_literals;

TEST(SkipWritten, EachShortWriteContinuesWhereItStopped) {
    const struct {
        const char* name;
        size_t payload;
        std::vector<size_t> writes;
    } cases[] = {
        {"the frame at once", 1032, {1040}},
        {"the header in pieces", 1032, {1, 6, 1, 1032}},
        {"across the header's end", 1032, {5, 10, 1025}},
        {"up to the header's end, then the payload in two", 1032, {8, 1000, 32}},
        {"a header-only frame in two", 0, {3, 5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string header = "HEADER-8", payload(c.payload, '\0');
        for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>('a' + i % 26);
        const std::string stream = header + payload;
        iovec parts[2] = {{header.data(), header.size()}, {payload.data(), payload.size()}};
        iovec* next = parts;
        int left = c.payload != 0 ? 2 : 1;
        size_t sent = 0;
        for (const size_t written : c.writes) {
            left = Ipc::SkipWritten(next, left, written);
            sent += written;
            std::string rest;
            for (int i = 0; i < left; ++i) rest.append(static_cast<const char*>(next[i].iov_base), next[i].iov_len);
            EXPECT_EQ(rest, stream.substr(sent)) << "after " << sent << " bytes";
        }
        EXPECT_EQ(left, 0);
    }
}

// The first attempt is collected as soon as it completes, not after the
// pause between attempts (10 s here).
TEST(IpcStart, RegistersAsSoonAsAListeningPeerAccepts) {
    RtosPeer peer;
    SDaemonSettings slow;
    slow.timeScale = 10;
    Ipc::IpcService service(peer.Port(), slow);
    const auto start = std::chrono::steady_clock::now();
    service.Start(nullptr, nullptr);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(peer.AcceptRegistered(5s));
    service.Stop();
}

// The link's descriptor turns into one that never takes output (a pipe's
// read end, its writer gone): the send gives up on the poll, without writing.
TEST(IpcSendDeathTest, ASendTheSocketCannotTakeFailsAtThePoll) {
    auto send = [] {
        RtosPeer peer;
        SDaemonSettings fast;
        fast.timeScale = 0.01;
        Ipc::IpcService service(peer.Port(), fast);
        service.Start(nullptr, nullptr);
        if (!peer.AcceptRegistered(5s)) _exit(3);
        int dead[2];
        if (pipe(dead) != 0) _exit(3);
        close(dead[1]);
        for (int fd = 0; fd < 1024; ++fd) {
            sockaddr_in to{};
            socklen_t size = sizeof to;
            if (getpeername(fd, reinterpret_cast<sockaddr*>(&to), &size) == 0 && to.sin_family == AF_INET &&
                ntohs(to.sin_port) == peer.Port()) {
                dup2(dead[0], fd);
            }
        }
        const SCmdResponse record;
        _exit(service.Send(Ipc::eMsgPowerOn, &record, sizeof(SCmdResponseData)) ? 1 : 0);
    };
    EXPECT_EXIT(send(), testing::ExitedWithCode(0), "\\[ERROR\\] Send data to RTOS on poll\\.");
}

}  // namespace
