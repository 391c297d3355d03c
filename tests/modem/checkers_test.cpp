// Completion rules and command matching, as tables of answer -> verdict.
#include <gtest/gtest.h>

#include <cstring>
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
         {{"", kWait},
          {"\r\nOK\r\n", kOk},
          {"\r\nO", kWait},
          {"\r\nCONNECT\r\n", kOk},
          {"\r\nOK\r\n\r\n+CREG: 1\r\n", kWait},
          // Error reports count only at the start of the segment.
          {"+CME ERROR: 3\r\n\r\nOK\r\n", kErr},
          {"\r\n+CME ERROR: 10\r\n", kWait},
          {"+CMS ERROR: 500\r\n", kErr},
          {"+CME ERROR:", kErr},
          {"+CME ERRO", kWait},
          {"\r\nERROR\r\n", kErr},
          {"\r\nBUSY\r\n", kErr},
          {"\r\nNO ANSWER\r\n", kErr},
          {"\r\nNO CARRIER\r\n", kErr},
          {"\r\nNO DIALTONE\r\n", kErr},
          {"\r\n> ", kWait}}},
        {CheckPrompt,
         {{"\r\n> ", kOk},
          {"\r\nOK\r\n", kWait},
          {"> \r\nERROR\r\n", kErr},
          {"+CMS ERROR: 304\r\n", kErr},
          {"\r\nNO CARRIER\r\n", kErr}}},
        {CheckGpsInfo,
         {{"\r\nOK\r\n", kOk},
          {"\r\n$GPRMC,1", kOk},
          {"\r\n$GPGGA,1", kWait},
          {"$GPRMC,1\r\nERROR\r\n", kErr},
          {"+CME ERROR: 3\r\n", kWait}}},
        {CheckLbsLocation,
         {{"\r\n+CLBS", kOk},
          {"\r\n+CLB", kWait},
          {"+CLBS: 0,1,2,3\r\n", kWait},
          {"\r\nOK\r\n", kOk},
          {"\r\n+CLBS: 1\r\nERROR\r\n", kErr}}},
        {CheckNetStart,
         {{"\r\nOK\r\n", kWait},
          {"\r\n+CNETSTART: 0\r\n", kWait},
          {"\r\nOK\r\n\r\n+CNETSTART:0\r\n", kWait},
          {"\r\nOK\r\n\r\n+CNETSTART: 0\r\n", kOk},
          {"\r\nOK\r\n\r\n+CNETSTART: 1\r\nERROR\r\n", kErr}}},
        // "OK" anywhere beats "ERR" anywhere beats the result line; the code is
        // a whole number, so only zeros succeed.
        {CheckXtraDownload,
         {{"\r\n+CGPSXD: 3\r\nOK", kOk},
          {"\r\n+CME ERROR: 3\r\n", kErr},
          {"\r\n+CGPSXD: 0\r\nERR", kErr},
          {"\r\n+CGPSXD:0\r\n", kOk},
          {"\r\n+CGPSXD:   00\r\n", kOk},
          {"\r\n+CGPSXD: 3\r\n", kErr},
          {"\r\n+CGPSXD: 10\r\n", kErr},
          {"\r\n+CGPSXD: ", kWait},
          {"\r\n+CHTPUPDATE: 0\r\n", kWait}}},
        {CheckTimeUpdate,
         {{"\r\nOK\r\n", kOk},
          {"\r\nERROR\r\n", kErr},
          {"\r\n+CHTPUPDATE:\t0\r\n", kOk},
          {"\r\n+CHTPUPDATE: 10\r\n", kErr},
          {"\r\n+CHTPUPDATE", kWait},
          {"\r\n+CGPSXD: 0\r\n", kWait}}},
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
        Checker checker;
    } cases[] = {
        {"AT+CGPSXD=0 \r\n", 2, CheckXtraDownload},
        {"AT+CGPSXD=01\r\n", 1, CheckFinalResult},
        {"AT+CHTPUPDATE\r\n", 2, CheckTimeUpdate},
        {"AT+CHTPUPDATE?\r\n", 1, CheckFinalResult},
        {"AT+CMGW\r\n", 1, CheckPrompt},
        {"AT+CMGW=3\r\n", 1, CheckFinalResult},
    };
    for (const auto& c : cases) {
        const auto selected = CSim7100Impl::SelectChecker(c.command);
        EXPECT_EQ(selected.first, c.count) << c.command;
        ASSERT_TRUE(selected.second) << c.command;
        EXPECT_EQ(Fingerprint(selected.second), Fingerprint(c.checker)) << c.command;
    }
}

}  // namespace
