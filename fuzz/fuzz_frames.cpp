// The frame receive path: an IpcService connected to a listener of this
// process on a free loopback port, fed complete frames, each delivered to
// OnIpcMessage as in the daemon and taken off the main queue again.
//
// Input: frames as on the wire ({length, type} in host order, then the
// payload), each length cut to what the input still holds; trailing bytes
// too few for a header are dropped.  A header split across reads, or a
// closed link, ends the daemon by design, so neither is ever sent.  Every
// callback and every queue item must carry exactly the type, size and bytes
// sent.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "ipc_service.h"
#include "request_loop.h"

namespace {

struct SFrame {
    uint32_t type;
    std::string payload;
};

struct SLink {
    Ipc::IpcService* service = nullptr;
    int peer = -1;  // the RTOS side's end

    std::mutex lock;
    std::condition_variable delivered;
    const std::vector<SFrame>* expected = nullptr;
    size_t callbacks = 0;
};

SLink& Link() {
    static SLink* link = [] {
        auto* l = new SLink;
        const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;  // any free port
        socklen_t addrLength = sizeof addr;
        FUZZ_REQUIRE(listener >= 0);
        FUZZ_REQUIRE(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0);
        FUZZ_REQUIRE(listen(listener, 1) == 0);
        FUZZ_REQUIRE(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &addrLength) == 0);

        PalQueueCreate(&g_mainMsgQueue, "MainMsgQueue", sizeof(SMainMsg), kMainQueueDepth, g_mainMsgStorage);
        SDaemonSettings settings;
        settings.timeScale = 0.001;  // connect retries after 1 ms
        l->service = new Ipc::IpcService(ntohs(addr.sin_port), settings);
        // The connection completes in the listen backlog; Start returns
        // after the registration frame is written.
        l->service->Start(
            [l](Ipc::EIpcMsgType type, const uint8_t* data, unsigned size, void* userData) {
                std::unique_lock<std::mutex> guard(l->lock);
                FUZZ_REQUIRE(userData == l);
                FUZZ_REQUIRE(l->expected != nullptr && l->callbacks < l->expected->size());
                const SFrame& frame = (*l->expected)[l->callbacks];
                FUZZ_REQUIRE(static_cast<uint32_t>(type) == frame.type);
                FUZZ_REQUIRE(size == frame.payload.size());
                FUZZ_REQUIRE((data == nullptr) == (size == 0));
                FUZZ_REQUIRE(size == 0 || memcmp(data, frame.payload.data(), size) == 0);
                guard.unlock();
                // eMsgTerminate would make OnIpcMessage drop every later
                // frame for good, as the daemon must; it is checked above only.
                if (type != Ipc::eMsgTerminate) OnIpcMessage(type, data, size, nullptr);
                guard.lock();
                ++l->callbacks;
                l->delivered.notify_all();
            },
            l);
        l->peer = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        FUZZ_REQUIRE(l->peer >= 0);
        close(listener);
        const int noDelay = 1;
        setsockopt(l->peer, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        uint32_t registration[2] = {~0u, ~0u};
        FUZZ_REQUIRE(read(l->peer, registration, sizeof registration) == sizeof registration);
        FUZZ_REQUIRE(registration[0] == 0 && registration[1] == Ipc::eMsgRegister);
        return l;
    }();
    return *link;
}

void SendAll(int fd, const char* bytes, size_t count) {
    while (count > 0) {
        const ssize_t n = send(fd, bytes, count, MSG_NOSIGNAL);
        FUZZ_REQUIRE(n > 0);
        bytes += n;
        count -= static_cast<size_t>(n);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuietStdout();
    std::vector<SFrame> frames;
    size_t at = 0;
    while (size - at >= 8) {
        uint32_t header[2];
        memcpy(header, data + at, sizeof header);
        at += sizeof header;
        const size_t length = header[0] < size - at ? header[0] : size - at;
        frames.push_back({header[1], std::string(reinterpret_cast<const char*>(data + at), length)});
        at += length;
    }
    if (frames.empty()) return 0;

    SLink& link = Link();
    {
        std::lock_guard<std::mutex> guard(link.lock);
        link.expected = &frames;
        link.callbacks = 0;
    }
    size_t queued = 0;
    for (const SFrame& frame : frames) {
        // The header with the first half of the payload, then the rest: the
        // receiver must put split payloads back together.
        const uint32_t header[2] = {static_cast<uint32_t>(frame.payload.size()), frame.type};
        const size_t half = frame.payload.size() / 2;
        std::string first(reinterpret_cast<const char*>(header), sizeof header);
        first.append(frame.payload, 0, half);
        SendAll(link.peer, first.data(), first.size());
        SendAll(link.peer, frame.payload.data() + half, frame.payload.size() - half);
        if (frame.type != Ipc::eMsgTerminate) ++queued;
    }
    // Take the queue items in order; a lost frame hangs here and libFuzzer's
    // time-out reports it.
    size_t taken = 0;
    for (const SFrame& frame : frames) {
        if (frame.type == Ipc::eMsgTerminate) continue;
        SMainMsg item{};
        PalQueueReceive(&g_mainMsgQueue, &item, -1);
        FUZZ_REQUIRE(static_cast<uint32_t>(item.type) == frame.type);
        FUZZ_REQUIRE(item.size == frame.payload.size());
        FUZZ_REQUIRE((item.data == nullptr) == frame.payload.empty());
        if (item.data != nullptr) {
            FUZZ_REQUIRE(memcmp(item.data, frame.payload.data(), item.size) == 0);
            FUZZ_REQUIRE(item.data[item.size] == 0);
        }
        free(item.data);
        ++taken;
    }
    FUZZ_REQUIRE(taken == queued);
    std::unique_lock<std::mutex> guard(link.lock);
    link.delivered.wait(guard, [&] { return link.callbacks == frames.size(); });
    link.expected = nullptr;
    return 0;
}
