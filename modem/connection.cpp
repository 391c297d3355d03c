// The LTE data connection: the module's data call plus the wwan0 interface.
#include <cstdio>
#include <cstring>

#include "sim7100.h"

SCmdResponse CSim7100Impl::Connect() {
    SCmdResponse r;
    puts("Sim7100 Connect");
    if (!RequireInitialized(r)) return r;
    if (m_connected) {
        r.Copy("Modem already connected");
        return r;
    }
    const SCmdResponse chip = GetChipType();
    if (chip.errCode == eChipUnknown) {
        r.Set(SIM7100_STATUS_FAILED, SIM7100_ERR_REFUSED);
        r.Format("Unknown chip type! %s", m_response);
        return r;
    }
    const bool sim7600 = chip.errCode == eChipSim7600G;
    if (!Exchange(r, "AT$QCRMCALL=1,1\r\n")) return r;
    m_connected = true;
    r.Set(SIM7100_STATUS_OK, 0);
    r.Copy(m_response);
    if (sim7600) {
        m_settings.Shell("cat /sys/class/net/wwan0/qmi/raw_ip");
        m_settings.Shell("ifconfig wwan0 mtu 1430");
    }
    m_settings.Shell("ifconfig wwan0 up");
    m_settings.Shell("udhcpc -i wwan0");
    m_settings.Shell("ifconfig wwan0");
    return r;
}

SCmdResponse CSim7100Impl::Disconnect() {
    SCmdResponse r;
    if (!RequireInitialized(r)) return r;
    if (!m_connected) {
        r.Copy("Modem already disconnected");
        return r;
    }
    m_connected = false;
    m_settings.Shell("ifconfig wwan0 down");
    m_settings.Shell("pkill udhcpc");
    if (Exchange(r, "AT$QCRMCALL=0,1\r\n")) r.Copy(m_response);
    return r;
}

SCmdResponse CSim7100Impl::GetConnectionStatus() {
    SCmdResponse r;
    if (!RequireInitialized(r)) return r;
    const ECmdStatus status = Send("AT$QCRMCALL?\r\n");
    const bool up = status == eCmdOk && strstr(m_response, "$QCRMCALL: 1, V4") != nullptr;
    r.Set(up ? SIM7100_STATUS_CONNECTED : SIM7100_STATUS_DISCONNECTED, 0);
    r.Copy(m_response);
    return r;
}
