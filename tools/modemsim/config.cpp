// Models, presets, command patterns and the scenario file.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "config.h"

namespace modemsim {

bool ParseModel(const std::string& name, EModel& model) {
    if (name == "SIM7600G") {
        model = EModel::eSim7600G;
    } else if (name == "SIM7100E") {
        model = EModel::eSim7100E;
    } else if (name == "SIM7100A") {
        model = EModel::eSim7100A;
    } else {
        return false;
    }
    return true;
}

const char* ModelName(EModel model) {
    switch (model) {
    case EModel::eSim7100E:
        return "SIM7100E";
    case EModel::eSim7100A:
        return "SIM7100A";
    default:
        return "SIM7600G";
    }
}

namespace {

// Presets set a duration only when none is set yet, so a value given
// earlier (in a scenario file) survives.
void Default(int& value, int fallback) {
    if (value == 0) value = fallback;
}

void Echo(SConfig& c) { c.echo = true; }
void LineErrors(SConfig& c) { c.faults.errorFraming = EErrorFraming::eLine; }
void Boot(SConfig& c) {
    c.faults.bootLines = true;
    Default(c.faults.simBusyMs, 3000);
}
void IdleError(SConfig& c) { Default(c.faults.idleErrorMs, 10000); }
void GpsStrict(SConfig& c) { c.faults.gpsStrict = true; }
void NoCell(SConfig& c) { Default(c.faults.noCellMs, 10000); }
void XtraFail(SConfig& c) { c.faults.xtraResult = 2; }
void Field(SConfig& c) {
    for (auto* apply : {Echo, LineErrors, Boot, IdleError, GpsStrict, NoCell}) apply(c);
}

}  // namespace

const std::vector<SPreset>& Presets() {
    static const std::vector<SPreset> presets = {
        {"echo", "echo on, as the module starts: \"AT+CSQ\\r\" comes back before \"\\r\\n+CSQ: ...\"", Echo},
        {"line-errors", "error reports after a line break (the default): \"\\r\\n+CME ERROR: 16\\r\\n\"", LineErrors},
        {"boot", "after power-up the SIM is busy for a while (3 s) and RDY, +CPIN, SMS DONE, PB DONE arrive unasked",
         Boot},
        {"idle-error", "the first command after 10 s without one is answered ERROR", IdleError},
        {"gps-strict", "GPS start/stop answer ERROR when the receiver is already in that state", GpsStrict},
        {"no-cell", "no cell for 10 s after power-up: CGREG 0,2 and CSQ 99,99", NoCell},
        {"xtra-fail", "the assistance-data download ends in \"+CGPSXD: 2\"", XtraFail},
        {"field", "echo, line-errors, boot, idle-error, gps-strict and no-cell together", Field},
    };
    return presets;
}

bool ApplyPreset(const std::string& name, SConfig& config) {
    for (const auto& preset : Presets()) {
        if (name != preset.name) continue;
        preset.apply(config);
        return true;
    }
    return false;
}

bool MatchesPattern(const std::string& command, const std::string& pattern) {
    std::string p;
    for (char c : pattern) p += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!p.empty() && p.back() == '*') return command.compare(0, p.size() - 1, p, 0, p.size() - 1) == 0;
    if (p.empty() || command.compare(0, p.size(), p) != 0) return false;
    return command.size() == p.size() || !std::isalnum(static_cast<unsigned char>(command[p.size()]));
}

