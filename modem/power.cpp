// Power and identity: PowerOn, PowerOff, StandBy, GetChipType.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "answers.h"
#include "pal.h"
#include "process_exit.h"
#include "sim7100.h"

SCmdResponse CSim7100Impl::PowerOn() {
    SCmdResponse r;
    r.Set(SIM7100_STATUS_FAILED, SIM7100_ERR_REFUSED);
    puts("Power on Sim7100");

    // A PowerOn on an open port reopens it; the old descriptor would leak.
    if (m_fd >= 0) {
        close(m_fd);
        m_fd = -1;
    }
    bool open = false;
    for (int attempt = 0; attempt < 60 && !open; ++attempt) {
        open = InitUart();
        if (!open) {
            PalThreadSleep(static_cast<uint32_t>(m_settings.Ms(1000)));
            Exit::CompleteIfPending();
        }
    }
    if (!open) {
        r.Copy("Chip is not powered on!");
        return r;
    }
    if (Send("AT\r\n") != eCmdOk) {
        r.Copy("Modem is not responding to AT command!");
        puts("Failed basic AT command!");
        return r;
    }
    PalThreadSleep(static_cast<uint32_t>(m_settings.Ms(1000)));
    Exit::CompleteIfPending();
    if (Send("AT+CSCLK=1\r\n") != eCmdOk) {
        r.Copy("Failed to allow UART sleep!");
        puts("Failed to allow UART sleep!");
        return r;
    }
    r.Set(SIM7100_STATUS_OK, 0);
    return r;
}

SCmdResponse CSim7100Impl::PowerOff() {
    SCmdResponse r;
    puts("Power off Sim7100");
    if (m_fd == -1) return r;
    (void)Disconnect();
    if (Exchange(r, "AT+CPOF\r\n")) r.Copy(m_response);
    ClosePort();
    return r;
}

SCmdResponse CSim7100Impl::StandBy() {
    puts("Stand by Sim7100");
    if (m_fd != -1) {
        (void)Disconnect();
        ClosePort();
    }
    return SCmdResponse();
}

SCmdResponse CSim7100Impl::GetChipType() {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CGMM\r\n")) return r;
    r.Set(SIM7100_STATUS_CHIP_TYPE, ChipTypeOf(m_response));
    r.Copy(m_response);
    return r;
}
