// How sim7100ctl shows a response: a readable block or one JSON line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ctl_commands.h"
#include "sim7100_protocol.h"

namespace ctl {

struct SResponse {
    uint32_t type = 0;
    int32_t cmdStatus = 0;
    int32_t errCode = 0;
    std::string text;            // up to the first zero byte
    bool textTerminated = true;  // a zero byte ended the text within the record
};

// The record's text ends at its terminator or at the end of its field.
SResponse DecodeResponse(uint32_t type, const SCmdResponseData& record);

// From protocol/sim7100_meanings.h; "" for a value the daemon does not use.
std::string StatusName(int32_t cmdStatus);     // "ok", "failed", ...
std::string StatusMeaning(int32_t cmdStatus);  // "request carried out", ...
// What errCode holds for this request type and status ("eCmdError: ...",
// "chip type: SIM7600G", "signal strength, +CSQ"); "" when it says nothing.
std::string ErrCodeMeaning(uint32_t type, int32_t cmdStatus, int32_t errCode);
// Problems with the response frame itself; empty when it is as expected.
std::vector<std::string> ResponseWarnings(const SRequest& request, const SResponse& response);

// The text as display lines: a CR LF, LF or lone CR ends a line (a final one
// opens no empty line), other control bytes, DEL, bytes above 0x7f and the
// backslash are escaped.
std::vector<std::string> DisplayLines(const std::string& text);

std::string FormatHuman(const SRequest& request, const SResponse& response);
// One line, no line end; texts that are not UTF-8 get U+FFFD.
std::string FormatJson(const SRequest& request, const SResponse& response);
// One line for a request that got no response: "status" is the outcome
// ("timeout", "link closed", ...), the record's fields are null.
std::string FormatUnanswered(const SRequest& request, const std::string& outcome, const std::string& note);

}  // namespace ctl
