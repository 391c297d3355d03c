// SIM lock, PDP context, data call, registration and radio queries.
#include <algorithm>
#include <cstdlib>

#include "module.h"

namespace modemsim {

namespace {

constexpr int kPinAttempts = 3;
constexpr int kPukAttempts = 10;

bool Number(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 6) return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    value = std::atoi(text.c_str());
    return value >= low && value <= high;
}

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

}  // namespace

int CModule::SimError() const {
    if (m_state.sim == ESim::eAbsent) return 10;
    if (m_now < m_state.poweredAt + std::chrono::milliseconds(m_config.faults.simBusyMs)) return 14;
    switch (m_state.sim) {
    case ESim::ePin:
        return 11;
    case ESim::ePuk:
        return 12;
    case ESim::eBlocked:
        return 13;
    default:
        return 0;
    }
}

bool CModule::CellFound() const {
    return m_now >= m_state.poweredAt + std::chrono::milliseconds(m_config.faults.noCellMs);
}

SAnswer CModule::Pin(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok(), {}};
    const int error = SimError();
    if (error == 10 || error == 13 || error == 14) return {Cme(error), {}};
    SState& s = m_state;
    if (r.form == SRequest::eRead) {
        return {Ok({s.sim == ESim::eReady ? "+CPIN: READY"
                    : s.sim == ESim::ePin ? "+CPIN: SIM PIN"
                                          : "+CPIN: SIM PUK"}),
                {}};
    }
    if (r.form != SRequest::eSet || r.args.empty() || r.args.size() > 2) return {Error(), {}};
    SAnswer answer;
    if (s.sim == ESim::eReady) return {Cme(3), {}};
    if (s.sim == ESim::ePin) {
        if (r.args[0] != s.pin) {
            if (--s.pinLeft <= 0) s.sim = ESim::ePuk;
            return {Cme(16), {}};
        }
    } else {  // PUK and a new PIN
        if (r.args.size() != 2) return {Cme(12), {}};
        if (r.args[0] != s.puk) {
            if (--s.pukLeft <= 0) s.sim = ESim::eBlocked;
            return {Cme(16), {}};
        }
        s.pin = r.args[1];
    }
    s.sim = ESim::eReady;
    s.pinLeft = kPinAttempts;
    s.pukLeft = kPukAttempts;
    answer.bytes = Ok();
    if (m_config.faults.bootLines) {
        answer.later = {{100, "\r\n+CPIN: READY\r\n"}, {200, "\r\nSMS DONE\r\n"}, {300, "\r\nPB DONE\r\n"}};
    }
    return answer;
}

SAnswer CModule::PinCounters(const SRequest& r) {
    if (r.form != SRequest::eExec) return {r.form == SRequest::eTest ? Ok() : Error(), {}};
    const int error = SimError();
    if (error == 10 || error == 14) return {Cme(error), {}};
    return {Ok({"+SPIC: " + std::to_string(m_state.pinLeft) + "," + std::to_string(m_state.pukLeft) + "," +
                std::to_string(kPinAttempts) + "," + std::to_string(kPukAttempts)}),
            {}};
}

SAnswer CModule::Context(const SRequest& r) {
    auto& contexts = m_state.contexts;
    if (r.form == SRequest::eTest) return {Ok({"+CGDCONT: (1-24),\"IP\",,,(0-2),(0-4)"}), {}};
    if (r.form == SRequest::eRead) {
        std::vector<std::string> lines;
        lines.reserve(contexts.size());
        for (const auto& [cid, c] : contexts)
            lines.push_back("+CGDCONT: " + std::to_string(cid) + "," + Quote(c.type) + "," + Quote(c.apn) +
                            ",\"0.0.0.0\",0,0");
        return {Ok(lines), {}};
    }
    int cid = 0;
    if (r.form != SRequest::eSet || r.args.empty() || !Number(r.args[0], 1, 24, cid)) return {Error(), {}};
    if (r.args.size() == 1) {
        contexts.erase(cid);
        return {Ok(), {}};
    }
    const std::string& type = r.args[1];
    if (type != "IP" && type != "PPP" && type != "IPV6" && type != "IPV4V6") return {Error(), {}};
    SContext& c = contexts[cid];
    c.type = type;
    c.apn = r.args.size() > 2 ? r.args[2] : "";
    return {Ok(), {}};
}

