// The request table and the payload guard in front of the operations.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "dispatch.h"

namespace {

using Ipc::EIpcMsgType;

TEST(Dispatch, RoutesExactlyTheRequestTypes) {
    for (uint32_t type : {0u, 1u, 2u, 39u, 0xFFFFFFFFu}) {
        EXPECT_EQ(RouteOf(EIpcMsgType(type)), nullptr) << type;
    }
    std::set<const SRequestRoute*> routes;
    for (uint32_t type = 3; type <= 38; ++type) {
        const SRequestRoute* route = RouteOf(EIpcMsgType(type));
        ASSERT_NE(route, nullptr) << type;
        routes.insert(route);
    }
    EXPECT_EQ(routes.size(), 36u);
}

// The guard refuses payloads shorter than the layout, and empty texts; a
// payload that fits reaches the operation, which (the process's modem never
// powered on) refuses with its own text.
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
        {Ipc::eMsgGetSignalQuality, 4, "Chip is not initialized!"},
        {Ipc::eMsgSetApn, 256, "Chip is not initialized!"},
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

}  // namespace
