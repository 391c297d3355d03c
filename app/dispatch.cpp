#include "dispatch.h"

#include <cstring>

#include "sim7100.h"

namespace {

template <typename Layout>
const Layout* As(const uint8_t* data) {
    return reinterpret_cast<const Layout*>(data);
}

// One line per request type, in the list's order: indexed by type - eMsgPowerOn.
constexpr SRequestRoute kRoutes[] = {
    {Ipc::eMsgPowerOn, [](const uint8_t*, uint32_t) { return CSim7100::PowerOn(); }},
    {Ipc::eMsgPowerOff, [](const uint8_t*, uint32_t) { return CSim7100::PowerOff(); }},
    {Ipc::eMsgStandBy, [](const uint8_t*, uint32_t) { return CSim7100::StandBy(); }},
    {Ipc::eMsgConnect, [](const uint8_t*, uint32_t) { return CSim7100::Connect(); }},
    {Ipc::eMsgDisconnect, [](const uint8_t*, uint32_t) { return CSim7100::Disconnect(); }},
    {Ipc::eMsgSetAuthentication,
     [](const uint8_t* d, uint32_t) { return CSim7100::SetAuthentication(As<SSetAuthenticationRequest>(d)); }},
    {Ipc::eMsgSetApn, [](const uint8_t* d, uint32_t) { return CSim7100::SetApn(As<SSetApnRequest>(d)); }},
    {Ipc::eMsgEnterPin, [](const uint8_t* d, uint32_t) { return CSim7100::EnterPin(As<SEnterPinRequest>(d)); }},
    {Ipc::eMsgGetPinRetries, [](const uint8_t*, uint32_t) { return CSim7100::GetPinRetries(); }},
    {Ipc::eMsgGetSimStatus, [](const uint8_t*, uint32_t) { return CSim7100::GetSimStatus(); }},
    {Ipc::eMsgGetConnectionStatus, [](const uint8_t*, uint32_t) { return CSim7100::GetConnectionStatus(); }},
    {Ipc::eMsgGetChipType, [](const uint8_t*, uint32_t) { return CSim7100::GetChipType(); }},
    {Ipc::eMsgGpsStart, [](const uint8_t*, uint32_t) { return CSim7100::GpsStart(); }},
    {Ipc::eMsgGpsStop, [](const uint8_t*, uint32_t) { return CSim7100::GpsStop(); }},
    {Ipc::eMsgGpsGetInfo, [](const uint8_t*, uint32_t) { return CSim7100::GpsGetInfo(); }},
    {Ipc::eMsgGpsGetXtraStatus, [](const uint8_t*, uint32_t) { return CSim7100::GpsGetXtraStatus(); }},
    {Ipc::eMsgGpsEnableXtra, [](const uint8_t*, uint32_t) { return CSim7100::GpsEnableXtra(); }},
    {Ipc::eMsgGetSignalQuality, [](const uint8_t*, uint32_t) { return CSim7100::GetSignalQuality(); }},
    {Ipc::eMsgLbsStart, [](const uint8_t*, uint32_t) { return CSim7100::LbsStart(); }},
    {Ipc::eMsgLbsStop, [](const uint8_t*, uint32_t) { return CSim7100::LbsStop(); }},
    {Ipc::eMsgLbsGetLocation, [](const uint8_t*, uint32_t) { return CSim7100::LbsGetLocation(); }},
    {Ipc::eMsgGetFirmwareVersion, [](const uint8_t*, uint32_t) { return CSim7100::GetFirmwareVersion(); }},
    {Ipc::eMsgRawCommand,
     [](const uint8_t* d, uint32_t size) { return CSim7100::RawCommand(reinterpret_cast<const char*>(d), size); }},
    {Ipc::eMsgSetErrorReporting,
     [](const uint8_t* d, uint32_t) { return CSim7100::SetErrorReporting(reinterpret_cast<const char*>(d)); }},
    {Ipc::eMsgGetServiceProvider, [](const uint8_t*, uint32_t) { return CSim7100::GetServiceProvider(); }},
    {Ipc::eMsgGetNetworkMode, [](const uint8_t*, uint32_t) { return CSim7100::GetNetworkMode(); }},
    {Ipc::eMsgSetClock, [](const uint8_t* d, uint32_t) { return CSim7100::SetClock(As<SSetClockRequest>(d)); }},
    {Ipc::eMsgGpsDownloadXtra, [](const uint8_t*, uint32_t) { return CSim7100::GpsDownloadXtra(); }},
    {Ipc::eMsgSetTimeServer,
     [](const uint8_t* d, uint32_t) { return CSim7100::SetTimeServer(As<SSetTimeServerRequest>(d)); }},
    {Ipc::eMsgUpdateTime, [](const uint8_t*, uint32_t) { return CSim7100::UpdateTime(); }},
    {Ipc::eMsgGetSmsMode, [](const uint8_t*, uint32_t) { return CSim7100::GetSmsMode(); }},
    {Ipc::eMsgSetSmsMode, [](const uint8_t* d, uint32_t) { return CSim7100::SetSmsMode(As<SSetSmsModeRequest>(d)); }},
    {Ipc::eMsgListSms, [](const uint8_t* d, uint32_t) { return CSim7100::ListSms(As<SListSmsRequest>(d)); }},
    {Ipc::eMsgReadSms, [](const uint8_t* d, uint32_t) { return CSim7100::ReadSms(As<SReadSmsRequest>(d)); }},
    {Ipc::eMsgDeleteSms, [](const uint8_t* d, uint32_t) { return CSim7100::DeleteSms(As<SDeleteSmsRequest>(d)); }},
    {Ipc::eMsgWriteSms, [](const uint8_t* d, uint32_t) { return CSim7100::WriteSms(As<SWriteSmsRequest>(d)); }},
};

// What the protocol's request list says about each type's payload.
struct SPayload {
    uint32_t type;
    int kind;
    uint32_t size;
};

#define SIM7100_PAYLOAD_ROW(type, name, payload, size) {type, payload, size},
constexpr SPayload kPayloads[] = {SIM7100_REQUEST_TYPES(SIM7100_PAYLOAD_ROW)};
#undef SIM7100_PAYLOAD_ROW

constexpr bool RoutesFollowTheList() {
    for (size_t i = 0; i < sizeof kPayloads / sizeof kPayloads[0]; ++i) {
        if (kRoutes[i].type != kPayloads[i].type || kPayloads[i].type != Ipc::eMsgPowerOn + i) return false;
    }
    return sizeof kRoutes == sizeof kPayloads / sizeof kPayloads[0] * sizeof kRoutes[0];
}
static_assert(RoutesFollowTheList(), "one route per request type, in the list's order");

struct SField {
    uint32_t type;
    const char* name;
    uint32_t offset;
    uint32_t size;
    int kind;
};

#define SIM7100_FIELD_ROW(type, layout, field, kind) \
    {type, #field, SIM7100_FIELD_OFFSET(layout, field), SIM7100_FIELD_SIZE(layout, field), kind},
constexpr SField kFields[] = {SIM7100_REQUEST_FIELDS(SIM7100_FIELD_ROW)};
#undef SIM7100_FIELD_ROW

// The first string field of the request with no zero byte within it, or null.
// The payload is known to cover the whole layout.
const char* UnterminatedField(uint32_t type, const uint8_t* data) {
    for (const SField& f : kFields) {
        if (f.type != type) continue;  // other layouts' offsets may lie beyond this payload
        const uint8_t* field = data + f.offset;
        const bool read = f.kind == SIM7100_FIELD_STRING || (f.kind == SIM7100_FIELD_STRING_OPT && field[0] != 0);
        if (read && memchr(field, 0, f.size) == nullptr) return f.name;
    }
    return nullptr;
}

}  // namespace

const SRequestRoute* RouteOf(Ipc::EIpcMsgType type) {
    // One unsigned comparison also sends 0, 1 and the "negative" types away.
    const uint32_t index = static_cast<uint32_t>(type) - Ipc::eMsgPowerOn;
    return index < sizeof kRoutes / sizeof kRoutes[0] ? &kRoutes[index] : nullptr;
}

SCmdResponse Dispatch(const SRequestRoute& route, const uint8_t* data, uint32_t size) {
    const SPayload& payload = kPayloads[&route - kRoutes];
    const bool missing = data == nullptr || size < payload.size;
    const bool emptyText = payload.kind == SIM7100_PAYLOAD_TEXT && payload.size != 0 && data != nullptr && data[0] == 0;
    if (payload.size != 0 && (missing || emptyText)) {
        return SCmdResponse(SIM7100_ERR_REFUSED, "Invalid request payload: %u bytes, %u expected", size, payload.size);
    }
    if (payload.kind == SIM7100_PAYLOAD_LAYOUT) {
        if (const char* field = UnterminatedField(payload.type, data)) {
            return SCmdResponse(SIM7100_ERR_REFUSED, "Invalid request payload: field %s is not terminated", field);
        }
    }
    return route.run(data, size);
}
