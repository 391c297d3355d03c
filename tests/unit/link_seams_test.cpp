// The send path's continuation after short writes (loopback never makes
// them), a send the socket cannot take, a registration frame that cannot be
// sent, and registration as soon as a listening peer accepts.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

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

// Every writev of this process fails as if the peer had reset the
// connection: the registration frame is the first one, and no real peer can
// reset between the connect and that first write on cue.
bool FailEveryWritev() {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_writev, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ECONNRESET),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{sizeof filter / sizeof filter[0], filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TEST(IpcStartDeathTest, AnUnsentRegistrationFrameEndsWithStatusOne) {
    // qemu-user refuses seccomp filters, so the cross build cannot see this.
    const pid_t probe = fork();
    if (probe == 0) _exit(FailEveryWritev() ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(probe, &status, 0), probe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) GTEST_SKIP() << "no seccomp filters here";
    auto start = [] {
        RtosPeer peer;
        SDaemonSettings fast;
        fast.timeScale = 0.01;
        Ipc::IpcService service(peer.Port(), fast);
        if (!FailEveryWritev()) _exit(3);
        service.Start(nullptr, nullptr);
        _exit(0);
    };
    EXPECT_EXIT(start(), testing::ExitedWithCode(1), "\\[ERROR\\] Send data to RTOS on write\\.");
}

}  // namespace
