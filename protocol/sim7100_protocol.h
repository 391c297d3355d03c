/*
 * Wire vocabulary between sim7100d and the RTOS side.
 *
 * Valid C (C11) and C++: the RTOS firmware includes this header unchanged.
 * Every frame is an 8-byte header (payload length, message type, both
 * unsigned 32-bit in host byte order) followed by the payload.  Sizes and
 * offsets below are asserted at compile time, on every target.
 */
#ifndef SIM7100_PROTOCOL_H
#define SIM7100_PROTOCOL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define SIM7100_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define SIM7100_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Message types carried in the type field of every frame. */
#define SIM7100_MSG_REGISTER              1u
#define SIM7100_MSG_TERMINATE             2u
#define SIM7100_MSG_POWER_ON              3u
#define SIM7100_MSG_POWER_OFF             4u
#define SIM7100_MSG_STAND_BY              5u
#define SIM7100_MSG_CONNECT               6u
#define SIM7100_MSG_DISCONNECT            7u
#define SIM7100_MSG_SET_AUTHENTICATION    8u
#define SIM7100_MSG_SET_APN               9u
#define SIM7100_MSG_ENTER_PIN             10u
#define SIM7100_MSG_GET_PIN_RETRIES       11u
#define SIM7100_MSG_GET_SIM_STATUS        12u
#define SIM7100_MSG_GET_CONNECTION_STATUS 13u
#define SIM7100_MSG_GET_CHIP_TYPE         14u
#define SIM7100_MSG_GPS_START             15u
#define SIM7100_MSG_GPS_STOP              16u
#define SIM7100_MSG_GPS_GET_INFO          17u
#define SIM7100_MSG_GPS_GET_XTRA_STATUS   18u
#define SIM7100_MSG_GPS_ENABLE_XTRA       19u
#define SIM7100_MSG_GET_SIGNAL_QUALITY    20u
#define SIM7100_MSG_LBS_START             21u
#define SIM7100_MSG_LBS_STOP              22u
#define SIM7100_MSG_LBS_GET_LOCATION      23u
#define SIM7100_MSG_GET_FIRMWARE_VERSION  24u
#define SIM7100_MSG_RAW_COMMAND           25u
#define SIM7100_MSG_SET_ERROR_REPORTING   26u
#define SIM7100_MSG_GET_SERVICE_PROVIDER  27u
#define SIM7100_MSG_GET_NETWORK_MODE      28u
#define SIM7100_MSG_SET_CLOCK             29u
#define SIM7100_MSG_GPS_DOWNLOAD_XTRA     30u
#define SIM7100_MSG_SET_TIME_SERVER       31u
#define SIM7100_MSG_UPDATE_TIME           32u
#define SIM7100_MSG_GET_SMS_MODE          33u
#define SIM7100_MSG_SET_SMS_MODE          34u
#define SIM7100_MSG_LIST_SMS              35u
#define SIM7100_MSG_READ_SMS              36u
#define SIM7100_MSG_DELETE_SMS            37u
#define SIM7100_MSG_WRITE_SMS             38u

#define SIM7100_MSG_FIRST_REQUEST SIM7100_MSG_POWER_ON
#define SIM7100_MSG_LAST_REQUEST  SIM7100_MSG_WRITE_SMS

/* Frame header; both fields in host byte order. */
typedef struct Sim7100FrameHeader {
    uint32_t length;
    uint32_t type;
} Sim7100FrameHeader;

#define SIM7100_FRAME_HEADER_SIZE 8u

/* cmdStatus values of the response record. */
#define SIM7100_STATUS_OK              1
#define SIM7100_STATUS_FAILED          2
#define SIM7100_STATUS_CONNECTED       3
#define SIM7100_STATUS_DISCONNECTED    4
#define SIM7100_STATUS_SIM_PIN         5
#define SIM7100_STATUS_SIM_PUK         6
#define SIM7100_STATUS_SIM_PIN2        7
#define SIM7100_STATUS_SIM_PUK2        8
#define SIM7100_STATUS_CHIP_TYPE       9
#define SIM7100_STATUS_LBS_UNSUPPORTED 10

/* errCode values common to all operations. */
#define SIM7100_ERR_REFUSED      (-2)
#define SIM7100_ERR_WRITE_FAILED (-100)
#define SIM7100_ERR_ERROR_RESULT (-101)
#define SIM7100_ERR_NO_FINAL     (-102)
#define SIM7100_ERR_OVERFLOW     (-103)

/* Chip types reported in errCode by GetChipType (cmdStatus 9). */
#define SIM7100_CHIP_SIM7100E 0
#define SIM7100_CHIP_SIM7100A 1
#define SIM7100_CHIP_SIM7600G 2
#define SIM7100_CHIP_UNKNOWN  3

#define SIM7100_TEXT_SIZE 1024u

/* The response record: payload of every response frame, 1032 bytes. */
typedef struct SCmdResponseData {
    int32_t cmdStatus;
    int32_t errCode;
    char text[SIM7100_TEXT_SIZE]; /* always zero-terminated */
} SCmdResponseData;

