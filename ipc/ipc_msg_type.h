// The daemon's names for the message types of the wire header.
#pragma once

#include <cstdint>

#include "sim7100_protocol.h"

namespace Ipc {

enum EIpcMsgType : uint32_t {
    eMsgRegister = SIM7100_MSG_REGISTER,
    eMsgTerminate = SIM7100_MSG_TERMINATE,
#define SIM7100_IPC_MSG_TYPE(type, name, payload, size) eMsg##name = (type),
    SIM7100_REQUEST_TYPES(SIM7100_IPC_MSG_TYPE)
#undef SIM7100_IPC_MSG_TYPE
};

static_assert(sizeof(EIpcMsgType) == 4, "the type field is 32-bit");

}  // namespace Ipc
