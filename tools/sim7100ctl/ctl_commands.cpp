#include "ctl_commands.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <iterator>

#include "sim7100_protocol.h"

namespace ctl {
namespace {

// Everything a command's arguments can bind to; each command uses a few.
struct SValues {
    std::string first;
    std::string second;
    unsigned number = 0;
    unsigned flag = 0;
    std::string status;
    bool headers = false;
};

using Define = void (*)(CLI::App&, SValues&);
// Fills the request's payload (and type, for frame); returns a refusal or "".
using Build = std::string (*)(const SValues&, SRequest&);

struct SCommand {
    SCommandInfo info;
    Define define = nullptr;
    Build build = nullptr;
};

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool AllDigits(const std::string& s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos; }

// Decimal only: CLI11 alone would read "010" as octal and "0x10" as hex.
CLI::Validator Decimal() {
    return CLI::Validator(
        [](std::string& s) -> std::string {
            if (!AllDigits(s)) return "'" + s + "' is not a decimal number";
            s.erase(0, std::min(s.find_first_not_of('0'), s.size() - 1));
            return "";
        },
        "");
}

// An optional positional must not swallow the next command's name.
CLI::Validator NotACommand() {
    return CLI::Validator(
        [](const std::string& s) -> std::string { return FindCommand(s) != nullptr ? "a command name" : ""; }, "");
}

void Required(CLI::App& app, const char* name, std::string& target, const char* help) {
    app.add_option(name, target, help)->required();
}

// Only commands with an optional positional validate positionals before
// taking them: a failed check would otherwise turn into "X is required".
void Optional(CLI::App& app, const char* name, std::string& target, const char* help) {
    app.add_option(name, target, help)->check(NotACommand());
    app.validate_positionals();
}

void Number(CLI::App& app, const char* name, unsigned& target, unsigned max, const char* help) {
    app.add_option(name, target, help)->required()->transform(Decimal())->check(CLI::Range(0u, max));
}

struct SListType {
    uint32_t type;
    const char* name;
};

#define SIM7100_LIST_TYPE(type, name, payload, size) {type, #name},
const SListType kListTypes[] = {SIM7100_REQUEST_TYPES(SIM7100_LIST_TYPE)};
#undef SIM7100_LIST_TYPE

// A character field's size, from the protocol's field list; 0 for none.
size_t FieldSize(uint32_t type, const std::string& name) {
#define SIM7100_FIELD_SIZE_OF(t, layout, field, kind) \
    if ((t) == type && name == #field) return sizeof(layout::field);
    SIM7100_REQUEST_FIELDS(SIM7100_FIELD_SIZE_OF)
#undef SIM7100_FIELD_SIZE_OF
    return 0;
}

// Refuses what would not end within its character field (one byte is the
// terminator) or would break the AT command the daemon builds around it.
std::string CheckField(const char* what, const std::string& value, size_t field, bool quoted) {
    if (value.size() + 1 > field) {
        return std::string(what) + " is " + std::to_string(value.size()) + " characters long; at most " +
               std::to_string(field - 1) + " fit";
    }
    if (std::any_of(value.begin(), value.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; })) {
        return std::string(what) + " must not contain control characters";
    }
    if (quoted && value.find('"') != std::string::npos) {
        return std::string(what) + " must not contain '\"': it would end the quoted AT parameter";
    }
    return "";
}

void Put(Bytes& payload, size_t offset, const std::string& value) {
    std::copy(value.begin(), value.end(), payload.begin() + static_cast<std::ptrdiff_t>(offset));
}

// Text payloads travel as C strings, terminator included.
Bytes CString(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

std::string CheckPin(const char* what, const std::string& pin, const char* field) {
    std::string refusal = CheckField(what, pin, FieldSize(SIM7100_MSG_ENTER_PIN, field), false);
    if (!refusal.empty()) return refusal;
    if (!AllDigits(pin)) return std::string(what) + " must be digits only";
    return "";
}

bool SmsSelector(const std::string& name, uint8_t& selector) {
    static const std::pair<const char*, uint8_t> kNames[] = {
        {"unread", SIM7100_SMS_REC_UNREAD}, {"rec unread", SIM7100_SMS_REC_UNREAD},
        {"read", SIM7100_SMS_REC_READ},     {"rec read", SIM7100_SMS_REC_READ},
        {"unsent", SIM7100_SMS_STO_UNSENT}, {"sto unsent", SIM7100_SMS_STO_UNSENT},
        {"sent", SIM7100_SMS_STO_SENT},     {"sto sent", SIM7100_SMS_STO_SENT},
        {"all", SIM7100_SMS_ALL},
    };
    const std::string key = Lower(name);
    for (const auto& [text, value] : kNames) {
        if (key == text) {
            selector = value;
            return true;
        }
    }
    return false;
}

std::string UnknownStatus(const std::string& name) {
    return "unknown SMS status '" + name +
           "': use unread, read, unsent, sent or all (or REC UNREAD, REC READ, STO UNSENT, STO SENT, ALL)";
}

// The module's clock format, yy/MM/dd,hh:mm:ss+zz with the zone in quarter hours.
std::string ClockNow() {
    const time_t now = time(nullptr);
    struct tm local {};
    localtime_r(&now, &local);
    const long quarters = local.tm_gmtoff / 900;
    char text[96];
    snprintf(text, sizeof text, "%02d/%02d/%02d,%02d:%02d:%02d%c%02ld", local.tm_year % 100, local.tm_mon + 1,
             local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, quarters < 0 ? '-' : '+',
             quarters < 0 ? -quarters : quarters);
    return text;
}

std::string BuildAuth(const SValues& v, SRequest& r) {
    for (auto [what, value] : {std::pair{"USER", &v.first}, std::pair{"PASSWORD", &v.second}}) {
        std::string refusal = CheckField(what, *value, FieldSize(SIM7100_MSG_SET_AUTHENTICATION, Lower(what)), true);
        if (!refusal.empty()) return refusal;
    }
    r.payload.assign(sizeof(SSetAuthenticationRequest), 0);
    Put(r.payload, offsetof(SSetAuthenticationRequest, user), v.first);
    Put(r.payload, offsetof(SSetAuthenticationRequest, password), v.second);
    return "";
}

std::string BuildApn(const SValues& v, SRequest& r) {
    std::string refusal = CheckField("APN", v.first, FieldSize(SIM7100_MSG_SET_APN, "apn"), true);
    if (!refusal.empty()) return refusal;
    r.payload.assign(sizeof(SSetApnRequest), 0);
    Put(r.payload, 0, v.first);
    return "";
}

std::string BuildPin(const SValues& v, SRequest& r) {
    std::string refusal = CheckPin("PIN", v.first, "pin");
    if (refusal.empty() && !v.second.empty()) refusal = CheckPin("NEWPIN", v.second, "newPin");
    if (!refusal.empty()) return refusal;
    r.payload.assign(sizeof(SEnterPinRequest), 0);
    Put(r.payload, offsetof(SEnterPinRequest, pin), v.first);
    Put(r.payload, offsetof(SEnterPinRequest, newPin), v.second);
    return "";
}

std::string BuildErrorReporting(const SValues& v, SRequest& r) {
    r.payload = CString(std::to_string(v.number));
    return "";
}

std::string BuildRaw(const SValues& v, SRequest& r) {
    if (v.first.empty()) return "COMMAND must not be empty";
    std::string text = v.first;
    const bool terminated = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0;
    if (!terminated) text += "\r\n";
    if (text == SIM7100_RAW_DEBUG || text == SIM7100_RAW_FLUSH) {
        r.notes.push_back("the daemon reads '" + text.substr(0, text.size() - 2) +
                          "' as its own control word, not as an AT command for the module");
    }
    r.payload = CString(text);
    return "";
}

std::string BuildDebug(const SValues&, SRequest& r) {
    r.payload = CString(SIM7100_RAW_DEBUG);
    return "";
}

std::string BuildFlush(const SValues&, SRequest& r) {
    r.payload = CString(SIM7100_RAW_FLUSH);
    return "";
}

std::string BuildClock(const SValues& v, SRequest& r) {
    const std::string time = Lower(v.first) == "now" ? ClockNow() : v.first;
    if (time.empty()) return "TIME must not be empty";
    if (time != v.first) r.notes.push_back("'" + v.first + "' is sent as " + time);
    std::string refusal = CheckField("TIME", time, FieldSize(SIM7100_MSG_SET_CLOCK, "time"), true);
    if (!refusal.empty()) return refusal;
    r.payload.assign(sizeof(SSetClockRequest), 0);
    Put(r.payload, 0, time);
    return "";
}

std::string BuildTimeServer(const SValues& v, SRequest& r) {
    if (v.first.empty()) return "HOST must not be empty";
    std::string refusal = CheckField("HOST", v.first, FieldSize(SIM7100_MSG_SET_TIME_SERVER, "server"), true);
    if (!refusal.empty()) return refusal;
    r.payload.assign(sizeof(SSetTimeServerRequest), 0);
    Put(r.payload, 0, v.first);
    return "";
}

std::string BuildSmsMode(const SValues& v, SRequest& r) {
    const std::string mode = Lower(v.first);
    if (mode == "pdu" || mode == "0") {
        r.payload = {0};
    } else if (mode == "text" || mode == "1") {
        r.payload = {1};
    } else {
        return "unknown SMS mode '" + v.first + "': use pdu or text";
    }
    return "";
}

std::string BuildListSms(const SValues& v, SRequest& r) {
    uint8_t selector = SIM7100_SMS_ALL;
    if (!v.status.empty() && !SmsSelector(v.status, selector)) return UnknownStatus(v.status);
    r.payload = {selector, static_cast<uint8_t>(v.headers ? 1 : 0)};
    return "";
}

std::string BuildReadSms(const SValues& v, SRequest& r) {
    r.payload = {static_cast<uint8_t>(v.number)};
    return "";
}

std::string BuildDeleteSms(const SValues& v, SRequest& r) {
    r.payload = {static_cast<uint8_t>(v.number), static_cast<uint8_t>(v.flag)};
    return "";
}

std::string BuildWriteSms(const SValues& v, SRequest& r) {
    uint8_t selector = SIM7100_SMS_STO_UNSENT;
    if (!v.status.empty() && !SmsSelector(v.status, selector)) return UnknownStatus(v.status);
    // The daemon writes the '+' itself; a number given with one is still fine.
    const std::string phone = !v.first.empty() && v.first[0] == '+' ? v.first.substr(1) : v.first;
    if (phone != v.first) r.notes.push_back("sent as " + phone + ": the daemon puts the '+' in front itself");
    const size_t digits = FieldSize(SIM7100_MSG_WRITE_SMS, "phone") - 1;
    if (!AllDigits(phone) || phone.size() > digits) {
        return "PHONE must be 1 to " + std::to_string(digits) + " digits (an optional leading '+' aside), not '" +
               v.first + "'";
    }
    // Line breaks are fine in a message: only the size is checked here.
    const size_t body = FieldSize(SIM7100_MSG_WRITE_SMS, "body") - 1;
    if (v.second.size() > body) {
        return "TEXT is " + std::to_string(v.second.size()) + " characters long; at most " + std::to_string(body) +
               " fit";
    }
    // Ctrl-Z would end the message early and ESC would cancel it.
    if (v.second.find_first_of("\x1a\x1b") != std::string::npos) return "TEXT must not contain Ctrl-Z or ESC";
    r.payload.assign(sizeof(SWriteSmsRequest), 0);
    r.payload[offsetof(SWriteSmsRequest, status)] = selector;
    Put(r.payload, offsetof(SWriteSmsRequest, phone), phone);
    Put(r.payload, offsetof(SWriteSmsRequest, body), v.second);
    return "";
}

std::string BuildTerminate(const SValues&, SRequest& r) {
    r.expectsResponse = false;
    r.endsSession = true;
    return "";
}

std::string BuildFrame(const SValues& v, SRequest& r) {
    // TYPE is checked here, not by validators: see Optional().
    std::string type = v.second;
    const auto* const named = std::find_if(std::begin(kListTypes), std::end(kListTypes),
                                           [&type](const SListType& t) { return Lower(t.name) == Lower(type); });
    if (named != std::end(kListTypes)) {
        r.type = named->type;
    } else if (!Decimal()(type).empty() || !CLI::detail::lexical_cast(type, r.type)) {
        return "TYPE must be a decimal number from 0 to 4294967295 or a request type's name (SetApn, ...), not '" +
               v.second + "'";
    }
    const std::string& hex = v.first;
    if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return "HEXPAYLOAD must be an even number of hex digits, not '" + hex + "'";
    }
    r.payload.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        r.payload.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    // The daemon answers request types only; terminate ends its loop.
    r.expectsResponse = r.type >= SIM7100_MSG_FIRST_REQUEST && r.type <= SIM7100_MSG_LAST_REQUEST;
    r.endsSession = r.type == SIM7100_MSG_TERMINATE;
    return "";
}

const char* const kStatusHelp = "unread, read, unsent, sent or all (or the module's REC UNREAD etc.)";

const std::vector<SCommand>& Commands() {
    static const std::vector<SCommand> kCommands = {
        {{"power-on", SIM7100_MSG_POWER_ON, "", "open and set up the modem port, check that the module answers"}},
        {{"power-off", SIM7100_MSG_POWER_OFF, "", "take the connection down and close the port"}},
        {{"stand-by", SIM7100_MSG_STAND_BY, "", "put the module into stand-by"}},
        {{"connect", SIM7100_MSG_CONNECT, "", "bring the LTE data connection and wwan0 up"}},
        {{"disconnect", SIM7100_MSG_DISCONNECT, "", "take the LTE data connection down"}},
        {{"set-auth", SIM7100_MSG_SET_AUTHENTICATION, "USER PASSWORD", "set the PDP context's authentication"},
         [](CLI::App& a, SValues& v) {
             Required(a, "USER", v.first, "user name, at most 255 characters");
             Required(a, "PASSWORD", v.second, "password, at most 255 characters");
         },
         BuildAuth},
        {{"set-apn", SIM7100_MSG_SET_APN, "APN", "set the access point name"},
         [](CLI::App& a, SValues& v) { Required(a, "APN", v.first, "access point name, at most 255 characters"); },
         BuildApn},
        {{"enter-pin", SIM7100_MSG_ENTER_PIN, "PIN [NEWPIN]", "unlock the SIM (with the PUK and a new PIN)"},
         [](CLI::App& a, SValues& v) {
             Required(a, "PIN", v.first, "the PIN, or the PUK when the SIM asks for one; digits, at most 31");
             Optional(a, "NEWPIN", v.second, "new PIN, given with a PUK; digits, at most 31");
         },
         BuildPin},
        {{"pin-retries", SIM7100_MSG_GET_PIN_RETRIES, "", "remaining PIN and PUK attempts"}},
        {{"sim-status", SIM7100_MSG_GET_SIM_STATUS, "", "the SIM's lock state"}},
        {{"connection-status", SIM7100_MSG_GET_CONNECTION_STATUS, "", "whether the data connection is up"}},
        {{"chip-type", SIM7100_MSG_GET_CHIP_TYPE, "", "which module this is"}},
        {{"gps-start", SIM7100_MSG_GPS_START, "", "start the GPS receiver"}},
        {{"gps-stop", SIM7100_MSG_GPS_STOP, "", "stop the GPS receiver"}},
        {{"gps-info", SIM7100_MSG_GPS_GET_INFO, "", "one burst of NMEA output"}},
        {{"xtra-status", SIM7100_MSG_GPS_GET_XTRA_STATUS, "", "whether GPS assistance data is enabled"}},
        {{"xtra-enable", SIM7100_MSG_GPS_ENABLE_XTRA, "", "enable GPS assistance data"}},
        {{"signal", SIM7100_MSG_GET_SIGNAL_QUALITY, "", "signal quality"}},
        {{"lbs-start", SIM7100_MSG_LBS_START, "", "open the cell-based location service"}},
        {{"lbs-stop", SIM7100_MSG_LBS_STOP, "", "close the cell-based location service"}},
        {{"lbs-location", SIM7100_MSG_LBS_GET_LOCATION, "", "position from the cell-based location service"}},
        {{"firmware", SIM7100_MSG_GET_FIRMWARE_VERSION, "", "the module's firmware revision"}},
        {{"raw", SIM7100_MSG_RAW_COMMAND, "COMMAND", "pass an AT command through (\"\\r\\n\" added unless present)"},
         [](CLI::App& a, SValues& v) { Required(a, "COMMAND", v.first, "the AT command, e.g. 'AT+CSQ'"); },
         BuildRaw},
        {{"debug", SIM7100_MSG_RAW_COMMAND, "", "switch the daemon's modem trace on or off (\"DBG\\r\\n\")"},
         nullptr,
         BuildDebug},
        {{"flush", SIM7100_MSG_RAW_COMMAND, "", "fetch output the module sent unasked (\"FLUSH\\r\\n\")"},
         nullptr,
         BuildFlush},
        {{"set-error-reporting", SIM7100_MSG_SET_ERROR_REPORTING, "MODE", "set the module's error reports (AT+CMEE)"},
         [](CLI::App& a, SValues& v) {
             Number(a, "MODE", v.number, 2, "0 plain ERROR, 1 numeric codes, 2 verbose texts");
         },
         BuildErrorReporting},
        {{"provider", SIM7100_MSG_GET_SERVICE_PROVIDER, "", "the service provider's name"}},
        {{"network-mode", SIM7100_MSG_GET_NETWORK_MODE, "", "the network system mode"}},
        {{"set-clock", SIM7100_MSG_SET_CLOCK, "TIME", "set the module's clock"},
         [](CLI::App& a, SValues& v) {
             Required(a, "TIME", v.first, "yy/MM/dd,hh:mm:ss+zz (zone in quarter hours), or 'now'; at most 39");
         },
         BuildClock},
        {{"xtra-download", SIM7100_MSG_GPS_DOWNLOAD_XTRA, "", "download GPS assistance data (waits for registration)"}},
        {{"set-time-server", SIM7100_MSG_SET_TIME_SERVER, "HOST", "set the network time server"},
         [](CLI::App& a, SValues& v) { Required(a, "HOST", v.first, "host name, at most 255 characters"); },
         BuildTimeServer},
        {{"update-time", SIM7100_MSG_UPDATE_TIME, "", "update the module's clock from the time server"}},
        {{"sms-mode", SIM7100_MSG_GET_SMS_MODE, "", "the SMS format: PDU or text"}},
        {{"set-sms-mode", SIM7100_MSG_SET_SMS_MODE, "pdu|text", "set the SMS format"},
         [](CLI::App& a, SValues& v) { Required(a, "MODE", v.first, "pdu or text"); },
         BuildSmsMode},
        {{"list-sms", SIM7100_MSG_LIST_SMS, "[STATUS] [--headers]", "list stored messages (default: all)"},
         [](CLI::App& a, SValues& v) {
             Optional(a, "STATUS", v.status, kStatusHelp);
             a.add_flag("--headers", v.headers, "header lines only, no message bodies");
         },
         BuildListSms},
        {{"read-sms", SIM7100_MSG_READ_SMS, "INDEX", "read one stored message"},
         [](CLI::App& a, SValues& v) { Number(a, "INDEX", v.number, 255, "storage index, 0 to 255"); },
         BuildReadSms},
        {{"delete-sms", SIM7100_MSG_DELETE_SMS, "INDEX [--flag N]", "delete stored messages"},
         [](CLI::App& a, SValues& v) {
             Number(a, "INDEX", v.number, 255, "storage index, 0 to 255");
             a.add_option("--flag", v.flag, "AT+CMGD delete flag 0 to 4; 0 (default) deletes the one message")
                 ->transform(Decimal())
                 ->check(CLI::Range(0u, 4u));
         },
         BuildDeleteSms},
        {{"write-sms", SIM7100_MSG_WRITE_SMS, "PHONE TEXT [--status S]", "write a message into the store"},
         [](CLI::App& a, SValues& v) {
             Required(a, "PHONE", v.first, "1 to 15 digits, without or with a leading '+'");
             Required(a, "TEXT", v.second, "the message, at most 159 characters");
             a.add_option("--status", v.status, std::string(kStatusHelp) + "; default unsent");
         },
         BuildWriteSms},
        {{"terminate", SIM7100_MSG_TERMINATE, "", "end the daemon (no response; sent at the end anyway)"},
         nullptr,
         BuildTerminate},
        {{"frame", 0, "TYPE [HEXPAYLOAD]", "send any type with any payload bytes, unchecked"},
         [](CLI::App& a, SValues& v) {
             Required(a, "TYPE", v.second, "message type: a request type's name (SetApn) or a decimal number");
             Optional(a, "HEXPAYLOAD", v.first, "payload as hex digits, e.g. 0100");
         },
         BuildFrame},
    };
    return kCommands;
}

const SCommand* Find(const std::string& name) {
    const auto& commands = Commands();
    const auto found =
        std::find_if(commands.begin(), commands.end(), [&name](const SCommand& c) { return name == c.info.name; });
    return found != commands.end() ? &*found : nullptr;
}

std::string Quote(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_of(" \t\"'\\#\r\n") == std::string::npos;
    if (plain) return word;
    if (word.find('\'') == std::string::npos) return "'" + word + "'";
    std::string quoted = "\"";
    for (char c : word) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string SRequest::Display() const {
    std::string text = command;
    for (const std::string& a : args) text += " " + Quote(a);
    return text;
}

const std::vector<SCommandInfo>& CommandTable() {
    static const std::vector<SCommandInfo> kInfos = [] {
        const auto& commands = Commands();
        std::vector<SCommandInfo> infos;
        infos.reserve(commands.size());
        std::transform(commands.begin(), commands.end(), std::back_inserter(infos),
                       [](const SCommand& c) { return c.info; });
        return infos;
    }();
    return kInfos;
}

const SCommandInfo* FindCommand(const std::string& name) {
    const SCommand* c = Find(name);
    return c != nullptr ? &c->info : nullptr;
}

std::string CommandNameOf(uint32_t type) {
    // raw, debug and flush share type 25; raw is the general one.
    const auto& commands = Commands();
    const auto found =
        std::find_if(commands.begin(), commands.end(), [type](const SCommand& c) { return c.info.type == type; });
    return found != commands.end() ? found->info.name : "";
}

std::string TypeName(uint32_t type) {
    const auto* const found = std::find_if(std::begin(kListTypes), std::end(kListTypes),
                                           [type](const SListType& t) { return t.type == type; });
    return found != std::end(kListTypes) ? found->name : "";
}

std::string CommandSummary() {
    std::string text = "Commands (each takes --help):\n";
    for (const SCommand& c : Commands()) {
        std::string head = std::string(c.info.name) + (*c.info.usage != '\0' ? " " : "") + c.info.usage;
        char line[160];
        snprintf(line, sizeof line, "  %-36s %s\n", head.c_str(), c.info.summary);
        text += line;
    }
    return text;
}

SParseOutcome ParseWords(const std::vector<std::string>& words) {
    SParseOutcome out;
    size_t next = 0;
    while (next < words.size()) {
        const std::string& name = words[next];
        const SCommand* command = Find(name);
        if (command == nullptr) {
            out.error = !name.empty() && name[0] == '-'
                            ? "unknown option '" + name + "' (program options go before the first command)"
                            : "unknown command '" + name + "' (sim7100ctl --help lists them)";
            break;
        }
        if (!out.requests.empty() && out.requests.back().endsSession) {
            out.error = "'" + name + "' after terminate: the daemon stops reading at terminate";
            break;
        }
        SValues values;
        CLI::App app{command->info.summary, name};
        // Stop at the first word that is not ours: it starts the next request.
        app.allow_extras();
        app.prefix_command();
        if (command->define != nullptr) command->define(app, values);

        std::vector<std::string> rest(words.begin() + static_cast<std::ptrdiff_t>(next) + 1, words.end());
        std::vector<std::string> reversed(rest.rbegin(), rest.rend());
        try {
            app.parse(reversed);
        } catch (const CLI::CallForHelp&) {
            out.help = app.help();
            break;
        } catch (const CLI::ParseError& e) {
            out.error = name + ": " + e.what();
            break;
        }
        const std::vector<std::string> remaining = app.remaining();
        if (!remaining.empty() && remaining.front().size() > 1 && remaining.front()[0] == '-') {
            out.error = name + ": unknown option '" + remaining.front() + "'";
            break;
        }
        SRequest request;
        request.command = name;
        request.type = command->info.type;
        request.args.assign(rest.begin(), rest.end() - static_cast<std::ptrdiff_t>(remaining.size()));
        if (command->build != nullptr) {
            const std::string refusal = command->build(values, request);
            if (!refusal.empty()) {
                out.error = name + ": ";
                out.error += refusal;
                break;
            }
        }
        // raw takes one word: an unquoted command with blanks would be split here.
        if (request.type == SIM7100_MSG_RAW_COMMAND && command->define != nullptr && !remaining.empty()) {
            std::string following;
            for (const std::string& w : remaining) following += (following.empty() ? "" : " ") + w;
            request.notes.push_back("sends '" + request.args.front() + "' alone; '" + following +
                                    "' is read as requests of its own (quote the command to send it whole)");
        }
        out.requests.push_back(std::move(request));
        next = words.size() - remaining.size();
    }
    if (!out.Ok()) out.requests.clear();
    return out;
}

std::vector<std::string> SplitWords(const std::string& line) {
    const size_t start = line.find_first_not_of(" \t\r\n");
    if (start == std::string::npos || line[start] == '#') return {};
    return CLI::detail::split_up(line);
}

SParseOutcome ParseLine(const std::string& line) { return ParseWords(SplitWords(line)); }

SParseOutcome ParseScript(std::istream& in, const std::string& name) {
    SParseOutcome out;
    std::string line;
    for (unsigned number = 1; std::getline(in, line); ++number) {
        SParseOutcome parsed = ParseLine(line);
        if (parsed.Ok() && !parsed.requests.empty() && !out.requests.empty() && out.requests.back().endsSession) {
            parsed.error = "'" + parsed.requests.front().command + "' after terminate: the daemon stops reading";
        }
        if (!parsed.help.empty()) parsed.error = "--help is not a request";
        if (!parsed.error.empty()) {
            out.error = name + ":" + std::to_string(number) + ": " + parsed.error;
            out.requests.clear();
            return out;
        }
        for (SRequest& r : parsed.requests) out.requests.push_back(std::move(r));
    }
    return out;
}

}  // namespace ctl
