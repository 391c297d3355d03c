#include "ctl_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "frame_codec.h"
#include "sim7100_meanings.h"

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

namespace {

struct SMeaning {
    int32_t value;
    const char* name;
    const char* text;
};

#define SIM7100_CTL_MEANING(value, name, text) {value, name, text},
#define SIM7100_CTL_NAME(value, name)          {value, name, ""},
const SMeaning kStatuses[] = {SIM7100_STATUS_MEANINGS(SIM7100_CTL_MEANING)};
const SMeaning kErrors[] = {SIM7100_ERR_MEANINGS(SIM7100_CTL_MEANING)};
const SMeaning kChips[] = {SIM7100_CHIP_MEANINGS(SIM7100_CTL_NAME)};
#undef SIM7100_CTL_NAME
#undef SIM7100_CTL_MEANING

struct SCodeKind {
    uint32_t type;
    // cppcheck-suppress unusedStructMember ; read through the list below
    int kind;
    // cppcheck-suppress unusedStructMember
    const char* what;
};
#define SIM7100_CTL_KIND(type, kind, what) {type, kind, what},
const SCodeKind kCodeKinds[] = {SIM7100_ERR_CODE_KINDS(SIM7100_CTL_KIND)};
#undef SIM7100_CTL_KIND

template <size_t N>
const SMeaning* Find(const SMeaning (&table)[N], int32_t value) {
    const auto* found = std::find_if(table, table + N, [value](const SMeaning& m) { return m.value == value; });
    return found != table + N ? found : nullptr;
}

}  // namespace

std::string StatusName(int32_t cmdStatus) {
    const SMeaning* m = Find(kStatuses, cmdStatus);
    return m != nullptr ? m->name : "";
}

std::string StatusMeaning(int32_t cmdStatus) {
    const SMeaning* m = Find(kStatuses, cmdStatus);
    return m != nullptr ? m->text : "";
}

// The dissector reads the same lists the same way (tools/wireshark/sim7100.in.lua).
std::string ErrCodeMeaning(uint32_t type, int32_t cmdStatus, int32_t errCode) {
    if (const SMeaning* m = errCode < 0 ? Find(kErrors, errCode) : nullptr)
        return std::string(m->name) + ": " + m->text;
    if (errCode == 0 && cmdStatus != SIM7100_STATUS_OK && cmdStatus != SIM7100_STATUS_CHIP_TYPE) return "";
    const auto* kind = std::find_if(std::begin(kCodeKinds), std::end(kCodeKinds),
                                    [type](const SCodeKind& k) { return k.type == type; });
    if (kind == std::end(kCodeKinds)) return "";
    switch (kind->kind) {
    case SIM7100_CODE_CHIP_TYPE: {
        const SMeaning* chip = Find(kChips, errCode);
        return chip != nullptr ? std::string(kind->what) + ": " + chip->name : "";
    }
    case SIM7100_CODE_SMS_MODE:
        return std::string(kind->what) + ": " +
               (errCode == SIM7100_SMS_MODE_PDU ? SIM7100_SMS_MODE_PDU_NAME : SIM7100_SMS_MODE_TEXT_NAME);
    case SIM7100_CODE_SIM_STATE:
        return errCode == SIM7100_SIM_STATE_UNNAMED ? kind->what : "";
    default:
        return kind->what;
    }
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
    const std::string name = TypeName(request.type);
    block += Row("request",
                 request.Display() + " (type " + std::to_string(request.type) + (name.empty() ? "" : " ") + name + ")");
    for (const std::string& w : ResponseWarnings(request, response)) block += Row("warning", w);
    const std::string status = StatusMeaning(response.cmdStatus);
    block += Row("cmdStatus", WithMeaning(response.cmdStatus, status.empty() ? "unknown" : status));
    block += Row("errCode",
                 WithMeaning(response.errCode, ErrCodeMeaning(response.type, response.cmdStatus, response.errCode)));
    const std::vector<std::string> lines = DisplayLines(response.text);
    if (lines.empty()) {
        block += Row("text", "--");
    } else {
        block += Row("text", lines.front());
        for (size_t i = 1; i < lines.size(); ++i) block += Row("", lines[i]);
    }
    return block;
}

namespace {

nlohmann::ordered_json JsonHead(const SRequest& request, uint32_t type) {
    nlohmann::ordered_json j;
    j["type"] = type;
    const std::string name = TypeName(type);
    j["typeName"] = name.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(name);
    j["request"] = request.command;
    j["args"] = request.args;
    return j;
}

std::string Dump(const nlohmann::ordered_json& j) {
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace

std::string FormatUnanswered(const SRequest& request, const std::string& outcome, const std::string& note) {
    nlohmann::ordered_json j = JsonHead(request, request.type);
    j["cmdStatus"] = nullptr;
    j["status"] = outcome;
    j["errCode"] = nullptr;
    j["errMeaning"] = nullptr;
    j["text"] = nullptr;
    j["warnings"] = {note};
    return Dump(j);
}

std::string FormatJson(const SRequest& request, const SResponse& response) {
    nlohmann::ordered_json j = JsonHead(request, response.type);
    j["cmdStatus"] = response.cmdStatus;
    const std::string status = StatusName(response.cmdStatus);
    j["status"] = status.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(status);
    j["errCode"] = response.errCode;
    const std::string meaning = ErrCodeMeaning(response.type, response.cmdStatus, response.errCode);
    j["errMeaning"] = meaning.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(meaning);
    j["text"] = response.text;
    const std::vector<std::string> warnings = ResponseWarnings(request, response);
    if (!warnings.empty()) j["warnings"] = warnings;
    return Dump(j);
}

}  // namespace ctl
