#include "ctl_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "frame_codec.h"

namespace ctl {

SResponse DecodeResponse(uint32_t type, const Bytes& payload) {
    const SCmdResponseData record = sim7100::DecodeRecord(payload.data(), payload.size());
    SResponse r;
    r.type = type;
    r.length = static_cast<uint32_t>(payload.size());
    r.cmdStatus = record.cmdStatus;
    r.errCode = record.errCode;
    const size_t available =
        payload.size() > offsetof(SCmdResponseData, text)
            ? std::min<size_t>(payload.size() - offsetof(SCmdResponseData, text), SIM7100_TEXT_SIZE)
            : 0;
    const size_t length = strnlen(record.text, available);
    r.text.assign(record.text, length);
    r.textTerminated = length < available;
    return r;
}

std::string StatusMeaning(int32_t cmdStatus) {
    switch (cmdStatus) {
    case SIM7100_STATUS_OK:
        return "ok";
    case SIM7100_STATUS_FAILED:
        return "failed";
    case SIM7100_STATUS_CONNECTED:
        return "connected";
    case SIM7100_STATUS_DISCONNECTED:
        return "not connected";
    case SIM7100_STATUS_SIM_PIN:
        return "SIM PIN";
    case SIM7100_STATUS_SIM_PUK:
        return "SIM PUK";
    case SIM7100_STATUS_SIM_PIN2:
        return "SIM PIN2";
    case SIM7100_STATUS_SIM_PUK2:
        return "SIM PUK2";
    case SIM7100_STATUS_CHIP_TYPE:
        return "chip type reported";
    case SIM7100_STATUS_LBS_UNSUPPORTED:
        return "LBS not supported";
    default:
        return "";
    }
}

std::string ErrCodeMeaning(uint32_t type, int32_t errCode) {
    switch (errCode) {
    case SIM7100_ERR_REFUSED:
        return "refused before any exchange";
    case SIM7100_ERR_WRITE_FAILED:
        return "eCmdWriteFailed";
    case SIM7100_ERR_ERROR_RESULT:
        return "eCmdError";
    case SIM7100_ERR_NO_FINAL:
        return "eCmdPending";
    case SIM7100_ERR_OVERFLOW:
        return "eCmdOverflow";
    default:
        break;
    }
    if (type == SIM7100_MSG_GET_CHIP_TYPE) {
        switch (errCode) {
        case SIM7100_CHIP_SIM7100E:
            return "SIM7100E";
        case SIM7100_CHIP_SIM7100A:
            return "SIM7100A";
        case SIM7100_CHIP_SIM7600G:
            return "SIM7600G";
        case SIM7100_CHIP_UNKNOWN:
            return "unknown chip";
        default:
            break;
        }
    }
    return "";
}

std::vector<std::string> ResponseWarnings(const SRequest& request, const SResponse& response) {
    std::vector<std::string> warnings;
    if (response.type != request.type) {
        warnings.push_back("response type " + std::to_string(response.type) + ", request type " +
                           std::to_string(request.type));
    }
    if (response.length != SIM7100_RESPONSE_SIZE) {
        warnings.push_back("response of " + std::to_string(response.length) + " bytes, " +
                           std::to_string(SIM7100_RESPONSE_SIZE) + " expected");
    }
    if (!response.textTerminated) warnings.push_back("text not terminated by a zero byte");
    return warnings;
}

std::vector<std::string> DisplayLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;  // a line has started and not yet ended
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(line);
            line.clear();
            open = false;
            continue;
        }
        open = true;
        if (c == '\\') {
            line += "\\\\";
        } else if (c == '\t') {
            line += "\\t";
        } else if (c < 0x20 || c >= 0x7f) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02x", c);
            line += escaped;
        } else {
            line += static_cast<char>(c);
        }
    }
    if (open) lines.push_back(line);
    return lines;
}

namespace {

std::string Row(const char* label, const std::string& value) {
    char head[32];
    snprintf(head, sizeof head, "  %-9s | ", label);
    std::string row = head + value;
    // No blank after the bar when there is nothing behind it.
    if (value.empty()) row.pop_back();
    return row + "\n";
}

std::string WithMeaning(int32_t value, const std::string& meaning) {
    return std::to_string(value) + (meaning.empty() ? "" : " (" + meaning + ")");
}

}  // namespace

std::string FormatHuman(const SRequest& request, const SResponse& response) {
    std::string block = "  " + std::string(44, '-') + "\n";
    block += Row("request", request.Display() + " (type " + std::to_string(request.type) + ")");
    for (const std::string& w : ResponseWarnings(request, response)) block += Row("warning", w);
    const std::string status = StatusMeaning(response.cmdStatus);
    block += Row("cmdStatus", WithMeaning(response.cmdStatus, status.empty() ? "unknown" : status));
    block += Row("errCode", WithMeaning(response.errCode, ErrCodeMeaning(response.type, response.errCode)));
    const std::vector<std::string> lines = DisplayLines(response.text);
    if (lines.empty()) {
        block += Row("text", "--");
    } else {
        block += Row("text", lines.front());
        for (size_t i = 1; i < lines.size(); ++i) block += Row("", lines[i]);
    }
    return block;
}

std::string FormatJson(const SRequest& request, const SResponse& response) {
    nlohmann::ordered_json j;
    j["type"] = response.type;
    j["request"] = request.command;
    j["args"] = request.args;
    j["cmdStatus"] = response.cmdStatus;
    const std::string status = StatusMeaning(response.cmdStatus);
    j["status"] = status.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(status);
    j["errCode"] = response.errCode;
    const std::string meaning = ErrCodeMeaning(response.type, response.errCode);
    j["errMeaning"] = meaning.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(meaning);
    j["text"] = response.text;
    const std::vector<std::string> warnings = ResponseWarnings(request, response);
    if (!warnings.empty()) j["warnings"] = warnings;
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace ctl
