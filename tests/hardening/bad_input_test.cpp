// Every request type through the whole daemon, taken from the protocol's
// request list.  A well-formed request reaches its own operation: the whole
// command sequence the module receives and the record that comes back.  Then
// whatever else the RTOS side may send: no payload, one byte short of the
// layout, the layout with no zero byte anywhere, the longest legal strings,
// much longer, 64 KiB and more, each string field filled to its end; unknown
// types with and without payloads.  Each known type gets exactly one
// response, a refusal where the payload is unusable, and no command to the
// module carries a byte that was not inside its field.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "hardening_rig.h"
#include "sim7100_protocol.h"

namespace hardening {
namespace {

using ::testing::Eq;
using ::testing::Matcher;
using ::testing::Not;
using ::testing::StartsWith;
using Reply = ScriptedModem::Reply;

const std::string kOk = "\r\nOK\r\n";
// Field i of a layout is filled with letter 'j' + i (commands' own text is
// upper case); bytes beyond the layout with '~', which no command may carry.
const char kTail = '~';

struct SType {
    uint32_t type;
    const char* name;
    int payload;
    size_t size;
};
#define TYPE_ROW(type, name, payload, size) {type, #name, payload, size},
const SType kTypes[] = {SIM7100_REQUEST_TYPES(TYPE_ROW)};
#undef TYPE_ROW

struct SField {
    uint32_t type;
    const char* name;
    size_t offset, size;
    int kind;
    // The operation reads it as a string that must end within the field.
    bool String() const { return kind == SIM7100_FIELD_STRING || kind == SIM7100_FIELD_STRING_OPT; }
};
#define FIELD_ROW(type, layout, field, kind) \
    {type, #field, SIM7100_FIELD_OFFSET(layout, field), SIM7100_FIELD_SIZE(layout, field), kind},
const SField kFields[] = {SIM7100_REQUEST_FIELDS(FIELD_ROW)};
#undef FIELD_ROW

std::vector<SField> FieldsOf(uint32_t type) {
    std::vector<SField> fields;
    std::copy_if(std::begin(kFields), std::end(kFields), std::back_inserter(fields),
                 [type](const SField& f) { return f.type == type; });
    return fields;
}

enum class EFill { eFull, eLongestLegal };

std::string Fill(uint32_t type, EFill how) {
    std::string p;
    char letter = 'j';
    for (const SField& f : FieldsOf(type)) {
        std::string bytes(f.size, letter++);
        // A one-byte field is a number, not a string: keep it whole.
        if (how == EFill::eLongestLegal && f.kind != SIM7100_FIELD_BYTE) bytes.back() = '\0';
        p += bytes;
    }
    return p;
}

// The payload shapes a type is sent in, each with its name.
std::vector<std::pair<std::string, std::string>> Shapes(uint32_t type) {
    const std::string full = Fill(type, EFill::eFull), legal = Fill(type, EFill::eLongestLegal);
    std::vector<std::pair<std::string, std::string>> shapes = {
        {"no payload", ""},
        {"4 KiB longer", legal + std::string(4096, kTail)},
        {"64 KiB + 1", full + std::string(65537 - full.size(), kTail)}};
    if (full.size() >= 2) shapes.emplace_back("one byte short", full.substr(0, full.size() - 1));
    if (!full.empty()) shapes.insert(shapes.end(), {{"exact, no zero byte", full}, {"longest legal strings", legal}});
    return shapes;
}

std::string Unterminated(const SField& f) {
    return std::string("Invalid request payload: field ") + f.name + " is not terminated";
}

// The refusal the daemon's payload check gives, or "" for none.
std::string ExpectedRefusal(const SType& t, const std::string& payload) {
    if (t.type == SIM7100_MSG_RAW_COMMAND) return payload.empty() || payload[0] == '\0' ? "Empty command!" : "";
    if (t.size == 0) return "";
    if (payload.size() < t.size || (t.payload == SIM7100_PAYLOAD_TEXT && payload[0] == '\0')) {
        return "Invalid request payload: " + std::to_string(payload.size()) + " bytes, " + std::to_string(t.size) +
               " expected";
    }
    for (const SField& f : FieldsOf(t.type)) {
        if (f.String() && payload.find('\0', f.offset) >= f.offset + f.size) return Unterminated(f);
    }
    return "";
}

// No command carries more of a field's letter than the field holds, and none
// carries a byte from beyond the layout.
void ExpectCommandsWithinFields(const std::vector<std::string>& commands, const SType& t) {
    if (t.payload == SIM7100_PAYLOAD_TEXT) return;  // the text is the whole payload
    const std::vector<SField> fields = FieldsOf(t.type);
    for (const auto& c : commands) {
        EXPECT_EQ(c.find(kTail), std::string::npos) << "a byte beyond the layout reached the module";
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].kind == SIM7100_FIELD_BYTE) continue;  // numbers are formatted, not copied
            const auto n = static_cast<size_t>(std::count(c.begin(), c.end(), static_cast<char>('j' + i)));
            EXPECT_LE(n, fields[i].size) << fields[i].name << " ran past its end in " << c.substr(0, 80);
        }
    }
}

