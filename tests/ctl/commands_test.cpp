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

// Text payloads travel as C strings, terminator included.
Bytes CStr(const std::string& s) { return Layout(s.size() + 1, {{0, s}}); }

TEST(ctl_commands, EachCommandBuildsItsExactFrame) {
    const std::string clock39(39, '9'), apn255(255, 'a'), pin31(31, '7');
    const struct {
        Words words;
        uint32_t type;
        Bytes payload;
        bool expectsResponse = true, endsSession = false;
    } cases[] = {
        {{"set-auth", "user", "secret"}, 8, Layout(512, {{0, "user"}, {256, "secret"}})},
        {{"set-apn", apn255}, 9, Layout(256, {{0, apn255}})},
        {{"enter-pin", pin31, pin31}, 10, Layout(64, {{0, pin31}, {32, pin31}})},
        {{"set-clock", clock39}, 29, Layout(40, {{0, clock39}})},
        {{"set-sms-mode", "text"}, 34, {1}},
        {{"list-sms", "unread", "--headers"}, 35, {0, 1}},
        {{"read-sms", "010"}, 36, {10}},
        {{"delete-sms", "3", "--flag", "4"}, 37, {3, 4}},
        {{"terminate"}, 2, {}, false, true},
        {{"frame", "setApn", "0102fF"}, 9, {0x01, 0x02, 0xff}},
        {{"frame", "4294967295", "00"}, 4294967295u, {0x00}, false},  // no response to an unknown type
    };
    for (const auto& c : cases) {
        const std::string what = ::testing::PrintToString(c.words);
        const ctl::SParseOutcome out = ParseWords(c.words);
        ASSERT_EQ(out.requests.size(), 1u) << what << ": " << out.error;
        const ctl::SRequest& r = out.requests[0];
        EXPECT_EQ(std::tie(r.type, r.payload, r.expectsResponse, r.endsSession),
                  std::tie(c.type, c.payload, c.expectsResponse, c.endsSession))
            << what;
    }
    // The command an operator types for each request type, in type order.
    std::string names;
    for (uint32_t type = SIM7100_MSG_FIRST_REQUEST; type <= SIM7100_MSG_LAST_REQUEST; ++type)
        names += ctl::CommandNameOf(type) + (type < SIM7100_MSG_LAST_REQUEST ? " " : "");
    EXPECT_EQ(names,
              "power-on power-off stand-by connect disconnect set-auth set-apn enter-pin pin-retries sim-status "
              "connection-status chip-type gps-start gps-stop gps-info xtra-status xtra-enable signal lbs-start "
              "lbs-stop lbs-location firmware raw set-error-reporting provider network-mode set-clock xtra-download "
              "set-time-server update-time sms-mode set-sms-mode list-sms read-sms delete-sms write-sms");
}

TEST(ctl_commands, WhatIsReadOtherwiseThanTypedIsNoted) {
    const std::pair<Words, std::string> cases[] = {
        {{"raw", "DBG"}, "the daemon reads 'DBG' as its own control word"},
        {{"raw", "AT+CSQ;", "signal"}, "sends 'AT+CSQ;' alone; 'signal' is read as requests of its own"},
        {{"write-sms", "+49", "x"}, "sent as 49: the daemon puts the '+' in front itself"},
        {{"set-clock", "now"}, "'now' is sent as "},
        {{"raw", "AT+CSQ"}, ""},
    };
    for (const auto& [words, note] : cases) {
        const ctl::SParseOutcome out = ParseWords(words);
        const std::string got = out.requests.empty() || out.requests[0].notes.empty() ? "" : out.requests[0].notes[0];
        EXPECT_EQ(note.empty() ? got : got.substr(0, note.size()), note) << ::testing::PrintToString(words);
    }
}

TEST(ctl_commands, ArgumentsThatDoNotFitAreRefused) {
    const std::pair<Words, std::string> cases[] = {
        {{"set-apn", std::string(256, 'a')}, "APN is 256 characters long; at most 255 fit"},
        {{"set-auth", "u", "p\r\nAT+CPOF"}, "PASSWORD must not contain control characters"},
        {{"set-clock", ""}, "TIME must not be empty"},
        {{"write-sms", "1234567890123456", "hi"}, "PHONE must be 1 to 15 digits"},
        {{"write-sms", "123", "a\x1a"}, "TEXT must not contain Ctrl-Z"},
        {{"write-sms", "123", "hi", "--status", "draft"}, "unknown SMS status 'draft'"},
        {{"set-sms-mode", "binary"}, "unknown SMS mode 'binary'"},
        {{"read-sms", "256"}, "not in range"},
        {{"raw", ""}, "COMMAND must not be empty"},
        {{"frame", "9", "123"}, "HEXPAYLOAD must be an even number of hex digits"},
        {{"frame", "4294967296"}, "TYPE must be a decimal number from 0 to 4294967295"},
        {{"reboot"}, "unknown command 'reboot'"},
        {{"signal", "--json"}, "signal: unknown option '--json'"},
        {{"terminate", "signal"}, "'signal' after terminate"},
        // All or nothing: a later refusal drops the good requests before it.
        {{"power-on", "enter-pin", "12a4"}, "PIN must be digits only"},
    };
    for (const auto& [words, message] : cases) {
        const ctl::SParseOutcome out = ParseWords(words);
        EXPECT_NE(out.error.find(message), std::string::npos) << ::testing::PrintToString(words) << ": " << out.error;
        EXPECT_TRUE(out.requests.empty()) << ::testing::PrintToString(words);
    }
    const ctl::SParseOutcome help = ParseWords({"power-on", "write-sms", "--help"});
    EXPECT_TRUE(help.requests.empty());
    EXPECT_NE(help.help.find("--status"), std::string::npos);
}

TEST(ctl_commands, SeveralRequestsInARowSplitAtTheNextCommand) {
    // An optional argument does not swallow the next command's name, but a required one takes any word.
    const ctl::SParseOutcome out =
        ParseWords({"list-sms", "power-on", "enter-pin", "1234", "sim-status", "raw", "signal", "signal", "delete-sms",
                    "1", "--flag", "2", "delete-sms", "2", "terminate"});
    std::vector<uint32_t> types;
    for (const auto& r : out.requests) types.push_back(r.type);
    EXPECT_EQ(types, (std::vector<uint32_t>{35, 3, 10, 12, 25, 20, 37, 37, 2})) << out.error;
    EXPECT_EQ(out.requests.at(4).payload, CStr("signal\r\n"));
    EXPECT_EQ(out.requests.at(7).payload, (Bytes{2, 0}));
}

TEST(ctl_commands, ScriptsHaveCommentsQuotesAndNumberedRefusals) {
    std::istringstream script(
        "# session\r\n\npower-on   signal\r\n  # indented comment\n"
        "write-sms +4917 '50% off' --status \"sto sent\"\nraw 'AT+CMGW=\"+49\"'\n");
    const ctl::SParseOutcome out = ctl::ParseScript(script, "s.txt");
    ASSERT_EQ(out.requests.size(), 4u) << out.error;
    EXPECT_EQ(out.requests[2].payload, Layout(177, {{0, "\x03"}, {1, "4917"}, {17, "50% off"}}));
    EXPECT_EQ(out.requests[3].payload, CStr("AT+CMGW=\"+49\"\r\n"));

    std::istringstream bad("signal\n# fine\nset-apn\n");
    const ctl::SParseOutcome refused = ctl::ParseScript(bad, "s.txt");
    EXPECT_EQ(refused.error, "s.txt:3: set-apn: APN is required");
    EXPECT_TRUE(refused.requests.empty());
}

}  // namespace
