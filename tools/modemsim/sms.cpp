// The SMS store: format, list, read, delete and write with its prompt.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "module.h"

namespace modemsim {

namespace {

const char* const kStatusNames[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL"};

int StatusNumber(const std::string& name) {
    for (int i = 0; i < 5; ++i)
        if (name == kStatusNames[i]) return i;
    return -1;
}

bool Received(const SSms& sms) { return sms.status.compare(0, 3, "REC") == 0; }

int CmsOfSim(int cme) {
    switch (cme) {
    case 10:
        return 310;
    case 11:
        return 311;
    case 12:
        return 316;
    case 13:
        return 313;
    case 14:
        return 314;
    default:
        return 500;
    }
}

std::string Hex(unsigned value) {
    char out[3];
    snprintf(out, sizeof out, "%02X", value & 0xFFu);
    return out;
}

// Digits in swapped-nibble BCD, padded with F.
std::string SwappedBcd(const std::string& digits) {
    std::string out;
    for (size_t i = 0; i < digits.size(); i += 2) {
        out += i + 1 < digits.size() ? digits[i + 1] : 'F';
        out += digits[i];
    }
    return out;
}

std::string Address(const std::string& number) {
    const bool international = !number.empty() && number[0] == '+';
    std::string digits;
    for (char c : number)
        if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
    return Hex(static_cast<unsigned>(digits.size())) + (international ? "91" : "81") + SwappedBcd(digits);
}

unsigned char Septet(char c) {
    switch (c) {
    case '@':
        return 0x00;
    case '$':
        return 0x02;
    case '_':
        return 0x11;
    default:
        break;
    }
    if (std::isalnum(static_cast<unsigned char>(c)) || (c && std::strchr(" !\"#%&'()*+,-./:;<=>?\n\r", c))) {
        return static_cast<unsigned char>(c);
    }
    return '?';
}

std::string PackSeptets(const std::string& text) {
    std::string out;
    unsigned bits = 0, count = 0;
    for (char c : text) {
        bits |= static_cast<unsigned>(Septet(c)) << count;
        count += 7;
        while (count >= 8) {
            out += Hex(bits & 0xFFu);
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0) out += Hex(bits);
    return out;
}

// "yy/MM/dd,hh:mm:ss+zz" as seven swapped-BCD octets.
std::string TimeStamp(const std::string& t) {
    std::string digits;
    for (char c : t)
        if (std::isdigit(static_cast<unsigned char>(c))) digits += c;
    digits.resize(14, '0');
    return SwappedBcd(digits);
}

}  // namespace

std::string EncodePdu(const SSms& sms) {
    if (!sms.pdu.empty()) return sms.pdu;
    // No service-centre address; protocol id 00, GSM 7-bit coding 00.
    const std::string body = Hex(static_cast<unsigned>(sms.text.size())) + PackSeptets(sms.text);
    if (Received(sms)) return "0004" + Address(sms.number) + "0000" + TimeStamp(sms.time) + body;
    return "001100" + Address(sms.number) + "0000AA" + body;
}

std::string CModule::SmsHeader(int index, const SSms& sms, bool list) const {
    const std::string prefix = list ? "+CMGL: " + std::to_string(index) + "," : "+CMGR: ";
    if (m_state.smsMode == 0) {
        const size_t octets = EncodePdu(sms).size() / 2 - 1;  // without the service-centre octet
        return prefix + std::to_string(StatusNumber(sms.status)) + ",," + std::to_string(octets);
    }
    return prefix + "\"" + sms.status + "\",\"" + sms.number + "\",\"\"," +
           (Received(sms) ? "\"" + sms.time + "\"" : std::string());
}

std::string CModule::SmsBody(const SSms& sms) const {
    if (m_state.smsMode == 0) return EncodePdu(sms);
    std::string text = sms.text.empty() ? sms.pdu : sms.text;
    // Line breaks inside a message go out as the module sends them.
    for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 2) text.replace(at, 1, "\r\n");
    return text;
}

SAnswer CModule::SmsFormat(const SRequest& r) {
    if (r.form == SRequest::eRead) return {Ok({"+CMGF: " + std::to_string(m_state.smsMode)}), {}};
    if (r.form == SRequest::eTest) return {Ok({"+CMGF: (0-1)"}), {}};
    if (r.form != SRequest::eSet || r.args.size() != 1 || (r.args[0] != "0" && r.args[0] != "1")) return {Error(), {}};
    m_state.smsMode = r.args[0] == "1";
    return {Ok(), {}};
}

SAnswer CModule::SmsList(const SRequest& r) {
    const bool text = m_state.smsMode != 0;
    if (r.form == SRequest::eTest)
        return {
            Ok({text ? "+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO SENT\",\"ALL\")" : "+CMGL: (0-4)"}),
            {}};
    if (const int error = SimError()) return {Cms(CmsOfSim(error)), {}};
    int selector = 0;  // the default listing: unread messages
    if (r.form == SRequest::eSet) {
        if (r.args.size() != 1) return {Error(), {}};
        if (text) {
            selector = r.quoted[0] ? StatusNumber(r.args[0]) : -1;
            if (selector < 0) return {Cms(305), {}};
        } else {
            if (r.quoted[0] || r.args[0].size() != 1 || r.args[0][0] < '0' || r.args[0][0] > '4') return {Cms(304), {}};
            selector = r.args[0][0] - '0';
        }
    } else if (r.form != SRequest::eExec) {
        return {Error(), {}};
    }
    std::vector<std::string> lines;
    for (size_t i = 0; i < m_state.store.size(); ++i) {
        auto& slot = m_state.store[i];
        if (!slot || (selector != 4 && slot->status != kStatusNames[selector])) continue;
        lines.push_back(SmsHeader(static_cast<int>(i), *slot, true));
        lines.push_back(SmsBody(*slot));
        if (slot->status == "REC UNREAD") slot->status = "REC READ";
    }
    return {Ok(lines), {}};
}

SAnswer CModule::SmsRead(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok(), {}};
    if (const int error = SimError()) return {Cms(CmsOfSim(error)), {}};
    if (r.form != SRequest::eSet || r.args.empty() || r.args[0].empty()) return {Error(), {}};
    const long index = std::strtol(r.args[0].c_str(), nullptr, 10);
    if (index < 0 || static_cast<size_t>(index) >= m_state.store.size()) return {Cms(321), {}};
    auto& slot = m_state.store[static_cast<size_t>(index)];
    if (!slot) return {Ok(), {}};
    const std::string header = SmsHeader(static_cast<int>(index), *slot, false);
    const std::string body = SmsBody(*slot);
    if (slot->status == "REC UNREAD") slot->status = "REC READ";
    return {Ok({header, body}), {}};
}

SAnswer CModule::SmsDelete(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok({"+CMGD: (0-" + std::to_string(m_state.store.size()) + "),(0-4)"}), {}};
    if (const int error = SimError()) return {Cms(CmsOfSim(error)), {}};
    if (r.form != SRequest::eSet || r.args.empty() || r.args.size() > 2 || r.args[0].empty()) return {Error(), {}};
    const long index = std::strtol(r.args[0].c_str(), nullptr, 10);
    const int flag = r.args.size() == 2 ? std::atoi(r.args[1].c_str()) : 0;
    if (flag < 0 || flag > 4) return {Cms(302), {}};
    if (flag == 0) {
        if (index < 0 || static_cast<size_t>(index) >= m_state.store.size()) return {Cms(321), {}};
        m_state.store[static_cast<size_t>(index)].reset();
        return {Ok(), {}};
    }
    // 1: all read; 2: also sent; 3: also unsent; 4: everything.
    for (auto& slot : m_state.store) {
        if (!slot) continue;
        const int status = StatusNumber(slot->status);
        if (flag == 4 || status == 1 || (flag >= 2 && status == 3) || (flag >= 3 && status == 2)) slot.reset();
    }
    return {Ok(), {}};
}

