// Payload decoding of every request type: RouteOf and Dispatch with fuzzed
// payloads, each copied as OnIpcMessage copies it (a block of size + 1 with a
// trailing zero; no block when the payload is empty), against a modem whose
// port was never opened, so no traffic can happen.
//
// The RTOS side's link library must refuse exactly what Dispatch refuses.
//
// Input: the request type (first byte), then the payload.
#include "fuzz_support.h"
#include "sim7100_link.h"

namespace {

CSim7100Impl& UnpoweredModem() {
    static CSim7100Impl* modem = [] {
        SDaemonSettings settings;
        // Never the real port; PowerOn is not dispatched here in any case.
        settings.device = "/nonexistent/sim7100-fuzz";
        settings.traceFile = "/nonexistent/sim7100-fuzz-trace";
        settings.timeScale = 0.0005;
        settings.runShell = [](const char*) { return 0; };
        return new CSim7100Impl(settings);
    }();
    return *modem;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuietStdout();
    if (size == 0) return 0;
    const auto type = static_cast<Ipc::EIpcMsgType>(data[0]);
    const SRequestRoute* route = RouteOf(type);
    const bool request = data[0] >= Ipc::eMsgPowerOn && data[0] <= Ipc::eMsgWriteSms;
    FUZZ_REQUIRE((route != nullptr) == request);
    // PowerOn is the one request that opens the port; it has no payload.
    if (route == nullptr || type == Ipc::eMsgPowerOn) return 0;

    const uint8_t* bytes = size > 1 ? data + 1 : nullptr;
    const auto payloadSize = static_cast<uint32_t>(size - 1);
    CSim7100Impl& modem = UnpoweredModem();
    const SCmdResponse r = DispatchCopy(modem, *route, bytes, payloadSize);
    g_debugMode = false;  // the raw control word may have switched it

    // Whatever the payload, the unpowered modem is never opened; the refusals
    // themselves are pinned down by the unit tests and the bad-input walk.
    FUZZ_REQUIRE(!modem.Initialized() && modem.Fd() == -1);
    FUZZ_REQUIRE(r.cmdStatus == SIM7100_STATUS_OK || r.cmdStatus == SIM7100_STATUS_FAILED);
    const bool refused = strncmp(r.text, "Invalid request payload", 23) == 0;
    FUZZ_REQUIRE((sim7100_request_check(type, bytes, payloadSize) != 0) == refused);
    return 0;
}
