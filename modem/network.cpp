// Network information: signal, firmware, error reports, provider, mode.
#include <cstdio>

#include "answers.h"
#include "sim7100.h"

SCmdResponse CSim7100Impl::GetSignalQuality() {
    SCmdResponse r;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CSQ\r\n")) return r;
    unsigned strength = 0;
    if (SignalStrengthOf(m_response, strength)) {
        r.Set(SIM7100_STATUS_OK, static_cast<int32_t>(strength));
    } else {
        r.Set(SIM7100_STATUS_FAILED, 0);
    }
    r.Format("CSQ: %s", m_response);
    return r;
}

SCmdResponse CSim7100Impl::GetFirmwareVersion() {
    SCmdResponse r;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CGMR\r\n", "AT+CGMR: Chip internal fail! %s")) return r;
    char word[64];
    if (RevisionWordOf(m_response, word, sizeof word)) {
        r.Set(SIM7100_STATUS_OK, 0);
        r.Copy(word);
    } else {
        r.Set(SIM7100_STATUS_FAILED, 0);
        r.Format("AT+CGMR: Incorrect response! %s", m_response);
    }
    return r;
}

SCmdResponse CSim7100Impl::SetErrorReporting(const char* text, unsigned) {
    SCmdResponse r;
    if (!RequireInitialized(r)) return r;
    char command[257] = {};
    snprintf(command, sizeof command, "AT+CMEE=%s\r\n", text);
    if (Exchange(r, command)) r.Format("MEE: %s", m_response);
    return r;
}

SCmdResponse CSim7100Impl::GetServiceProvider() {
    SCmdResponse r;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CSPN?\r\n")) return r;
    char name[64];
    unsigned mode = 0;
    if (ServiceProviderOf(m_response, name, mode)) {
        r.Set(SIM7100_STATUS_OK, static_cast<int32_t>(mode));
        r.Format("SPN: %s", name);
    } else {
        r.Set(SIM7100_STATUS_FAILED, 0);
        r.Format("SPN: %s", m_response);
    }
    return r;
}

SCmdResponse CSim7100Impl::GetNetworkMode() {
    SCmdResponse r;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CNSMOD?\r\n")) return r;
    unsigned mode = 0;
    if (NetworkModeOf(m_response, mode)) {
        r.Set(SIM7100_STATUS_OK, static_cast<int32_t>(mode));
    } else {
        r.Set(SIM7100_STATUS_FAILED, 0);
    }
    r.Format("NSMOD: %s", m_response);
    return r;
}
