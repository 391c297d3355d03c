// Cell-based location: the module's network service and its position fix.
#include <cstdio>

#include "answers.h"
#include "checkers.h"
#include "sim7100.h"

SCmdResponse CSim7100Impl::LbsStart() {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CGMR\r\n", "AT+CGMR: Chip internal fail! %s")) return r;
    char word[65];
    if (!RevisionWordOf(m_response, word, sizeof word) || !SupportsLbs(word)) {
        r.Set(SIM7100_STATUS_LBS_UNSUPPORTED, 0);
        r.Format("AT+CGMR: '%s'\nThis version does not support LBS", m_response);
        return r;
    }
    if (!Exchange(r, "AT+CNETSTART\r\n", kChipInternalFail, CheckNetStart)) return r;
    const SNetStart start = NetStartOf(m_response);
    if (!start.found) {
        r.Set(SIM7100_STATUS_FAILED, SIM7100_ERR_REFUSED);
        r.Format("\"+CNETSTART:\" is not found in response! %s", m_response);
    } else if (start.read && start.code == 0) {
        r.Set(SIM7100_STATUS_OK, 0);
        r.Copy(m_response);
    } else {
        r.Set(SIM7100_STATUS_FAILED, start.code);
        r.Format("LBS Start error %d: %s", start.code, m_response);
    }
    return r;
}

SCmdResponse CSim7100Impl::LbsStop() {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CNETSTOP\r\n")) return r;
    r.Set(SIM7100_STATUS_OK, 0);
    r.Copy(m_response);
    return r;
}

SCmdResponse CSim7100Impl::LbsGetLocation() {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    // The report and the final OK may come in either order: two pieces.
    if (!RequireInitialized(r) || !Exchange(r, "AT+CLBS=1\r\n", kChipInternalFail, CheckLbsLocation, 2)) return r;
    const SLocation location = LocationOf(m_response);
    if (location.line == nullptr) {
        r.Set(SIM7100_STATUS_FAILED, SIM7100_ERR_REFUSED);
        r.Format("Chip responsed with invalid answer! %s", m_response);
    } else if (location.fields == 4 && location.code == 0) {
        r.Set(SIM7100_STATUS_OK, 0);
        r.Copy(location.line);
    } else {
        r.Set(SIM7100_STATUS_FAILED, static_cast<int32_t>(location.code));
        r.Format("LBS Error: %s", m_response);
    }
    return r;
}
