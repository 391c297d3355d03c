// The IPC link in-process over loopback, against a test RTOS side on a free
// port; short writes are made up, as loopback never makes them.  Receiving is
// the frames fuzz replay's (fuzz_frames).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "cmd_response.h"
#include "ipc_service.h"
#include "rtos_peer.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

SDaemonSettings Scaled(double timeScale) {
    SDaemonSettings s;
    s.timeScale = timeScale;
    return s;
}

// What the board relies on, in the build it runs: the module's AT port, the
// RTOS side's port and the trace file on its SD card, in real time.
TEST(ProductionSettings, AreTheBoardsPortsAndTraceFile) {
    const SDaemonSettings& s = ProcessSettings();
    EXPECT_EQ(s.device, "/dev/ttyUSB2");
    EXPECT_EQ(s.port, 50001);
    EXPECT_EQ(s.traceFile, "/tmp/SD0/LteDebug.txt");
    EXPECT_EQ(s.timeScale, 1.0);
}

// A peer and a started service; the service goes first, as a peer closing
// under a running ReceiveThread is a fatal link fault.
struct SLink {
    explicit SLink(double timeScale) : service(peer.Port(), Scaled(timeScale)) { service.Start(nullptr, nullptr); }
    RtosPeer peer;
    Ipc::IpcService service;
};

// The service's end of the link, found among this process's descriptors by
// its peer's port; -1 when there is none.
int ServiceFd(const RtosPeer& peer) {
    for (int fd = 0; fd < 1024; ++fd) {
        sockaddr_in to{};
        socklen_t size = sizeof to;
        if (getpeername(fd, reinterpret_cast<sockaddr*>(&to), &size) == 0 && to.sin_family == AF_INET &&
            ntohs(to.sin_port) == peer.Port()) {
            return fd;
        }
    }
    return -1;
}

TEST(IpcSend, AResponseGoesOutWholeWithoutDelay) {
    SLink link(0.01);
    ASSERT_TRUE(link.peer.AcceptRegistered(5s));
    const SCmdResponse record(-101, "Chip internal fail! %s", "\r\nERROR\r\n");
    ASSERT_TRUE(link.service.Send(Ipc::eMsgGetSignalQuality, &record, sizeof(SCmdResponseData)));
    EXPECT_EQ(link.peer.ReadExact(1040, 5s).value_or(""), RtosPeer::Frame(Ipc::eMsgGetSignalQuality, record));
    // Back-to-back responses must not wait for the peer's delayed ACK (about
    // 40 ms each): Nagle's algorithm is off.
    int noDelay = 0;
    socklen_t size = sizeof noDelay;
    ASSERT_EQ(getsockopt(ServiceFd(link.peer), IPPROTO_TCP, TCP_NODELAY, &noDelay, &size), 0);
    EXPECT_NE(noDelay, 0);
}

// Stopped (twice) after a link, or never started: sending fails with a
// warning and the peer sees the end of the stream.
TEST(IpcSend, FailsOnceStoppedOrNeverStarted) {
    SLink link(0.01);
    ASSERT_TRUE(link.peer.AcceptRegistered(5s));
    Ipc::IpcService never(0, Scaled(0.01));
    for (Ipc::IpcService* s : {&link.service, &never}) {
        s->Stop();
        s->Stop();
        testing::internal::CaptureStderr();
        const SCmdResponse record;
        EXPECT_FALSE(s->Send(Ipc::eMsgPowerOn, &record, sizeof(SCmdResponseData)));
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "[WARNING] Request send data to RTOS while socket is not initialized.\n");
    }
    EXPECT_TRUE(link.peer.WaitClosed(5s));
}

// The link's descriptor turns into one that never takes output (a pipe's
// read end, its writer gone): the send gives up on the poll, without writing.
TEST(IpcSendDeathTest, ASendTheSocketCannotTakeFailsAtThePoll) {
    auto send = [] {
        SLink link(0.01);
        int dead[2];
        if (!link.peer.AcceptRegistered(5s) || pipe(dead) != 0) _exit(3);
        close(dead[1]);
        if (dup2(dead[0], ServiceFd(link.peer)) < 0) _exit(3);
        const SCmdResponse record;
        _exit(link.service.Send(Ipc::eMsgPowerOn, &record, sizeof(SCmdResponseData)) ? 1 : 0);
    };
    EXPECT_EXIT(send(), testing::ExitedWithCode(0), "\\[ERROR\\] Send data to RTOS on poll\\.");
}

// The first attempt is collected as soon as it completes, not after the
// pause between attempts (10 s here).
TEST(IpcStart, RegistersAsSoonAsAListeningPeerAccepts) {
    const auto start = std::chrono::steady_clock::now();
    SLink link(10);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(link.peer.AcceptRegistered(5s));
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
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
#ifdef SIM7100_UNDER_QEMU_USER
        GTEST_SKIP() << "qemu-user refuses seccomp filters";  // the armhf run's one skip, under CI too
#else
        SIM7100_SKIP_OR_FAIL("unit", "no seccomp filters here");
#endif
    }
    auto start = [] {
        RtosPeer peer;
        Ipc::IpcService service(peer.Port(), Scaled(0.01));
        if (!FailEveryWritev()) _exit(3);
        service.Start(nullptr, nullptr);
        _exit(0);
    };
    EXPECT_EXIT(start(), testing::ExitedWithCode(1), "\\[ERROR\\] Send data to RTOS on write\\.");
}

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

}  // namespace
