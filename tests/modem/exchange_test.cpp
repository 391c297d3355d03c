// SendCommand / ReadResponse against the scripted modem, with every wait
// scaled to 1/100: a poll lasts 10 ms, the whole budget 20 polls.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "checkers.h"
#include "scripted_modem.h"
#include "sim7100.h"

namespace {

using Clock = std::chrono::steady_clock;
using Checker = CSim7100Impl::CheckerFunction;

constexpr ECmdStatus kOk = CSim7100Impl::eCmdOk;
constexpr ECmdStatus kErr = CSim7100Impl::eCmdError;
constexpr ECmdStatus kWait = CSim7100Impl::eCmdPending;

// What the checker was shown, read by read.
struct SJudged {
    std::string segment;
    ECmdStatus verdict;
    bool operator==(const SJudged& o) const { return segment == o.segment && verdict == o.verdict; }
};

void PrintTo(const SJudged& j, std::ostream* os) {
    *os << testing::PrintToString(j.segment) << " -> " << j.verdict;
}

CSim7100Impl::ResponseChecker Recording(Checker checker, std::vector<SJudged>& judged) {
    return [checker, &judged](const char* data, unsigned length) {
        const ECmdStatus verdict = checker(data, length);
        judged.push_back({std::string(data, length), verdict});
        return verdict;
    };
}

SDaemonSettings Fast(const std::string& device) {
    SDaemonSettings s;
    s.device = device;
    s.timeScale = 0.01;
    return s;
}

class Exchange : public testing::Test {
protected:
    void SetUp() override {
        modem.SetSplit(0, 0);  // one write per scripted chunk
        ASSERT_TRUE(impl.InitUart());
    }

    ScriptedModem modem;
    CSim7100Impl impl{Fast(modem.Path())};
};

struct SCase {
    const char* name;
    ScriptedModem::Reply reply;
    unsigned count;
    Checker checker;
    ECmdStatus status;
    std::vector<SJudged> judged;
    bool spendsBudget;  // only the retries running out ends it
};

TEST_F(Exchange, CollectsSegmentsUntilTheCountOrTheBudget) {
    const SCase cases[] = {
        {"last read holds only K CR LF",
         {{"\r\nO"}, {"K\r\n", 50}},
         1, CheckFinalResult, kOk,
         {{"\r\nO", kWait}, {"\r\nOK\r\n", kOk}},
         false},
        {"unsolicited line after OK",
         {{"\r\nOK\r\n\r\n+CREG: 1\r\n"}},
         1, CheckFinalResult, kWait,
         {{"\r\nOK\r\n\r\n+CREG: 1\r\n", kWait}},
         true},
        {"framed CME error is not a final result",
         {{"\r\n+CME ERROR: 10\r\n"}},
         1, CheckFinalResult, kWait,
         {{"\r\n+CME ERROR: 10\r\n", kWait}},
         true},
        {"CME error at the start",
         {{"+CME ERROR: 10\r\n"}},
         1, CheckFinalResult, kErr,
         {{"+CME ERROR: 10\r\n", kErr}},
         false},
        {"second segment never comes",
         {{"\r\nOK\r\n"}},
         2, CheckFinalResult, kOk,
         {{"\r\nOK\r\n", kOk}},
         true},
        {"second segment judged alone",
         {{"\r\nERROR\r\n"}, {"\r\n+CGPSXD: 0\r\n", 30}},
         2, CheckXtraDownload, kOk,
         {{"\r\nERROR\r\n", kErr}, {"\r\n+CGPSXD: 0\r\n", kOk}},
         false},
        {"percent signs",
         {{"\r\n+CSPN: \"100%s%d%n\",0\r\n\r\nOK\r\n"}},
         1, CheckFinalResult, kOk,
         {{"\r\n+CSPN: \"100%s%d%n\",0\r\n\r\nOK\r\n", kOk}},
         false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        modem.On("AT+TEST\r\n", c.reply);
        std::vector<SJudged> judged;
        const auto start = Clock::now();
        EXPECT_EQ(impl.SendCommand("AT+TEST\r\n", c.count, Recording(c.checker, judged)), c.status);
        const auto elapsed = Clock::now() - start;
        EXPECT_EQ(judged, c.judged);
        std::string all;
        for (const auto& chunk : c.reply) all += chunk.bytes;
        EXPECT_EQ(impl.Response(), all);
        if (c.spendsBudget) {
            EXPECT_GE(elapsed, std::chrono::milliseconds(150));
        }
    }
}

TEST_F(Exchange, FullBufferIsAnOverflow) {
    modem.On("AT+TEST\r\n", std::string(4200, 'A'));
    EXPECT_EQ(impl.SendCommand("AT+TEST\r\n", 1, CheckFinalResult), CSim7100Impl::eCmdOverflow);
    EXPECT_EQ(std::string(impl.Response()), std::string(4096, 'A'));
}

TEST_F(Exchange, SilenceIsAWriteFailureWithAnEmptyAnswer) {
    modem.On("AT\r\n", "\r\nOK\r\n");
    modem.On("AT+TEST\r\n", ScriptedModem::Silence());
    ASSERT_EQ(impl.SendCommand("AT\r\n", 1, CheckFinalResult), kOk);
    EXPECT_EQ(impl.SendCommand("AT+TEST\r\n", 1, CheckFinalResult), CSim7100Impl::eCmdWriteFailed);
    EXPECT_STREQ(impl.Response(), "");
}

TEST_F(Exchange, WriteToAClosedPortLeavesTheNote) {
    impl.StandBy();
    EXPECT_EQ(impl.SendCommand("AT+CSQ\r\n", 1, CheckFinalResult), CSim7100Impl::eCmdWriteFailed);
    EXPECT_STREQ(impl.Response(), "Write cmd AT+CSQ\r\n to modem failed, written bytes 4294967295 expected 8");
    EXPECT_TRUE(modem.Commands().empty());
}

TEST_F(Exchange, HangUpMidAnswerEndsTheExchange) {
    ScriptedModem::SChunk hangUp;
    hangUp.hangUp = true;
    hangUp.delayMs = 20;
    modem.On("AT+CSQ\r\n", ScriptedModem::Reply{{"\r\n+CSQ: 2"}, hangUp});
    auto done = std::async(std::launch::async, [&] { return impl.SendCommand("AT+CSQ\r\n", 1, CheckFinalResult); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(done.get(), kWait);
    EXPECT_EQ(std::string(impl.Response()).rfind("\r\n+CSQ: 2", 0), 0u) << impl.Response();
}

}  // namespace
