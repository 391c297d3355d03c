// GPS receiver, NMEA output, assistance data, clock, time servers, and the
// network service with its cell-based location.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>

#include "module.h"

namespace modemsim {

namespace {

constexpr size_t kMaxTimeServers = 16;

bool Digits(const std::string& s, size_t at, size_t count, int& value) {
    if (at + count > s.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

// "yy/MM/dd,hh:mm:ss±zz" into UTC seconds and the zone in quarter hours.
bool ParseClock(const std::string& s, std::time_t& utc, int& zone) {
    int yy, mo, dd, hh, mi, ss, zz;
    if (s.size() != 20 || s[2] != '/' || s[5] != '/' || s[8] != ',' || s[11] != ':' || s[14] != ':' ||
        (s[17] != '+' && s[17] != '-'))
        return false;
    if (!Digits(s, 0, 2, yy) || !Digits(s, 3, 2, mo) || !Digits(s, 6, 2, dd) || !Digits(s, 9, 2, hh) ||
        !Digits(s, 12, 2, mi) || !Digits(s, 15, 2, ss) || !Digits(s, 18, 2, zz))
        return false;
    if (mo < 1 || mo > 12 || dd < 1 || dd > 31 || hh > 23 || mi > 59 || ss > 59 || zz > 96) return false;
    std::tm tm{};
    tm.tm_year = 100 + yy;
    tm.tm_mon = mo - 1;
    tm.tm_mday = dd;
    tm.tm_hour = hh;
    tm.tm_min = mi;
    tm.tm_sec = ss;
    zone = s[17] == '-' ? -zz : zz;
    utc = timegm(&tm) - static_cast<std::time_t>(zone) * 15 * 60;
    return true;
}

std::string Line(const std::string& text) { return "\r\n" + text + "\r\n"; }

// Degrees as NMEA "ddmm.mmmmmm" (latitude) or "dddmm.mmmmmm" (longitude).
std::string NmeaAngle(double degrees, bool longitude) {
    const double a = std::fabs(degrees);
    const int whole = static_cast<int>(a);
    char out[32];
    snprintf(out, sizeof out, longitude ? "%03d%09.6f" : "%02d%09.6f", whole, (a - whole) * 60.0);
    return out;
}

}  // namespace

std::string NmeaSentence(const std::string& body) {
    const unsigned sum =
        std::accumulate(body.begin(), body.end(), 0u, [](unsigned s, unsigned char c) { return s ^ c; });
    char tail[8];
    snprintf(tail, sizeof tail, "*%02X\r\n", sum & 0xFFu);
    return "$" + body + tail;
}

std::string CModule::NmeaBurst(std::time_t utc) const {
    std::tm tm{};
    gmtime_r(&utc, &tm);
    char hms[32], dmy[32];
    snprintf(hms, sizeof hms, "%02d%02d%02d.0", tm.tm_hour, tm.tm_min, tm.tm_sec);
    snprintf(dmy, sizeof dmy, "%02d%02d%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100);
    const SModemState0& p = m_config.state;
    const std::string lat = NmeaAngle(p.latitude, false) + (p.latitude < 0 ? ",S" : ",N");
    const std::string lon = NmeaAngle(p.longitude, true) + (p.longitude < 0 ? ",W" : ",E");
    std::string burst;
    if (m_state.gpsOn) {
        burst += NmeaSentence(std::string("GPGGA,") + hms + "," + lat + "," + lon + ",1,08,0.9,34.5,M,46.9,M,,");
        burst += NmeaSentence(std::string("GPRMC,") + hms + ",A," + lat + "," + lon + ",0.0,0.0," + dmy + ",,,A");
        burst += NmeaSentence("GPGSV,3,1,10,01,40,083,46,02,17,308,41,12,07,344,39,14,22,228,45");
        burst += NmeaSentence("GPGSV,3,2,10,15,56,278,44,17,12,041,33,19,61,152,47,24,33,105,42");
        burst += NmeaSentence("GPGSV,3,3,10,25,08,189,30,32,27,311,38");
        burst += NmeaSentence("GPGSA,A,3,01,02,12,14,15,19,24,32,,,,,1.6,0.9,1.3");
        burst += NmeaSentence("GPVTG,0.0,T,,M,0.0,N,0.0,K,A");
    } else {
        burst += NmeaSentence("GPGGA,,,,,,0,,,,,,,,");
        burst += NmeaSentence("GPRMC,,V,,,,,,,,,,N");
        burst += NmeaSentence("GPGSV,1,1,00");
        burst += NmeaSentence("GPGSA,A,1,,,,,,,,,,,,,,,");
        burst += NmeaSentence("GPVTG,,T,,M,,N,,K,N");
    }
    return burst;
}

SAnswer CModule::GpsCold(const SRequest& r) {
    if (r.form != SRequest::eExec) return {Error(), {}};
    if (m_config.faults.gpsStrict && m_state.gpsOn) return {Error(), {}};
    m_state.gpsOn = true;
    return {Ok(), {}};
}

SAnswer CModule::Gps(const SRequest& r) {
    if (r.form == SRequest::eRead) return {Ok({std::string("+CGPS: ") + (m_state.gpsOn ? "1" : "0") + ",1"}), {}};
    if (r.form == SRequest::eTest) return {Ok({"+CGPS: (0,1),(1,2)"}), {}};
    if (r.form != SRequest::eSet || r.args.empty() || (r.args[0] != "0" && r.args[0] != "1")) return {Error(), {}};
    const bool on = r.args[0] == "1";
    if (m_config.faults.gpsStrict && m_state.gpsOn == on) return {Error(), {}};
    m_state.gpsOn = on;
    return {Ok(), {}};
}

SAnswer CModule::NmeaOutput(const SRequest& r) {
    if (r.form == SRequest::eRead)
        return {Ok({"+CGPSINFOCFG: " + std::to_string(m_state.nmeaInterval) + "," + std::to_string(m_state.nmeaMask)}),
                {}};
    if (r.form == SRequest::eTest) return {Ok({"+CGPSINFOCFG: (0-255),(0-511)"}), {}};
    if (r.form != SRequest::eSet || r.args.empty() || r.args.size() > 2) return {Error(), {}};
    char* end = nullptr;
    const long interval = std::strtol(r.args[0].c_str(), &end, 10);
    if (r.args[0].empty() || *end != '\0' || interval < 0 || interval > 255) return {Error(), {}};
    m_state.nmeaInterval = static_cast<int>(interval);
    if (r.args.size() == 2) m_state.nmeaMask = std::atoi(r.args[1].c_str());
    return {Ok(), {}};
}

SAnswer CModule::XtraFlag(const SRequest& r) {
    if (r.form == SRequest::eRead) return {Ok({"+CGPSXE: " + std::to_string(m_state.xtra)}), {}};
    if (r.form == SRequest::eTest) return {Ok({"+CGPSXE: (0,1)"}), {}};
    if (r.form != SRequest::eSet || r.args.size() != 1 || (r.args[0] != "0" && r.args[0] != "1")) return {Error(), {}};
    m_state.xtra = r.args[0] == "1";
    return {Ok(), {}};
}

SAnswer CModule::XtraDownload(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok({"+CGPSXD: (0-2)"}), {}};
    if (r.form != SRequest::eSet || r.args.size() != 1 || r.args[0] != "0") return {Error(), {}};
    const int code = NetworkUsable() ? m_config.faults.xtraResult : 1;
    return {Ok(), {{m_config.timings.resultMs, Line("+CGPSXD: " + std::to_string(code))}}};
}

std::time_t CModule::ClockNow() const {
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(m_now - m_state.clockSetAt).count();
    return m_state.clockBase + static_cast<std::time_t>(elapsed);
}

SAnswer CModule::ClockCmd(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok(), {}};
    if (r.form == SRequest::eRead) {
        const std::time_t local = ClockNow() + static_cast<std::time_t>(m_state.clockZone) * 15 * 60;
        std::tm tm{};
        gmtime_r(&local, &tm);
        char text[48];
        snprintf(text, sizeof text, "+CCLK: \"%02d/%02d/%02d,%02d:%02d:%02d%c%02d\"", tm.tm_year % 100, tm.tm_mon + 1,
                 tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, m_state.clockZone < 0 ? '-' : '+',
                 std::abs(m_state.clockZone));
        return {Ok({text}), {}};
    }
    std::time_t utc = 0;
    int zone = 0;
    if (r.form != SRequest::eSet || r.args.size() != 1 || !r.quoted[0] || !ParseClock(r.args[0], utc, zone))
        return {Error(), {}};
    m_state.clockBase = utc;
    m_state.clockSetAt = m_now;
    m_state.clockZone = zone;
    return {Ok(), {}};
}

SAnswer CModule::TimeServers(const SRequest& r) {
    auto& servers = m_state.timeServers;
    if (r.form == SRequest::eRead) {
        std::vector<std::string> lines;
        for (size_t i = 0; i < servers.size(); ++i)
            lines.push_back("+CHTPSERV: " + std::to_string(i) + ",\"" + servers[i].host + "\"," +
                            std::to_string(servers[i].port) + "," + std::to_string(servers[i].version));
        return {Ok(lines), {}};
    }
    if (r.form == SRequest::eTest) return {Ok({"+CHTPSERV: \"ADD\",\"DEL\""}), {}};
    if (r.form != SRequest::eSet || r.args.empty()) return {Error(), {}};
    if (r.args[0] == "ADD") {
        if (r.args.size() < 4 || r.args[1].empty() || servers.size() >= kMaxTimeServers) return {Error(), {}};
        servers.push_back({r.args[1], std::atoi(r.args[2].c_str()), std::atoi(r.args[3].c_str())});
        return {Ok(), {}};
    }
    if (r.args[0] == "DEL" && r.args.size() == 2) {
        const size_t index = static_cast<size_t>(std::atoi(r.args[1].c_str()));
        if (index >= servers.size()) return {Error(), {}};
        servers.erase(servers.begin() + static_cast<long>(index));
        return {Ok(), {}};
    }
    return {Error(), {}};
}

SAnswer CModule::TimeUpdate(const SRequest& r) {
    if (r.form != SRequest::eExec) return {Error(), {}};
    // 1: no time server to ask, 4: no network; 0: the clock follows the host's.
    int code = 0;
    if (m_state.timeServers.empty()) {
        code = 1;
    } else if (!NetworkUsable()) {
        code = 4;
    } else {
        m_state.clockBase = std::time(nullptr);
        m_state.clockSetAt = m_now;
    }
    return {Ok(), {{m_config.timings.resultMs, Line("+CHTPUPDATE: " + std::to_string(code))}}};
}

SAnswer CModule::NetStart(const SRequest& r) {
    if (r.form != SRequest::eExec) return {Error(), {}};
    const bool usable = NetworkUsable();
    if (usable) m_state.netOpen = true;
    return {Ok(), {{m_config.timings.resultMs, Line(usable ? "+CNETSTART: 0" : "+CNETSTART: 1")}}};
}

SAnswer CModule::NetStop(const SRequest& r) {
    if (r.form != SRequest::eExec) return {Error(), {}};
    m_state.netOpen = false;
    return {Ok(), {{m_config.timings.resultMs, Line("+CNETSTOP: 0")}}};
}

SAnswer CModule::Location(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok({"+CLBS: (1)"}), {}};
    if (r.form != SRequest::eSet || r.args.size() != 1 || r.args[0] != "1") return {Error(), {}};
    const SModemState0& p = m_config.state;
    std::string report;
    if (m_state.netOpen && NetworkUsable()) {
        char text[96];
        snprintf(text, sizeof text, "+CLBS: 0,%.6f,%.6f,%d", p.latitude, p.longitude, p.accuracy);
        report = Line(text);
    } else {
        report = Line("+CLBS: " + std::to_string(p.lbsClosedCode));
    }
    const int gap = m_config.timings.resultMs;
    if (m_config.faults.lbsOrder == ELbsOrder::eOkFirst) return {Ok(), {{gap, report}}};
    return {report, {{gap, "\r\nOK\r\n"}}};
}

}  // namespace modemsim