SAnswer CModule::SmsWrite(const SRequest& r) {
    if (r.form == SRequest::eTest) return {Ok(), {}};
    if (const int error = SimError()) return {Cms(CmsOfSim(error)), {}};
    SSms sms;
    sms.number.clear();
    sms.status = "STO UNSENT";
    if (m_state.smsMode != 0) {
        if (r.form == SRequest::eSet) {
            if (r.args.empty()) return {Cms(305), {}};
            sms.number = r.args[0];
            if (r.args.size() > 2 && !r.args[2].empty()) sms.status = r.args[2];
        }
        const int status = StatusNumber(sms.status);
        if (status < 0 || status > 3) return {Cms(305), {}};
    } else {
        // PDU mode: the length, then the status as a number.
        if (r.form != SRequest::eSet || r.args.empty() || r.args[0].empty()) return {Cms(304), {}};
        const int status = r.args.size() > 1 ? std::atoi(r.args[1].c_str()) : 2;
        if (status < 0 || status > 3) return {Cms(304), {}};
        sms.status = kStatusNames[status];
    }
    bool room = false;
    for (const auto& slot : m_state.store) room = room || !slot;
    if (!room) return {Cms(322), {}};
    m_state.pendingWrite = sms;
    m_state.textInput = true;
    return {Prompt(), {}};
}

SAnswer CModule::FinishText(const std::string& text, bool cancelled) {
    m_state.textInput = false;
    if (cancelled) return {Ok(), {}};
    SSms sms = m_state.pendingWrite;
    if (m_state.smsMode == 0) {
        for (char c : text)
            if (!std::isxdigit(static_cast<unsigned char>(c))) return {Cms(304), {}};
        if (text.size() < 2 || text.size() % 2 != 0) return {Cms(304), {}};
        sms.pdu = text;
    } else {
        if (text.size() > 160) return {Cms(305), {}};
        sms.text = text;
    }
    for (size_t i = 0; i < m_state.store.size(); ++i) {
        if (m_state.store[i]) continue;
        m_state.store[i] = sms;
        return {Ok({"+CMGW: " + std::to_string(i)}), {}};
    }
    return {Cms(322), {}};
}

}  // namespace modemsim
