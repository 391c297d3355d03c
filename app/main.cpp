// sim7100d: serves the RTOS side's requests on the LTE module, one at a time.
// Built with SIM7100D_DEV it becomes sim7100d-dev, which takes its settings
// from SIM7100D_* environment variables.
#include <csignal>
#include <cstdio>

#include "ipc_service.h"
#include "pal.h"
#include "process_exit.h"
#include "request_loop.h"
#include "settings.h"

int main() {
    // Line by line, so a log collector sees each line as it happens.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    AnnounceSettings();
    Exit::Init();
    Exit::SetSignalReport(ReportSignal);
    Exit::SetWakeHook(WakeRequestLoop);

    signal(SIGINT, SigHandler);
    signal(SIGPIPE, SigHandler);
    signal(SIGTERM, SigHandler);
    PalQueueCreate(&g_mainMsgQueue, "MainMsgQueue", sizeof(SMainMsg), kMainQueueDepth, g_mainMsgStorage);

    const SDaemonSettings& settings = ProcessSettings();
    Ipc::IpcService ipc(settings.port, settings);
    ipc.Start(OnIpcMessage, nullptr);
    ServeRequests(ipc);

    ipc.Stop();
    // A signal or link fault that came in during the shutdown still decides
    // how the process ends.
    Exit::CompleteIfPending();
    PalQueueDelete(&g_mainMsgQueue);
    return 0;
}
