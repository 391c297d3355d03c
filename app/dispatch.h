// Request type -> operation, with the payload layout each one reads.
#pragma once

#include <cstdint>

#include "cmd_response.h"
#include "ipc_msg_type.h"

struct SRequestRoute {
    const char* name;
    // Bytes the operation reads from its payload; 0 for none.  A shorter
    // payload is refused before any modem traffic.
    uint32_t layoutSize;
    SCmdResponse (*run)(const uint8_t* data, uint32_t size);
    // The payload is a text that ends at its first zero byte or the payload's
    // end; an empty one is refused like a missing payload.
    bool text = false;
};

// The route of a request type (3 to 38), or null for every other type.
const SRequestRoute* RouteOf(Ipc::EIpcMsgType type);

// Checks the payload against the layout, then runs the operation.  data must
// carry a zero byte at data[size] (the request loop's copies do).
SCmdResponse Dispatch(const SRequestRoute& route, const uint8_t* data, uint32_t size);
