// Completion rules and command matching, as tables of answer -> verdict.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "checkers.h"
#include "sim7100.h"

namespace {

constexpr ECmdStatus kOk = CSim7100Impl::eCmdOk, kErr = CSim7100Impl::eCmdError, kWait = CSim7100Impl::eCmdPending;
using Checker = CSim7100Impl::CheckerFunction;

TEST(Checkers, JudgeEachSegmentByTheFirstRuleThatHolds) {
    const struct {
        Checker checker;
        std::vector<std::pair<std::string, ECmdStatus>> verdicts;
    } groups[] = {
        {CheckFinalResult,
         {{"\r\nCONNECT\r\n", kOk},
          // Error reports count only at the start of the segment.
          {"+CME ERROR: 3\r\n\r\nOK\r\n", kErr},
          {"\r\n+CME ERROR: 10\r\n", kWait},
          {"+CMS ERROR: 500\r\n", kErr},
          {"+CME ERRO", kWait},
          {"\r\nERROR\r\n", kErr},
          {"\r\nNO CARRIER\r\n", kErr}}},
        {CheckPrompt, {{"\r\n> ", kOk}, {"\r\nOK\r\n", kWait}, {"> \r\nERROR\r\n", kErr}}},
        {CheckGpsInfo,
         {{"\r\nOK\r\n", kOk}, {"\r\n$GPRMC,1", kOk}, {"\r\n$GPGGA,1", kWait}, {"$GPRMC,1\r\nERROR\r\n", kErr}}},
        {CheckLbsLocation,
         {{"\r\n+CLBS", kOk}, {"+CLBS: 0,1,2,3\r\n", kWait}, {"\r\nOK\r\n", kOk}, {"\r\n+CLBS: 1\r\nERROR\r\n", kErr}}},
        {CheckNetStart,
         {{"\r\nOK\r\n", kWait},
          {"\r\n+CNETSTART: 0\r\n", kWait},
          {"\r\nOK\r\n\r\n+CNETSTART: 0\r\n", kOk},
          {"\r\nOK\r\n\r\n+CNETSTART: 1\r\nERROR\r\n", kErr}}},
        // "OK" anywhere beats "ERR" anywhere beats the result line; the code is
        // a whole number, so only zeros succeed.
        {CheckXtraDownload,
         {{"\r\n+CGPSXD: 3\r\nOK", kOk},
          {"\r\n+CGPSXD: 0\r\nERR", kErr},
          {"\r\n+CGPSXD:   00\r\n", kOk},
          {"\r\n+CGPSXD: 10\r\n", kErr},
          {"\r\n+CGPSXD: ", kWait},
          {"\r\n+CHTPUPDATE: 0\r\n", kWait}}},
        // The same rule under its own prefix.
        {CheckTimeUpdate, {{"\r\n+CHTPUPDATE:\t0\r\n", kOk}, {"\r\n+CGPSXD: 0\r\n", kWait}}},
    };
    for (const auto& g : groups) {
        for (const auto& [segment, verdict] : g.verdicts) {
            EXPECT_EQ(g.checker(segment.c_str(), static_cast<unsigned>(segment.size())), verdict)
                << testing::PrintToString(segment);
        }
    }
    // The length counts, not the terminator.
    EXPECT_EQ(CheckFinalResult("\r\nOK\r\n+CREG", 6), kOk);
    EXPECT_EQ(CheckFinalResult("\r\nOK\r\n+CREG", 5), kWait);
}

TEST(Checkers, MatchesCommandAllowsOnlyWhiteSpaceAfterThePrefix) {
    const std::pair<const char*, bool> cases[] = {
        {"AT+CMGW", true},       {"AT+CMGW \t \r\n", true}, {"AT+CMGW=5\r\n", false}, {"AT+CMGW\r\nX", false},
        {" AT+CMGW\r\n", false}, {"AT+CMG\r\n", false},     {"at+cmgw\r\n", false},   {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(MatchesCommand(c.first, "AT+CMGW"), c.second) << c.first;
}

TEST(Checkers, SelectCheckerPicksTheRuleAndCountByCommand) {
    const struct {
        const char* command;
        unsigned count;
        Checker checker;
    } cases[] = {
        {"AT+CGPSXD=0 \r\n", 2, CheckXtraDownload},
        {"AT+CHTPUPDATE\r\n", 2, CheckTimeUpdate},
        {"AT+CMGW\r\n", 1, CheckPrompt},
        {"AT+CMGW=3\r\n", 1, CheckFinalResult},
    };
    for (const auto& c : cases) {
        const auto selected = CSim7100Impl::SelectChecker(c.command);
        EXPECT_EQ(selected.first, c.count) << c.command;
        const Checker* checker = selected.second.target<Checker>();
        ASSERT_NE(checker, nullptr) << c.command;
        EXPECT_EQ(*checker, c.checker) << c.command;
    }
}

}  // namespace
