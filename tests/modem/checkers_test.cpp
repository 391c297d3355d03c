// Completion rules and command matching, as tables of answer -> verdict.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "checkers.h"
#include "sim7100.h"

namespace {

constexpr ECmdStatus kOk = CSim7100Impl::eCmdOk;
constexpr ECmdStatus kErr = CSim7100Impl::eCmdError;
constexpr ECmdStatus kWait = CSim7100Impl::eCmdPending;

struct SVerdict {
    CSim7100Impl::CheckerFunction checker;
    const char* name;
    std::string segment;
    ECmdStatus expected;
};

#define CHECK_CASE(fn, segment, expected) SVerdict{fn, #fn, segment, expected}

const SVerdict kVerdicts[] = {
    CHECK_CASE(CheckFinalResult, "", kWait),
    CHECK_CASE(CheckFinalResult, "\r\nOK\r\n", kOk),
    CHECK_CASE(CheckFinalResult, "K\r\n", kWait),
    CHECK_CASE(CheckFinalResult, "\r\nO", kWait),
    CHECK_CASE(CheckFinalResult, "\r\nCONNECT\r\n", kOk),
    CHECK_CASE(CheckFinalResult, "\r\nOK\r\n\r\n+CREG: 1\r\n", kWait),
    CHECK_CASE(CheckFinalResult, "+CME ERROR: 10\r\n", kErr),
    CHECK_CASE(CheckFinalResult, "+CME ERROR: 3\r\n\r\nOK\r\n", kErr),
    CHECK_CASE(CheckFinalResult, "\r\n+CME ERROR: 10\r\n", kWait),
    CHECK_CASE(CheckFinalResult, "AT+CPIN?\r\n+CME ERROR: 10\r\n", kWait),
    CHECK_CASE(CheckFinalResult, "+CMS ERROR: 500\r\n", kErr),
    CHECK_CASE(CheckFinalResult, "+CME ERROR:", kErr),
    CHECK_CASE(CheckFinalResult, "+CME ERRO", kWait),
    CHECK_CASE(CheckFinalResult, "\r\nERROR\r\n", kErr),
    CHECK_CASE(CheckFinalResult, "\r\nBUSY\r\n", kErr),
    CHECK_CASE(CheckFinalResult, "\r\nNO ANSWER\r\n", kErr),
    CHECK_CASE(CheckFinalResult, "\r\nNO CARRIER\r\n", kErr),
    CHECK_CASE(CheckFinalResult, "\r\nNO DIALTONE\r\n", kErr),
    CHECK_CASE(CheckFinalResult, "\r\n> ", kWait),

    CHECK_CASE(CheckPrompt, "\r\n> ", kOk),
    CHECK_CASE(CheckPrompt, "\r\n", kWait),
    CHECK_CASE(CheckPrompt, "\r\nOK\r\n", kWait),
    CHECK_CASE(CheckPrompt, "> \r\nERROR\r\n", kErr),
    CHECK_CASE(CheckPrompt, "+CMS ERROR: 304\r\n", kErr),
    CHECK_CASE(CheckPrompt, "\r\nNO CARRIER\r\n", kErr),

    CHECK_CASE(CheckGpsInfo, "\r\nOK\r\n", kOk),
    CHECK_CASE(CheckGpsInfo, "\r\n$GPRMC,1", kOk),
    CHECK_CASE(CheckGpsInfo, "\r\n$GPGGA,1", kWait),
    CHECK_CASE(CheckGpsInfo, "\r\nERROR\r\n", kErr),
    CHECK_CASE(CheckGpsInfo, "$GPRMC,1\r\nERROR\r\n", kErr),
    CHECK_CASE(CheckGpsInfo, "+CME ERROR: 3\r\n", kWait),

    CHECK_CASE(CheckLbsLocation, "\r\n+CLBS", kOk),
    CHECK_CASE(CheckLbsLocation, "\r\n+CLB", kWait),
    CHECK_CASE(CheckLbsLocation, "+CLBS: 0,1,2,3\r\n", kWait),
    CHECK_CASE(CheckLbsLocation, "\r\nOK\r\n", kOk),
    CHECK_CASE(CheckLbsLocation, "\r\n+CLBS: 1\r\nERROR\r\n", kErr),

    CHECK_CASE(CheckNetStart, "\r\nOK\r\n", kWait),
    CHECK_CASE(CheckNetStart, "\r\n+CNETSTART: 0\r\n", kWait),
    CHECK_CASE(CheckNetStart, "\r\nOK\r\n\r\n+CNETSTART:0\r\n", kWait),
    CHECK_CASE(CheckNetStart, "\r\nOK\r\n\r\n+CNETSTART: 0\r\n", kOk),
    CHECK_CASE(CheckNetStart, "\r\nOK\r\n\r\n+CNETSTART: 1\r\nERROR\r\n", kErr),

    // "OK" anywhere beats "ERR" anywhere beats the result line; the code is a
    // whole number, so only zeros succeed.
    CHECK_CASE(CheckXtraDownload, "\r\nOK\r\n", kOk),
    CHECK_CASE(CheckXtraDownload, "\r\n+CGPSXD: 3\r\nOK", kOk),
    CHECK_CASE(CheckXtraDownload, "\r\nERROR\r\n", kErr),
    CHECK_CASE(CheckXtraDownload, "\r\n+CME ERROR: 3\r\n", kErr),
    CHECK_CASE(CheckXtraDownload, "\r\n+CGPSXD: 0\r\nERR", kErr),
    CHECK_CASE(CheckXtraDownload, "\r\n+CGPSXD: 0\r\n", kOk),
    CHECK_CASE(CheckXtraDownload, "\r\n+CGPSXD:0\r\n", kOk),
    CHECK_CASE(CheckXtraDownload, "\r\n+CGPSXD:   00\r\n", kOk),
    CHECK_CASE(CheckXtraDownload, "\r\n+CGPSXD: 3\r\n", kErr),
    CHECK_CASE(CheckXtraDownload, "\r\n+CGPSXD: 10\r\n", kErr),
    CHECK_CASE(CheckXtraDownload, "\r\n+CGPSXD: ", kWait),
    CHECK_CASE(CheckXtraDownload, "\r\n+CHTPUPDATE: 0\r\n", kWait),

    CHECK_CASE(CheckTimeUpdate, "\r\nOK\r\n", kOk),
    CHECK_CASE(CheckTimeUpdate, "\r\nERROR\r\n", kErr),
    CHECK_CASE(CheckTimeUpdate, "\r\n+CHTPUPDATE: 0\r\n", kOk),
    CHECK_CASE(CheckTimeUpdate, "\r\n+CHTPUPDATE:\t0\r\n", kOk),
    CHECK_CASE(CheckTimeUpdate, "\r\n+CHTPUPDATE: 10\r\n", kErr),
    CHECK_CASE(CheckTimeUpdate, "\r\n+CHTPUPDATE: 7\r\n", kErr),
    CHECK_CASE(CheckTimeUpdate, "\r\n+CHTPUPDATE", kWait),
    CHECK_CASE(CheckTimeUpdate, "\r\n+CGPSXD: 0\r\n", kWait),
};

TEST(Checkers, JudgeEachSegmentByTheFirstRuleThatHolds) {
    for (const SVerdict& c : kVerdicts) {
        // The exchange judges segments inside its zeroed buffer: bytes past
        // the length are NUL.
        const std::string segment = c.segment;
        EXPECT_EQ(c.checker(segment.c_str(), static_cast<unsigned>(segment.size())), c.expected)
            << c.name << " on \"" << testing::PrintToString(segment) << "\"";
    }
}

TEST(Checkers, EndsWithHonoursTheLengthNotTheTerminator) {
    const char answer[] = "\r\nOK\r\n+CREG";
    EXPECT_EQ(CheckFinalResult(answer, 6), kOk);
    EXPECT_EQ(CheckFinalResult(answer, 5), kWait);
}

TEST(Checkers, MatchesCommandAllowsOnlyWhiteSpaceAfterThePrefix) {
    const struct {
        const char* command;
        const char* prefix;
        bool matches;
    } cases[] = {
        {"AT+CMGW", "AT+CMGW", true},
        {"AT+CMGW\r\n", "AT+CMGW", true},
        {"AT+CMGW \t \r\n", "AT+CMGW", true},
        {"AT+CGPSXD=0 \r\n", "AT+CGPSXD=0", true},
        {"AT+CMGW=5\r\n", "AT+CMGW", false},
        {"AT+CGPSXD=01\r\n", "AT+CGPSXD=0", false},
        {"AT+CMGW\r\nX", "AT+CMGW", false},
        {" AT+CMGW\r\n", "AT+CMGW", false},
        {"XAT+CMGW", "AT+CMGW", false},
        {"AT+CMG\r\n", "AT+CMGW", false},
        {"at+cmgw\r\n", "AT+CMGW", false},
        {"", "AT+CMGW", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MatchesCommand(c.command, c.prefix), c.matches)
            << testing::PrintToString(std::string(c.command)) << " vs " << c.prefix;
    }
}

// Tells the checkers apart by what they make of a few answers.
std::vector<ECmdStatus> Fingerprint(const CSim7100Impl::ResponseChecker& checker) {
    std::vector<ECmdStatus> verdicts;
    for (const char* probe : {"\r\n+CGPSXD: 0\r\n", "\r\n+CHTPUPDATE: 0\r\n", "\r\n> ", "\r\nOK\r\n"}) {
        verdicts.push_back(checker(probe, static_cast<unsigned>(strlen(probe))));
    }
    return verdicts;
}

TEST(Checkers, SelectCheckerPicksTheRuleAndCountByCommand) {
    const struct {
        const char* command;
        unsigned count;
        CSim7100Impl::CheckerFunction checker;
    } cases[] = {
        {"AT+CGPSXD=0\r\n", 2, CheckXtraDownload},
        {"AT+CGPSXD=0 \r\n", 2, CheckXtraDownload},
        {"AT+CGPSXD=01\r\n", 1, CheckFinalResult},
        {"AT+CHTPUPDATE\r\n", 2, CheckTimeUpdate},
        {"AT+CHTPUPDATE?\r\n", 1, CheckFinalResult},
        {"AT+CMGW\r\n", 1, CheckPrompt},
        {"AT+CMGW=3\r\n", 1, CheckFinalResult},
        {" AT+CMGW\r\n", 1, CheckFinalResult},
        {"AT\r\n", 1, CheckFinalResult},
    };
    for (const auto& c : cases) {
        const auto selected = CSim7100Impl::SelectChecker(c.command);
        EXPECT_EQ(selected.first, c.count) << c.command;
        ASSERT_TRUE(selected.second) << c.command;
        EXPECT_EQ(Fingerprint(selected.second), Fingerprint(c.checker)) << c.command;
    }
}

}  // namespace
