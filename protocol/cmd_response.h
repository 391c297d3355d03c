// SCmdResponse: the response record with the constructors the operations use.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "sim7100_protocol.h"

#define SIM7100_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

struct SCmdResponse : SCmdResponseData {
    SCmdResponse() { Clear(); }

    // Success with a formatted text.
    explicit SCmdResponse(const char* format, ...) SIM7100_PRINTF(2, 3) {
        Clear();
        va_list args;
        va_start(args, format);
        vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }

    // Failure with an error code and a formatted text.
    SCmdResponse(int32_t code, const char* format, ...) SIM7100_PRINTF(3, 4) {
        Clear();
        cmdStatus = SIM7100_STATUS_FAILED;
        errCode = code;
        va_list args;
        va_start(args, format);
        vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }

    // All 1032 bytes zero, then success with no text.
    void Clear() {
        memset(static_cast<SCmdResponseData*>(this), 0, sizeof(SCmdResponseData));
        cmdStatus = SIM7100_STATUS_OK;
    }

    void Set(int32_t status, int32_t code) {
        cmdStatus = status;
        errCode = code;
    }

    // Bounded formatting into text; never pass module text as the format.
    // The old text goes first, so no stale bytes trail the new one.
    void Format(const char* format, ...) SIM7100_PRINTF(2, 3) {
        memset(text, 0, sizeof text);
        va_list args;
        va_start(args, format);
        vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }

    // Verbatim copy, cut at 1023 characters.
    void Copy(const char* source) { Format("%s", source); }
};

static_assert(sizeof(SCmdResponse) == SIM7100_RESPONSE_SIZE, "the record is 1032 bytes");
