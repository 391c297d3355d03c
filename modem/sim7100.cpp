// The single modem object and the forwarding functions of the request loop.
#include "sim7100.h"

bool g_debugMode = false;

CSim7100Impl& CSim7100Impl::Instance() {
    static CSim7100Impl instance(ProcessSettings());
    return instance;
}

CSim7100Impl* CSim7100::s_impl = &CSim7100Impl::Instance();

CSim7100Impl::CSim7100Impl(const SDaemonSettings& settings) : m_settings(settings) {}

CSim7100Impl::~CSim7100Impl() { (void)StandBy(); }

// The payload kind is pasted into the macro's name, so the list must spell
// it as SIM7100_PAYLOAD_NONE, _LAYOUT or _TEXT.
#define SIM7100_FORWARD(type, name, payload, size) SIM7100_FORWARD_##payload(type, name, size)
#define SIM7100_FORWARD_SIM7100_PAYLOAD_NONE(type, name, size) \
    SCmdResponse CSim7100::name() { return s_impl->name(); }
// The layout named by the field list is the one the request's size is for.
#define SIM7100_FORWARD_SIM7100_PAYLOAD_LAYOUT(type, name, size)                               \
    static_assert((size) == sizeof(Sim7100Operation::Layout<type>), #name " has two layouts"); \
    SCmdResponse CSim7100::name(const Sim7100Operation::Layout<type>* r) { return s_impl->name(r); }
#define SIM7100_FORWARD_SIM7100_PAYLOAD_TEXT(type, name, size) \
    SCmdResponse CSim7100::name(const char* text, unsigned n) { return s_impl->name(text, n); }
SIM7100_REQUEST_TYPES(SIM7100_FORWARD)