std::string Payload(std::initializer_list<std::pair<std::string, size_t>> fields) {
    std::string p;
    for (const auto& f : fields) p += e2e::Field(f.first, f.second);
    return p;
}

// `first` now, `later` after a pause: an answer in two parts.
Reply Late(const std::string& first, const std::string& later) { return {{first}, {later, 20}}; }

struct SExchange {
    SExchange(std::string c, const std::string& text) : command(std::move(c)), reply{{text}} {}
    SExchange(std::string c, Reply r) : command(std::move(c)), reply(std::move(r)) {}
    std::string command;
    Reply reply;
};

// A well-formed request of each type, in the list's order: every command the
// module receives, in order, with its answer, and the record that comes back.
struct SRoute {
    const char* name;  // the type's name in the list
    std::string payload;
    std::vector<SExchange> exchanges;
    int32_t status, err;
    std::string text;
};

const std::vector<SRoute>& Routes() {
    static const std::string cgmm = "\r\nSIMCOM_SIM7600G-H\r\n\r\nOK\r\n";
    static const std::string xtra = "\r\n+CGPSXE: 1\r\n\r\nOK\r\n";
    static const std::string cgreg = "\r\n+CGREG: 0,1\r\n\r\nOK\r\n";
    static const std::string head = "\"REC READ\",\"+4912345\",,\"24/05/01,12:00:00+08\"\r\n";
    static const std::string cmgr = "\r\n+CMGR: " + head + "Hello\r\n\r\nOK\r\n";
    static const std::string cmgf = "\r\n+CMGF: 1\r\n\r\nOK\r\n";
    static const std::string spic = "\r\n+SPIC: 3,10,3,10\r\n\r\nOK\r\n";
    static const std::string puk = "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n";
    static const std::string cops = "\r\n+COPS: 0,0,\"Op 100%s\",7\r\n\r\nOK\r\n";
    static const std::string csq = "\r\n+CSQ: 99,99\r\n\r\nOK\r\n";
    static const std::string clbs = "\r\n+CLBS: 0,31.123456,121.654321,550\r\n";
    static const std::string cnetstart = "\r\nOK\r\n\r\n+CNETSTART: 0\r\n";
    // clang-format off
    static const std::vector<SRoute> routes = {
        {"PowerOn", "", {{"AT\r\n", kOk}, {"AT+CSCLK=1\r\n", kOk}}, 1, 0, ""},
        {"PowerOff", "", {{"AT+CPOF\r\n", kOk}}, 1, 0, kOk},
        {"StandBy", "", {}, 1, 0, ""},
        {"Connect", "", {{"AT+CGMM\r\n", cgmm}, {"AT$QCRMCALL=1,1\r\n", kOk}}, 1, 0, kOk},
        {"Disconnect", "", {{"AT$QCRMCALL=0,1\r\n", kOk}}, 1, 0, kOk},
        {"SetAuthentication", Payload({{"user", 256}, {"pass", 256}}),
         {{"AT+CGAUTH=1,3,\"pass\",\"user\"\r\n", kOk}}, 1, 0, kOk},
        {"SetApn", Payload({{"internet", 256}}), {{"AT+CGDCONT=1,\"IP\",\"internet\"\r\n", kOk}}, 1, 0, kOk},
        {"EnterPin", Payload({{"1234", 32}, {"", 32}}),
         {{"AT+CPIN?\r\n", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"}, {"AT+CPIN=1234\r\n", kOk}}, 1, 0, kOk},
        {"GetPinRetries", "", {{"AT+CPIN?\r\n", "\r\n+CPIN: READY\r\n\r\nOK\r\n"}, {"AT+SPIC\r\n", spic}}, 1, 0, spic},
        {"GetSimStatus", "", {{"AT+CPIN?\r\n", puk}}, 6, 0, puk},
        {"GetConnectionStatus", "", {{"AT$QCRMCALL?\r\n", kOk}}, 4, 0, kOk},
        {"GetChipType", "", {{"AT+CGMM\r\n", cgmm}}, 9, 2, cgmm},
        {"GpsStart", "", {{"AT+CGPSCOLD\r\n", kOk}}, 1, 0, "GPS Start: " + kOk},
        {"GpsStop", "", {{"AT+CGPS=0\r\n", "\r\nERROR\r\n"}}, 2, -101, "Chip internal fail! \r\nERROR\r\n"},
        {"GpsGetInfo", "", {{"AT+CGPSINFOCFG=2,3\r\n", Late(kOk, "$GPRMC,1\r\n")}, {"AT+CGPSINFOCFG=0\r\n", kOk}},
         1, 0, "GPS: \r\nOK\r\n$GPRMC,1\r\n"},
        {"GpsGetXtraStatus", "", {{"AT+CGPSXE?\r\n", xtra}}, 1, 1, ""},
        {"GpsEnableXtra", "", {{"AT+CGPSXE=1\r\n", kOk}, {"AT+CGPSXE?\r\n", xtra}}, 1, 1, ""},
        // A payload on a type that takes none is ignored.
        {"GetSignalQuality", "junk", {{"AT+CSQ\r\n", csq}}, 2, 0, "CSQ: " + csq},
        {"LbsStart", "", {{"AT+CGMR\r\n", "\r\n+CGMR: LE11B12SIM7600M22\r\n\r\nOK\r\n"},
                          {"AT+CNETSTART\r\n", cnetstart}}, 1, 0, cnetstart},
        {"LbsStop", "", {{"AT+CNETSTOP\r\n", kOk}}, 1, 0, kOk},
        {"LbsGetLocation", "", {{"AT+CLBS=1\r\n", Late(clbs, kOk)}}, 1, 0, clbs.substr(2) + kOk},
        {"GetFirmwareVersion", "", {{"AT+CGMR\r\n", "\r\n+CGMR: LE20B04SIM7600M22 extra\r\n\r\nOK\r\n"}}, 1, 0,
         "LE20B04SIM7600M22"},
        {"RawCommand", "AT+COPS?\r\n", {{"AT+COPS?\r\n", cops}}, 1, 0, cops},
        {"SetErrorReporting", std::string("2\0", 2), {{"AT+CMEE=2\r\n", kOk}}, 1, 0, "MEE: " + kOk},
        {"GetServiceProvider", "", {{"AT+CSPN?\r\n", "\r\n+CSPN: \"T-Mobile.de\",1\r\n\r\nOK\r\n"}}, 1, 1,
         "SPN: T Mobile de"},
        {"GetNetworkMode", "", {{"AT+CNSMOD?\r\n", "\r\n+CNSMOD: 0,8\r\n\r\nOK\r\n"}}, 1, 8,
         "NSMOD: \r\n+CNSMOD: 0,8\r\n\r\nOK\r\n"},
        {"SetClock", Payload({{"24/05/01,12:30:00+08", 40}}), {{"AT+CCLK=\"24/05/01,12:30:00+08\"\r\n", kOk}}, 1, 0,
         "CLOCK: " + kOk},
        {"GpsDownloadXtra", "", {{"AT+CGREG?\r\n", cgreg}, {"AT+CGPSXD=0\r\n", Late(kOk, "\r\n+CGPSXD: 0\r\n")}}, 1, 0,
         "GPS assistance file download:\r\nWaiting for GPRS registration - success:\r\n" + cgreg +
         "\r\n\r\nOK\r\n\r\n+CGPSXD: 0\r\n"},
        {"SetTimeServer", Payload({{"time.example.com", 256}}), {{"AT+CHTPSERV=\"DEL\",0\r\n", "\r\nERROR\r\n"},
         {"AT+CHTPSERV=\"ADD\",\"time.example.com\",80,1\r\n", kOk}}, 1, 0, "HTP SERV: " + kOk},
        {"UpdateTime", "", {{"AT+CHTPUPDATE\r\n", Late(kOk, "\r\n+CHTPUPDATE: 0\r\n")}}, 1, 0,
         "HTP UPDATE: \r\nOK\r\n\r\n+CHTPUPDATE: 0\r\n"},
        {"GetSmsMode", "", {{"AT+CMGF?\r\n", cmgf}}, 1, 1, "SMS mode: TEXT\r\n"},
        {"SetSmsMode", std::string(1, '\0'), {{"AT+CMGF=0\r\n", kOk}}, 1, 0, "SMS mode set: PDU"},
        {"ListSms", std::string("\x04\x01", 2), {{"AT+CMGF?\r\n", cmgf},
         {"AT+CMGL=\"ALL\"\r\n", "\r\n+CMGL: 1," + head + "Hello\r\n\r\nOK\r\n"}}, 1, 1, "+CMGL: 1," + head},
        {"ReadSms", std::string(1, '\x01'), {{"AT+CMGR=1\r\n", cmgr}}, 1, 0, cmgr},
        {"DeleteSms", std::string("\x03\x00", 2), {{"AT+CMGD=3\r\n", kOk}}, 1, 0, "Deleted SMS #3, flag 0"},
        {"WriteSms", std::string(1, '\x01') + Payload({{"4912345", 16}, {"Hi there", 160}}),
         {{"AT+CMGF=1\r\n", kOk}, {"AT+CMGW=\"+4912345\",,\"REC READ\"\r\n", "\r\n> "},
          {"Hi there\x1a", "\r\n+CMGW: 7\r\n\r\nOK\r\n"}}, 1, 7, "Written SMS #7, phone 7, status REC READ"},
    };
    // clang-format on
    return routes;
}

TEST(BadInput, EveryTypeReachesItsOperationAndEveryPayloadShapeGetsOneFittingResponse) {
    Rig rig(false);
    rig.modem.SetSplit(0, 0);
    rig.modem.SetDefault({{kOk}});
    // The daemon retries until the RTOS side listens.
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.daemon.WaitForStdout("sim7100d-dev: overrides: SIM7100D_DEVICE=", Within(5000)));
    rig.peer.Listen();
    ASSERT_TRUE(rig.peer.AcceptRegistered(Within(5000)));

    auto expectRefused = [&](const auto& r, const std::string& refusal, size_t before) {
        EXPECT_EQ(r.record.cmdStatus, 2);
        EXPECT_EQ(r.record.errCode, -2);
        EXPECT_EQ(r.Text(), refusal);
        EXPECT_TRUE(rig.CommandsSince(before).empty()) << "a refused request reached the module";
    };
    // Each string field filled to its end is refused by name, before the chip
    // state is looked at; the same field with its last byte zero is served.
    auto fieldsToTheirEnd = [&](const std::vector<SField>& fields, const Matcher<std::string>& served) {
        for (const SField& f : fields) {
            if (!f.String()) continue;
            for (const bool terminated : {false, true}) {
                SCOPED_TRACE(std::string(f.name) + (terminated ? ", last byte zero" : ", no zero byte"));
                std::string payload = Fill(f.type, EFill::eLongestLegal);
                std::fill_n(payload.begin() + static_cast<long>(f.offset), f.size, 'x');
                if (terminated) payload[f.offset + f.size - 1] = '\0';
                const size_t before = rig.modem.Commands().size();
                const auto r = rig.Request(f.type, payload);
                if (!terminated) {
                    expectRefused(r, Unterminated(f), before);
                } else {
                    EXPECT_THAT(r.Text(), served);
                }
            }
        }
    };
    fieldsToTheirEnd(std::vector<SField>(std::begin(kFields), std::end(kFields)), Eq("Chip is not initialized!"));

    // PowerOff and StandBy close the port: open it again for what follows.
    auto reopen = [&](uint32_t type) {
        if (type == SIM7100_MSG_POWER_OFF || type == SIM7100_MSG_STAND_BY) rig.PowerOn();
    };
    ASSERT_EQ(Routes().size(), std::size(kTypes));
    for (size_t i = 0; i < std::size(kTypes); ++i) {
        const SType& t = kTypes[i];
        const SRoute& route = Routes()[i];
        SCOPED_TRACE(std::to_string(t.type) + " " + t.name);
        ASSERT_STREQ(route.name, t.name);
        std::vector<std::string> commands;
        for (const SExchange& e : route.exchanges) {
            rig.modem.On(e.command, e.reply);
            commands.push_back(e.command);
        }
        size_t before = rig.modem.Commands().size();
        const auto r = rig.Request(t.type, route.payload);
        EXPECT_EQ(rig.CommandsSince(before), commands);
        EXPECT_EQ(std::make_tuple(r.record.cmdStatus, r.record.errCode, r.Text()),
                  std::make_tuple(route.status, route.err, route.text));
        reopen(t.type);

        for (const auto& [shape, payload] : Shapes(t.type)) {
            SCOPED_TRACE(shape + ", " + std::to_string(payload.size()) + " bytes");
            before = rig.modem.Commands().size();
            const auto shaped = rig.Request(t.type, payload);
            const std::string refusal = ExpectedRefusal(t, payload);
            if (!refusal.empty()) {
                expectRefused(shaped, refusal, before);
            } else {
                EXPECT_THAT(shaped.Text(), Not(StartsWith("Invalid request payload")));
                ExpectCommandsWithinFields(rig.CommandsSince(before), t);
            }
            reopen(t.type);
        }
        fieldsToTheirEnd(FieldsOf(t.type), Not(StartsWith("Invalid request payload")));
    }

    // Unknown types get nothing: the next bytes answer the request after them.
    const std::string big(1 << 20, 'x');
    int unknown = 0;
    for (uint32_t type : {0u, 1u, 39u, 0xFFFFFFFFu}) {
        for (size_t size : {size_t{0}, size_t{8}, size_t{65536}, big.size()}) {
            SCOPED_TRACE("unknown type " + std::to_string(type) + ", " + std::to_string(size) + " bytes");
            ASSERT_TRUE(rig.peer.SendFrame(type, big.substr(0, size)));
            ++unknown;
            EXPECT_EQ(rig.Request(SIM7100_MSG_GET_CONNECTION_STATUS).record.cmdStatus, 4);
        }
        const std::string line = "Sim7100 message of type " + std::to_string(static_cast<int32_t>(type));
        EXPECT_TRUE(rig.daemon.WaitForStdout(line + " data (nil) size 0 received\n", Within(2000)));
    }
    EXPECT_TRUE(rig.daemon.WaitForStderr("[WARNING] Unknown message type\n", Within(5000), unknown));

    ASSERT_TRUE(rig.peer.SendFrame(SIM7100_MSG_TERMINATE));
    EXPECT_TRUE(rig.peer.WaitClosed(Within(5000))) << "a response to terminate, or no close";
    EXPECT_EQ(ExitCode(rig.daemon.WaitExit(Within(10000))), 0);
    EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr())) << rig.daemon.Stderr();
}

}  // namespace
}  // namespace hardening
