// Models, presets, command patterns and the scenario file.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <type_traits>

#include "config.h"
#include "settings.h"

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
    const json* Find(const std::string& key) {
        m_known.insert(key);
        return m_value.contains(key) ? &m_value.at(key) : nullptr;
    }
    const std::string& Where() const { return m_where; }
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

// A value of the table: its type, its choices and its range are checked.
void ReadSetting(const SSetting& s, const json& value, const std::string& where, SConfig& config) {
    std::visit(
        [&](auto get) {
            using T = std::remove_reference_t<decltype(get(config))>;
            T& target = get(config);
            if constexpr (std::is_enum_v<T> || std::is_same_v<T, int>) {
                if (!s.choices.empty()) {
                    const SChoice* choice = value.is_string() ? ChoiceNamed(s, value.get<std::string>()) : nullptr;
                    const bool number = std::is_same_v<T, int> && value.is_number() && value == value.get<int>();
                    if (number) choice = ChoiceOf(s, value.get<int>());
                    if (choice != nullptr) {
                        target = static_cast<T>(choice->value);
                        return;
                    }
                    throw std::runtime_error(ChoiceRefusal(s));
                }
            }
            try {
                target = value.get<T>();
            } catch (const json::exception&) {
                throw std::runtime_error(where + ": wrong type");
            }
            if constexpr (std::is_integral_v<T>) {
                const std::string refusal = RangeRefusal(s, static_cast<long>(target), where);
                if (!refusal.empty()) throw std::runtime_error(refusal);
            }
        },
        s.field);
}

void ReadMessages(const json& list, SConfig& config) {
    if (!list.is_array()) throw std::runtime_error("state.sms: a list is expected");
    std::vector<SSms>& store = config.state.sms;
    store.clear();
    for (const auto& item : list) {
        SSms sms;
        CObject m(item, "state.sms[]");
        m.Get("status", sms.status).Get("number", sms.number).Get("time", sms.time).Get("text", sms.text);
        m.Done();
        if (sms.status != "REC UNREAD" && sms.status != "REC READ" && sms.status != "STO UNSENT" &&
            sms.status != "STO SENT")
            throw std::runtime_error("state.sms[].status: unknown status \"" + sms.status + "\"");
        store.push_back(sms);
    }
}

void ReadUrcs(const json& list, SConfig& config) {
    if (!list.is_array()) throw std::runtime_error("faults.urc: a list is expected");
    for (const auto& item : list) {
        SUrc urc;
        CObject u(item, "faults.urc[]");
        u.Get("text", urc.text).Get("every_ms", urc.everyMs).Get("first_ms", urc.firstMs);
        u.Done();
        config.faults.urcs.push_back(urc);
    }
}

void ReadOverrides(const json& list, SConfig& config) {
    if (!list.is_array()) throw std::runtime_error("overrides: a list is expected");
    for (const auto& item : list) {
        SOverride ov;
        CObject u(item, "overrides[]");
        u.Get("command", ov.command).Get("answer", ov.answer).Get("later", ov.later);
        u.Get("later_ms", ov.laterMs).Get("times", ov.times);
        u.Done();
        if (ov.command.empty()) throw std::runtime_error("overrides[].command: missing");
        config.faults.overrides.push_back(ov);
    }
}

void ApplyPresets(const json& names, SConfig& config) {
    for (const auto& name : names.get<std::vector<std::string>>())
        // cppcheck-suppress useStlAlgorithm ; applies them in order, stopping at the first unknown one
        if (!ApplyPreset(name, config)) throw std::runtime_error("presets: unknown preset \"" + name + "\"");
}

// Keys the table does not hold, by their section.
const struct {
    const char* section;
    const char* key;
    void (*read)(const json&, SConfig&);
} kByHand[] = {
    {"", "description",
     [](const json& text, SConfig&) {
         if (!text.is_string()) throw std::runtime_error("scenario.description: wrong type");
     }},
    {"", "presets", nullptr},  // applied before everything else
    {"state", "sms", ReadMessages},
    {"faults", "urc", ReadUrcs},
    {"", "overrides", ReadOverrides},
};

// One object of the file: the table's settings in it, the sections below
// it, and the keys read by hand; any other key is refused.
void ReadSection(const json& value, const std::string& section, SConfig& config) {
    CObject o(value, section.empty() ? "scenario" : section);
    const std::string prefix = section.empty() ? "" : section + ".";
    std::set<std::string> below;
    for (const SSetting& s : Settings()) {
        if (s.key == nullptr || std::string(s.key).compare(0, prefix.size(), prefix) != 0) continue;
        const std::string name = s.key + prefix.size();
        const size_t dot = name.find('.');
        if (dot != std::string::npos) {
            below.insert(name.substr(0, dot));
        } else if (const json* v = o.Find(name)) {
            ReadSetting(s, *v, o.Where() + "." + name, config);
        }
    }
    for (const std::string& name : below)
        if (const json* v = o.Find(name)) ReadSection(*v, prefix + name, config);
    for (const auto& key : kByHand) {
        const json* v = section == key.section ? o.Find(key.key) : nullptr;
        if (v != nullptr && key.read != nullptr) key.read(*v, config);
    }
    o.Done();
}

}  // namespace

bool LoadScenario(const std::string& jsonText, SConfig& config, std::string& error) {
    try {
        const json root = json::parse(jsonText);
        if (root.is_object() && root.contains("presets")) ApplyPresets(root.at("presets"), config);
        ReadSection(root, "", config);
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
