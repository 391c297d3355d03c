// Request type -> operation; the payload checks in front of each operation
// come from the protocol header's request list.
#pragma once

#include <cstdint>

#include "cmd_response.h"
#include "ipc_msg_type.h"

struct SRequestRoute {
    Ipc::EIpcMsgType type;
    SCmdResponse (*run)(const uint8_t* data, uint32_t size);
};

// The route of a listed request type, or null for every other type.
const SRequestRoute* RouteOf(Ipc::EIpcMsgType type);

// Checks the payload against the list's entry for the type (size, empty
// text, strings ending within their fields), then runs the operation.  data
// must carry a zero byte at data[size] (the request loop's copies do).
SCmdResponse Dispatch(const SRequestRoute& route, const uint8_t* data, uint32_t size);
