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

// The payload kind's value (0 none, 1 layout, 2 text) picks the definition;
// the extra step expands the kind before it is pasted.
#define SIM7100_FORWARD(type, name, payload, size)       SIM7100_FORWARD_PASTE(payload, type, name, size)
#define SIM7100_FORWARD_PASTE(payload, type, name, size) SIM7100_FORWARD_##payload(type, name, size)
#define SIM7100_FORWARD_0(type, name, size) \
    SCmdResponse CSim7100::name() { return s_impl->name(); }
#define SIM7100_FORWARD_1(type, name, size) \
    SCmdResponse CSim7100::name(const Sim7100Operation::Layout<type>* r) { return s_impl->name(r); }
#define SIM7100_FORWARD_2(type, name, size) \
    SCmdResponse CSim7100::name(const char* text, unsigned n) { return s_impl->name(text, n); }
static_assert(SIM7100_PAYLOAD_NONE == 0 && SIM7100_PAYLOAD_LAYOUT == 1 && SIM7100_PAYLOAD_TEXT == 2, "kinds");
SIM7100_REQUEST_TYPES(SIM7100_FORWARD)
