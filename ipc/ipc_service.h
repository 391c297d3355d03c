// The daemon's link to the RTOS side: a TCP client exchanging frames of an
// 8-byte header {length, type} and an opaque payload.
#pragma once

#include <sys/uio.h>

#include <cstdint>
#include <functional>

#include "ipc_msg_type.h"
#include "settings.h"

namespace Ipc {

// Called on ReceiveThread once per frame; data is null when size is 0 and
// lives only for the call.
using MsgCallback = std::function<void(EIpcMsgType type, const uint8_t* data, unsigned size, void* userData)>;

class IpcService {
public:
    explicit IpcService(uint16_t port);
    IpcService(uint16_t port, const SDaemonSettings& settings);
    ~IpcService();
    IpcService(const IpcService&) = delete;
    IpcService& operator=(const IpcService&) = delete;

    // Connects (retrying every second without limit), starts ReceiveThread and
    // sends eMsgRegister.  Returns only with the link up; any failure ends the
    // process with status 1.
    void Start(const MsgCallback& callback, void* userData);
    void Stop();
    bool Send(EIpcMsgType type, const void* data, unsigned size);

    struct Impl;

private:
    Impl* m_impl;
};

// After a write of `written` bytes from `left` parts starting at `next`:
// moves `next` past the parts sent whole and the rest of the part sent in
// part, and returns how many parts are left.
int SkipWritten(iovec*& next, int left, size_t written);

}  // namespace Ipc
