// Words to request frames: every command's exact payload, and every
// argument that does not fit refused before anything is built.
#include <gtest/gtest.h>

#include <sstream>

#include "ctl_commands.h"
#include "sim7100_protocol.h"

namespace {

using ctl::Bytes;
using ctl::ParseWords;
using Words = std::vector<std::string>;

// A zeroed layout of `size` bytes with text placed at offsets.
Bytes Layout(size_t size, std::vector<std::pair<size_t, std::string>> fields) {
    Bytes b(size, 0);
    for (const auto& [offset, text] : fields) std::copy(text.begin(), text.end(), b.begin() + offset);
    return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

struct SPayloadCase {
    Words words;
    uint32_t type;
    Bytes payload;
    bool expectsResponse = true;
    bool endsSession = false;
};

TEST(ctl_commands, EachCommandBuildsItsExactFrame) {
    const std::string digits15 = "123456789012345";
    const std::string body159(159, 'b');
    const std::string clock39(39, '9');
    const std::string apn255(255, 'a');
    const std::string pin31(31, '7');
    const SPayloadCase cases[] = {
        {{"power-on"}, 3, {}},
        {{"stand-by"}, 5, {}},
        {{"xtra-download"}, 30, {}},
        {{"set-auth", "user", "secret"}, 8, Layout(512, {{0, "user"}, {256, "secret"}})},
        {{"set-auth", "", ""}, 8, Layout(512, {})},
        {{"set-apn", "internet"}, 9, Layout(256, {{0, "internet"}})},
        {{"set-apn", apn255}, 9, Layout(256, {{0, apn255}})},
        {{"enter-pin", "1234"}, 10, Layout(64, {{0, "1234"}})},
        {{"enter-pin", "12345678", "4321"}, 10, Layout(64, {{0, "12345678"}, {32, "4321"}})},
        {{"enter-pin", pin31, pin31}, 10, Layout(64, {{0, pin31}, {32, pin31}})},
        {{"raw", "AT+CSQ"}, 25, Text(std::string("AT+CSQ\r\n") + '\0')},
        {{"raw", "AT+CSQ\r\n"}, 25, Text(std::string("AT+CSQ\r\n") + '\0')},
        {{"raw", "AT\r"}, 25, Text(std::string("AT\r\r\n") + '\0')},
        {{"raw", "AT+CMGW=\"+49\",,\"STO UNSENT\""}, 25, Text(std::string("AT+CMGW=\"+49\",,\"STO UNSENT\"\r\n") + '\0')},
        {{"debug"}, 25, Text(std::string("DBG\r\n") + '\0')},
        {{"flush"}, 25, Text(std::string("FLUSH\r\n") + '\0')},
        {{"set-error-reporting", "2"}, 26, Text(std::string("2") + '\0')},
        {{"set-error-reporting", "0"}, 26, Text(std::string("0") + '\0')},
        {{"set-clock", "24/01/02,03:04:05+08"}, 29, Layout(40, {{0, "24/01/02,03:04:05+08"}})},
        {{"set-clock", clock39}, 29, Layout(40, {{0, clock39}})},
        {{"set-time-server", "pool.ntp.org"}, 31, Layout(256, {{0, "pool.ntp.org"}})},
        {{"set-sms-mode", "text"}, 34, {1}},
        {{"set-sms-mode", "PDU"}, 34, {0}},
        {{"list-sms"}, 35, {4, 0}},
        {{"list-sms", "unread", "--headers"}, 35, {0, 1}},
        {{"list-sms", "REC READ"}, 35, {1, 0}},
        {{"list-sms", "sto unsent"}, 35, {2, 0}},
        {{"list-sms", "--headers", "sent"}, 35, {3, 1}},
        {{"read-sms", "7"}, 36, {7}},
        {{"read-sms", "255"}, 36, {255}},
        {{"read-sms", "010"}, 36, {10}},
        {{"delete-sms", "3"}, 37, {3, 0}},
        {{"delete-sms", "3", "--flag", "4"}, 37, {3, 4}},
        {{"write-sms", "491701234567", "Hello"}, 38,
         Layout(177, {{0, "\x02"}, {1, "491701234567"}, {17, "Hello"}})},
        {{"write-sms", "+4917", "50% off", "--status", "sent"}, 38, Layout(177, {{0, "\x03"}, {1, "4917"}, {17, "50% off"}})},
        {{"write-sms", digits15, body159, "--status", "REC UNREAD"}, 38,
         Layout(177, {{1, digits15}, {17, body159}})},
        {{"terminate"}, 2, {}, false, true},
        {{"frame", "20"}, 20, {}},
        {{"frame", "9", "0102fF"}, 9, {0x01, 0x02, 0xff}},
        {{"frame", "99", "00"}, 99, {0x00}, false},
        {{"frame", "1"}, 1, {}, false},
        {{"frame", "2"}, 2, {}, false, true},
        {{"frame", "4294967295"}, 4294967295u, {}, false},
    };
    for (const SPayloadCase& c : cases) {
        const std::string what = ::testing::PrintToString(c.words);
        const ctl::SParseOutcome out = ParseWords(c.words);
        ASSERT_TRUE(out.Ok()) << what << ": " << out.error;
        ASSERT_EQ(out.requests.size(), 1u) << what;
        const ctl::SRequest& r = out.requests[0];
        EXPECT_EQ(r.type, c.type) << what;
        EXPECT_EQ(r.payload, c.payload) << what;
        EXPECT_EQ(r.expectsResponse, c.expectsResponse) << what;
        EXPECT_EQ(r.endsSession, c.endsSession) << what;
    }
}

TEST(ctl_commands, EveryRequestTypeHasACommand) {
    for (uint32_t type = SIM7100_MSG_FIRST_REQUEST; type <= SIM7100_MSG_LAST_REQUEST; ++type) {
        EXPECT_NE(ctl::CommandNameOf(type), "") << type;
    }
}

struct SRefusalCase {
    Words words;
    std::string message;  // part of the refusal
};

TEST(ctl_commands, ArgumentsThatDoNotFitAreRefused) {
    const SRefusalCase cases[] = {
        {{"set-apn", std::string(256, 'a')}, "APN is 256 characters long; at most 255 fit"},
        {{"set-apn", "in\"ternet"}, "APN must not contain '\"'"},
        {{"set-apn"}, "APN is required"},
        {{"set-auth", std::string(256, 'u'), "p"}, "USER is 256 characters long"},
        {{"set-auth", "u", std::string(300, 'p')}, "PASSWORD is 300 characters long"},
        {{"set-auth", "u", "p\r\nAT+CPOF"}, "PASSWORD must not contain control characters"},
        {{"enter-pin", std::string(32, '1')}, "PIN is 32 characters long; at most 31 fit"},
        {{"enter-pin", "12a4"}, "PIN must be digits only"},
        {{"enter-pin", "1234", std::string(32, '1')}, "NEWPIN is 32 characters long"},
        {{"set-clock", std::string(40, '1')}, "TIME is 40 characters long; at most 39 fit"},
        {{"set-clock", ""}, "TIME must not be empty"},
        {{"set-time-server", ""}, "HOST must not be empty"},
        {{"set-time-server", std::string(256, 'h')}, "HOST is 256 characters long"},
        {{"write-sms", "", "hi"}, "PHONE must be 1 to 15 digits"},
        {{"write-sms", "+", "hi"}, "PHONE must be 1 to 15 digits"},
        {{"write-sms", "1234567890123456", "hi"}, "PHONE must be 1 to 15 digits"},
        {{"write-sms", "0171-123", "hi"}, "PHONE must be 1 to 15 digits"},
        {{"write-sms", "123", std::string(160, 'b')}, "TEXT is 160 characters long; at most 159 fit"},
        {{"write-sms", "123", "a\x1a"}, "TEXT must not contain Ctrl-Z"},
        {{"write-sms", "123", "hi", "--status", "draft"}, "unknown SMS status 'draft'"},
        {{"list-sms", "unreadd"}, "unknown SMS status 'unreadd'"},
        {{"set-sms-mode", "binary"}, "unknown SMS mode 'binary'"},
        {{"set-error-reporting", "3"}, "not in range"},
        {{"read-sms", "256"}, "not in range"},
        {{"read-sms", "0x10"}, "'0x10' is not a decimal number"},
        {{"read-sms", "seven"}, "is not a decimal number"},
        {{"delete-sms", "1", "--flag", "5"}, "not in range"},
        {{"raw", ""}, "COMMAND must not be empty"},
        {{"frame", "abc"}, "TYPE must be a decimal number"},
        {{"frame", "0x14"}, "TYPE must be a decimal number"},
        {{"frame", "9", "123"}, "HEXPAYLOAD must be an even number of hex digits"},
        {{"frame", "9", "zz"}, "HEXPAYLOAD must be an even number of hex digits"},
        {{"frame", "4294967296"}, "TYPE must be a decimal number from 0 to 4294967295"},
        {{"reboot"}, "unknown command 'reboot'"},
        {{"signal", "--json"}, "signal: unknown option '--json'"},
        {{"terminate", "signal"}, "'signal' after terminate"},
        // All or nothing: a later refusal drops the good requests before it.
        {{"power-on", "set-apn", std::string(300, 'a')}, "APN is 300 characters long"},
    };
    for (const SRefusalCase& c : cases) {
        const std::string what = ::testing::PrintToString(c.words);
        const ctl::SParseOutcome out = ParseWords(c.words);
        EXPECT_NE(out.error.find(c.message), std::string::npos) << what << ": got '" << out.error << "'";
        EXPECT_TRUE(out.requests.empty()) << what;
    }
}

TEST(ctl_commands, SeveralRequestsInARowSplitAtTheNextCommand) {
    struct SCase {
        Words words;
        std::vector<uint32_t> types;
    };
    const SCase cases[] = {
        {{"set-apn", "internet", "signal", "list-sms", "signal"}, {9, 20, 35, 20}},
        // An optional argument does not swallow the next command's name...
        {{"list-sms", "power-on"}, {35, 3}},
        {{"enter-pin", "1234", "sim-status"}, {10, 12}},
        // ... but a required one takes any word.
        {{"raw", "signal", "signal"}, {25, 20}},
        {{"delete-sms", "1", "--flag", "2", "delete-sms", "2"}, {37, 37}},
        {{"debug", "debug", "flush", "terminate"}, {25, 25, 25, 2}},
    };
    for (const SCase& c : cases) {
        const ctl::SParseOutcome out = ParseWords(c.words);
        ASSERT_TRUE(out.Ok()) << out.error;
        std::vector<uint32_t> types;
        for (const auto& r : out.requests) types.push_back(r.type);
        EXPECT_EQ(types, c.types) << ::testing::PrintToString(c.words);
    }
    const auto deletes = ParseWords({"delete-sms", "1", "--flag", "2", "delete-sms", "2"}).requests;
    ASSERT_EQ(deletes.size(), 2u);
    EXPECT_EQ(deletes[1].payload, (Bytes{2, 0}));
    EXPECT_EQ(ParseWords({"raw", "signal", "signal"}).requests[0].payload, Text(std::string("signal\r\n") + '\0'));
}

TEST(ctl_commands, HelpIsShownInsteadOfSending) {
    const ctl::SParseOutcome out = ParseWords({"power-on", "write-sms", "--help"});
    EXPECT_FALSE(out.Ok());
    EXPECT_TRUE(out.requests.empty());
    EXPECT_NE(out.help.find("PHONE"), std::string::npos);
    EXPECT_NE(out.help.find("--status"), std::string::npos);
}

TEST(ctl_commands, ScriptsHaveCommentsQuotesAndNumberedRefusals) {
    std::istringstream script(
        "# session\r\n"
        "\n"
        "power-on   signal\r\n"
        "  # indented comment\n"
        "write-sms 4917 'hello world' --status \"sto sent\"\n"
        "raw 'AT+CMGW=\"+49\"'\n");
    const ctl::SParseOutcome out = ctl::ParseScript(script, "s.txt");
    ASSERT_TRUE(out.Ok()) << out.error;
    ASSERT_EQ(out.requests.size(), 4u);
    EXPECT_EQ(out.requests[2].payload, Layout(177, {{0, "\x03"}, {1, "4917"}, {17, "hello world"}}));
    EXPECT_EQ(out.requests[3].payload, Text(std::string("AT+CMGW=\"+49\"\r\n") + '\0'));
    EXPECT_EQ(out.requests[2].Display(), "write-sms 4917 'hello world' --status 'sto sent'");

    std::istringstream bad("signal\n# fine\nset-apn\n");
    const ctl::SParseOutcome refused = ctl::ParseScript(bad, "s.txt");
    EXPECT_EQ(refused.error, "s.txt:3: set-apn: APN is required");
    EXPECT_TRUE(refused.requests.empty());

    std::istringstream late("terminate\nsignal\n");
    EXPECT_NE(ctl::ParseScript(late, "s.txt").error.find("s.txt:2:"), std::string::npos);
}

}  // namespace
