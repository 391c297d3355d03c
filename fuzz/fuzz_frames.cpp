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
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "ipc_service.h"
#include "request_loop.h"
#include "rtos_peer.h"

namespace {

struct SFrame {
    uint32_t type;
    std::string payload;
};

struct SLink {
    Ipc::IpcService* service = nullptr;
    RtosPeer peer;

    std::mutex lock;
    std::condition_variable delivered;
    const std::vector<SFrame>* expected = nullptr;
    size_t callbacks = 0;
};

SLink& Link() {
    static SLink* link = [] {
        auto* l = new SLink;
        PalQueueCreate(&g_mainMsgQueue, "MainMsgQueue", sizeof(SMainMsg), kMainQueueDepth, g_mainMsgStorage);
        SDaemonSettings settings;
        settings.timeScale = 0.001;  // connect retries after 1 ms
        l->service = new Ipc::IpcService(l->peer.Port(), settings);
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
        FUZZ_REQUIRE(l->peer.AcceptRegistered(std::chrono::seconds(10)));
        return l;
    }();
    return *link;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuietStdout();
    std::vector<SFrame> frames;
    size_t at = 0;
    while (size - at >= 8) {
        const Sim7100FrameHeader header = sim7100::DecodeHeader(data + at);
        at += sizeof header;
        const size_t length = header.length < size - at ? header.length : size - at;
        frames.push_back({header.type, std::string(reinterpret_cast<const char*>(data + at), length)});
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
        const std::string bytes = sim7100::EncodeFrame(frame.type, frame.payload);
        const size_t half = 8 + frame.payload.size() / 2;
        FUZZ_REQUIRE(link.peer.SendRaw(bytes.substr(0, half)) && link.peer.SendRaw(bytes.substr(half)));
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
