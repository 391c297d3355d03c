#include "trace_script.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ctl_commands.h"
#include "sim7100_protocol.h"

namespace ctl {

namespace {

using Words = std::vector<std::string>;

struct SCommand {
    std::string text;  // as written, line end included
    size_t entry;      // its number in the trace file
};

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

std::string Chomp(const std::string& s) {
    const size_t end = s.find_first_of("\r\n");
    return end == std::string::npos ? s : s.substr(0, end);
}

// The nth (from 0) double-quoted parameter.
std::string Quoted(const std::string& s, int nth) {
    size_t open = s.find('"');
    for (int i = 0; i < nth && open != std::string::npos; ++i) open = s.find('"', s.find('"', open + 1) + 1);
    if (open == std::string::npos) return "";
    const size_t close = s.find('"', open + 1);
    return s.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

// The parameters after '=', split at commas.
Words Parameters(const std::string& s) {
    Words words;
    const std::string rest = Chomp(s.substr(s.find('=') + 1));
    size_t from = 0;
    for (size_t comma = rest.find(',');; comma = rest.find(',', from)) {
        words.push_back(rest.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
        if (comma == std::string::npos) return words;
        from = comma + 1;
    }
}

const char* kSelectors[] = {"unread", "read", "unsent", "sent", "all"};

Words SmsSelector(const std::string& list) {
    const std::string name = Quoted(list, 0);
    if (!name.empty()) return {name};
    const Words p = Parameters(list);
    const unsigned long n = std::strtoul(p[0].c_str(), nullptr, 10);
    return {n < 5 ? kSelectors[n] : "all"};
}

// A request made of up to two commands in a row (and, for write-sms, the
// message text after them).
struct SRule {
    const char* first;   // a prefix of the first command
    const char* second;  // a prefix of the command after it, or null
    bool secondOptional;
    uint32_t type;
    Words (*args)(const SCommand* commands);  // from the rule's first command on
    const char* note;                         // what else the commands could be
};

Words None(const SCommand*) { return {}; }

// Rules tried in order at each command; the first that fits takes its commands.
const SRule kRules[] = {
    {"AT\r\n", "AT+CSCLK=1\r\n", false, SIM7100_MSG_POWER_ON, None, nullptr},
    {"AT+CPOF\r\n", nullptr, false, SIM7100_MSG_POWER_OFF, None, nullptr},
    {"AT+CGMM\r\n", "AT$QCRMCALL=1,1\r\n", false, SIM7100_MSG_CONNECT, None, nullptr},
    {"AT+CGMM\r\n", nullptr, false, SIM7100_MSG_GET_CHIP_TYPE, None, "or connect refused for an unknown chip"},
    {"AT$QCRMCALL=0,1\r\n", nullptr, false, SIM7100_MSG_DISCONNECT, None, "or power-off or stand-by while connected"},
    {"AT$QCRMCALL?\r\n", nullptr, false, SIM7100_MSG_GET_CONNECTION_STATUS, None, nullptr},
    {"AT+CGAUTH=1,3,\"", nullptr, false, SIM7100_MSG_SET_AUTHENTICATION,
     [](const SCommand* c) {
         return Words{Quoted(c[0].text, 1), Quoted(c[0].text, 0)};
     },
     nullptr},
    {"AT+CGDCONT=1,\"IP\",\"", nullptr, false, SIM7100_MSG_SET_APN,
     [](const SCommand* c) { return Words{Quoted(c[0].text, 1)}; }, nullptr},
    {"AT+CPIN?\r\n", "AT+CPIN=", false, SIM7100_MSG_ENTER_PIN, [](const SCommand* c) { return Parameters(c[1].text); },
     nullptr},
    {"AT+CPIN?\r\n", "AT+SPIC\r\n", false, SIM7100_MSG_GET_PIN_RETRIES, None, nullptr},
    {"AT+CPIN?\r\n", nullptr, false, SIM7100_MSG_GET_SIM_STATUS, None,
     "or enter-pin while the SIM was ready, or pin-retries after a failed query"},
    {"AT+CGPSCOLD\r\n", nullptr, false, SIM7100_MSG_GPS_START, None, nullptr},
    {"AT+CGPS=0\r\n", nullptr, false, SIM7100_MSG_GPS_STOP, None, nullptr},
    {"AT+CGPSINFOCFG=2,3\r\n", "AT+CGPSINFOCFG=0\r\n", true, SIM7100_MSG_GPS_GET_INFO, None, nullptr},
    {"AT+CGPSXE=1\r\n", "AT+CGPSXE?\r\n", true, SIM7100_MSG_GPS_ENABLE_XTRA, None, nullptr},
    {"AT+CGPSXE?\r\n", nullptr, false, SIM7100_MSG_GPS_GET_XTRA_STATUS, None, nullptr},
    {"AT+CSQ\r\n", nullptr, false, SIM7100_MSG_GET_SIGNAL_QUALITY, None, nullptr},
    {"AT+CGMR\r\n", "AT+CNETSTART\r\n", false, SIM7100_MSG_LBS_START, None, nullptr},
    {"AT+CGMR\r\n", nullptr, false, SIM7100_MSG_GET_FIRMWARE_VERSION, None,
     "or lbs-start on a firmware without location"},
    {"AT+CNETSTOP\r\n", nullptr, false, SIM7100_MSG_LBS_STOP, None, nullptr},
    {"AT+CLBS=1\r\n", nullptr, false, SIM7100_MSG_LBS_GET_LOCATION, None, nullptr},
    {"AT+CMEE=", nullptr, false, SIM7100_MSG_SET_ERROR_REPORTING,
     [](const SCommand* c) { return Words{Chomp(c[0].text.substr(8))}; }, nullptr},
    {"AT+CSPN?\r\n", nullptr, false, SIM7100_MSG_GET_SERVICE_PROVIDER, None, nullptr},
    {"AT+CNSMOD?\r\n", nullptr, false, SIM7100_MSG_GET_NETWORK_MODE, None, nullptr},
    {"AT+CCLK=\"", nullptr, false, SIM7100_MSG_SET_CLOCK, [](const SCommand* c) { return Words{Quoted(c[0].text, 0)}; },
     nullptr},
    {"AT+CGREG?\r\n", "AT+CGPSXD=0\r\n", true, SIM7100_MSG_GPS_DOWNLOAD_XTRA, None, nullptr},
    {"AT+CGPSXD=0\r\n", nullptr, false, SIM7100_MSG_GPS_DOWNLOAD_XTRA, None, nullptr},
    {"AT+CHTPSERV=\"DEL\",0\r\n", "AT+CHTPSERV=\"ADD\",\"", false, SIM7100_MSG_SET_TIME_SERVER,
     [](const SCommand* c) { return Words{Quoted(c[1].text, 1)}; }, nullptr},
    {"AT+CHTPUPDATE\r\n", nullptr, false, SIM7100_MSG_UPDATE_TIME, None, nullptr},
    {"AT+CMGF?\r\n", "AT+CMGL=", false, SIM7100_MSG_LIST_SMS, [](const SCommand* c) { return SmsSelector(c[1].text); },
     "add --headers where only the header lines were asked for: the trace cannot tell"},
    {"AT+CMGF?\r\n", nullptr, false, SIM7100_MSG_GET_SMS_MODE, None, nullptr},
    {"AT+CMGF=1\r\n", "AT+CMGW=\"+", false, SIM7100_MSG_WRITE_SMS,
     [](const SCommand* c) {
         std::string text = c[2].text;
         if (!text.empty() && (text.back() == 0x1A || text.back() == 0x1B)) text.pop_back();
         return Words{Chomp(c[1].text.substr(10, c[1].text.find('"', 10) - 10)), text, "--status",
                      Quoted(c[1].text, 1)};
     },
     nullptr},
    {"AT+CMGF=", nullptr, false, SIM7100_MSG_SET_SMS_MODE, [](const SCommand* c) { return Parameters(c[0].text); },
     nullptr},
    {"AT+CMGR=", nullptr, false, SIM7100_MSG_READ_SMS, [](const SCommand* c) { return Parameters(c[0].text); },
     nullptr},
    {"AT+CMGD=", nullptr, false, SIM7100_MSG_DELETE_SMS,
     [](const SCommand* c) {
         Words p = Parameters(c[0].text);
         if (p.size() > 1) p.insert(p.begin() + 1, "--flag");
         return p;
     },
     nullptr},
};

// A word as a script reads it back: quoted where it holds blanks or quotes.
std::string Word(const std::string& w) {
    if (!w.empty() && w.find_first_of(" \t'\"#") == std::string::npos) return w;
    return w.find('\'') == std::string::npos ? "'" + w + "'" : "\"" + w + "\"";
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char two[3];
    for (unsigned char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", c);
        out += two;
    }
    return out + "00";
}

}  // namespace

std::string ScriptFromTrace(const std::vector<modemsim::STraceEntry>& entries, size_t firstEntry) {
    std::vector<SCommand> commands;
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].tag == modemsim::ETraceTag::eInput) commands.push_back({entries[i].text, firstEntry + i + 1});

