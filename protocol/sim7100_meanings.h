/*
 * What the numbers of the response record and the SMS fields mean, as the
 * daemon sets them.  sim7100ctl, the link's dissector and the docs show
 * these texts, so a meaning is changed here and nowhere else.
 *
 * Valid C (C89 and later) and C++, like sim7100_protocol.h: lists only, no
 * code, so the RTOS firmware may take the texts or leave them.
 */
#ifndef SIM7100_MEANINGS_H
#define SIM7100_MEANINGS_H

#include "sim7100_protocol.h"

/*
 * cmdStatus, every value the daemon uses:
 *   M(value, name, text)
 * name is a short word for machine-read output, text the meaning.
 */
#define SIM7100_STATUS_MEANINGS(M)                                                               \
    M(SIM7100_STATUS_OK, "ok", "request carried out")                                            \
    M(SIM7100_STATUS_FAILED, "failed", "request failed or refused")                              \
    M(SIM7100_STATUS_CONNECTED, "connected", "data connection up")                               \
    M(SIM7100_STATUS_DISCONNECTED, "not connected", "data connection down, or its state unread") \
    M(SIM7100_STATUS_SIM_PIN, "SIM PIN", "SIM waits for its PIN")                                \
    M(SIM7100_STATUS_SIM_PUK, "SIM PUK", "SIM waits for its PUK")                                \
    M(SIM7100_STATUS_SIM_PIN2, "SIM PIN2", "SIM waits for PIN2")                                 \
    M(SIM7100_STATUS_SIM_PUK2, "SIM PUK2", "SIM waits for PUK2")                                 \
    M(SIM7100_STATUS_CHIP_TYPE, "chip type", "chip type reported in errCode")                    \
    M(SIM7100_STATUS_LBS_UNSUPPORTED, "LBS unsupported", "cell location not supported by the firmware")

/*
 * errCode below zero: the same for every request type.
 *   M(value, name, text)
 * The exchange codes (-100 to -103) are the exchange's own verdicts: -100
 * also when the command went out and not one byte came back.
 */
#define SIM7100_ERR_MEANINGS(M)                                                                   \
    M(SIM7100_ERR_REFUSED, "refused", "refused before any modem traffic")                         \
    M(SIM7100_ERR_WRITE_FAILED, "eCmdWriteFailed", "not written, or no answer byte at all")       \
    M(SIM7100_ERR_ERROR_RESULT, "eCmdError", "the module answered with an error result")          \
    M(SIM7100_ERR_NO_FINAL, "eCmdPending", "an answer came, but no final result within the wait") \
    M(SIM7100_ERR_OVERFLOW, "eCmdOverflow", "the answer overflowed the receive buffer")

/*
 * errCode of zero or more: what it holds depends on the request type.
 *   C(type, kind, what)
 * kind:
 *   SIM7100_CODE_CHIP_TYPE  a chip type, SIM7100_CHIP_MEANINGS
 *   SIM7100_CODE_SMS_MODE   0 PDU, any other value text
 *   SIM7100_CODE_NUMBER     a number read from the module's answer: `what`
 *   SIM7100_CODE_SIM_STATE  2 when the answer named no SIM state
 * A type not listed reports 0.  A 0 beside a cmdStatus other than 1 or 9
 * (a failure, a SIM or connection state) has nothing to add.  A chip type
 * or an SMS mode is shown as "what: name", e.g. "chip type: SIM7600G".
 */
#define SIM7100_CODE_CHIP_TYPE 1
#define SIM7100_CODE_SMS_MODE  2
#define SIM7100_CODE_NUMBER    3
#define SIM7100_CODE_SIM_STATE 4

#define SIM7100_SIM_STATE_UNNAMED 2

#define SIM7100_CHIP_TYPE_WHAT "chip type"
#define SIM7100_SMS_MODE_WHAT  "SMS mode"

#define SIM7100_ERR_CODE_KINDS(C)                                                          \
    C(SIM7100_MSG_ENTER_PIN, SIM7100_CODE_SIM_STATE, "the answer named no SIM state")      \
    C(SIM7100_MSG_GET_SIM_STATUS, SIM7100_CODE_SIM_STATE, "the answer named no SIM state") \
    C(SIM7100_MSG_GET_CHIP_TYPE, SIM7100_CODE_CHIP_TYPE, SIM7100_CHIP_TYPE_WHAT)           \
    C(SIM7100_MSG_GPS_GET_XTRA_STATUS, SIM7100_CODE_NUMBER, "XTRA flag: 1 on, 0 off")      \
    C(SIM7100_MSG_GPS_ENABLE_XTRA, SIM7100_CODE_NUMBER, "XTRA flag: 1 on, 0 off")          \
    C(SIM7100_MSG_GET_SIGNAL_QUALITY, SIM7100_CODE_NUMBER, "signal strength, +CSQ")        \
    C(SIM7100_MSG_LBS_START, SIM7100_CODE_NUMBER, "result code of +CNETSTART")             \
    C(SIM7100_MSG_LBS_GET_LOCATION, SIM7100_CODE_NUMBER, "location result code of +CLBS")  \
    C(SIM7100_MSG_GET_SERVICE_PROVIDER, SIM7100_CODE_NUMBER, "display mode, +CSPN")        \
    C(SIM7100_MSG_GET_NETWORK_MODE, SIM7100_CODE_NUMBER, "network system mode, +CNSMOD")   \
    C(SIM7100_MSG_GET_SMS_MODE, SIM7100_CODE_SMS_MODE, SIM7100_SMS_MODE_WHAT)              \
    C(SIM7100_MSG_LIST_SMS, SIM7100_CODE_SMS_MODE, SIM7100_SMS_MODE_WHAT)                  \
    C(SIM7100_MSG_WRITE_SMS, SIM7100_CODE_NUMBER, "storage index of the message")

/* Chip types in errCode of GetChipType: M(value, name). */
#define SIM7100_CHIP_MEANINGS(M)         \
    M(SIM7100_CHIP_SIM7100E, "SIM7100E") \
    M(SIM7100_CHIP_SIM7100A, "SIM7100A") \
    M(SIM7100_CHIP_SIM7600G, "SIM7600G") \
    M(SIM7100_CHIP_UNKNOWN, "none of these")

/* The SMS mode byte (SetSmsMode) and errCode (GetSmsMode, ListSms). */
#define SIM7100_SMS_MODE_PDU       0
#define SIM7100_SMS_MODE_PDU_NAME  "PDU"
#define SIM7100_SMS_MODE_TEXT_NAME "text"

/*
 * SMS status selectors (ListSms, WriteSms): M(value, name), the module's
 * own name; any value not listed selects "ALL".
 */
#define SIM7100_SMS_STATUS_MEANINGS(M)      \
    M(SIM7100_SMS_REC_UNREAD, "REC UNREAD") \
    M(SIM7100_SMS_REC_READ, "REC READ")     \
    M(SIM7100_SMS_STO_UNSENT, "STO UNSENT") \
    M(SIM7100_SMS_STO_SENT, "STO SENT")     \
    M(SIM7100_SMS_ALL, "ALL")
#define SIM7100_SMS_STATUS_OTHER_NAME "ALL"

#endif /* SIM7100_MEANINGS_H */
