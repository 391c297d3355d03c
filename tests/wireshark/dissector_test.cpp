// sim7100.lua under Debian's tshark: a session of the link written into a
// pcap file segment by segment, decoded in two passes, checked frame by
// frame.  Frames split over segments, segments carrying several frames and
// requests the daemon refuses are in the table; every request type of the
// protocol header follows once, served.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "rtos_peer.h"
#include "sim7100_protocol.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using Fields = std::map<std::string, std::string>;

constexpr uint16_t kDaemonPort = 40000;
constexpr uint16_t kRtosPort = 50100;  // not the default: the preference must move the dissector

template <typename T>
std::string Bytes(T value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string Be16(uint16_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
std::string Be32(uint32_t v) { return Be16(static_cast<uint16_t>(v >> 16)) + Be16(static_cast<uint16_t>(v)); }

// One TCP connection over loopback as a pcap file of raw IPv4 packets, one
// segment per packet, frame n stamped at n * 10 ms.
class Capture {
public:
    int Segment(bool fromDaemon, const std::string& data) {
        const int from = fromDaemon ? 0 : 1;
        const std::string tcp = Be16(fromDaemon ? kDaemonPort : kRtosPort) +
                                Be16(fromDaemon ? kRtosPort : kDaemonPort) + Be32(m_seq[from]) + Be32(m_seq[1 - from]) +
                                "\x50\x18" + Be16(65535) + std::string(4, '\0');
        m_seq[from] += static_cast<uint32_t>(data.size());
        const std::string loopback = "\x7f\0\0\x01"s;
        const std::string ip = "\x45\0"s + Be16(static_cast<uint16_t>(40 + data.size())) + std::string(4, '\0') +
                               "\x40\x06\0\0"s + loopback + loopback;
        const std::string packet = ip + tcp + data;
        ++m_frames;
        const auto size = static_cast<uint32_t>(packet.size());
        m_file += Bytes<uint32_t>(m_frames / 100) + Bytes<uint32_t>(m_frames % 100 * 10000) + Bytes(size) +
                  Bytes(size) + packet;
        return m_frames;
    }
    std::string File() const {
        // Magic, version 2.4, no zone, no accuracy, snap length, LINKTYPE_RAW.
        return Bytes<uint32_t>(0xa1b2c3d4) + Bytes<uint16_t>(2) + Bytes<uint16_t>(4) + std::string(8, '\0') +
               Bytes<uint32_t>(65535) + Bytes<uint32_t>(101) + m_file;
    }

private:
    uint32_t m_seq[2] = {1000, 5000};
    std::string m_file;
    int m_frames = 0;
};

std::string Record(int32_t status, int32_t code, const std::string& text) {
    std::string record = Bytes(status) + Bytes(code) + text;
    record.resize(SIM7100_RESPONSE_SIZE, '\0');
    return record;
}

std::string Field(const std::string& text, size_t size) {
    std::string field = text;
    field.resize(size, '\0');
    return field;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct SLayoutField {
    uint32_t type;
    std::string filter;
    int kind;
    size_t offset;
    size_t size;
};

const std::map<uint32_t, std::string>& RequestNames() {
#define SIM7100_NAME(type, name, payload, size) {type, #name},
    static const std::map<uint32_t, std::string> names = {SIM7100_REQUEST_TYPES(SIM7100_NAME)};
#undef SIM7100_NAME
    return names;
}

const std::vector<SLayoutField>& LayoutFields() {
#define SIM7100_LAYOUT_FIELD(type, layout, field, kind)                             \
    {type, "sim7100." + Lower(RequestNames().at(type)) + "." + Lower(#field), kind, \
     SIM7100_FIELD_OFFSET(layout, field), SIM7100_FIELD_SIZE(layout, field)},
    static const std::vector<SLayoutField> fields = {SIM7100_REQUEST_FIELDS(SIM7100_LAYOUT_FIELD)};
#undef SIM7100_LAYOUT_FIELD
    return fields;
}

struct SSegment {
    bool fromDaemon;
    std::string data;
    Fields expect;  // an empty value: the field is absent
};

// Frames 2 to 9, after the registration: requests complete in frames 4, 5
// and 8, their responses in 6, 7 and 9.
std::vector<SSegment> Edges() {
    using R = RtosPeer;
    const std::string apn = R::Frame(SIM7100_MSG_SET_APN, Field("internet", 256));
    const std::string pin = R::Frame(SIM7100_MSG_ENTER_PIN, Field("1234", 64));
    const std::string status = R::Frame(SIM7100_MSG_GET_SIM_STATUS);
    const std::string apnOk = R::Frame(SIM7100_MSG_SET_APN, Record(1, 0, "OK"));
    const std::string pinFail = R::Frame(SIM7100_MSG_ENTER_PIN, Record(2, -101, "ERROR"));
    const std::string simPin = R::Frame(SIM7100_MSG_GET_SIM_STATUS, Record(5, 0, "+CPIN: SIM PIN"));
    const std::string refused = Record(2, -2, "Invalid request payload");
    const std::string refusals =
        R::Frame(SIM7100_MSG_SET_APN, refused) + R::Frame(SIM7100_MSG_ENTER_PIN, refused) +
        R::Frame(SIM7100_MSG_ENTER_PIN, refused) + R::Frame(SIM7100_MSG_WRITE_SMS, Record(1, 3, "Written")) +
        R::Frame(SIM7100_MSG_SET_ERROR_REPORTING, refused) + R::Frame(SIM7100_MSG_SET_ERROR_REPORTING, refused) +
        R::Frame(SIM7100_MSG_GET_SIGNAL_QUALITY, Record(1, 20, "CSQ: 20,99"));
    const std::string unterminated = "String not terminated within its field: refused";
    return {
        {false, apn.substr(0, 5), {{"sim7100.type", ""}}},
        {false, apn.substr(5, 100), {{"sim7100.type", ""}}},
        {false,
         apn.substr(105) + pin.substr(0, 40),
         {{"sim7100.type", "9"}, {"sim7100.setapn.apn", "internet"}, {"sim7100.response_in", "6"}}},
        {false,
         pin.substr(40) + status,
         {{"sim7100.type", "10,12"},
          {"sim7100.enterpin.pin", "1234"},
          {"sim7100.enterpin.newpin", ""},
          {"sim7100.response_in", "7,7"},
          {"_ws.col.Info", "EnterPin request, GetSimStatus request"}}},
        {true,
         apnOk + pinFail.substr(0, 500),
         {{"sim7100.type", "9"}, {"sim7100.request_in", "4"}, {"sim7100.time", "20"}, {"sim7100.text", "OK"}}},
        {true,
         pinFail.substr(500) + simPin,
         {{"sim7100.type", "10,12"},
          {"sim7100.request_in", "5,5"},
          {"sim7100.time", "20,20"},
          {"sim7100.cmdstatus", "2,5"},
          {"sim7100.errcode", "-101,0"},
          {"_ws.col.Info",
           "EnterPin response: request failed or refused, GetSimStatus response: SIM waits for its PIN"}}},
        // What the daemon refuses: a short layout, an unknown type (no
        // response), unterminated strings, an empty text, a missing one.
        // What it serves: unterminated characters, a payload it ignores.
        {false,
         R::Frame(SIM7100_MSG_SET_APN, "internet\0"s) + R::Frame(77) +
             R::Frame(SIM7100_MSG_ENTER_PIN, std::string(32, '1') + Field("", 32)) +
             R::Frame(SIM7100_MSG_ENTER_PIN, Field("1", 32) + std::string(32, '2')) +
             R::Frame(SIM7100_MSG_WRITE_SMS, "\x01" + std::string(16, '4') + Field("hi", 160)) +
             R::Frame(SIM7100_MSG_SET_ERROR_REPORTING, "\0"s) + R::Frame(SIM7100_MSG_SET_ERROR_REPORTING) +
             R::Frame(SIM7100_MSG_GET_SIGNAL_QUALITY, "junk"),
         {{"sim7100.type", "9,77,10,10,38,26,26,20"},
          {"sim7100.response_in", "9,9,9,9,9,9,9"},
          {"sim7100.writesms.phone", "4444444444444444"},
          {"sim7100.writesms.body", "hi"},
          {"sim7100.ignored", "696e7465726e657400,6a756e6b"},
          {"_ws.expert.message",
           "Payload of 9 bytes, the request needs 256: refused,Unknown message type: no response," + unterminated +
               "," + unterminated + ",Empty text: refused,Payload of 0 bytes, the request needs 1: refused"}}},
        {true,
         refusals,
         {{"sim7100.type", "9,10,10,38,26,26,20"},
          {"sim7100.request_in", "8,8,8,8,8,8,8"},
          {"sim7100.errcode", "-2,-2,-2,3,-2,-2,20"}}},
    };
}

std::string Output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

class DissectorTest : public testing::Test {
protected:
    void SetUp() override {
        if (Output("command -v tshark").empty()) GTEST_SKIP() << "tshark is not installed";
        // A sim7100.lua in Wireshark's own plugin folder would load first and
        // take the protocol's name.
        const std::string folders = Output("tshark -G folders 2>/dev/null");
        const auto at = folders.find("Global Lua Plugins:");
        if (at != std::string::npos) {
            std::istringstream line(folders.substr(at + 19));
            std::string folder;
            line >> folder;
            if (fs::exists(folder + "/sim7100.lua"))
                GTEST_SKIP() << "an installed " << folder << "/sim7100.lua would shadow the one under test";
        }
        char pattern[] = "/tmp/sim7100-dissector-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        if (!m_dir.empty()) fs::remove_all(m_dir);
    }

    // One line of fields per frame; HOME is the test's own so that no
    // personal plugin or preference of this host takes part.
    std::vector<Fields> Decode(const Capture& capture, const std::vector<std::string>& names) {
        std::ofstream(m_dir + "/link.pcap", std::ios::binary) << capture.File();
        std::string command = "HOME=" + m_dir + " XDG_CONFIG_HOME=" + m_dir +
                              " tshark -n -2 -o sim7100.port:" + std::to_string(kRtosPort) +
                              " -X lua_script:" SIM7100_LUA " -r " + m_dir +
                              "/link.pcap -T fields -E separator=/t -E occurrence=a -E aggregator=,";
        for (const auto& name : names) command += " -e " + name;
        std::istringstream lines(Output(command + " 2>" + m_dir + "/stderr"));
        std::vector<Fields> frames;
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream cells(line + "\t");
            Fields frame;
            for (const auto& name : names) std::getline(cells, frame[name], '\t');
            frames.push_back(frame);
        }
        return frames;
    }

    std::string m_dir;
};

TEST_F(DissectorTest, DecodesPairsAndFlagsASession) {
    Capture capture;
    std::vector<Fields> expected;
    auto add = [&](bool fromDaemon, const std::string& data, Fields expect) {
        capture.Segment(fromDaemon, data);
        expected.push_back(std::move(expect));
    };
    add(true, RtosPeer::Frame(SIM7100_MSG_REGISTER), {{"_ws.col.Info", "Registration"}, {"sim7100.type", "1"}});
    for (const auto& segment : Edges()) add(segment.fromDaemon, segment.data, segment.expect);

    // Every request type once, served: the fields its layout lists, each with
    // a value of its own, and a response right behind it.
    for (const auto& [type, name] : RequestNames()) {
        const int frame = static_cast<int>(expected.size()) + 1;
        std::string payload;
        Fields request{{"sim7100.type", std::to_string(type)},
                       {"_ws.col.Info", name + " request"},
                       {"sim7100.response_in", std::to_string(frame + 1)}};
        for (const auto& field : LayoutFields()) {
            if (field.type != type) continue;
            payload.resize(field.offset + field.size, '\0');
            const std::string value =
                field.kind == SIM7100_FIELD_BYTE ? std::to_string(field.offset + 7) : field.filter.substr(8);
            if (field.kind == SIM7100_FIELD_BYTE) {
                payload[field.offset] = static_cast<char>(field.offset + 7);
            } else {
                payload.replace(field.offset, value.size(), value);
            }
            request[field.filter] = value;
        }
        if (type == SIM7100_MSG_RAW_COMMAND || type == SIM7100_MSG_SET_ERROR_REPORTING) {
            payload = "AT+CMEE=2"s + '\0';
            request["sim7100.request_text"] = "AT+CMEE=2";
        }
        add(false, RtosPeer::Frame(type, payload), request);
        const int32_t status = static_cast<int32_t>(type % 10 + 1);
        add(true, RtosPeer::Frame(type, Record(status, -static_cast<int32_t>(type), name)),
            {{"sim7100.type", std::to_string(type)},
             {"sim7100.cmdstatus", std::to_string(status)},
             {"sim7100.errcode", std::to_string(-static_cast<int32_t>(type))},
             {"sim7100.text", name},
             {"sim7100.request_in", std::to_string(frame)},
             {"sim7100.time", "10"}});
    }
    add(false, RtosPeer::Frame(SIM7100_MSG_TERMINATE), {{"_ws.col.Info", "Terminate"}, {"sim7100.response_in", ""}});

    std::vector<std::string> names = {"_ws.expert.message"};
    for (const auto& frame : expected)
        for (const auto& [name, value] : frame) names.push_back(name);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());

    const auto frames = Decode(capture, names);
    std::ifstream errors(m_dir + "/stderr");
    ASSERT_EQ(frames.size(), expected.size()) << std::string(std::istreambuf_iterator<char>(errors), {});
    for (size_t i = 0; i < frames.size(); ++i) {
        // Nothing flagged unless the table says so.
        Fields expect = expected[i];
        expect.emplace("_ws.expert.message", "");
        for (const auto& [name, value] : expect)
            EXPECT_EQ(frames[i].at(name), value) << "frame " << i + 1 << ", " << name;
    }
}

}  // namespace
