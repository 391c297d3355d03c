// The hand-over to the main queue and the payload guard in front of the
// operations; which types are routed is shown by the bad-input walk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "dispatch.h"
#include "request_loop.h"

namespace {

using Ipc::EIpcMsgType;

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

}  // namespace