    std::string script = "# The trace was written in debug mode: this traces the replay as well.\ndebug\n";
    for (size_t i = 0; i < commands.size();) {
        const auto fits = [&](size_t at, const char* prefix) {
            return at < commands.size() && StartsWith(commands[at].text, prefix);
        };
        const SRule* rule = nullptr;
        size_t taken = 1;
        for (const SRule& r : kRules) {
            size_t first = i;
            // Registration is polled before the assistance-data download.
            if (std::strcmp(r.first, "AT+CGREG?\r\n") == 0)
                while (fits(first, r.first) && fits(first + 1, r.first)) ++first;
            if (!fits(first, r.first)) continue;
            const bool second = r.second != nullptr && fits(first + 1, r.second);
            if (r.second != nullptr && !second && !r.secondOptional) continue;
            taken = first - i + 1 + (second ? 1 : 0);
            if (r.type == SIM7100_MSG_WRITE_SMS) {
                // The text follows only once the prompt came.
                const std::string* text = i + 2 < commands.size() ? &commands[i + 2].text : nullptr;
                if (text == nullptr || text->empty() || (text->back() != 0x1A && text->back() != 0x1B)) continue;
                taken = 3;
            }
            rule = &r;
            break;
        }
        const std::string heading = "# entry " + std::to_string(commands[i].entry) + ": ";
        if (rule == nullptr) {
            const std::string& text = commands[i].text;
            const bool plain = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0 &&
                               Chomp(text).size() == text.size() - 2 &&
                               (text.find('\'') == std::string::npos || text.find('"') == std::string::npos);
            script += heading + TypeName(SIM7100_MSG_RAW_COMMAND) + " (" + std::to_string(SIM7100_MSG_RAW_COMMAND) +
                      "), or a request this script cannot name\n";
            script += plain ? "raw " + Word(Chomp(text)) + "\n"
                            : "frame " + std::to_string(SIM7100_MSG_RAW_COMMAND) + " " + Hex(text) + "\n";
            ++i;
            continue;
        }
        script += heading + TypeName(rule->type) + " (" + std::to_string(rule->type) + ")" +
                  (rule->note != nullptr ? std::string(", ") + rule->note : std::string()) + "\n";
        script += CommandNameOf(rule->type);
        for (const std::string& w : rule->args(&commands[i])) script += " " + Word(w);
        script += "\n";
        i += taken;
    }
    return script;
}

}  // namespace ctl
