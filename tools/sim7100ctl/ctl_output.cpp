#include "ctl_output.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>

#include "sim7100_link.h"
#include "sim7100_meanings.h"

namespace ctl {

SResponse DecodeResponse(uint32_t type, const SCmdResponseData& record) {
    SResponse r;
    r.type = type;
    r.cmdStatus = record.cmdStatus;
    r.errCode = record.errCode;
    const size_t length = strnlen(record.text, sizeof record.text);
    r.text.assign(record.text, length);
    r.textTerminated = length < sizeof record.text;
    return r;
}

namespace {

struct SMeaning {
    int32_t value;
    const char* name;
    const char* text;
};

#define SIM7100_CTL_MEANING(value, name, text) {value, name, text},
const SMeaning kStatuses[] = {SIM7100_STATUS_MEANINGS(SIM7100_CTL_MEANING)};
#undef SIM7100_CTL_MEANING

const SMeaning* FindStatus(int32_t value) {
    const auto* found = std::find_if(std::begin(kStatuses), std::end(kStatuses),
                                     [value](const SMeaning& m) { return m.value == value; });
    return found != std::end(kStatuses) ? found : nullptr;
}

}  // namespace

std::string StatusName(int32_t cmdStatus) {
    const SMeaning* m = FindStatus(cmdStatus);
    return m != nullptr ? m->name : "";
}

std::string StatusMeaning(int32_t cmdStatus) {
    const SMeaning* m = FindStatus(cmdStatus);
    return m != nullptr ? m->text : "";
}

std::string ErrCodeMeaning(uint32_t type, int32_t cmdStatus, int32_t errCode) {
    const SCmdResponseData record{cmdStatus, errCode, {}};
    const char* meaning = sim7100_error_meaning(type, &record);
    return meaning != nullptr ? meaning : "";
}

std::vector<std::string> ResponseWarnings(const SRequest& request, const SResponse& response) {
    std::vector<std::string> warnings;
    if (response.type != request.type) {
        warnings.push_back("response type " + std::to_string(response.type) + ", request type " +
                           std::to_string(request.type));
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
