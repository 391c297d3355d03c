#include "dispatch.h"

#include <cstring>

#include "sim7100.h"

namespace {

// The operation's signature says what it reads: nothing, its layout, or the
// text with its size.
SCmdResponse Run(SCmdResponse (*operation)(), const uint8_t*, uint32_t) { return operation(); }
template <typename Layout>
SCmdResponse Run(SCmdResponse (*operation)(const Layout*), const uint8_t* data, uint32_t) {
    return operation(reinterpret_cast<const Layout*>(data));
}
SCmdResponse Run(SCmdResponse (*operation)(const char*, unsigned), const uint8_t* data, uint32_t size) {
    return operation(reinterpret_cast<const char*>(data), size);
}

// In the list's order: indexed by type - eMsgPowerOn.
#define SIM7100_ROUTE_ROW(type, name, payload, size) \
    {Ipc::eMsg##name, [](const uint8_t* d, uint32_t n) { return Run(&CSim7100::name, d, n); }},
constexpr SRequestRoute kRoutes[] = {SIM7100_REQUEST_TYPES(SIM7100_ROUTE_ROW)};
#undef SIM7100_ROUTE_ROW

// What the protocol's request list says about each type's payload.
struct SPayload {
    uint32_t type;
    int kind;
    uint32_t size;
};

#define SIM7100_PAYLOAD_ROW(type, name, payload, size) {type, payload, size},
constexpr SPayload kPayloads[] = {SIM7100_REQUEST_TYPES(SIM7100_PAYLOAD_ROW)};
#undef SIM7100_PAYLOAD_ROW

// RouteOf indexes by number: the list must run without gaps.
constexpr bool RoutesFollowTheList() {
    for (size_t i = 0; i < sizeof kRoutes / sizeof kRoutes[0]; ++i) {
        if (kRoutes[i].type != Ipc::eMsgPowerOn + i) return false;
    }
    return true;
}
static_assert(RoutesFollowTheList(), "the request list in number order");

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
