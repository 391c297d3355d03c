// Payload decoding of every request type: RouteOf and Dispatch with fuzzed
// payloads, each copied as OnIpcMessage copies it (a block of size + 1 with a
// trailing zero; no block when the payload is empty), against a modem whose
// port was never opened, so no traffic can happen.
//
// Input: the request type (first byte), then the payload.
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

struct SPayloadRule {
    int kind;
    uint32_t size;
};
#define SIM7100_PAYLOAD_RULE(type, name, payload, size) {payload, size},
const SPayloadRule kRules[] = {SIM7100_REQUEST_TYPES(SIM7100_PAYLOAD_RULE)};
#undef SIM7100_PAYLOAD_RULE

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

// A string field the operation reads that holds no zero byte: refused too.
bool Unterminated(uint32_t type, const uint8_t* bytes, uint32_t size) {
#define SIM7100_UNTERMINATED(t, layout, field, kind)                                             \
    if ((t) == type && ((kind) == SIM7100_FIELD_STRING || (kind) == SIM7100_FIELD_STRING_OPT) && \
        size >= SIM7100_FIELD_OFFSET(layout, field) + SIM7100_FIELD_SIZE(layout, field)) {       \
        const uint8_t* f = bytes + SIM7100_FIELD_OFFSET(layout, field);                          \
        if (((kind) == SIM7100_FIELD_STRING || f[0] != 0) &&                                     \
            memchr(f, 0, SIM7100_FIELD_SIZE(layout, field)) == nullptr)                          \
            return true;                                                                         \
    }
    SIM7100_REQUEST_FIELDS(SIM7100_UNTERMINATED)
#undef SIM7100_UNTERMINATED
    return false;
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

    FUZZ_REQUIRE(!modem.Initialized() && modem.Fd() == -1);
    const SPayloadRule& rule = kRules[type - Ipc::eMsgPowerOn];
    const bool shortPayload = rule.size != 0 && payloadSize < rule.size;
    const bool emptyText = rule.kind == SIM7100_PAYLOAD_TEXT && rule.size != 0 && (bytes == nullptr || bytes[0] == 0);
    if (shortPayload || emptyText || Unterminated(type, bytes, payloadSize)) {
        FUZZ_REQUIRE(r.cmdStatus == SIM7100_STATUS_FAILED && r.errCode == SIM7100_ERR_REFUSED);
        FUZZ_REQUIRE(strncmp(r.text, "Invalid request payload", 23) == 0);
    } else {
        // Past validation every request fails against a closed port, except
        // the raw control words, which need no module, and the two that only
        // close it.
        const std::string text(reinterpret_cast<const char*>(data + 1), payloadSize);
        const bool control =
            type == Ipc::eMsgRawCommand && bytes != nullptr &&
            (strcmp(text.c_str(), SIM7100_RAW_DEBUG) == 0 || strcmp(text.c_str(), SIM7100_RAW_FLUSH) == 0);
        const bool closing = type == Ipc::eMsgPowerOff || type == Ipc::eMsgStandBy;
        if (!control && !closing) FUZZ_REQUIRE(r.cmdStatus == SIM7100_STATUS_FAILED);
        // The power gate refuses every other operation, without traffic;
        // reading and deleting an SMS fail at the write instead, an empty
        // raw command before the gate.
        const bool ungated = type == Ipc::eMsgReadSms || type == Ipc::eMsgDeleteSms ||
                             (type == Ipc::eMsgRawCommand && (bytes == nullptr || bytes[0] == 0));
        if (!control && !closing && !ungated) {
            FUZZ_REQUIRE(r.errCode == SIM7100_ERR_REFUSED && strcmp(r.text, "Chip is not initialized!") == 0);
        }
    }
    return 0;
}
