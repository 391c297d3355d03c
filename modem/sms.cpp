// The module's SMS store: format, list, read, delete, write.
#include <cstdio>
#include <cstring>

#include "answers.h"
#include "checkers.h"
#include "payload.h"
#include "sim7100.h"

namespace {

constexpr const char* kSmsFail = "Chip internal fail!\r\n%s";

const char* ModeName(uint8_t mode) { return mode == 0 ? "PDU" : "TEXT"; }

// The answer through its first "OK\r\n" as the text, or "Too big".
void CopyThroughOk(SCmdResponse& r, const char* answer, const char* tooBig) {
    const size_t length = LengthThroughOk(answer);
    if (length >= SIM7100_TEXT_SIZE) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        r.Format(tooBig, answer);
#pragma GCC diagnostic pop
        return;
    }
    r.cmdStatus = SIM7100_STATUS_OK;
    memset(r.text, 0, sizeof r.text);
    memcpy(r.text, answer, length);
}

}  // namespace

SCmdResponse CSim7100Impl::GetSmsMode() {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    if (!RequireInitialized(r) || !Exchange(r, "AT+CMGF?\r\n", kSmsFail)) return r;
    uint8_t mode = 0;
    if (!SmsModeOf(m_response, mode)) {
        r.Format("AT+CMGF: Incorrect response!\r\n%s", m_response);
        return r;
    }
    r.Set(SIM7100_STATUS_OK, mode);
    r.Format("SMS mode: %s\r\n", ModeName(mode));
    return r;
}

SCmdResponse CSim7100Impl::SetSmsMode(const SSetSmsModeRequest* request) {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    if (!RequireInitialized(r)) return r;
    char command[sizeof(SSetSmsModeRequest) + 256] = {};
    snprintf(command, sizeof command, "AT+CMGF=%u\r\n", request->mode);
    if (!Exchange(r, command, kSmsFail)) return r;
    r.cmdStatus = SIM7100_STATUS_OK;
    r.Format("SMS mode set: %s", ModeName(request->mode));
    return r;
}

SCmdResponse CSim7100Impl::ListSms(const SListSmsRequest* request) {
    SCmdResponse r = GetSmsMode();
    if (r.cmdStatus != SIM7100_STATUS_OK) return r;
    const uint8_t mode = static_cast<uint8_t>(r.errCode & 0xFF);
    r.cmdStatus = SIM7100_STATUS_FAILED;
    memset(r.text, 0, sizeof r.text);

    char command[sizeof(SListSmsRequest) + 256] = {};
    if (mode == 0) {
        snprintf(command, sizeof command, "AT+CMGL=%u\r\n", request->status);
    } else {
        snprintf(command, sizeof command, "AT+CMGL=\"%s\"\r\n", SmsStatusName(request->status));
    }
    if (!Exchange(r, command, kSmsFail)) return r;

    if (request->headersOnly == 1) {
        char headers[SIM7100_TEXT_SIZE];
        switch (CollectHeaders(m_response, headers)) {
        case EHeaders::eOk:
            r.cmdStatus = SIM7100_STATUS_OK;
            memcpy(r.text, headers, sizeof r.text);
            break;
        case EHeaders::eIncorrect:
            r.Format("AT+CMGL: Incorrect response!\r\n%s", m_response);
            break;
        case EHeaders::eTooBig:
            r.Format("AT+CMGL: Too big response!\r\n%s", m_response);
            break;
        }
    } else {
        CopyThroughOk(r, m_response, "AT+CMGL: Too big response!\r\n%s");
    }
    return r;
}

SCmdResponse CSim7100Impl::ReadSms(const SReadSmsRequest* request) {
    // No initialised test: with the port closed the write fails (-100).
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    char command[sizeof(SReadSmsRequest) + 256] = {};
    snprintf(command, sizeof command, "AT+CMGR=%u\r\n", request->index);
    if (!Exchange(r, command)) return r;
    CopyThroughOk(r, m_response, "AT+CMGR: Too big response!\r\n%s");
    return r;
}

SCmdResponse CSim7100Impl::DeleteSms(const SDeleteSmsRequest* request) {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    char command[sizeof(SDeleteSmsRequest) + 256] = {};
    if (request->flag == 0) {
        snprintf(command, sizeof command, "AT+CMGD=%u\r\n", request->index);
    } else {
        snprintf(command, sizeof command, "AT+CMGD=%u,%u\r\n", request->index, request->flag);
    }
    if (!Exchange(r, command, kSmsFail)) return r;
    r.cmdStatus = SIM7100_STATUS_OK;
    r.Format("Deleted SMS #%d, flag %d", request->index, request->flag);
    return r;
}

SCmdResponse CSim7100Impl::WriteSms(const SWriteSmsRequest* request) {
    const SSetSmsModeRequest textMode{1};
    SCmdResponse r = SetSmsMode(&textMode);
    if (r.cmdStatus != SIM7100_STATUS_OK) return r;
    r.Set(SIM7100_STATUS_FAILED, 0);
    memset(r.text, 0, sizeof r.text);

    const char* status = SmsStatusName(request->status);
    char command[sizeof(SWriteSmsRequest) + 256] = {};
    snprintf(command, sizeof command, "AT+CMGW=\"+%.*s\",,\"%s\"\r\n", FieldLength(request->phone), request->phone,
             status);
    if (!Exchange(r, command, kSmsFail, CheckPrompt)) return r;
    // The body ends with Ctrl-Z and no line end.
    snprintf(command, sizeof command, "%.*s\x1a", FieldLength(request->body), request->body);
    if (!Exchange(r, command, kSmsFail)) return r;

    unsigned index = 0;
    if (!StoredIndexOf(m_response, index)) {
        r.Format("AT+CMGW: Incorrect response!\r\n%s", m_response);
        return r;
    }
    r.Set(SIM7100_STATUS_OK, static_cast<int32_t>(index));
    // The middle number is the phone number's length in digits.
    r.Format("Written SMS #%d, phone %d, status %s", static_cast<int>(index), FieldLength(request->phone), status);
    return r;
}