namespace {

using nlohmann::json;

// Reads the keys of one JSON object and refuses any it does not know, so a
// misspelt switch in a scenario is an error instead of a silent default.
class CObject {
public:
    CObject(const json& value, std::string where) : m_value(value), m_where(std::move(where)) {
        if (!m_value.is_object()) throw std::runtime_error(m_where + ": an object is expected");
    }
    template <class T>
    CObject& Get(const char* key, T& out) {
        m_known.insert(key);
        if (m_value.contains(key)) {
            try {
                out = m_value.at(key).get<T>();
            } catch (const json::exception&) {
                throw std::runtime_error(m_where + "." + key + ": wrong type");
            }
        }
        return *this;
    }
    const json* Find(const char* key) {
        m_known.insert(key);
        return m_value.contains(key) ? &m_value.at(key) : nullptr;
    }
    void Done() const {
        const auto items = m_value.items();
        const auto unknown = std::find_if(items.begin(), items.end(),
                                          [this](const auto& item) { return m_known.count(item.key()) == 0; });
        if (unknown != items.end()) throw std::runtime_error(m_where + ": unknown key \"" + unknown.key() + "\"");
    }

private:
    const json& m_value;
    std::string m_where;
    std::set<std::string> m_known;
};

void ReadState(const json& value, SModemState0& s) {
    CObject o(value, "state");
    o.Get("pin", s.pin).Get("puk", s.puk).Get("sim_inserted", s.simInserted).Get("pin_required", s.pinRequired);
    o.Get("pin_attempts", s.pinAttempts).Get("puk_attempts", s.pukAttempts).Get("cmee", s.cmee);
    o.Get("provider", s.provider).Get("provider_display_mode", s.providerDisplayMode);
    o.Get("rssi", s.rssi).Get("ber", s.ber).Get("network_mode", s.networkMode);
    o.Get("searching_queries", s.searchingQueries);
    if (const json* r = o.Find("registration")) {
        if (*r == "home" || *r == 1) {
            s.registration = 1;
        } else if (*r == "roaming" || *r == 5) {
            s.registration = 5;
        } else {
            throw std::runtime_error("state.registration: \"home\" or \"roaming\"");
        }
    }
    o.Get("latitude", s.latitude).Get("longitude", s.longitude).Get("accuracy", s.accuracy);
    o.Get("lbs_closed_code", s.lbsClosedCode).Get("xtra", s.xtra).Get("sms_capacity", s.smsCapacity);
    o.Get("sms_mode", s.smsMode);
    if (const json* list = o.Find("sms")) {
        if (!list->is_array()) throw std::runtime_error("state.sms: a list is expected");
        s.sms.clear();
        for (const auto& item : *list) {
            SSms sms;
            CObject m(item, "state.sms[]");
            m.Get("status", sms.status).Get("number", sms.number).Get("time", sms.time).Get("text", sms.text);
            m.Done();
            if (sms.status != "REC UNREAD" && sms.status != "REC READ" && sms.status != "STO UNSENT" &&
                sms.status != "STO SENT")
                throw std::runtime_error("state.sms[].status: unknown status \"" + sms.status + "\"");
            s.sms.push_back(sms);
        }
    }
    o.Done();
}

void ReadFaults(const json& value, SFaults& f) {
    CObject o(value, "faults");
    o.Get("latency_ms", f.latencyMs).Get("baud", f.baud).Get("split_bytes", f.splitBytes);
    o.Get("split_gap_ms", f.splitGapMs).Get("silent_after", f.silentAfter).Get("silent_commands", f.silentCommands);
    o.Get("garbage_every_ms", f.garbageEveryMs).Get("garbage_bytes", f.garbageBytes);
    o.Get("oversize_commands", f.oversizeCommands).Get("oversize_bytes", f.oversizeBytes);
    o.Get("idle_error_ms", f.idleErrorMs).Get("sim_busy_ms", f.simBusyMs).Get("boot_lines", f.bootLines);
    o.Get("gps_strict", f.gpsStrict).Get("no_cell_ms", f.noCellMs).Get("xtra_result", f.xtraResult);
    if (const json* list = o.Find("urc")) {
        if (!list->is_array()) throw std::runtime_error("faults.urc: a list is expected");
        for (const auto& item : *list) {
            SUrc urc;
            CObject u(item, "faults.urc[]");
            u.Get("text", urc.text).Get("every_ms", urc.everyMs).Get("first_ms", urc.firstMs);
            u.Done();
            f.urcs.push_back(urc);
        }
    }
    if (const json* h = o.Find("hangup")) {
        CObject u(*h, "faults.hangup");
        u.Get("command", f.hangup.command).Get("nth", f.hangup.nth).Get("after_bytes", f.hangup.afterBytes);
        u.Get("reopen_ms", f.hangup.reopenMs);
        u.Done();
    }
    if (const json* framing = o.Find("error_framing")) {
        if (*framing == "bare") {
            f.errorFraming = EErrorFraming::eBare;
        } else if (*framing == "line") {
            f.errorFraming = EErrorFraming::eLine;
        } else {
            throw std::runtime_error("faults.error_framing: \"bare\" or \"line\"");
        }
    }
    if (const json* order = o.Find("lbs_order")) {
        if (*order == "report-first") {
            f.lbsOrder = ELbsOrder::eReportFirst;
        } else if (*order == "ok-first") {
            f.lbsOrder = ELbsOrder::eOkFirst;
        } else {
            throw std::runtime_error("faults.lbs_order: \"report-first\" or \"ok-first\"");
        }
    }
    o.Done();
}

}  // namespace

bool LoadScenario(const std::string& jsonText, SConfig& config, std::string& error) {
    try {
        const json root = json::parse(jsonText);
        CObject o(root, "scenario");
        std::string description;
        o.Get("description", description);
        if (const json* model = o.Find("model")) {
            if (!model->is_string() || !ParseModel(model->get<std::string>(), config.model))
                throw std::runtime_error("model: SIM7600G, SIM7100E or SIM7100A");
        }
        o.Get("revision", config.revision).Get("echo", config.echo);
        if (const json* presets = o.Find("presets")) {
            for (const auto& name : presets->get<std::vector<std::string>>())
                // cppcheck-suppress useStlAlgorithm ; applies them in order, stopping at the first unknown one
                if (!ApplyPreset(name, config)) throw std::runtime_error("presets: unknown preset \"" + name + "\"");
        }
        if (const json* state = o.Find("state")) ReadState(*state, config.state);
        if (const json* t = o.Find("timings")) {
            CObject u(*t, "timings");
            u.Get("result_ms", config.timings.resultMs).Get("nmea_period_ms", config.timings.nmeaPeriodMs);
            u.Get("restart_after_ms", config.timings.restartAfterMs);
            u.Done();
        }
        if (const json* faults = o.Find("faults")) ReadFaults(*faults, config.faults);
        if (const json* list = o.Find("overrides")) {
            if (!list->is_array()) throw std::runtime_error("overrides: a list is expected");
            for (const auto& item : *list) {
                SOverride ov;
                CObject u(item, "overrides[]");
                u.Get("command", ov.command).Get("answer", ov.answer).Get("later", ov.later);
                u.Get("later_ms", ov.laterMs).Get("times", ov.times);
                u.Done();
                if (ov.command.empty()) throw std::runtime_error("overrides[].command: missing");
                config.faults.overrides.push_back(ov);
            }
        }
        o.Done();
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return true;
}

bool LoadScenarioFile(const std::string& path, SConfig& config, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    if (LoadScenario(text.str(), config, error)) return true;
    error = path + ": " + error;
    return false;
}

}  // namespace modemsim
