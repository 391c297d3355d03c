#include "request_loop.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dispatch.h"
#include "process_exit.h"

PalQueue g_mainMsgQueue;
alignas(SMainMsg) unsigned char g_mainMsgStorage[kMainQueueDepth * sizeof(SMainMsg)];

namespace {

// Frames after eMsgTerminate are dropped instead of queued: the loop will not
// take them, and a full queue must never block ReceiveThread while the main
// thread waits for it to end.
std::atomic<bool> g_terminateQueued{false};

}  // namespace

void OnIpcMessage(Ipc::EIpcMsgType type, const uint8_t* data, unsigned size, void* /*userData*/) {
    if (g_terminateQueued) return;
    SMainMsg item{type, nullptr, 0};
    if (data != nullptr && size != 0) {
        uint8_t* copy = size < UINT32_MAX ? static_cast<uint8_t*>(malloc(static_cast<size_t>(size) + 1)) : nullptr;
        if (copy == nullptr) {
            perror("[ERROR] Receive thread on copy data.");
            Exit::Request(1);
            return;
        }
        memcpy(copy, data, size);
        copy[size] = 0;
        item = {type, copy, size};
    }
    const bool terminate = type == Ipc::eMsgTerminate;
    if (terminate) g_terminateQueued = true;
    PalQueueSend(&g_mainMsgQueue, &item, -1, terminate ? 1 : 0);
}

void SigHandler(int signal) { Exit::RequestFromSignal(signal); }

void ReportSignal(int signal) { printf("%s(): Terminated Signal: %d\n", "SigHandler", signal); }

void WakeRequestLoop() {
    // Never blocks: a full queue means the main thread is busy and will see
    // the request at its next wait anyway.
    const SMainMsg wake{Ipc::EIpcMsgType(0), nullptr, 0};
    PalQueueSend(&g_mainMsgQueue, &wake, 0, 1);
}

void ServeRequests(Ipc::IpcService& ipc) {
    bool running = true;
    SMainMsg item{};
    SCmdResponse response;
    while (running) {
        PalQueueReceive(&g_mainMsgQueue, &item, -1);
        Exit::CompleteIfPending();
        bool reply = true;
        printf("Sim7100 message of type %d data %p size %u received\n", static_cast<int>(item.type),
               static_cast<void*>(item.data), item.size);
        if (item.type == Ipc::eMsgTerminate) {
            running = false;
            reply = false;
        } else if (const SRequestRoute* route = RouteOf(item.type)) {
            response = Dispatch(*route, item.data, item.size);
        } else {
            fputs("[WARNING] Unknown message type\n", stderr);
            reply = false;
        }
        if (reply) {
            printf("Sim7100 Response cmdStatus: %d, errCode: %d, text %s\n", response.cmdStatus, response.errCode,
                   response.text);
            ipc.Send(item.type, &response, sizeof(SCmdResponseData));
        }
        free(item.data);
    }
}
