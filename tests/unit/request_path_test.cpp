// The path of a request inside the daemon: the main queue and its order, the
// payload guard in front of the operations, and the response record, whose
// every byte travels.  Which types are routed is shown by the bad-input walk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "cmd_response.h"
#include "dispatch.h"
#include "request_loop.h"

namespace {

using Ipc::EIpcMsgType;

// First in, first out, flagged items first, also across the end of the
// storage with the queue full.  A full queue holding its sender is shown by
// the pipelined link tests.
TEST(PalQueue, FirstInFirstOutUnlessFlagged) {
    PalQueue q{};
    int storage[4];
    ASSERT_EQ(PalQueueCreate(&q, "TestQueue", sizeof(int), 4, storage), 0);
    const auto send = [&](int value, uint32_t flag) { PalQueueSend(&q, &value, -1, flag); };
    const auto take = [&](size_t n) {
        std::vector<int> out(n);
        for (int& value : out) PalQueueReceive(&q, &value, -1);
        return out;
    };
    send(1, 0);
    send(2, 0);
    send(9, 1);
    EXPECT_EQ(take(3), (std::vector<int>{9, 1, 2}));
    for (int v : {3, 4, 5}) send(v, 0);
    EXPECT_EQ(take(1), std::vector<int>{3});
    send(6, 0);
    send(7, 1);
    EXPECT_EQ(take(4), (std::vector<int>{7, 4, 5, 6}));
    PalQueueDelete(&q);
}

// Terminate overtakes what waits, and frames behind it are not queued: the
// loop never takes them, and a full queue would block ReceiveThread while
// Stop waits for it.
TEST(RequestLoop, TerminateGoesFirstAndFramesAfterItAreDropped) {
    ASSERT_EQ(PalQueueCreate(&g_mainMsgQueue, "MainMsgQueue", sizeof(SMainMsg), kMainQueueDepth, g_mainMsgStorage), 0);
    const uint8_t payload[] = {1};
    OnIpcMessage(Ipc::eMsgGetSignalQuality, nullptr, 0, nullptr);
    OnIpcMessage(Ipc::eMsgTerminate, nullptr, 0, nullptr);
    OnIpcMessage(Ipc::eMsgSetSmsMode, payload, 1, nullptr);
    OnIpcMessage(Ipc::eMsgGetSignalQuality, nullptr, 0, nullptr);
    std::vector<int> types;
    for (SMainMsg item{}; PalQueueReceive(&g_mainMsgQueue, &item, 0) == 0; free(item.data)) types.push_back(item.type);
    EXPECT_EQ(types, (std::vector<int>{Ipc::eMsgTerminate, Ipc::eMsgGetSignalQuality}));
    PalQueueDelete(&g_mainMsgQueue);
}

// The guard refuses payloads shorter than the layout, and empty texts; a
// payload that fits reaches the operation, which (the process's modem never
// powered on) refuses with its own text.  Unterminated strings: the bad-input
// walk.
TEST(Dispatch, RefusesShortPayloadsAndRunsTheOperationOtherwise) {
    const struct {
        EIpcMsgType type;
        int size;  // -1: no payload at all
        const char* text;
    } cases[] = {
        {Ipc::eMsgSetAuthentication, -1, "Invalid request payload: 0 bytes, 512 expected"},
        {Ipc::eMsgSetAuthentication, 511, "Invalid request payload: 511 bytes, 512 expected"},
        {Ipc::eMsgSetErrorReporting, -1, "Invalid request payload: 0 bytes, 1 expected"},
        {Ipc::eMsgSetErrorReporting, 1, "Invalid request payload: 1 bytes, 1 expected"},  // an empty text
        {Ipc::eMsgGetChipType, -1, "Chip is not initialized!"},
        {Ipc::eMsgSetSmsMode, 1, "Chip is not initialized!"},
        {Ipc::eMsgSetErrorReporting, 2, "Chip is not initialized!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + ": " + c.text);
        // The request loop's copies carry a zero byte after the payload; an
        // empty text is a zero first byte.
        std::vector<uint8_t> block(c.size < 0 ? 1 : c.size + 1, c.size == 1 && c.text[0] == 'I' ? 0 : '2');
        block.back() = 0;
        const SCmdResponse r =
            Dispatch(*RouteOf(c.type), c.size < 0 ? nullptr : block.data(), c.size < 0 ? 0 : uint32_t(c.size));
        EXPECT_EQ(r.cmdStatus, 2);
        EXPECT_EQ(r.errCode, -2);
        EXPECT_STREQ(r.text, c.text);
    }
}

using Bytes = std::vector<unsigned char>;

// The little-endian wire image of a record.
Bytes Image(int32_t status, int32_t code, const std::string& text) {
    Bytes b(1032, 0);
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<unsigned char>(static_cast<uint32_t>(status) >> (8 * i));
        b[4 + i] = static_cast<unsigned char>(static_cast<uint32_t>(code) >> (8 * i));
    }
    memcpy(b.data() + 8, text.data(), text.size());
    return b;
}

// Each constructor over memory full of garbage leaves no byte of it.
TEST(CmdResponse, ConstructorsZeroAllBytesFirst) {
    const struct {
        const char* name;
        std::function<void(void*)> build;
        Bytes image;
    } cases[] = {
        {"default", [](void* p) { new (p) SCmdResponse(); }, Image(1, 0, "")},
        {"success", [](void* p) { new (p) SCmdResponse("%s,%d", "up", -5); }, Image(1, 0, "up,-5")},
        {"failure", [](void* p) { new (p) SCmdResponse(-2, "%s", "SIM not inserted or chip fail"); },
         Image(2, -2, "SIM not inserted or chip fail")},
        {"percent kept", [](void* p) { new (p) SCmdResponse(-101, "Chip internal fail! %s", "100% %s%n"); },
         Image(2, -101, "Chip internal fail! 100% %s%n")},
    };
    for (const auto& c : cases) {
        alignas(SCmdResponse) unsigned char raw[sizeof(SCmdResponse)];
        memset(raw, 0xAB, sizeof raw);
        c.build(raw);
        EXPECT_EQ(Bytes(raw, raw + sizeof raw), c.image) << c.name;
    }
}

}  // namespace
