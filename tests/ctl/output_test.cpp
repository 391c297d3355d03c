// Showing responses: awkward texts as lines, meanings, and JSON that gives
// every byte of the text back.
#include <gtest/gtest.h>

#include <cstring>
#include <nlohmann/json.hpp>

#include "ctl_commands.h"
#include "ctl_output.h"
#include "meaning_rows.h"
#include "sim7100_protocol.h"

namespace {

SCmdResponseData Record(int32_t status, int32_t code, const std::string& text) {
    SCmdResponseData record{status, code, {}};
    memcpy(record.text, text.data(), std::min(text.size(), sizeof record.text));
    return record;
}

ctl::SRequest Request(const std::vector<std::string>& words) { return ctl::ParseWords(words).requests.at(0); }

TEST(ctl_output, TextsBecomeEscapedLines) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"", {}},
        {"\r\nOK\r\n", {"", "OK"}},
        {"a\nb\rc\r\nd", {"a", "b", "c", "d"}},
        {"100% %s %n", {"100% %s %n"}},
        {std::string("\x1a\x01\x7f\xff\x1b[2J\t", 9), {"\\x1a\\x01\\x7f\\xff\\x1b[2J\\t"}},
        {"C:\\path", {"C:\\\\path"}},
    };
    for (const auto& [text, lines] : cases) EXPECT_EQ(ctl::DisplayLines(text), lines) << ::testing::PrintToString(text);
}

TEST(ctl_output, RecordsAreReadWithinTheirBytes) {
    const ctl::SResponse full = ctl::DecodeResponse(20, Record(1, 23, std::string(1023, 'x')));
    EXPECT_EQ(full.text, std::string(1023, 'x'));
    EXPECT_TRUE(full.textTerminated);

    // A record without its terminator: the text stops at the record's end.
    const ctl::SResponse cut = ctl::DecodeResponse(20, Record(1, 0, std::string(1024, 'y')));
    EXPECT_EQ(cut.text, std::string(1024, 'y'));
    EXPECT_EQ(ctl::ResponseWarnings(Request({"signal"}), cut).at(0), "text not terminated by a zero byte");
}

// errCode's meanings are the link library's, tested with it.
TEST(ctl_output, StatusMeaningsAreTheDaemons) {
    for (const SMeaningRow& row : kMeaningRows) EXPECT_EQ(ctl::StatusMeaning(row.cmdStatus), row.statusMeaning);
}

TEST(ctl_output, ReadableBlockNamesTheRequestAndWarns) {
    EXPECT_EQ(ctl::FormatHuman(Request({"set-apn", "my apn"}), ctl::DecodeResponse(21, Record(9, 2, ""))),
              "  --------------------------------------------\n"
              "  request   | set-apn 'my apn' (type 9 SetApn)\n"
              "  warning   | response type 21, request type 9\n"
              "  cmdStatus | 9 (chip type reported in errCode)\n"
              "  errCode   | 2 (result code of +CNETSTART)\n"
              "  text      | --\n");
}

TEST(ctl_output, JsonGivesTheTextBack) {
    const std::string text = "SPN: 100% %s\r\n\x01\x1a\x7f\tend";
    const std::string line = ctl::FormatJson(Request({"provider"}), ctl::DecodeResponse(27, Record(1, 0, text)));
    EXPECT_EQ(line.find('\n'), std::string::npos);
    const nlohmann::json ok = nlohmann::json::parse(line);
    EXPECT_EQ(ok["text"], text);
    EXPECT_EQ(ok["request"], "provider");
    EXPECT_EQ(ok["status"], "ok");
    EXPECT_FALSE(ok.contains("warnings"));
    // Bytes that are not UTF-8 still give valid JSON.
    const nlohmann::json j = nlohmann::json::parse(
        ctl::FormatJson(Request({"write-sms", "49", "x"}), ctl::DecodeResponse(38, Record(77, -101, "caf\xe9"))));
    EXPECT_EQ((nlohmann::json{j["text"], j["status"], j["errCode"], j["errMeaning"], j["args"]}),
              R"(["caf\ufffd", null, -101, "eCmdError: the module answered with an error result", ["49", "x"]])"_json);
}

}  // namespace
