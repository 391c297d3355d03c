#include "answers.h"

#include <cstdio>
#include <cstring>

CSim7100Impl::EChipType ChipTypeOf(const char* answer) {
    if (strstr(answer, "SIM7100E") != nullptr) return CSim7100Impl::eChipSim7100E;
    if (strstr(answer, "SIM7100A") != nullptr) return CSim7100Impl::eChipSim7100A;
    if (strstr(answer, "SIM7600G") != nullptr) return CSim7100Impl::eChipSim7600G;
    return CSim7100Impl::eChipUnknown;
}

SSimState SimStateOf(const char* answer) {
    // "SIM PIN2" contains "SIM PIN": the longer names are tried first.
    static const struct {
        const char* name;
        int32_t status;
    } kStates[] = {
        {"READY", SIM7100_STATUS_OK},          {"SIM PIN2", SIM7100_STATUS_SIM_PIN2},
        {"SIM PUK2", SIM7100_STATUS_SIM_PUK2}, {"SIM PIN", SIM7100_STATUS_SIM_PIN},
        {"SIM PUK", SIM7100_STATUS_SIM_PUK},
    };
    for (const auto& state : kStates) {
        if (strstr(answer, state.name) != nullptr) return {state.status, 0};
    }
    return {SIM7100_STATUS_OK, 2};
}

bool SignalStrengthOf(const char* answer, unsigned& strength) {
    const char* p = strstr(answer, "+CSQ:");
    unsigned rssi = 0;
    unsigned ber = 0;
    if (p == nullptr || sscanf(p, "+CSQ: %u,%u", &rssi, &ber) != 2) return false;
    // 99 and 199: the module does not know the strength (yet).
    if (rssi == 99 || rssi == 199) return false;
    strength = rssi;
    return true;
}

bool RevisionWordOf(const char* answer, char* word, size_t wordSize) {
    const char* p = strstr(answer, "+CGMR:");
    if (p == nullptr || wordSize < 2) return false;
    char format[40];
    snprintf(format, sizeof format, "+CGMR: %%%zus", wordSize - 1);
    memset(word, 0, wordSize);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    return sscanf(p, format, word) == 1;
#pragma GCC diagnostic pop
}

bool ServiceProviderOf(char* answer, char (&name)[64], unsigned& displayMode) {
    char* p = strstr(answer, "+CSPN:");
    if (p == nullptr) return false;
    memset(name, 0, sizeof name);
    displayMode = 0;
    char* open = strchr(p, '"');
    char* close = open != nullptr ? strchr(open + 1, '"') : nullptr;
    if (close == nullptr) return false;
    for (char* c = open + 1; c < close; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        const bool alnum = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
        if (!alnum) *c = ' ';
    }
    const char* comma = strchr(close, ',');
    unsigned mode = 0;
    if (comma == nullptr || sscanf(comma, ",%u", &mode) != 1) return false;
    const size_t length = static_cast<size_t>(close - open - 1);
    memcpy(name, open + 1, length < sizeof name - 1 ? length : sizeof name - 1);
    displayMode = mode;
    return true;
}

bool NetworkModeOf(const char* answer, unsigned& mode) {
    const char* p = strstr(answer, "+CNSMOD:");
    unsigned n = 0;
    return p != nullptr && sscanf(p, "+CNSMOD: %u,%u", &n, &mode) == 2;
}

bool XtraFlagOf(const char* answer, unsigned& flag) {
    const char* p = strstr(answer, "+CGPSXE:");
    return p != nullptr && sscanf(p, "+CGPSXE: %u", &flag) == 1;
}

bool RegistrationOf(const char* answer, unsigned& n, unsigned& stat) {
    const char* p = strstr(answer, "+CGREG:");
    return p != nullptr && sscanf(p, "+CGREG: %u,%u", &n, &stat) == 2;
}

bool SmsModeOf(const char* answer, uint8_t& mode) {
    const char* p = strstr(answer, "+CMGF:");
    unsigned value = 0;
    if (p == nullptr || sscanf(p, "+CMGF: %u", &value) != 1) return false;
    mode = static_cast<uint8_t>(value & 0xFFu);
    return true;
}

bool StoredIndexOf(const char* answer, unsigned& index) {
    const char* p = strstr(answer, "+CMGW:");
    return p != nullptr && sscanf(p, "+CMGW: %u", &index) == 1;
}

const char* SmsStatusName(uint8_t status) {
    static const char* const kNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"};
    return status < 4 ? kNames[status] : "ALL";
}

bool SupportsLbs(const char* word) {
    if (strstr(word, "SIM7600") != nullptr) return true;
    if (strlen(word) < 15) return false;
    const auto* u = reinterpret_cast<const unsigned char*>(word);
    if (u[5] > '0') return true;
    return u[6] > '6';
}

SNetStart NetStartOf(const char* answer) {
    SNetStart result{false, false, 0};
    const char* p = strstr(answer, "+CNETSTART:");
    if (p == nullptr) return result;
    result.found = true;
    result.read = sscanf(p, "+CNETSTART: %d", &result.code) == 1;
    if (!result.read) result.code = 0;
    return result;
}

SLocation LocationOf(const char* answer) {
    SLocation result{strstr(answer, "+CLBS:"), 0, 0};
    if (result.line == nullptr) return result;
    float latitude = 0;
    float longitude = 0;
    float accuracy = 0;
    result.fields = sscanf(result.line, "+CLBS: %u,%f,%f,%f", &result.code, &latitude, &longitude, &accuracy);
    if (result.fields < 0) result.fields = 0;
    if (result.fields == 0) result.code = 0;
    return result;
}

size_t LengthThroughOk(const char* answer) {
    const char* ok = strstr(answer, "OK\r\n");
    return ok != nullptr ? static_cast<size_t>(ok - answer) + 4 : strlen(answer);
}

EHeaders CollectHeaders(const char* answer, char (&text)[SIM7100_TEXT_SIZE]) {
    memset(text, 0, sizeof text);
    size_t total = 0;
    const char* header = strstr(answer, "+CMGL:");
    while (header != nullptr) {
        const char* end = strstr(header, "\r\n");
        if (end == nullptr) return EHeaders::eIncorrect;
        const size_t piece = static_cast<size_t>(end - header) + 2;
        if (total + piece >= sizeof text) return EHeaders::eTooBig;
        memcpy(text + total, header, piece);
        total += piece;
        header = strstr(end, "+CMGL:");
    }
    return EHeaders::eOk;
}
