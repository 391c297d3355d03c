// Command parsing, the command table, result framing, power and identity.
#include <cctype>
#include <cstdio>

#include "module.h"

namespace modemsim {

namespace {

const char* CmeText(int code) {
    switch (code) {
    case 0:
        return "phone failure";
    case 3:
        return "operation not allowed";
    case 4:
        return "operation not supported";
    case 10:
        return "SIM not inserted";
    case 11:
        return "SIM PIN required";
    case 12:
        return "SIM PUK required";
    case 13:
        return "SIM failure";
    case 14:
        return "SIM busy";
    case 16:
        return "incorrect password";
    case 20:
        return "memory full";
    case 21:
        return "invalid index";
    case 22:
        return "not found";
    case 30:
        return "no network service";
    default:
        return "unknown";
    }
}

const char* CmsText(int code) {
    switch (code) {
    case 302:
        return "operation not allowed";
    case 304:
        return "invalid PDU mode parameter";
    case 305:
        return "invalid text mode parameter";
    case 310:
        return "SIM not inserted";
    case 311:
        return "SIM PIN required";
    case 313:
        return "SIM failure";
    case 314:
        return "SIM busy";
    case 316:
        return "SIM PUK required";
    case 321:
        return "invalid memory index";
    case 322:
        return "memory full";
    default:
        return "unknown error";
    }
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

void SplitArgs(const std::string& params, SRequest& r) {
    if (params.empty()) return;
    std::string arg;
    bool inQuotes = false, quoted = false;
    for (char c : params) {
        if (c == '"') {
            inQuotes = !inQuotes;
            quoted = true;
        } else if (c == ',' && !inQuotes) {
            r.args.push_back(quoted ? arg : Trim(arg));
            r.quoted.push_back(quoted);
            arg.clear();
            quoted = false;
        } else {
            arg += c;
        }
    }
    r.args.push_back(quoted ? arg : Trim(arg));
    r.quoted.push_back(quoted);
}

// 1980-01-06 00:00:00 UTC, where the module's clock starts.
constexpr std::time_t kClockStart = 315964800;

}  // namespace

std::string NormaliseCommand(const std::string& line) {
    std::string out = Trim(line);
    bool inQuotes = false;
    for (char& c : out) {
        if (c == '"') inQuotes = !inQuotes;
        if (!inQuotes) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

bool ParseRequest(const std::string& line, SRequest& r) {
    r.line = NormaliseCommand(line);
    if (r.line.compare(0, 2, "AT") != 0) return false;
    const std::string rest = r.line.substr(2);
    if (rest.empty()) return true;  // plain "AT"
    size_t at = 0;
    if (rest[0] == '+' || rest[0] == '$' || rest[0] == '^') {
        at = 1;
        while (at < rest.size() && std::isalnum(static_cast<unsigned char>(rest[at]))) ++at;
        r.name = rest.substr(0, at);
        const std::string tail = rest.substr(at);
        if (tail.empty()) {
            r.form = SRequest::eExec;
        } else if (tail == "?") {
            r.form = SRequest::eRead;
        } else if (tail == "=?") {
            r.form = SRequest::eTest;
        } else if (tail[0] == '=') {
            r.form = SRequest::eSet;
            r.params = tail.substr(1);
            SplitArgs(r.params, r);
        } else {
            return false;
        }
        return r.name.size() > 1;
    }
    // Basic commands: a letter (or '&' and a letter) and an optional number.
    at = rest[0] == '&' ? 2 : 1;
    if (at > rest.size() || !std::isalpha(static_cast<unsigned char>(rest[at - 1]))) return false;
    r.name = rest.substr(0, at);
    r.params = rest.substr(at);
    r.form = r.params.empty() ? SRequest::eExec : (r.params == "?" ? SRequest::eRead : SRequest::eSet);
    return true;
}

CModule::CModule(const SConfig& config) : m_config(config) {
    const SModemState0& s = config.state;
    m_state.pin = s.pin;
    m_state.puk = s.puk;
    m_state.pinLeft = s.pinAttempts;
    m_state.pukLeft = s.pukAttempts;
    m_state.sim = !s.simInserted       ? ESim::eAbsent
                  : s.pukAttempts <= 0 ? ESim::eBlocked
                  : s.pinAttempts <= 0 ? ESim::ePuk
                  : s.pinRequired      ? ESim::ePin
                                       : ESim::eReady;
    m_state.contexts[1] = SContext{};
    m_state.xtra = s.xtra;
    m_state.clockBase = kClockStart;
    m_state.clockSetAt = Clock::now();
    m_state.store.resize(static_cast<size_t>(s.smsCapacity > 0 ? s.smsCapacity : 0));
    for (size_t i = 0; i < s.sms.size() && i < m_state.store.size(); ++i) m_state.store[i] = s.sms[i];
}

std::vector<SPiece> CModule::PowerUp(Clock::time_point now) {
    SState& s = m_state;
    s.poweredOn = true;
    s.poweredAt = now;
    s.echo = m_config.echo;
    s.cmee = m_config.state.cmee;
    s.csclk = 0;
    // The SIM keeps its counters; its PIN lock comes back with the power.
    if (s.sim == ESim::eReady && m_config.state.pinRequired) s.sim = ESim::ePin;
    s.dataCall = false;
    s.regN.clear();
    s.registrationQueries = 0;
    s.cnsmodN = 0;
    s.gpsOn = false;
    s.nmeaInterval = 0;
    s.netOpen = false;
    s.smsMode = m_config.state.smsMode;
    s.textInput = false;

    std::vector<SPiece> boot;
    if (!m_config.faults.bootLines) return boot;
    const int busy = m_config.faults.simBusyMs;
    const char* cpin = s.sim == ESim::eReady ? "+CPIN: READY"
                       : s.sim == ESim::ePin ? "+CPIN: SIM PIN"
                       : s.sim == ESim::ePuk ? "+CPIN: SIM PUK"
                                             : "+CPIN: SIM REMOVED";
    boot.push_back({0, "\r\nRDY\r\n"});
    boot.push_back({busy, std::string("\r\n") + cpin + "\r\n"});
    if (s.sim == ESim::eReady) {
        boot.push_back({busy + 50, "\r\nSMS DONE\r\n"});
        boot.push_back({busy + 100, "\r\nPB DONE\r\n"});
    }
    return boot;
}

std::string CModule::Ok(const std::vector<std::string>& lines) {
    std::string out;
    if (!lines.empty()) {
        out = "\r\n";
        for (size_t i = 0; i < lines.size(); ++i) out += (i ? "\r\n" : "") + lines[i];
        out += "\r\n";
    }
    return out + "\r\nOK\r\n";
}

std::string CModule::Cme(int code) const {
    if (m_state.cmee == 0) return Error();
    const std::string report =
        "+CME ERROR: " + (m_state.cmee == 1 ? std::to_string(code) : std::string(CmeText(code))) + "\r\n";
    return m_config.faults.errorFraming == EErrorFraming::eLine ? "\r\n" + report : report;
}

std::string CModule::Cms(int code) const {
    if (m_state.cmee == 0) return Error();
    const std::string report =
        "+CMS ERROR: " + (m_state.cmee == 1 ? std::to_string(code) : std::string(CmsText(code))) + "\r\n";
    return m_config.faults.errorFraming == EErrorFraming::eLine ? "\r\n" + report : report;
}

const std::map<std::string, CModule::Handler>& CModule::Table() {
    static const std::map<std::string, Handler> table = {
        {"", &CModule::At},
        {"E", &CModule::Echo},
        {"I", &CModule::Identify},
        {"Z", &CModule::Defaults},
        {"&F", &CModule::Defaults},
        {"+CGMM", &CModule::Model},
        {"+CGMI", &CModule::Maker},
        {"+CGMR", &CModule::Revision},
        {"+CGSN", &CModule::Imei},
        {"+CMEE", &CModule::ErrorMode},
        {"+CSCLK", &CModule::UartSleep},
        {"+CPOF", &CModule::PowerOff},
        {"+CPIN", &CModule::Pin},
        {"+SPIC", &CModule::PinCounters},
        {"+CGDCONT", &CModule::Context},
        {"+CGAUTH", &CModule::Auth},
        {"$QCRMCALL", &CModule::DataCall},
        {"+CGREG", &CModule::Registration},
        {"+CREG", &CModule::Registration},
        {"+CEREG", &CModule::Registration},
        {"+CSQ", &CModule::Signal},
        {"+CSPN", &CModule::Provider},
        {"+CNSMOD", &CModule::SystemMode},
        {"+CGPSCOLD", &CModule::GpsCold},
        {"+CGPS", &CModule::Gps},
        {"+CGPSINFOCFG", &CModule::NmeaOutput},
        {"+CGPSXE", &CModule::XtraFlag},
        {"+CGPSXD", &CModule::XtraDownload},
        {"+CCLK", &CModule::ClockCmd},
        {"+CHTPSERV", &CModule::TimeServers},
        {"+CHTPUPDATE", &CModule::TimeUpdate},
        {"+CNETSTART", &CModule::NetStart},
        {"+CNETSTOP", &CModule::NetStop},
        {"+CLBS", &CModule::Location},
        {"+CMGF", &CModule::SmsFormat},
        {"+CMGL", &CModule::SmsList},
        {"+CMGR", &CModule::SmsRead},
        {"+CMGD", &CModule::SmsDelete},
        {"+CMGW", &CModule::SmsWrite},
    };
    return table;
}

SAnswer CModule::Execute(const std::string& line, Clock::time_point now) {
    if (!m_state.poweredOn) return {};
    SRequest request;
    request.now = now;
    m_now = now;
    if (!ParseRequest(line, request)) return {Error(), {}};
    const auto& table = Table();
    const auto handler = table.find(request.name);
    if (handler == table.end()) return {Error(), {}};
    return (this->*(handler->second))(request);
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static): Table() needs one member signature for all
SAnswer CModule::At(const SRequest&) { return {Ok(), {}}; }

SAnswer CModule::Echo(const SRequest& r) {
    if (!r.params.empty() && r.params != "0" && r.params != "1") return {Error(), {}};
    m_state.echo = r.params == "1";
    return {Ok(), {}};
}

SAnswer CModule::Defaults(const SRequest& r) {
    if (!r.params.empty() && r.params != "0") return {Error(), {}};
    m_state.echo = m_config.echo;
    m_state.cmee = m_config.state.cmee;
    m_state.smsMode = m_config.state.smsMode;
    return {Ok(), {}};
}

const char* ModelIdentity(EModel model) {
    switch (model) {
    case EModel::eSim7100E:
        return "SIMCOM_SIM7100E";
    case EModel::eSim7100A:
        return "SIMCOM_SIM7100A";
    default:
        return "SIMCOM_SIM7600G";
    }
}

const char* ModelRevision(EModel model) {
    // A SIM7100 build too old for cell location, and a SIM7600 one.
    switch (model) {
    case EModel::eSim7100E:
        return "4534B03SIM7100E";
    case EModel::eSim7100A:
        return "4534B03SIM7100A";
    default:
        return "LE20B04SIM7600G22";
    }
}

SAnswer CModule::Identify(const SRequest&) {
    const std::string model = ModelIdentity(m_config.model);
    return {
        Ok({"Manufacturer: SIMCOM INCORPORATED", "Model: " + model,
            "Revision: " + (m_config.revision.empty() ? std::string(ModelRevision(m_config.model)) : m_config.revision),
            "IMEI: 861234567890123", "+GCAP: +CGSM"}),
        {}};
}

// NOLINTNEXTLINE(readability-make-member-function-const): Table() needs one member signature for all
SAnswer CModule::Model(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok(), {}};
    if (r.form != SRequest::eExec) return {Error(), {}};
    return {Ok({ModelIdentity(m_config.model)}), {}};
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static): Table() needs one member signature for all
SAnswer CModule::Maker(const SRequest& r) {
    if (r.form != SRequest::eExec) return {Error(), {}};
    return {Ok({"SIMCOM INCORPORATED"}), {}};
}

SAnswer CModule::Revision(const SRequest& r) {
    if (r.form != SRequest::eExec) return {Error(), {}};
    const std::string revision = m_config.revision.empty() ? ModelRevision(m_config.model) : m_config.revision;
    return {Ok({"+CGMR: " + revision}), {}};
}

// NOLINTNEXTLINE(readability-convert-member-functions-to-static): Table() needs one member signature for all
SAnswer CModule::Imei(const SRequest& r) {
    if (r.form != SRequest::eExec) return {Error(), {}};
    return {Ok({"861234567890123"}), {}};
}

SAnswer CModule::ErrorMode(const SRequest& r) {
    if (r.form == SRequest::eRead) return {Ok({"+CMEE: " + std::to_string(m_state.cmee)}), {}};
    if (r.form == SRequest::eTest) return {Ok({"+CMEE: (0-2)"}), {}};
    if (r.form != SRequest::eSet || r.args.size() != 1 || r.args[0].size() != 1 || r.args[0][0] < '0' ||
        r.args[0][0] > '2')
        return {Error(), {}};
    m_state.cmee = r.args[0][0] - '0';
    return {Ok(), {}};
}

SAnswer CModule::UartSleep(const SRequest& r) {
    if (r.form == SRequest::eRead) return {Ok({"+CSCLK: " + std::to_string(m_state.csclk)}), {}};
    if (r.form == SRequest::eTest) return {Ok({"+CSCLK: (0-2)"}), {}};
    if (r.form != SRequest::eSet || r.args.size() != 1 || r.args[0].size() != 1 || r.args[0][0] < '0' ||
        r.args[0][0] > '2')
        return {Error(), {}};
    m_state.csclk = r.args[0][0] - '0';
    return {Ok(), {}};
}

SAnswer CModule::PowerOff(const SRequest& r) {
    if (r.form != SRequest::eExec) return {Error(), {}};
    m_state.poweredOn = false;
    m_state.nmeaInterval = 0;
    m_state.textInput = false;
    return {Ok(), {}};
}

}  // namespace modemsim