#define SIM7100_RESPONSE_SIZE 1032u

/* Request payload layouts.  Character fields hold zero-terminated strings. */
typedef struct SSetAuthenticationRequest { /* type 8 */
    char user[256];
    char password[256];
} SSetAuthenticationRequest;

typedef struct SSetApnRequest { /* type 9 */
    char apn[256];
} SSetApnRequest;

typedef struct SEnterPinRequest { /* type 10 */
    char pin[32];                 /* the PIN, or the PUK when the SIM asks for one */
    char newPin[32];              /* empty when no new PIN is given */
} SEnterPinRequest;

typedef struct SSetClockRequest { /* type 29 */
    char time[40];                /* "yy/MM/dd,hh:mm:ss+zz" */
} SSetClockRequest;

typedef struct SSetTimeServerRequest { /* type 31 */
    char server[256];
} SSetTimeServerRequest;

typedef struct SSetSmsModeRequest { /* type 34 */
    uint8_t mode;                   /* 0 PDU, anything else text */
} SSetSmsModeRequest;

typedef struct SListSmsRequest { /* type 35 */
    uint8_t status;              /* SIM7100_SMS_* selector */
    uint8_t headersOnly;         /* 1: header lines only */
} SListSmsRequest;

typedef struct SReadSmsRequest { /* type 36 */
    uint8_t index;
} SReadSmsRequest;

typedef struct SDeleteSmsRequest { /* type 37 */
    uint8_t index;
    uint8_t flag; /* the delete flag of AT+CMGD; 0 deletes the one message */
} SDeleteSmsRequest;

typedef struct SWriteSmsRequest { /* type 38 */
    uint8_t status;               /* SIM7100_SMS_* selector */
    char phone[16];               /* digits without '+', at most 15 */
    char body[160];               /* at most 159 characters */
} SWriteSmsRequest;

/* SMS status selectors; any other value selects "ALL". */
#define SIM7100_SMS_REC_UNREAD 0u
#define SIM7100_SMS_REC_READ   1u
#define SIM7100_SMS_STO_UNSENT 2u
#define SIM7100_SMS_STO_SENT   3u
#define SIM7100_SMS_ALL        4u

/* Control words of the raw command request (type 25). */
#define SIM7100_RAW_DEBUG "DBG\r\n"
#define SIM7100_RAW_FLUSH "FLUSH\r\n"

SIM7100_STATIC_ASSERT(sizeof(Sim7100FrameHeader) == SIM7100_FRAME_HEADER_SIZE, "frame header");
SIM7100_STATIC_ASSERT(offsetof(Sim7100FrameHeader, type) == 4, "frame header type");
SIM7100_STATIC_ASSERT(sizeof(SCmdResponseData) == SIM7100_RESPONSE_SIZE, "response record");
SIM7100_STATIC_ASSERT(offsetof(SCmdResponseData, errCode) == 4, "response errCode");
SIM7100_STATIC_ASSERT(offsetof(SCmdResponseData, text) == 8, "response text");
SIM7100_STATIC_ASSERT(sizeof(SSetAuthenticationRequest) == 512, "type 8 layout");
SIM7100_STATIC_ASSERT(offsetof(SSetAuthenticationRequest, password) == 256, "type 8 password");
SIM7100_STATIC_ASSERT(sizeof(SSetApnRequest) == 256, "type 9 layout");
SIM7100_STATIC_ASSERT(sizeof(SEnterPinRequest) == 64, "type 10 layout");
SIM7100_STATIC_ASSERT(offsetof(SEnterPinRequest, newPin) == 32, "type 10 newPin");
SIM7100_STATIC_ASSERT(sizeof(SSetClockRequest) == 40, "type 29 layout");
SIM7100_STATIC_ASSERT(sizeof(SSetTimeServerRequest) == 256, "type 31 layout");
SIM7100_STATIC_ASSERT(sizeof(SSetSmsModeRequest) == 1, "type 34 layout");
SIM7100_STATIC_ASSERT(sizeof(SListSmsRequest) == 2, "type 35 layout");
SIM7100_STATIC_ASSERT(offsetof(SListSmsRequest, headersOnly) == 1, "type 35 headersOnly");
SIM7100_STATIC_ASSERT(sizeof(SReadSmsRequest) == 1, "type 36 layout");
SIM7100_STATIC_ASSERT(sizeof(SDeleteSmsRequest) == 2, "type 37 layout");
SIM7100_STATIC_ASSERT(offsetof(SDeleteSmsRequest, flag) == 1, "type 37 flag");
SIM7100_STATIC_ASSERT(sizeof(SWriteSmsRequest) == 177, "type 38 layout");
SIM7100_STATIC_ASSERT(offsetof(SWriteSmsRequest, phone) == 1, "type 38 phone");
SIM7100_STATIC_ASSERT(offsetof(SWriteSmsRequest, body) == 17, "type 38 body");

#endif /* SIM7100_PROTOCOL_H */
