// The frame receive path: an IpcService connected to a listener of this
// process on a free loopback port, fed complete frames.  What the request
// loop does with them is the unit tests' business.
//
// Input: frames as on the wire ({length, type} in host order, then the
// payload), each length cut to what the input still holds; trailing bytes
// too few for a header are dropped.  A header split across reads, or a
// closed link, ends the daemon by design, so neither is ever sent.  The
// callbacks must carry exactly the types, sizes and bytes sent, in order.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "ipc_service.h"
#include "rtos_peer.h"

namespace {

struct SFrame {
    uint32_t type;
    std::string payload;
    bool operator==(const SFrame& o) const { return type == o.type && payload == o.payload; }
};

SFrame FrameOf(uint32_t type, const void* data, size_t size) {
    return {type, size == 0 ? std::string() : std::string(static_cast<const char*>(data), size)};
}

struct SLink {
    RtosPeer peer;
    Ipc::IpcService* service = nullptr;  // lives as long as the process
    std::mutex lock;
    std::condition_variable delivered;
    std::vector<SFrame> seen;  // by the callback, in order
};

SLink& Link() {
    static SLink* link = [] {
        auto* l = new SLink;
        SDaemonSettings settings;
        settings.timeScale = 0.001;  // connect retries after 1 ms
        // The connection completes in the listen backlog; Start returns
        // after the registration frame is written.
        l->service = new Ipc::IpcService(l->peer.Port(), settings);
        l->service->Start(
            [l](Ipc::EIpcMsgType type, const uint8_t* data, unsigned size, void* userData) {
                FUZZ_REQUIRE(userData == l && (data == nullptr) == (size == 0));
                std::lock_guard<std::mutex> guard(l->lock);
                l->seen.push_back(FrameOf(type, data, size));
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
        Sim7100FrameHeader header;
        memcpy(&header, data + at, sizeof header);
        at += sizeof header;
        const size_t length = header.length < size - at ? header.length : size - at;
        frames.push_back(FrameOf(header.type, data + at, length));
        at += length;
    }
    if (frames.empty()) return 0;

    SLink& link = Link();
    // Two writes: the frames before the middle one, with its header and the
    // first half of its payload, then the rest.  The receiver must take
    // several frames from one read and put a split payload back together.
    std::string bytes;
    size_t split = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (i == frames.size() / 2) split = bytes.size() + 8 + frames[i].payload.size() / 2;
        bytes += RtosPeer::Frame(frames[i].type, frames[i].payload);
    }
    FUZZ_REQUIRE(link.peer.SendRaw(bytes.substr(0, split)) && link.peer.SendRaw(bytes.substr(split)));
    // A lost frame hangs here and libFuzzer's time-out reports it.
    std::unique_lock<std::mutex> guard(link.lock);
    link.delivered.wait(guard, [&] { return link.seen.size() >= frames.size(); });
    FUZZ_REQUIRE(link.seen == frames);
    link.seen.clear();
    return 0;
}
