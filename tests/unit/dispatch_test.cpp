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

TEST(Dispatch, RefusesPayloadsShorterThanTheLayout) {
    const struct {
        EIpcMsgType type;
        int size;  // -1: no payload at all
        const char* text;
    } cases[] = {
        {Ipc::eMsgSetAuthentication, -1, "Invalid request payload: 0 bytes, 512 expected"},
        {Ipc::eMsgSetAuthentication, 511, "Invalid request payload: 511 bytes, 512 expected"},
        {Ipc::eMsgSetApn, 255, "Invalid request payload: 255 bytes, 256 expected"},
        {Ipc::eMsgEnterPin, 63, "Invalid request payload: 63 bytes, 64 expected"},
        {Ipc::eMsgSetClock, 0, "Invalid request payload: 0 bytes, 40 expected"},
        {Ipc::eMsgSetTimeServer, -1, "Invalid request payload: 0 bytes, 256 expected"},
        {Ipc::eMsgSetSmsMode, -1, "Invalid request payload: 0 bytes, 1 expected"},
        {Ipc::eMsgListSms, 1, "Invalid request payload: 1 bytes, 2 expected"},
        {Ipc::eMsgReadSms, -1, "Invalid request payload: 0 bytes, 1 expected"},
        {Ipc::eMsgDeleteSms, 1, "Invalid request payload: 1 bytes, 2 expected"},
        {Ipc::eMsgWriteSms, 176, "Invalid request payload: 176 bytes, 177 expected"},
        {Ipc::eMsgSetErrorReporting, -1, "Invalid request payload: 0 bytes, 1 expected"},
        // An empty text is as good as none.
        {Ipc::eMsgSetErrorReporting, 1, "Invalid request payload: 1 bytes, 1 expected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        // The request loop's copies carry a zero byte after the payload.
        std::vector<uint8_t> block(c.size < 0 ? 1 : c.size + 1, 0);
        const uint8_t* data = c.size < 0 ? nullptr : block.data();
        const uint32_t size = c.size < 0 ? 0 : static_cast<uint32_t>(c.size);
        const SCmdResponse r = Dispatch(*RouteOf(c.type), data, size);
        EXPECT_EQ(r.cmdStatus, 2);
        EXPECT_EQ(r.errCode, -2);
        EXPECT_STREQ(r.text, c.text);
    }
}

TEST(Dispatch, RunsTheOperationWhenThePayloadFits) {
    // The process's modem was never powered on, so each operation refuses
    // with its own text, not the payload guard's.
    const struct {
        EIpcMsgType type;
        std::vector<uint8_t> payload;
    } cases[] = {
        {Ipc::eMsgGetChipType, {}},
        {Ipc::eMsgGetSignalQuality, {1, 2, 3, 4}},
        {Ipc::eMsgSetApn, std::vector<uint8_t>(256, 'a')},
        {Ipc::eMsgSetSmsMode, {1}},
        {Ipc::eMsgSetErrorReporting, {'2'}},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> block = c.payload;
        block.push_back(0);
        const SCmdResponse r =
            Dispatch(*RouteOf(c.type), c.payload.empty() ? nullptr : block.data(), static_cast<uint32_t>(c.payload.size()));
        EXPECT_EQ(r.cmdStatus, 2) << c.type;
        EXPECT_EQ(r.errCode, -2) << c.type;
        EXPECT_STREQ(r.text, "Chip is not initialized!") << c.type;
    }
}

}  // namespace
