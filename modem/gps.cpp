// GPS, assistance data and the module's clock.
#include <cstdio>
#include <cstring>

#include "answers.h"
#include "checkers.h"
#include "pal.h"
#include "payload.h"
#include "process_exit.h"
#include "sim7100.h"

SCmdResponse CSim7100Impl::GpsStart() {
    SCmdResponse r;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CGPSCOLD\r\n", "Chip did not answer correctly! '%s'")) return r;
    r.Format("GPS Start: %s", m_response);
    return r;
}

SCmdResponse CSim7100Impl::GpsStop() {
    SCmdResponse r;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CGPS=0\r\n")) return r;
    r.Format("GPS Stop: %s", m_response);
    return r;
}

SCmdResponse CSim7100Impl::GpsGetInfo() {
    SCmdResponse r;
    if (!RequireInitialized(r)) return r;
    // The acknowledgement, then the burst up to the read that shows $GPRMC.
    if (Exchange(r, "AT+CGPSINFOCFG=2,3\r\n", kChipInternalFail, CheckGpsInfo, 2)) r.Format("GPS: %s", m_response);
    // The periodic output is switched off whatever came of the burst.
    (void)Send("AT+CGPSINFOCFG=0\r\n");
    return r;
}

SCmdResponse CSim7100Impl::GpsGetXtraStatus() {
    SCmdResponse r;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CGPSXE?\r\n")) return r;
    unsigned flag = 0;
    if (XtraFlagOf(m_response, flag)) {
        r.Set(SIM7100_STATUS_OK, static_cast<int32_t>(flag));
    } else {
        r.Set(SIM7100_STATUS_FAILED, 0);
        r.Format("AT+CGPSXE: Incorrect response! %s", m_response);
    }
    return r;
}

SCmdResponse CSim7100Impl::GpsEnableXtra() {
    SCmdResponse r;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CGPSXE=1\r\n")) return r;
    return GpsGetXtraStatus();
}

SCmdResponse CSim7100Impl::SetClock(const SSetClockRequest* request) {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    if (!RequireInitialized(r)) return r;
    char command[sizeof(SSetClockRequest) + 256] = {};
    snprintf(command, sizeof command, "AT+CCLK=\"%.*s\"\r\n", FieldLength(request->time), request->time);
    if (!Exchange(r, command)) return r;
    r.cmdStatus = SIM7100_STATUS_OK;
    r.Format("CLOCK: %s", m_response);
    return r;
}

SCmdResponse CSim7100Impl::WaitGprsRegistration() {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    // Every answer of the wait, in order, as far as 1023 characters go.
    char log[SIM7100_TEXT_SIZE] = {};
    size_t room = sizeof log - 1;
    for (int attempt = 1; attempt <= 30; ++attempt) {
        const ECmdStatus status = Send("AT+CGREG?\r\n");
        if (room > 0) {
            const size_t length = strnlen(m_response, sizeof log);
            strncat(log, m_response, room);
            room = length >= room ? 0 : room - length;
        }
        if (status != eCmdOk) {
            r.Format("Chip internal fail! %s", log);
            return r;
        }
        unsigned n = 0;
        unsigned stat = 0;
        if (!RegistrationOf(m_response, n, stat)) {
            r.Format("AT+CGREG: Incorrect response!\r\n%s", log);
            return r;
        }
        if (n == 0 && (stat == 1 || stat == 5)) {  // home network or roaming
            r.cmdStatus = SIM7100_STATUS_OK;
            r.Format("Waiting for GPRS registration - success:\r\n%s", log);
            return r;
        }
        if (n != 0 || stat != 2) {
            r.Format("Waiting for GPRS registration - fail!\r\n%s", log);
            return r;
        }
        if (attempt == 30) break;
        PalThreadSleep(static_cast<uint32_t>(m_settings.Ms(1000)));
        Exit::CompleteIfPending();
    }
    r.Format("Waiting for GPRS registration - maximum retries count reached:\r\n%s", log);
    return r;
}

SCmdResponse CSim7100Impl::GpsDownloadXtra() {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    if (!RequireInitialized(r)) return r;
    const SCmdResponse registration = WaitGprsRegistration();
    if (registration.cmdStatus != SIM7100_STATUS_OK) {
        r.Format("GPRS registration fail!\r\n%s", registration.text);
        return r;
    }
    const ECmdStatus status = Send("AT+CGPSXD=0\r\n", CheckXtraDownload, 2);
    if (status != eCmdOk) {
        r.errCode = status;
        r.Format("Chip internal fail!\r\n%s\r\n%s", registration.text, m_response);
        return r;
    }
    r.cmdStatus = SIM7100_STATUS_OK;
    r.Format("GPS assistance file download:\r\n%s\r\n%s", registration.text, m_response);
    return r;
}

SCmdResponse CSim7100Impl::SetTimeServer(const SSetTimeServerRequest* request) {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    if (!RequireInitialized(r)) return r;
    // An empty list rejects the DEL; the ADD goes ahead all the same.
    (void)Send("AT+CHTPSERV=\"DEL\",0\r\n");
    char command[sizeof(SSetTimeServerRequest) + 256] = {};
    snprintf(command, sizeof command, "AT+CHTPSERV=\"ADD\",\"%.*s\",80,1\r\n", FieldLength(request->server),
             request->server);
    if (!Exchange(r, command)) return r;
    r.cmdStatus = SIM7100_STATUS_OK;
    r.Format("HTP SERV: %s", m_response);
    return r;
}

SCmdResponse CSim7100Impl::UpdateTime() {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CHTPUPDATE\r\n", kChipInternalFail, CheckTimeUpdate, 2)) return r;
    r.cmdStatus = SIM7100_STATUS_OK;
    r.Format("HTP UPDATE: %s", m_response);
    return r;
}
