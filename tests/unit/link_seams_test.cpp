// The send path's continuation after short writes (loopback never makes
// them), and registration as soon as a listening peer accepts.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

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

}  // namespace
