// SIM and packet-data settings: authentication, APN, PIN, SIM state.
#include <cstdio>

#include "answers.h"
#include "payload.h"
#include "sim7100.h"

namespace {

// Settings of the data context cannot change under a live connection.
bool RefuseWhileConnected(bool connected, SCmdResponse& r) {
    if (!connected) return false;
    r.Set(SIM7100_STATUS_FAILED, SIM7100_ERR_REFUSED);
    r.Copy("LTE must be disconnected!");
    return true;
}

}  // namespace

SCmdResponse CSim7100Impl::SetAuthentication(const SSetAuthenticationRequest* request) {
    SCmdResponse r;
    if (!RequireInitialized(r) || RefuseWhileConnected(m_connected, r)) return r;
    char command[sizeof(SSetAuthenticationRequest) + 256] = {};
    // The module takes the password before the user name.
    snprintf(command, sizeof command, "AT+CGAUTH=1,3,\"%.*s\",\"%.*s\"\r\n", FieldLength(request->password),
             request->password, FieldLength(request->user), request->user);
    if (Exchange(r, command)) r.Copy(m_response);
    return r;
}

SCmdResponse CSim7100Impl::SetApn(const SSetApnRequest* request) {
    SCmdResponse r;
    if (!RequireInitialized(r) || RefuseWhileConnected(m_connected, r)) return r;
    char command[sizeof(SSetApnRequest) + 256] = {};
    snprintf(command, sizeof command, "AT+CGDCONT=1,\"IP\",\"%.*s\"\r\n", FieldLength(request->apn), request->apn);
    if (Exchange(r, command)) r.Copy(m_response);
    return r;
}

SCmdResponse CSim7100Impl::GetSimStatus() {
    SCmdResponse r;
    if (!RequireInitialized(r)) return r;
    const ECmdStatus status = Send("AT+CPIN?\r\n");
    if (status != eCmdOk && status != eCmdError) {
        r.Set(SIM7100_STATUS_FAILED, status);
        r.Format("Chip internal fail! %s", m_response);
        return r;
    }
    // An error answer may still name the state ("+CME ERROR: SIM PIN required").
    const SSimState state = SimStateOf(m_response);
    r.Set(state.cmdStatus, state.errCode);
    r.Copy(m_response);
    return r;
}

SCmdResponse CSim7100Impl::EnterPin(const SEnterPinRequest* request) {
    SCmdResponse r;
    if (!RequireInitialized(r) || RefuseWhileConnected(m_connected, r)) return r;
    r = GetSimStatus();
    if (r.cmdStatus == SIM7100_STATUS_OK) return r;

    char command[sizeof(SEnterPinRequest) + 256] = {};
    if (request->newPin[0] != '\0') {
        snprintf(command, sizeof command, "AT+CPIN=%.*s,%.*s\r\n", FieldLength(request->pin), request->pin,
                 FieldLength(request->newPin), request->newPin);
    } else {
        snprintf(command, sizeof command, "AT+CPIN=%.*s\r\n", FieldLength(request->pin), request->pin);
    }
    if (!Exchange(r, command)) return r;
    // errCode keeps what the status query left (0, or its failed exchange).
    r.cmdStatus = SIM7100_STATUS_OK;
    r.Copy(m_response);
    return r;
}

SCmdResponse CSim7100Impl::GetPinRetries() {
    SCmdResponse r;
    if (!RequireInitialized(r)) return r;
    if (GetSimStatus().cmdStatus == SIM7100_STATUS_FAILED) {
        r.Set(SIM7100_STATUS_FAILED, SIM7100_ERR_REFUSED);
        r.Copy("SIM not inserted or chip fail");
        return r;
    }
    if (!Exchange(r, "AT+SPIC\r\n")) {
        r.errCode = SIM7100_ERR_REFUSED;
        return r;
    }
    r.Copy(m_response);
    return r;
}