SAnswer CModule::Auth(const SRequest& r) {
    auto& contexts = m_state.contexts;
    if (r.form == SRequest::eTest) return {Ok({"+CGAUTH: (1-24),(0-3),,"}), {}};
    if (r.form == SRequest::eRead) {
        std::vector<std::string> lines;
        lines.reserve(contexts.size());
        for (const auto& [cid, c] : contexts)
            lines.push_back("+CGAUTH: " + std::to_string(cid) + "," + std::to_string(c.authType) + "," + Quote(c.user));
        return {Ok(lines), {}};
    }
    int cid = 0, type = 0;
    if (r.form != SRequest::eSet || r.args.size() < 2 || r.args.size() > 4 || !Number(r.args[0], 1, 24, cid) ||
        !Number(r.args[1], 0, 3, type))
        return {Error(), {}};
    // This module family takes the password before the user name.
    SContext& c = contexts[cid];
    c.authType = type;
    c.password = type == 0 || r.args.size() < 3 ? "" : r.args[2];
    c.user = type == 0 || r.args.size() < 4 ? "" : r.args[3];
    return {Ok(), {}};
}

SAnswer CModule::DataCall(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok({"$QCRMCALL: (0-1),(1-2),(1-3),(1-2),(1-2)"}), {}};
    if (r.form == SRequest::eRead) return {m_state.dataCall ? Ok({"$QCRMCALL: 1, V4"}) : Ok(), {}};
    int action = 0, instance = 0;
    if (r.form != SRequest::eSet || r.args.size() < 2 || !Number(r.args[0], 0, 1, action) ||
        !Number(r.args[1], 1, 2, instance))
        return {Error(), {}};
    if (action == 0) {
        m_state.dataCall = false;
        return {Ok(), {}};
    }
    if (!NetworkUsable()) return {Error(), {}};
    m_state.dataCall = true;
    return {Ok({"$QCRMCALL: 1, V4"}), {}};
}

SAnswer CModule::Registration(const SRequest& r) {
    int& n = m_state.regN[r.name];
    if (r.form == SRequest::eTest) return {Ok({r.name + ": (0-2)"}), {}};
    if (r.form == SRequest::eSet) {
        if (r.args.size() != 1 || !Number(r.args[0], 0, 2, n)) return {Error(), {}};
        return {Ok(), {}};
    }
    if (r.form != SRequest::eRead) return {Error(), {}};
    int stat = 0;  // not registered, not searching: no usable SIM
    if (SimError() == 0) {
        stat = 2;
        if (CellFound()) {
            int& queries = m_state.registrationQueries;
            if (r.name == "+CGREG") ++queries;
            if (queries > m_config.state.searchingQueries) stat = m_config.state.registration;
        }
    }
    return {Ok({r.name + ": " + std::to_string(n) + "," + std::to_string(stat)}), {}};
}

SAnswer CModule::Signal(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok({"+CSQ: (0-31,99),(0-7,99)"}), {}};
    if (r.form != SRequest::eExec) return {Error(), {}};
    if (!CellFound()) return {Ok({"+CSQ: 99,99"}), {}};
    return {Ok({"+CSQ: " + std::to_string(m_config.state.rssi) + "," + std::to_string(m_config.state.ber)}), {}};
}

SAnswer CModule::Provider(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok(), {}};
    if (r.form != SRequest::eRead) return {Error(), {}};
    if (const int error = SimError()) return {Cme(error), {}};
    return {Ok({"+CSPN: " + Quote(m_config.state.provider) + "," + std::to_string(m_config.state.providerDisplayMode)}),
            {}};
}

SAnswer CModule::SystemMode(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok({"+CNSMOD: (0-1)"}), {}};
    if (r.form == SRequest::eSet) {
        if (r.args.size() != 1 || !Number(r.args[0], 0, 1, m_state.cnsmodN)) return {Error(), {}};
        return {Ok(), {}};
    }
    if (r.form != SRequest::eRead) return {Error(), {}};
    const int mode = CellFound() && m_state.sim != ESim::eAbsent ? m_config.state.networkMode : 0;
    return {Ok({"+CNSMOD: " + std::to_string(m_state.cnsmodN) + "," + std::to_string(mode)}), {}};
}

}  // namespace modemsim
