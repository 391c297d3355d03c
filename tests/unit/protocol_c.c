/* The wire header as a C11 compiler sees it. */
#include "sim7100_protocol.h"

_Static_assert(sizeof(Sim7100FrameHeader) == 8, "frame header is 8 bytes");
_Static_assert(offsetof(Sim7100FrameHeader, length) == 0, "length first");
_Static_assert(offsetof(Sim7100FrameHeader, type) == 4, "type second");
_Static_assert(sizeof(SCmdResponseData) == 1032, "response record is 1032 bytes");
_Static_assert(offsetof(SCmdResponseData, cmdStatus) == 0, "cmdStatus at 0");
_Static_assert(offsetof(SCmdResponseData, errCode) == 4, "errCode at 4");
_Static_assert(offsetof(SCmdResponseData, text) == 8, "text at 8");
_Static_assert(sizeof(((SCmdResponseData*)0)->text) == 1024, "text is 1024 bytes");
_Static_assert(SIM7100_MSG_REGISTER == 1 && SIM7100_MSG_WRITE_SMS == 38, "type numbers");
_Static_assert(sizeof(SWriteSmsRequest) == 177 && offsetof(SWriteSmsRequest, body) == 17, "type 38");

/* Sizes and offsets for the C++ side to compare with its own view. */
size_t sim7100_c_layout(unsigned which);
size_t sim7100_c_layout(unsigned which) {
    static const size_t layout[] = {
        sizeof(Sim7100FrameHeader),        sizeof(SCmdResponseData),           offsetof(SCmdResponseData, text),
        sizeof(SSetAuthenticationRequest), offsetof(SEnterPinRequest, newPin), sizeof(SListSmsRequest),
        offsetof(SWriteSmsRequest, body),
    };
    return which < sizeof layout / sizeof layout[0] ? layout[which] : 0;
}
