// One pure function per answer form of the module: each takes the answer as
// the exchange left it and returns what the operation reads from it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim7100.h"

// "AT+CGMM": the first model name found, in the order E, A, 7600G.
CSim7100Impl::EChipType ChipTypeOf(const char* answer);

// "AT+CPIN?": cmdStatus of the SIM state named (longer names first); no name
// found gives cmdStatus 1 with errCode 2.
struct SSimState {
    int32_t cmdStatus;
    int32_t errCode;
};
SSimState SimStateOf(const char* answer);

// "+CSQ: <rssi>,<ber>": true with a known strength (not 99, not 199).
bool SignalStrengthOf(const char* answer, unsigned& strength);

// "+CGMR: <word>": the revision word, at most N-1 characters.
bool RevisionWordOf(const char* answer, char* word, size_t wordSize);

// "+CSPN: "<name>",<mode>": cleans the name where it stands in the answer
// (every byte not a letter or digit becomes a blank, also when the mode is
// missing), then copies at most 63 bytes of it.
bool ServiceProviderOf(char* answer, char (&name)[64], unsigned& displayMode);

// "+CNSMOD: <n>,<mode>": the second number.
bool NetworkModeOf(const char* answer, unsigned& mode);

// "+CGPSXE: <flag>".
bool XtraFlagOf(const char* answer, unsigned& flag);

// "+CGREG: <n>,<stat>".
bool RegistrationOf(const char* answer, unsigned& n, unsigned& stat);

// "+CMGF: <mode>": the low 8 bits of the number.
bool SmsModeOf(const char* answer, uint8_t& mode);

// "+CMGW: <index>".
bool StoredIndexOf(const char* answer, unsigned& index);

// Text-mode status name of a selector; any other value is "ALL".
const char* SmsStatusName(uint8_t status);

// Whether a firmware revision word supports cell-based location.
bool SupportsLbs(const char* word);

// "+CNETSTART: <code>".
struct SNetStart {
    bool found;  // "+CNETSTART:" is in the answer
    bool read;   // a number follows it
    int code;
};
SNetStart NetStartOf(const char* answer);

// "+CLBS: <code>,<lat>,<lon>,<acc>".
struct SLocation {
    const char* line;  // the first "+CLBS:", or null
    int fields;        // fields read (4 for a full fix)
    unsigned code;
};
SLocation LocationOf(const char* answer);

// Length of an answer up to and including its first "OK\r\n".  An answer
// accepted without one (it ended in "CONNECT\r\n") counts whole.
size_t LengthThroughOk(const char* answer);

// The "+CMGL:" header lines of a listing, each through its CR LF, into text.
enum class EHeaders { eOk, eIncorrect, eTooBig };
EHeaders CollectHeaders(const char* answer, char (&text)[SIM7100_TEXT_SIZE]);
