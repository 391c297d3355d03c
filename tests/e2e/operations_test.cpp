// Requests through the whole daemon: connecting, what the RTOS side gets
// back and what the module and the host's network tools were told.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_rig.h"

namespace e2e {
namespace {

using ::testing::AllOf;
using ::testing::EndsWith;
using ::testing::Eq;
using ::testing::Matcher;
using ::testing::StartsWith;

const std::string kOk = "\r\nOK\r\n";

struct SStep {
    using Script = std::vector<std::pair<std::string, std::string>>;
    uint32_t type;
    std::string payload;
    Script script;  // command, answer
    int32_t status;
    int32_t err;
    Matcher<std::string> text;
    std::vector<std::string> commands = {};   // empty: the script's commands
    std::vector<std::string> stubCalls = {};  // shell steps this request adds
};

void RunSteps(Rig& rig, const std::vector<SStep>& steps) {
    for (const auto& s : steps) {
        SCOPED_TRACE("type " + std::to_string(s.type));
        std::vector<std::string> expected = s.commands;
        for (const auto& e : s.script) {
            rig.modem.On(e.first, e.second);
            if (s.commands.empty()) expected.push_back(e.first);
        }
        const size_t before = rig.modem.Commands().size();
        const size_t stubBefore = rig.StubCalls().size();
        const auto r = rig.Request(s.type, s.payload);
        EXPECT_EQ(r.record.cmdStatus, s.status);
        EXPECT_EQ(r.record.errCode, s.err);
        EXPECT_THAT(r.Text(), s.text);
        EXPECT_EQ(rig.CommandsSince(before), expected);
        const auto calls = rig.StubCalls();
        EXPECT_EQ(std::vector<std::string>(calls.begin() + static_cast<long>(stubBefore), calls.end()), s.stubCalls);
    }
}

TEST(DaemonLink, ConnectsOnceTheListenerOpensAndRegistersWithEightBytes) {
    Rig rig(false);
    ASSERT_NO_FATAL_FAILURE(rig.Start());
    ASSERT_TRUE(rig.daemon.WaitForStdout("sim7100d-dev: overrides: SIM7100D_DEVICE=", Within(5000)));
    rig.peer.Listen();
    ASSERT_TRUE(rig.peer.AcceptRegistered(Within(5000)));
    // Nothing follows the registration until a request comes.
    const auto r = rig.Request(SIM7100_MSG_GET_SIGNAL_QUALITY);
    EXPECT_EQ(r.record.errCode, -2);
    EXPECT_EQ(r.Text(), "Chip is not initialized!");
}

std::string Payload(std::initializer_list<std::pair<std::string, size_t>> fields) {
    std::string p;
    for (const auto& f : fields) p += Field(f.first, f.second);
    return p;
}

// One request of every type, each with a plausible answer of the module.
TEST(DaemonOperations, EveryRequestTypeReachesTheModuleAndAnswers) {
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.StartLinked());
    const std::string cgmm = "\r\nSIMCOM_SIM7600G-H\r\n\r\nOK\r\n";
    const std::string e = "\r\nSIMCOM_SIM7100E\r\n\r\nOK\r\n";
    const std::string status = "\r\n$QCRMCALL: 1, V4\r\n\r\nOK\r\n";
    const std::string uninit = "Chip is not initialized!";
    const SStep::Script on = {{"AT\r\n", kOk}, {"AT+CSCLK=1\r\n", kOk}};
    const std::vector<std::string> up = {"ifconfig wwan0 up", "udhcpc -i wwan0", "ifconfig wwan0"};
    const std::vector<std::string> down = {"ifconfig wwan0 down", "pkill udhcpc"};
    std::vector<std::string> rawUp = {"cat /sys/class/net/wwan0/qmi/raw_ip", "ifconfig wwan0 mtu 1430"};
    rawUp.insert(rawUp.end(), up.begin(), up.end());
    // clang-format off
    // Power and the data connection, answers split in small chunks.
    RunSteps(rig, {
        {SIM7100_MSG_POWER_ON, "", on, 1, 0, Eq("")},
        {SIM7100_MSG_GET_CHIP_TYPE, "", {{"AT+CGMM\r\n", cgmm}}, 9, 2, Eq(cgmm)},
        {SIM7100_MSG_CONNECT, "", {{"AT+CGMM\r\n", cgmm}, {"AT$QCRMCALL=1,1\r\n", kOk}}, 1, 0, Eq(kOk), {}, rawUp},
        {SIM7100_MSG_CONNECT, "", {}, 1, 0, Eq("Modem already connected")},
        {SIM7100_MSG_GET_CONNECTION_STATUS, "", {{"AT$QCRMCALL?\r\n", status}}, 3, 0, Eq(status)},
        {SIM7100_MSG_DISCONNECT, "", {{"AT$QCRMCALL=0,1\r\n", kOk}}, 1, 0, Eq(kOk), {}, down},
        {SIM7100_MSG_DISCONNECT, "", {}, 1, 0, Eq("Modem already disconnected")},
        {SIM7100_MSG_GET_CONNECTION_STATUS, "", {{"AT$QCRMCALL?\r\n", kOk}}, 4, 0, Eq(kOk)},
        // A SIM7100E skips the raw-IP steps.
        {SIM7100_MSG_CONNECT, "", {{"AT+CGMM\r\n", e}, {"AT$QCRMCALL=1,1\r\n", kOk}}, 1, 0, Eq(kOk), {}, up},
        {SIM7100_MSG_DISCONNECT, "", {{"AT$QCRMCALL=0,1\r\n", kOk}}, 1, 0, Eq(kOk), {}, down},
        {SIM7100_MSG_STAND_BY, "", {}, 1, 0, Eq("")},
        {SIM7100_MSG_GET_CHIP_TYPE, "", {}, 2, -2, Eq(uninit)},
        {SIM7100_MSG_POWER_ON, "", on, 1, 0, Eq("")},
        {SIM7100_MSG_POWER_OFF, "", {{"AT+CPOF\r\n", kOk}}, 1, 0, Eq(kOk)},
        {SIM7100_MSG_POWER_OFF, "", {}, 1, 0, Eq("")},
        {SIM7100_MSG_CONNECT, "", {}, 2, -2, Eq(uninit)},
        {SIM7100_MSG_POWER_ON, "", on, 1, 0, Eq("")},
    });
    // The rest, whole answers in one write; two-part answers come as two writes.
    rig.modem.SetSplit(0, 0);
    rig.modem.On("AT+CGPSINFOCFG=2,3\r\n", ScriptedModem::Reply{{kOk}, {"$GPRMC,1\r\n", 20}});
    rig.modem.On("AT+CGPSINFOCFG=0\r\n", kOk);
    rig.modem.On("AT+CLBS=1\r\n", ScriptedModem::Reply{{"\r\n+CLBS: 0,31.123456,121.654321,550\r\n"}, {kOk, 20}});
    rig.modem.On("AT+CGPSXD=0\r\n", ScriptedModem::Reply{{kOk}, {"\r\n+CGPSXD: 0\r\n", 20}});
    rig.modem.On("AT+CHTPUPDATE\r\n", ScriptedModem::Reply{{kOk}, {"\r\n+CHTPUPDATE: 0\r\n", 20}});
    const std::string xtra = "\r\n+CGPSXE: 1\r\n\r\nOK\r\n";
    const std::string cgreg = "\r\n+CGREG: 0,1\r\n\r\nOK\r\n";
    const std::string head = "\"REC READ\",\"+4912345\",,\"24/05/01,12:00:00+08\"\r\n";
    const std::string cmgr = "\r\n+CMGR: " + head + "Hello\r\n\r\nOK\r\n";
    const std::string cmgf = "\r\n+CMGF: 1\r\n\r\nOK\r\n";
    const std::string spic = "\r\n+SPIC: 3,10,3,10\r\n\r\nOK\r\n";
    const std::string puk = "\r\n+CPIN: SIM PUK\r\n\r\nOK\r\n";
    const std::string cops = "\r\n+COPS: 0,0,\"Op 100%s\",7\r\n\r\nOK\r\n";
    RunSteps(rig, {
        {8, Payload({{"user", 256}, {"pass", 256}}), {{"AT+CGAUTH=1,3,\"pass\",\"user\"\r\n", kOk}}, 1, 0, Eq(kOk)},
        {9, Payload({{"internet", 256}}), {{"AT+CGDCONT=1,\"IP\",\"internet\"\r\n", kOk}}, 1, 0, Eq(kOk)},
        {10, Payload({{"1234", 32}, {"", 32}}),
         {{"AT+CPIN?\r\n", "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n"}, {"AT+CPIN=1234\r\n", kOk}}, 1, 0, Eq(kOk)},
        {11, "", {{"AT+CPIN?\r\n", "\r\n+CPIN: READY\r\n\r\nOK\r\n"}, {"AT+SPIC\r\n", spic}}, 1, 0, Eq(spic)},
        {12, "", {{"AT+CPIN?\r\n", puk}}, 6, 0, Eq(puk)},
        {15, "", {{"AT+CGPSCOLD\r\n", kOk}}, 1, 0, Eq("GPS Start: " + kOk)},
        {16, "", {{"AT+CGPS=0\r\n", "\r\nERROR\r\n"}}, 2, -101, Eq("Chip internal fail! \r\nERROR\r\n")},
        {17, "", {}, 1, 0, Eq("GPS: \r\nOK\r\n$GPRMC,1\r\n"), {"AT+CGPSINFOCFG=2,3\r\n", "AT+CGPSINFOCFG=0\r\n"}},
        {18, "", {{"AT+CGPSXE?\r\n", xtra}}, 1, 1, Eq("")},
        {19, "", {{"AT+CGPSXE=1\r\n", kOk}, {"AT+CGPSXE?\r\n", xtra}}, 1, 1, Eq("")},
        {20, "", {{"AT+CSQ\r\n", "\r\n+CSQ: 99,99\r\n\r\nOK\r\n"}}, 2, 0, Eq("CSQ: \r\n+CSQ: 99,99\r\n\r\nOK\r\n")},
        {21, "", {{"AT+CGMR\r\n", "\r\n+CGMR: LE11B12SIM7600M22\r\n\r\nOK\r\n"},
                  {"AT+CNETSTART\r\n", "\r\nOK\r\n\r\n+CNETSTART: 0\r\n"}}, 1, 0, Eq("\r\nOK\r\n\r\n+CNETSTART: 0\r\n")},
        {22, "", {{"AT+CNETSTOP\r\n", kOk}}, 1, 0, Eq(kOk)},
        {23, "", {}, 1, 0, Eq("+CLBS: 0,31.123456,121.654321,550\r\n\r\nOK\r\n"), {"AT+CLBS=1\r\n"}},
        {24, "", {{"AT+CGMR\r\n", "\r\n+CGMR: LE20B04SIM7600M22 extra\r\n\r\nOK\r\n"}}, 1, 0, Eq("LE20B04SIM7600M22")},
        {25, "AT+COPS?\r\n", {{"AT+COPS?\r\n", cops}}, 1, 0, Eq(cops)},
        {26, std::string("2\0", 2), {{"AT+CMEE=2\r\n", kOk}}, 1, 0, Eq("MEE: " + kOk)},
        {27, "", {{"AT+CSPN?\r\n", "\r\n+CSPN: \"T-Mobile.de\",1\r\n\r\nOK\r\n"}}, 1, 1, Eq("SPN: T Mobile de")},
        {28, "", {{"AT+CNSMOD?\r\n", "\r\n+CNSMOD: 0,8\r\n\r\nOK\r\n"}}, 1, 8, Eq("NSMOD: \r\n+CNSMOD: 0,8\r\n\r\nOK\r\n")},
        {29, Payload({{"24/05/01,12:30:00+08", 40}}), {{"AT+CCLK=\"24/05/01,12:30:00+08\"\r\n", kOk}}, 1, 0,
         Eq("CLOCK: " + kOk)},
        {30, "", {{"AT+CGREG?\r\n", cgreg}}, 1, 0, Eq("GPS assistance file download:\r\nWaiting for GPRS registration - "
         "success:\r\n" + cgreg + "\r\n\r\nOK\r\n\r\n+CGPSXD: 0\r\n"), {"AT+CGREG?\r\n", "AT+CGPSXD=0\r\n"}},
        {31, Payload({{"time.example.com", 256}}), {{"AT+CHTPSERV=\"DEL\",0\r\n", "\r\nERROR\r\n"},
         {"AT+CHTPSERV=\"ADD\",\"time.example.com\",80,1\r\n", kOk}}, 1, 0, Eq("HTP SERV: " + kOk)},
        {32, "", {}, 1, 0, Eq("HTP UPDATE: \r\nOK\r\n\r\n+CHTPUPDATE: 0\r\n"), {"AT+CHTPUPDATE\r\n"}},
        {33, "", {{"AT+CMGF?\r\n", cmgf}}, 1, 1, Eq("SMS mode: TEXT\r\n")},
        {34, std::string(1, '\0'), {{"AT+CMGF=0\r\n", kOk}}, 1, 0, Eq("SMS mode set: PDU")},
        {35, std::string("\x04\x01", 2), {{"AT+CMGF?\r\n", cmgf}, {"AT+CMGL=\"ALL\"\r\n",
         "\r\n+CMGL: 1," + head + "Hello\r\n\r\nOK\r\n"}}, 1, 1, Eq("+CMGL: 1," + head)},
        {36, std::string(1, '\x01'), {{"AT+CMGR=1\r\n", cmgr}}, 1, 0, Eq(cmgr)},
        {37, std::string("\x03\x00", 2), {{"AT+CMGD=3\r\n", kOk}}, 1, 0, Eq("Deleted SMS #3, flag 0")},
        {38, std::string(1, '\x01') + Payload({{"4912345", 16}, {"Hi there", 160}}), {{"AT+CMGF=1\r\n", kOk},
         {"AT+CMGW=\"+4912345\",,\"REC READ\"\r\n", "\r\n> "}, {"Hi there\x1a", "\r\n+CMGW: 7\r\n\r\nOK\r\n"}},
         1, 7, AllOf(StartsWith("Written SMS #7, phone "), EndsWith(", status REC READ"))},
    });
    // clang-format on
    ASSERT_TRUE(rig.peer.SendFrame(SIM7100_MSG_TERMINATE));
    EXPECT_EQ(ExitCode(rig.daemon.WaitExit(Within(5000))), 0);
}

}  // namespace
}  // namespace e2e
