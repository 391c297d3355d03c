// Showing responses: awkward texts as lines, meanings, and JSON that gives
// every byte of the text back.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "ctl_commands.h"
#include "ctl_output.h"
#include "sim7100_protocol.h"

namespace {

using ctl::Bytes;

Bytes Record(int32_t status, int32_t code, const std::string& text) {
    SCmdResponseData record;
    memset(&record, 0, sizeof record);
    record.cmdStatus = status;
    record.errCode = code;
    memcpy(record.text, text.data(), std::min(text.size(), sizeof record.text));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&record);
    return Bytes(bytes, bytes + sizeof record);
}

ctl::SRequest Request(const std::vector<std::string>& words) {
    const ctl::SParseOutcome out = ctl::ParseWords(words);
    EXPECT_EQ(out.requests.size(), 1u) << out.error;
    return out.requests.at(0);
}

TEST(ctl_output, TextsBecomeEscapedLines) {
    struct SCase {
        std::string text;
        std::vector<std::string> lines;
    };
    const SCase cases[] = {
        {"", {}},
        {"OK", {"OK"}},
        {"\r\nOK\r\n", {"", "OK"}},
        {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
        {"\r\n\r\n", {"", ""}},
        {"\r\r\n", {"", ""}},
        {"100% %s %n", {"100% %s %n"}},
        {"tab\there", {"tab\\there"}},
        {std::string("\x1a\x01\x7f\xff\x1b[2J", 8), {"\\x1a\\x01\\x7f\\xff\\x1b[2J"}},
        {"C:\\path", {"C:\\\\path"}},
    };
    for (const SCase& c : cases) {
        EXPECT_EQ(ctl::DisplayLines(c.text), c.lines) << ::testing::PrintToString(c.text);
    }
}

TEST(ctl_output, RecordsAreReadWithinTheirBytes) {
    const std::string longest(1023, 'x');
    ctl::SResponse full = ctl::DecodeResponse(20, Record(1, 23, longest));
    EXPECT_EQ(full.text, longest);
    EXPECT_TRUE(full.textTerminated);
    EXPECT_EQ(full.length, 1032u);

    // A record without its terminator: the text stops at the record's end.
    Bytes unterminated = Record(1, 0, "");
    std::fill(unterminated.begin() + 8, unterminated.end(), 'y');
    ctl::SResponse cut = ctl::DecodeResponse(20, unterminated);
    EXPECT_EQ(cut.text, std::string(1024, 'y'));
    EXPECT_FALSE(cut.textTerminated);

    Bytes shortRecord = Record(2, -101, "ERROR");
    shortRecord.resize(10);
    ctl::SResponse partial = ctl::DecodeResponse(20, shortRecord);
    EXPECT_EQ(partial.cmdStatus, 2);
    EXPECT_EQ(partial.errCode, -101);
    EXPECT_EQ(partial.text, "ER");
    const auto warnings = ctl::ResponseWarnings(Request({"signal"}), partial);
    ASSERT_FALSE(warnings.empty());
    EXPECT_EQ(warnings[0], "response of 10 bytes, 1032 expected");
}

TEST(ctl_output, NumbersCarryTheirMeanings) {
    struct SCase {
        uint32_t type;
        int32_t errCode;
        const char* meaning;
    };
    const SCase cases[] = {
        {14, 0, "SIM7100E"}, {14, 2, "SIM7600G"}, {14, 3, "unknown chip"}, {14, 4, ""},
        {20, 2, ""},         {20, 23, ""},        {20, -2, "refused before any exchange"},
        {9, -100, "eCmdWriteFailed"}, {9, -101, "eCmdError"}, {9, -102, "eCmdPending"}, {9, -103, "eCmdOverflow"},
    };
    for (const SCase& c : cases) EXPECT_EQ(ctl::ErrCodeMeaning(c.type, c.errCode), c.meaning) << c.type << " " << c.errCode;
    const char* statuses[] = {"",        "ok",      "failed",   "connected", "not connected",     "SIM PIN",
                              "SIM PUK", "SIM PIN2", "SIM PUK2", "chip type reported", "LBS not supported", ""};
    for (int32_t s = 0; s <= 11; ++s) EXPECT_EQ(ctl::StatusMeaning(s), statuses[s]) << s;
}

TEST(ctl_output, ReadableBlockShowsEachLine) {
    const ctl::SResponse r = ctl::DecodeResponse(20, Record(1, 23, "CSQ: \r\n+CSQ: 23,99\r\n\r\nOK\r\n"));
    EXPECT_EQ(ctl::FormatHuman(Request({"signal"}), r),
              "  --------------------------------------------\n"
              "  request   | signal (type 20)\n"
              "  cmdStatus | 1 (ok)\n"
              "  errCode   | 23\n"
              "  text      | CSQ: \n"
              "            | +CSQ: 23,99\n"
              "            |\n"
              "            | OK\n");

    const ctl::SResponse chip = ctl::DecodeResponse(21, Record(9, 2, ""));
    EXPECT_EQ(ctl::FormatHuman(Request({"set-apn", "my apn"}), chip),
              "  --------------------------------------------\n"
              "  request   | set-apn 'my apn' (type 9)\n"
              "  warning   | response type 21, request type 9\n"
              "  cmdStatus | 9 (chip type reported)\n"
              "  errCode   | 2\n"
              "  text      | --\n");
}

TEST(ctl_output, JsonGivesTheTextBack) {
    const std::string texts[] = {
        "SPN: 100% %s\r\n",
        std::string("\x01\x1a\x7f\tend", 7),
        std::string(1023, 'z'),
        "quote \" and backslash \\",
    };
    for (const std::string& text : texts) {
        const std::string line = ctl::FormatJson(Request({"provider"}), ctl::DecodeResponse(27, Record(1, 0, text)));
        EXPECT_EQ(line.find('\n'), std::string::npos);
        const nlohmann::json j = nlohmann::json::parse(line);
        EXPECT_EQ(j["text"], text);
        EXPECT_EQ(j["type"], 27);
        EXPECT_EQ(j["request"], "provider");
        EXPECT_EQ(j["status"], "ok");
        EXPECT_TRUE(j["errMeaning"].is_null());
        EXPECT_FALSE(j.contains("warnings"));
    }
    // Bytes that are not UTF-8 still give valid JSON.
    const std::string line = ctl::FormatJson(Request({"write-sms", "49", "x"}),
                                             ctl::DecodeResponse(38, Record(77, -101, "caf\xe9")));
    const nlohmann::json j = nlohmann::json::parse(line);
    EXPECT_EQ(j["text"], "caf\xef\xbf\xbd");
    EXPECT_TRUE(j["status"].is_null());
    EXPECT_EQ(j["errMeaning"], "eCmdError");
    EXPECT_EQ(j["args"], nlohmann::json::array({"49", "x"}));
}

}  // namespace
