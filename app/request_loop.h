// The hand-over between ReceiveThread and the main thread, and the loop that
// serves one request at a time.
#pragma once

#include <cstdint>

#include "ipc_msg_type.h"
#include "ipc_service.h"
#include "pal.h"

struct SMainMsg {
    Ipc::EIpcMsgType type;
    uint8_t* data;  // malloc'ed copy of the payload, or null
    uint32_t size;  // 0 whenever data is null
};

// 12 bytes on the 32-bit board, 24 on a 64-bit host: nothing here may assume
// a 64-bit pointer.
static_assert(sizeof(SMainMsg) == (sizeof(void*) == 4 ? 12 : 24), "the main queue's item");

constexpr uint32_t kMainQueueDepth = 16;

extern PalQueue g_mainMsgQueue;
extern unsigned char g_mainMsgStorage[kMainQueueDepth * sizeof(SMainMsg)];

// ReceiveThread: one queue item per frame.  The copy carries one zero byte
// after the payload, so a text payload always ends within its block.
void OnIpcMessage(Ipc::EIpcMsgType type, const uint8_t* data, unsigned size, void* userData);

void SigHandler(int signal);

// Prints the signal line; runs on the main thread just before the exit.
void ReportSignal(int signal);

// Lets the main thread out of its queue wait when an exit is requested.
void WakeRequestLoop();

// Takes items until eMsgTerminate; answers each request under its own type.
void ServeRequests(Ipc::IpcService& ipc);
