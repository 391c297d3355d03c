/*
 * Wire vocabulary between sim7100d and the RTOS side.
 *
 * Valid C (C89 and later) and C++ (C++11 and later): the RTOS firmware
 * includes this header unchanged.
 * Every frame is an 8-byte header (payload length, message type, both
 * unsigned 32-bit in host byte order) followed by the payload.  Sizes and
 * offsets below are asserted at compile time, on every target.
 */
#ifndef SIM7100_PROTOCOL_H
#define SIM7100_PROTOCOL_H

#include <stddef.h>
#include <stdint.h>

/*
 * A layout check that holds on every compiler the firmware may use.  Before
 * C11 there is no _Static_assert, so a false condition makes an array of
 * negative size instead; name makes the typedef unique.
 */
#if defined(__cplusplus) && __cplusplus >= 201103L
#define SIM7100_STATIC_ASSERT(name, cond) static_assert(cond, #name)
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define SIM7100_STATIC_ASSERT(name, cond) _Static_assert(cond, #name)
#else
#define SIM7100_STATIC_ASSERT(name, cond) typedef char sim7100_check_##name[(cond) ? 1 : -1]
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

/*
 * Every request type once, in number order:
 *   X(type, name, payload, size)
 * payload says what the operation reads, size the bytes a request must carry:
 *   SIM7100_PAYLOAD_NONE     nothing; a payload that comes along is ignored
 *   SIM7100_PAYLOAD_LAYOUT   a fixed layout, its fields listed below; a
 *                            shorter payload is refused
 *   SIM7100_PAYLOAD_TEXT     a text up to its first zero byte or the
 *                            payload's end; with size 1 an empty one is
 *                            refused
 * Dispatch, the tools, the tests and the link's dissector all read it, so a
 * new request type is added here first.
 */
#define SIM7100_PAYLOAD_NONE   0
#define SIM7100_PAYLOAD_LAYOUT 1
#define SIM7100_PAYLOAD_TEXT   2

#define SIM7100_REQUEST_TYPES(X)                                                                                    \
    X(SIM7100_MSG_POWER_ON, PowerOn, SIM7100_PAYLOAD_NONE, 0)                                                       \
    X(SIM7100_MSG_POWER_OFF, PowerOff, SIM7100_PAYLOAD_NONE, 0)                                                     \
    X(SIM7100_MSG_STAND_BY, StandBy, SIM7100_PAYLOAD_NONE, 0)                                                       \
    X(SIM7100_MSG_CONNECT, Connect, SIM7100_PAYLOAD_NONE, 0)                                                        \
    X(SIM7100_MSG_DISCONNECT, Disconnect, SIM7100_PAYLOAD_NONE, 0)                                                  \
    X(SIM7100_MSG_SET_AUTHENTICATION, SetAuthentication, SIM7100_PAYLOAD_LAYOUT, sizeof(SSetAuthenticationRequest)) \
    X(SIM7100_MSG_SET_APN, SetApn, SIM7100_PAYLOAD_LAYOUT, sizeof(SSetApnRequest))                                  \
    X(SIM7100_MSG_ENTER_PIN, EnterPin, SIM7100_PAYLOAD_LAYOUT, sizeof(SEnterPinRequest))                            \
    X(SIM7100_MSG_GET_PIN_RETRIES, GetPinRetries, SIM7100_PAYLOAD_NONE, 0)                                          \
    X(SIM7100_MSG_GET_SIM_STATUS, GetSimStatus, SIM7100_PAYLOAD_NONE, 0)                                            \
    X(SIM7100_MSG_GET_CONNECTION_STATUS, GetConnectionStatus, SIM7100_PAYLOAD_NONE, 0)                              \
    X(SIM7100_MSG_GET_CHIP_TYPE, GetChipType, SIM7100_PAYLOAD_NONE, 0)                                              \
    X(SIM7100_MSG_GPS_START, GpsStart, SIM7100_PAYLOAD_NONE, 0)                                                     \
    X(SIM7100_MSG_GPS_STOP, GpsStop, SIM7100_PAYLOAD_NONE, 0)                                                       \
    X(SIM7100_MSG_GPS_GET_INFO, GpsGetInfo, SIM7100_PAYLOAD_NONE, 0)                                                \
    X(SIM7100_MSG_GPS_GET_XTRA_STATUS, GpsGetXtraStatus, SIM7100_PAYLOAD_NONE, 0)                                   \
    X(SIM7100_MSG_GPS_ENABLE_XTRA, GpsEnableXtra, SIM7100_PAYLOAD_NONE, 0)                                          \
    X(SIM7100_MSG_GET_SIGNAL_QUALITY, GetSignalQuality, SIM7100_PAYLOAD_NONE, 0)                                    \
    X(SIM7100_MSG_LBS_START, LbsStart, SIM7100_PAYLOAD_NONE, 0)                                                     \
    X(SIM7100_MSG_LBS_STOP, LbsStop, SIM7100_PAYLOAD_NONE, 0)                                                       \
    X(SIM7100_MSG_LBS_GET_LOCATION, LbsGetLocation, SIM7100_PAYLOAD_NONE, 0)                                        \
    X(SIM7100_MSG_GET_FIRMWARE_VERSION, GetFirmwareVersion, SIM7100_PAYLOAD_NONE, 0)                                \
    X(SIM7100_MSG_RAW_COMMAND, RawCommand, SIM7100_PAYLOAD_TEXT, 0)                                                 \
    X(SIM7100_MSG_SET_ERROR_REPORTING, SetErrorReporting, SIM7100_PAYLOAD_TEXT, 1)                                  \
    X(SIM7100_MSG_GET_SERVICE_PROVIDER, GetServiceProvider, SIM7100_PAYLOAD_NONE, 0)                                \
    X(SIM7100_MSG_GET_NETWORK_MODE, GetNetworkMode, SIM7100_PAYLOAD_NONE, 0)                                        \
    X(SIM7100_MSG_SET_CLOCK, SetClock, SIM7100_PAYLOAD_LAYOUT, sizeof(SSetClockRequest))                            \
    X(SIM7100_MSG_GPS_DOWNLOAD_XTRA, GpsDownloadXtra, SIM7100_PAYLOAD_NONE, 0)                                      \
    X(SIM7100_MSG_SET_TIME_SERVER, SetTimeServer, SIM7100_PAYLOAD_LAYOUT, sizeof(SSetTimeServerRequest))            \
    X(SIM7100_MSG_UPDATE_TIME, UpdateTime, SIM7100_PAYLOAD_NONE, 0)                                                 \
    X(SIM7100_MSG_GET_SMS_MODE, GetSmsMode, SIM7100_PAYLOAD_NONE, 0)                                                \
    X(SIM7100_MSG_SET_SMS_MODE, SetSmsMode, SIM7100_PAYLOAD_LAYOUT, sizeof(SSetSmsModeRequest))                     \
    X(SIM7100_MSG_LIST_SMS, ListSms, SIM7100_PAYLOAD_LAYOUT, sizeof(SListSmsRequest))                               \
    X(SIM7100_MSG_READ_SMS, ReadSms, SIM7100_PAYLOAD_LAYOUT, sizeof(SReadSmsRequest))                               \
    X(SIM7100_MSG_DELETE_SMS, DeleteSms, SIM7100_PAYLOAD_LAYOUT, sizeof(SDeleteSmsRequest))                         \
    X(SIM7100_MSG_WRITE_SMS, WriteSms, SIM7100_PAYLOAD_LAYOUT, sizeof(SWriteSmsRequest))

/*
 * The fields of every layout, in order:
 *   F(type, layout, field, kind)
 * kind says how the operation reads the field:
 *   SIM7100_FIELD_BYTE        a single byte
 *   SIM7100_FIELD_STRING      a string that must end within the field; a
 *                             request whose field holds no zero byte is
 *                             refused
 *   SIM7100_FIELD_STRING_OPT  the same, read only when its first byte is
 *                             non-zero (an empty field is never refused)
 *   SIM7100_FIELD_CHARS       characters up to the first zero byte or the
 *                             field's end
 */
#define SIM7100_FIELD_BYTE       0
#define SIM7100_FIELD_STRING     1
#define SIM7100_FIELD_STRING_OPT 2
#define SIM7100_FIELD_CHARS      3

#define SIM7100_REQUEST_FIELDS(F)                                                                \
    F(SIM7100_MSG_SET_AUTHENTICATION, SSetAuthenticationRequest, user, SIM7100_FIELD_STRING)     \
    F(SIM7100_MSG_SET_AUTHENTICATION, SSetAuthenticationRequest, password, SIM7100_FIELD_STRING) \
    F(SIM7100_MSG_SET_APN, SSetApnRequest, apn, SIM7100_FIELD_STRING)                            \
    F(SIM7100_MSG_ENTER_PIN, SEnterPinRequest, pin, SIM7100_FIELD_STRING)                        \
    F(SIM7100_MSG_ENTER_PIN, SEnterPinRequest, newPin, SIM7100_FIELD_STRING_OPT)                 \
    F(SIM7100_MSG_SET_CLOCK, SSetClockRequest, time, SIM7100_FIELD_STRING)                       \
    F(SIM7100_MSG_SET_TIME_SERVER, SSetTimeServerRequest, server, SIM7100_FIELD_STRING)          \
    F(SIM7100_MSG_SET_SMS_MODE, SSetSmsModeRequest, mode, SIM7100_FIELD_BYTE)                    \
    F(SIM7100_MSG_LIST_SMS, SListSmsRequest, status, SIM7100_FIELD_BYTE)                         \
    F(SIM7100_MSG_LIST_SMS, SListSmsRequest, headersOnly, SIM7100_FIELD_BYTE)                    \
    F(SIM7100_MSG_READ_SMS, SReadSmsRequest, index, SIM7100_FIELD_BYTE)                          \
    F(SIM7100_MSG_DELETE_SMS, SDeleteSmsRequest, index, SIM7100_FIELD_BYTE)                      \
    F(SIM7100_MSG_DELETE_SMS, SDeleteSmsRequest, flag, SIM7100_FIELD_BYTE)                       \
    F(SIM7100_MSG_WRITE_SMS, SWriteSmsRequest, status, SIM7100_FIELD_BYTE)                       \
    F(SIM7100_MSG_WRITE_SMS, SWriteSmsRequest, phone, SIM7100_FIELD_CHARS)                       \
    F(SIM7100_MSG_WRITE_SMS, SWriteSmsRequest, body, SIM7100_FIELD_CHARS)

/* A field's offset and size within its layout. */
#define SIM7100_FIELD_OFFSET(layout, field) offsetof(layout, field)
#define SIM7100_FIELD_SIZE(layout, field)   sizeof(((layout*)0)->field)

SIM7100_STATIC_ASSERT(frame_header, sizeof(Sim7100FrameHeader) == SIM7100_FRAME_HEADER_SIZE);
SIM7100_STATIC_ASSERT(frame_header_type, offsetof(Sim7100FrameHeader, type) == 4);
SIM7100_STATIC_ASSERT(response_record, sizeof(SCmdResponseData) == SIM7100_RESPONSE_SIZE);
SIM7100_STATIC_ASSERT(response_errcode, offsetof(SCmdResponseData, errCode) == 4);
SIM7100_STATIC_ASSERT(response_text, offsetof(SCmdResponseData, text) == 8);
SIM7100_STATIC_ASSERT(type_8_layout, sizeof(SSetAuthenticationRequest) == 512);
SIM7100_STATIC_ASSERT(type_8_password, offsetof(SSetAuthenticationRequest, password) == 256);
SIM7100_STATIC_ASSERT(type_9_layout, sizeof(SSetApnRequest) == 256);
SIM7100_STATIC_ASSERT(type_10_layout, sizeof(SEnterPinRequest) == 64);
SIM7100_STATIC_ASSERT(type_10_newpin, offsetof(SEnterPinRequest, newPin) == 32);
SIM7100_STATIC_ASSERT(type_29_layout, sizeof(SSetClockRequest) == 40);
SIM7100_STATIC_ASSERT(type_31_layout, sizeof(SSetTimeServerRequest) == 256);
SIM7100_STATIC_ASSERT(type_34_layout, sizeof(SSetSmsModeRequest) == 1);
SIM7100_STATIC_ASSERT(type_35_layout, sizeof(SListSmsRequest) == 2);
SIM7100_STATIC_ASSERT(type_35_headersonly, offsetof(SListSmsRequest, headersOnly) == 1);
SIM7100_STATIC_ASSERT(type_36_layout, sizeof(SReadSmsRequest) == 1);
SIM7100_STATIC_ASSERT(type_37_layout, sizeof(SDeleteSmsRequest) == 2);
SIM7100_STATIC_ASSERT(type_37_flag, offsetof(SDeleteSmsRequest, flag) == 1);
SIM7100_STATIC_ASSERT(type_38_layout, sizeof(SWriteSmsRequest) == 177);
SIM7100_STATIC_ASSERT(type_38_phone, offsetof(SWriteSmsRequest, phone) == 1);
SIM7100_STATIC_ASSERT(type_38_body, offsetof(SWriteSmsRequest, body) == 17);

/* The list covers every request type once, and every field lies in its layout. */
#define SIM7100_COUNT_TYPE(type, name, payload, size) sim7100_listed_##name,
enum Sim7100ListedTypes { SIM7100_REQUEST_TYPES(SIM7100_COUNT_TYPE) SIM7100_LISTED_TYPES };
#undef SIM7100_COUNT_TYPE
SIM7100_STATIC_ASSERT(one_entry_per_request_type,
                      SIM7100_LISTED_TYPES == SIM7100_MSG_LAST_REQUEST - SIM7100_MSG_FIRST_REQUEST + 1);
#define SIM7100_FIELD_IN_LAYOUT(type, layout, field, kind) \
    SIM7100_STATIC_ASSERT(field_##layout##_##field,        \
                          SIM7100_FIELD_OFFSET(layout, field) + SIM7100_FIELD_SIZE(layout, field) <= sizeof(layout));
SIM7100_REQUEST_FIELDS(SIM7100_FIELD_IN_LAYOUT)
#undef SIM7100_FIELD_IN_LAYOUT

#endif /* SIM7100_PROTOCOL_H */
