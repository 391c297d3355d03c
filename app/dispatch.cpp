#include "dispatch.h"

#include <cstring>

#include "sim7100.h"

namespace {

template <typename Layout>
const Layout* As(const uint8_t* data) {
    return reinterpret_cast<const Layout*>(data);
}

// Indexed by type - eMsgPowerOn.
const SRequestRoute kRoutes[] = {
    {"PowerOn", 0, [](const uint8_t*, uint32_t) { return CSim7100::PowerOn(); }},
    {"PowerOff", 0, [](const uint8_t*, uint32_t) { return CSim7100::PowerOff(); }},
    {"StandBy", 0, [](const uint8_t*, uint32_t) { return CSim7100::StandBy(); }},
    {"Connect", 0, [](const uint8_t*, uint32_t) { return CSim7100::Connect(); }},
    {"Disconnect", 0, [](const uint8_t*, uint32_t) { return CSim7100::Disconnect(); }},
    {"SetAuthentication", sizeof(SSetAuthenticationRequest),
     [](const uint8_t* d, uint32_t) { return CSim7100::SetAuthentication(As<SSetAuthenticationRequest>(d)); }},
    {"SetApn", sizeof(SSetApnRequest),
     [](const uint8_t* d, uint32_t) { return CSim7100::SetApn(As<SSetApnRequest>(d)); }},
    {"EnterPin", sizeof(SEnterPinRequest),
     [](const uint8_t* d, uint32_t) { return CSim7100::EnterPin(As<SEnterPinRequest>(d)); }},
    {"GetPinRetries", 0, [](const uint8_t*, uint32_t) { return CSim7100::GetPinRetries(); }},
    {"GetSimStatus", 0, [](const uint8_t*, uint32_t) { return CSim7100::GetSimStatus(); }},
    {"GetConnectionStatus", 0, [](const uint8_t*, uint32_t) { return CSim7100::GetConnectionStatus(); }},
    {"GetChipType", 0, [](const uint8_t*, uint32_t) { return CSim7100::GetChipType(); }},
    {"GpsStart", 0, [](const uint8_t*, uint32_t) { return CSim7100::GpsStart(); }},
    {"GpsStop", 0, [](const uint8_t*, uint32_t) { return CSim7100::GpsStop(); }},
    {"GpsGetInfo", 0, [](const uint8_t*, uint32_t) { return CSim7100::GpsGetInfo(); }},
    {"GpsGetXtraStatus", 0, [](const uint8_t*, uint32_t) { return CSim7100::GpsGetXtraStatus(); }},
    {"GpsEnableXtra", 0, [](const uint8_t*, uint32_t) { return CSim7100::GpsEnableXtra(); }},
    {"GetSignalQuality", 0, [](const uint8_t*, uint32_t) { return CSim7100::GetSignalQuality(); }},
    {"LbsStart", 0, [](const uint8_t*, uint32_t) { return CSim7100::LbsStart(); }},
    {"LbsStop", 0, [](const uint8_t*, uint32_t) { return CSim7100::LbsStop(); }},
    {"LbsGetLocation", 0, [](const uint8_t*, uint32_t) { return CSim7100::LbsGetLocation(); }},
    {"GetFirmwareVersion", 0, [](const uint8_t*, uint32_t) { return CSim7100::GetFirmwareVersion(); }},
    {"RawCommand", 0,
     [](const uint8_t* d, uint32_t size) { return CSim7100::RawCommand(reinterpret_cast<const char*>(d), size); }},
    {"SetErrorReporting", 1,
     [](const uint8_t* d, uint32_t) { return CSim7100::SetErrorReporting(reinterpret_cast<const char*>(d)); }, true},
    {"GetServiceProvider", 0, [](const uint8_t*, uint32_t) { return CSim7100::GetServiceProvider(); }},
    {"GetNetworkMode", 0, [](const uint8_t*, uint32_t) { return CSim7100::GetNetworkMode(); }},
    {"SetClock", sizeof(SSetClockRequest),
     [](const uint8_t* d, uint32_t) { return CSim7100::SetClock(As<SSetClockRequest>(d)); }},
    {"GpsDownloadXtra", 0, [](const uint8_t*, uint32_t) { return CSim7100::GpsDownloadXtra(); }},
    {"SetTimeServer", sizeof(SSetTimeServerRequest),
     [](const uint8_t* d, uint32_t) { return CSim7100::SetTimeServer(As<SSetTimeServerRequest>(d)); }},
    {"UpdateTime", 0, [](const uint8_t*, uint32_t) { return CSim7100::UpdateTime(); }},
    {"GetSmsMode", 0, [](const uint8_t*, uint32_t) { return CSim7100::GetSmsMode(); }},
    {"SetSmsMode", sizeof(SSetSmsModeRequest),
     [](const uint8_t* d, uint32_t) { return CSim7100::SetSmsMode(As<SSetSmsModeRequest>(d)); }},
    {"ListSms", sizeof(SListSmsRequest),
     [](const uint8_t* d, uint32_t) { return CSim7100::ListSms(As<SListSmsRequest>(d)); }},
    {"ReadSms", sizeof(SReadSmsRequest),
     [](const uint8_t* d, uint32_t) { return CSim7100::ReadSms(As<SReadSmsRequest>(d)); }},
    {"DeleteSms", sizeof(SDeleteSmsRequest),
     [](const uint8_t* d, uint32_t) { return CSim7100::DeleteSms(As<SDeleteSmsRequest>(d)); }},
    {"WriteSms", sizeof(SWriteSmsRequest),
     [](const uint8_t* d, uint32_t) { return CSim7100::WriteSms(As<SWriteSmsRequest>(d)); }},
};

static_assert(sizeof kRoutes / sizeof kRoutes[0] == Ipc::eMsgWriteSms - Ipc::eMsgPowerOn + 1,
              "one route per request type");

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
        const uint8_t* field = data + f.offset;
        const bool read = f.kind == SIM7100_FIELD_STRING || (f.kind == SIM7100_FIELD_STRING_OPT && field[0] != 0);
        if (f.type == type && read && memchr(field, 0, f.size) == nullptr) return f.name;
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
    const bool missing = route.layoutSize != 0 && (data == nullptr || size < route.layoutSize);
    const bool emptyText = route.text && data != nullptr && data[0] == 0;
    if (missing || emptyText) {
        return SCmdResponse(SIM7100_ERR_REFUSED, "Invalid request payload: %u bytes, %u expected", size,
                            route.layoutSize);
    }
    if (route.layoutSize != 0 && !route.text) {
        const auto type = static_cast<uint32_t>(&route - kRoutes) + Ipc::eMsgPowerOn;
        if (const char* field = UnterminatedField(type, data)) {
            return SCmdResponse(SIM7100_ERR_REFUSED, "Invalid request payload: field %s is not terminated", field);
        }
    }
    return route.run(data, size);
}
