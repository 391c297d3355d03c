// sim7100.lua under Debian's tshark: a session written into a pcap file
// segment by segment, decoded in two passes, checked frame by frame.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "meaning_rows.h"
#include "rtos_peer.h"
#include "sim7100_protocol.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using Fields = std::map<std::string, std::string>;  // an empty value: the field is absent
using R = RtosPeer;

constexpr uint16_t kRtosPort = 50100;  // not the default: the preference must move the dissector

template <typename T>
std::string Bytes(T value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string Pad(std::string text, size_t size) {
    text.resize(size, '\0');
    return text;
}

std::string Record(int32_t status, int32_t code, const std::string& text) {
    return Pad(Bytes(status) + Bytes(code) + text, SIM7100_RESPONSE_SIZE);
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Each request type's name and the bytes it must carry.
const std::map<uint32_t, std::pair<std::string, size_t>> kTypes = {
#define SIM7100_TYPE(type, name, payload, size) {type, {#name, size}},
    SIM7100_REQUEST_TYPES(SIM7100_TYPE)
#undef SIM7100_TYPE
};

// Every layout's payload with a value of its own in each field, and the
// fields the dissector should show for it.
std::map<uint32_t, std::pair<std::string, Fields>> Layouts() {
    std::map<uint32_t, std::pair<std::string, Fields>> layouts;
    auto put = [&](uint32_t type, const std::string& field, int kind, size_t offset, size_t size) {
        auto& [payload, fields] = layouts[type];
        const std::string filter = Lower(kTypes.at(type).first) + "." + Lower(field);
        const std::string value = kind == SIM7100_FIELD_BYTE ? std::to_string(offset + 7) : filter;
        payload.resize(offset + size, '\0');
        payload.replace(offset, kind == SIM7100_FIELD_BYTE ? 1 : value.size(),
                        kind == SIM7100_FIELD_BYTE ? std::string(1, static_cast<char>(offset + 7)) : value);
        fields["sim7100." + filter] = value;
    };
#define SIM7100_PUT(type, layout, field, kind) \
    put(type, #field, kind, SIM7100_FIELD_OFFSET(layout, field), SIM7100_FIELD_SIZE(layout, field));
    SIM7100_REQUEST_FIELDS(SIM7100_PUT)
#undef SIM7100_PUT
    return layouts;
}

struct SSegment {
    bool fromDaemon;
    std::string data;
    Fields expect;
    int stream = 0;
};

// Frames 1 to 9: the registration, then requests that complete in frames 4,
// 5 and 8, their responses in 6, 7 and 9.
std::vector<SSegment> Edges() {
    const std::string apn = R::Frame(SIM7100_MSG_SET_APN, Pad("internet", 256));
    const std::string pin = R::Frame(SIM7100_MSG_ENTER_PIN, Pad("1234", 64)) + R::Frame(SIM7100_MSG_GET_SIM_STATUS);
    const std::string answers = R::Frame(SIM7100_MSG_SET_APN, Record(1, 0, "OK")) +
                                R::Frame(SIM7100_MSG_ENTER_PIN, Record(2, -101, "ERROR")) +
                                R::Frame(SIM7100_MSG_GET_SIM_STATUS, Record(5, 0, "+CPIN: SIM PIN"));
    std::string refusals;
    for (uint32_t type : {9, 10, 10, 38, 25, 26, 26, 20}) refusals += R::Frame(type, Record(2, -2, "refused"));
    const std::string unterminated = ",String not terminated within its field: refused";
    return {
        {true, R::Frame(SIM7100_MSG_REGISTER), {{"_ws.col.Info", "Registration"}, {"sim7100.type", "1"}}},
        {false, apn.substr(0, 5), {{"sim7100.type", ""}}},
        {false, apn.substr(5, 100), {{"sim7100.type", ""}}},
        {false,
         apn.substr(105) + pin.substr(0, 40),
         {{"sim7100.setapn.apn", "internet"}, {"sim7100.response_in", "6"}}},
        {false,
         pin.substr(40),
         {{"sim7100.enterpin.pin", "1234"},
          {"sim7100.response_in", "6,7"},
          {"_ws.col.Info", "EnterPin request, GetSimStatus request"}}},
        {true,
         answers.substr(0, 2100),
         {{"sim7100.request_in", "4,5"},
          {"sim7100.time", "20,10"},
          {"_ws.col.Info", "SetApn response: request carried out, EnterPin response: request failed or refused"}}},
        {true,
         answers.substr(2100),
         {{"sim7100.request_in", "5"}, {"_ws.col.Info", "GetSimStatus response: SIM waits for its PIN"}}},
        // Refused: a short layout, an unknown type (no response), unterminated
        // strings, an empty text, a missing one.  Served: unterminated
        // characters, an empty raw command, a payload the request does not read.
        {false,
         R::Frame(SIM7100_MSG_SET_APN, "internet\0"s) + R::Frame(77) +
             R::Frame(SIM7100_MSG_ENTER_PIN, std::string(32, '1') + Pad("", 32)) +
             R::Frame(SIM7100_MSG_ENTER_PIN, Pad("1", 32) + std::string(32, '2')) +
             R::Frame(SIM7100_MSG_WRITE_SMS, "\x01" + std::string(176, '4')) +
             R::Frame(SIM7100_MSG_RAW_COMMAND, "\0"s) + R::Frame(SIM7100_MSG_SET_ERROR_REPORTING, "\0"s) +
             R::Frame(SIM7100_MSG_SET_ERROR_REPORTING) + R::Frame(SIM7100_MSG_GET_SIGNAL_QUALITY, "junk"),
         {{"sim7100.type", "9,77,10,10,38,25,26,26,20"},
          {"sim7100.response_in", "9,9,9,9,9,9,9,9"},
          {"sim7100.writesms.phone", "4444444444444444"},
          {"sim7100.ignored", "696e7465726e657400,6a756e6b"},
          {"_ws.expert.message",
           "Payload of 9 bytes, the request needs 256: refused,Unknown message type: no response" + unterminated +
               unterminated + ",Empty text: refused,Payload of 0 bytes, the request needs 1: refused," +
               "4 bytes past what the request reads: ignored, served"}}},
        {true, refusals, {{"sim7100.request_in", "8,8,8,8,8,8,8,8"}}},
    };
}

// The second connection: every way the link can go wrong that the dissector
// warns about, then one request and response per row of meanings.
std::vector<SSegment> Faults() {
    // A long line, an empty one, and bytes shown as four characters each.
    const std::string text =
        std::string(450, 'a') + "\r\n\r\n" + std::string(10, 'b') + "caf\xe9\x01\\" + std::string(60, '\xff');
    std::string escaped = std::string(10, 'b') + "caf\\xe9\\x01\\\\";
    for (int i = 0; i < 60; ++i) escaped += "\\xff";
    const std::string lines = std::string(200, 'a') + "," + std::string(200, 'a') + "," + std::string(50, 'a') + ",," +
                              escaped.substr(0, 199) + "," + escaped.substr(199);
    const std::string unanswered = "Request without a response in the capture";
    std::vector<SSegment> faults = {
        {true,
         R::Frame(SIM7100_MSG_REGISTER, "junk"),
         {{"_ws.expert.message", "Registration frame with a payload of 4 bytes: the RTOS side expects 8 bytes alone"}}},
        {true,
         R::Frame(SIM7100_MSG_GET_SIGNAL_QUALITY, Record(1, 0, "")),
         {{"_ws.expert.message", "Response to no request of its type"}}},
        {false,
         R::Frame(SIM7100_MSG_GET_CHIP_TYPE) + R::Frame(SIM7100_MSG_SET_SMS_MODE, "\0\0\0\0"s) +
             R::Frame(SIM7100_MSG_LIST_SMS, "\x02\0"s) + R::Frame(SIM7100_MSG_WRITE_SMS, Pad("\x09", 177)),
         {{"sim7100.sms_mode", "PDU"},
          {"sim7100.sms_status", "STO UNSENT,ALL"},
          {"sim7100.ignored", "000000"},
          {"_ws.expert.message",
           unanswered + ",3 bytes past what the request reads: ignored, served," + unanswered + "," + unanswered}}},
        // A response of a length other than 1032 is flagged and not decoded.
        {true,
         R::Frame(SIM7100_MSG_GET_CHIP_TYPE, "hello world"),
         {{"sim7100.cmdstatus", ""}, {"_ws.expert.message", "Response record of 11 bytes, 1032 expected"}}},
        // Answered out of turn: the requests before it go unanswered.
        {false, R::Frame(SIM7100_MSG_GET_FIRMWARE_VERSION), {}},
        {true,
         R::Frame(SIM7100_MSG_GET_FIRMWARE_VERSION, Record(1, 0, text)),
         {{"sim7100.text", std::string(450, 'a') + "\\r\\n\\r\\n" + escaped}, {"sim7100.text.line", lines}}},
    };
    for (const SMeaningRow& row : kMeaningRows) {
        faults.push_back({false, R::Frame(row.type, Pad("1", 512).substr(0, kTypes.at(row.type).second)), {}});
        faults.push_back({true,
                          R::Frame(row.type, Record(row.cmdStatus, row.errCode, "")),
                          {{"sim7100.errcode.meaning", row.errMeaning},
                           {"_ws.col.Info", kTypes.at(row.type).first + " response: " + row.statusMeaning}}});
    }
    // Text sent to the port: a header that announces 1,126,913,089 bytes.
    faults.push_back({false,
                      "AT+CSQ\r\nhello!",
                      {{"sim7100.type", "168644947"},
                       {"_ws.expert.message",
                        "Not a frame of this link: a header announcing 1126913089 bytes of "
                        "type 168644947; starts with \"AT+CSQ\\r\\nhello!\""}}});
    for (SSegment& segment : faults) segment.stream = 1;
    return faults;
}

TEST(DissectorTest, DecodesPairsAndFlagsASession) {
    if (system("command -v tshark >/dev/null") != 0) SIM7100_SKIP_OR_FAIL("wireshark", "tshark is not installed");
    // One in Wireshark's own plugin folder would load first and take the name.
    const std::string global = "$(tshark -G folders 2>/dev/null | sed -n 's/^Global Lua Plugins:[[:space:]]*//p')";
    if (system(("test -e \"" + global + "/sim7100.lua\"").c_str()) == 0)
        SIM7100_SKIP_OR_FAIL(
            "wireshark",
            "an installed sim7100.lua in Wireshark's global plugin folder would shadow the one under test");

    std::vector<SSegment> session = Edges();
    const auto layouts = Layouts();
    for (const auto& [type, known] : kTypes) {
        const std::string& name = known.first;
        const auto frame = std::to_string(session.size() + 1);
        auto [payload, fields] = layouts.count(type) ? layouts.at(type) : std::pair<std::string, Fields>{};
        if (type == SIM7100_MSG_RAW_COMMAND || type == SIM7100_MSG_SET_ERROR_REPORTING) {
            payload = "AT+CMEE=2"s + '\0';
            fields["sim7100.request_text"] = "AT+CMEE=2";
        }
        fields["_ws.col.Info"] = name + " request";
        session.push_back({false, R::Frame(type, payload), fields});
        const auto status = static_cast<int32_t>(type % 10 + 1);
        session.push_back({true,
                           R::Frame(type, Record(status, -static_cast<int32_t>(type), name)),
                           {{"sim7100.type", std::to_string(type)},
                            {"sim7100.cmdstatus", std::to_string(status)},
                            {"sim7100.errcode", "-" + std::to_string(type)},
                            {"sim7100.text", name},
                            {"sim7100.request_in", frame}}});
    }
    session.push_back(
        {false, R::Frame(SIM7100_MSG_TERMINATE), {{"_ws.col.Info", "Terminate"}, {"sim7100.response_in", ""}}});
    for (SSegment& fault : Faults()) session.push_back(std::move(fault));

    // Raw IPv4 packets over loopback, one segment each, frame n at n * 10 ms.
    std::string pcap = Bytes(0xa1b2c3d4u) + Bytes<uint16_t>(2) + Bytes<uint16_t>(4) + std::string(8, '\0') +
                       Bytes(65535u) + Bytes(101u);
    uint32_t seqs[2][2] = {{1000, 5000}, {1000, 5000}};
    std::set<std::string> names = {"_ws.expert.message"};
    for (size_t n = 1; n <= session.size(); ++n) {
        const auto& [fromDaemon, data, expect, stream] = session[n - 1];
        uint32_t* seq = seqs[stream];
        const uint16_t ports[2] = {htons(static_cast<uint16_t>(40000 + stream)), htons(kRtosPort)};
        const std::string packet = "\x45\0"s + Bytes(htons(static_cast<uint16_t>(40 + data.size()))) +
                                   "\0\0\0\0\x40\x06\0\0\x7f\0\0\x01\x7f\0\0\x01"s + Bytes(ports[!fromDaemon]) +
                                   Bytes(ports[fromDaemon]) + Bytes(htonl(seq[!fromDaemon])) +
                                   Bytes(htonl(seq[fromDaemon])) + "\x50\x18\xff\xff\0\0\0\0"s + data;
        seq[!fromDaemon] += static_cast<uint32_t>(data.size());
        const auto size = static_cast<uint32_t>(packet.size());
        pcap += Bytes(static_cast<uint32_t>(n / 100)) + Bytes(static_cast<uint32_t>(n % 100 * 10000)) + Bytes(size) +
                Bytes(size) + packet;
        for (const auto& field : expect) names.insert(field.first);
    }

    // HOME of its own, so no personal plugin or preference takes part.
    const STempDir temp;
    const std::string dir = temp.path;
    std::ofstream(dir + "/link.pcap", std::ios::binary) << pcap;
    std::string command =
        "HOME=" + dir + " XDG_CONFIG_HOME=" + dir + " tshark -n -2 -o sim7100.port:" + std::to_string(kRtosPort) +
        " -X lua_script:" SIM7100_LUA " -r " + dir + "/link.pcap -T fields -E occurrence=a -E aggregator=,";
    for (const auto& name : names) command += " -e " + name;
    (void)!system((command + " >" + dir + "/fields 2>" + dir + "/stderr").c_str());
    std::istringstream lines(ReadFile(dir + "/fields"));
    const std::string errors = ReadFile(dir + "/stderr");
    EXPECT_EQ(errors.find("Error"), std::string::npos) << errors;  // the script loaded

    size_t n = 0;
    for (std::string line; std::getline(lines, line) && n < session.size(); ++n) {
        std::istringstream cells(line + "\t");
        Fields frame;
        for (const auto& name : names) std::getline(cells, frame[name], '\t');
        Fields expect = session[n].expect;
        expect.emplace("_ws.expert.message", "");  // nothing flagged unless the table says so
        for (const auto& [name, value] : expect) EXPECT_EQ(frame[name], value) << "frame " << n + 1 << ", " << name;
    }
    EXPECT_EQ(n, session.size()) << errors;

    // Without the preference it listens where the daemon connects by default.
    const std::string prefs = "HOME=" + dir + " XDG_CONFIG_HOME=" + dir +
                              " tshark -G defaultprefs -X lua_script:" SIM7100_LUA " >" + dir + "/prefs";
    (void)!system(prefs.c_str());
    EXPECT_NE(ReadFile(dir + "/prefs").find("sim7100.port: 50001\n"), std::string::npos);
}

}  // namespace
