// One exchange against the scripted module (a poll lasts 10 ms, the budget is
// 20 polls), and the debug trace of the traffic.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "checkers.h"
#include "dialogue.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr ECmdStatus kDone = CSim7100Impl::eCmdOk, kErr = CSim7100Impl::eCmdError, kWait = CSim7100Impl::eCmdPending;

// What the checker was shown, read by read.
using Judged = std::vector<std::pair<std::string, ECmdStatus>>;

CSim7100Impl::ResponseChecker Recording(CSim7100Impl::CheckerFunction checker, Judged& judged) {
    return [checker, &judged](const char* data, unsigned length) {
        judged.emplace_back(std::string(data, length), checker(data, length));
        return judged.back().second;
    };
}

TEST(Exchange, CollectsSegmentsUntilTheCountOrTheBudget) {
    const struct {
        const char* name;
        Reply reply;
        unsigned count;
        CSim7100Impl::CheckerFunction checker;
        ECmdStatus status;
        Judged judged;
        bool spendsBudget;  // only the retries running out ends it
    } cases[] = {
        // A split answer is judged again as a whole.
        {"split OK", Late("\r\nO", "K\r\n", 50), 1, CheckFinalResult, kDone, {{"\r\nO", kWait}, {kOk, kDone}}, false},
        {"line after OK",
         {{kOk + "\r\n+CREG: 1\r\n"}},
         1,
         CheckFinalResult,
         kWait,
         {{kOk + "\r\n+CREG: 1\r\n", kWait}},
         true},
        {"second segment never comes", {{kOk}}, 2, CheckFinalResult, kDone, {{kOk, kDone}}, true},
        {"second segment judged alone",
         Late(kError, "\r\n+CGPSXD: 0\r\n"),
         2,
         CheckXtraDownload,
         kDone,
         {{kError, kErr}, {"\r\n+CGPSXD: 0\r\n", kDone}},
         false},
    };
    SBench b(kOff);
    ASSERT_TRUE(b.impl->InitUart());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        b.modem.On("AT+TEST\r\n", c.reply);
        Judged judged;
        const auto start = Clock::now();
        EXPECT_EQ(b.impl->SendCommand("AT+TEST\r\n", c.count, Recording(c.checker, judged)), c.status);
        if (c.spendsBudget) {
            EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
        }
        EXPECT_EQ(judged, c.judged);
        std::string all;
        for (const auto& chunk : c.reply) all += chunk.bytes;
        EXPECT_EQ(b.impl->Response(), all);
    }
    // Silence: nothing of the previous answer remains.
    b.modem.On("AT+TEST\r\n", ScriptedModem::Silence());
    EXPECT_EQ(b.impl->SendCommand("AT+TEST\r\n", 1, CheckFinalResult), CSim7100Impl::eCmdWriteFailed);
    EXPECT_STREQ(b.impl->Response(), "");
}

TEST(Exchange, FullBufferIsAnOverflow) {
    SBench b(kOn);
    b.modem.On("AT+TEST\r\n", std::string(4200, 'A'));
    EXPECT_EQ(b.impl->SendCommand("AT+TEST\r\n", 1, CheckFinalResult), CSim7100Impl::eCmdOverflow);
    EXPECT_EQ(std::string(b.impl->Response()), std::string(4096, 'A'));
}

TEST(Exchange, WriteToAClosedPortLeavesTheNote) {
    SBench b(kOff);
    EXPECT_EQ(b.impl->SendCommand("AT+CSQ\r\n", 1, CheckFinalResult), CSim7100Impl::eCmdWriteFailed);
    EXPECT_STREQ(b.impl->Response(), "Write cmd AT+CSQ\r\n to modem failed, written bytes 4294967295 expected 8");
}

TEST(Exchange, HangUpMidAnswerEndsTheExchange) {
    SBench b(kOn);
    ScriptedModem::SChunk hangUp;
    hangUp.hangUp = true;
    hangUp.delayMs = 20;
    b.modem.On("AT+CSQ\r\n", Reply{{"\r\n+CSQ: 2"}, hangUp});
    auto done = std::async(std::launch::async, [&] { return b.impl->SendCommand("AT+CSQ\r\n", 1, CheckFinalResult); });
    ASSERT_EQ(done.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(done.get(), kWait);
    EXPECT_EQ(std::string(b.impl->Response()).rfind("\r\n+CSQ: 2", 0), 0u) << b.impl->Response();
}

class Trace : public testing::Test {
protected:
    Trace() { g_debugMode = true; }
    ~Trace() override { g_debugMode = saved; }
    bool saved = g_debugMode;
    STempDir temp;
    const std::string dir = temp.path, trace = dir + "/LteDebug.txt";
};

TEST_F(Trace, RecordsFlushedInputAndEachReadInOrder) {
    SBench b(kOn, trace);
    unlink(trace.c_str());  // PowerOn's traffic
    b.modem.Inject("\r\n+CREG: 1\r\n");
    pollfd p{b.impl->Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    b.modem.On("AT\r\n", Late("\r\nO", "K\r\n"));
    ASSERT_EQ(b.impl->SendCommand("AT\r\n", 1, CheckFinalResult), kDone);
    b.impl->TraceLog(7, "untagged");
    EXPECT_EQ(ReadFile(trace),
              "[FLUSHED_OUTPUT] \r\n+CREG: 1\r\n\n[INPUT] AT\r\n\n[OUTPUT] \r\nO\n[OUTPUT] K\r\n\nuntagged\n");
}

TEST_F(Trace, OffWritesNothingAndOutputFlushKeepsInput) {
    g_debugMode = false;
    SBench b(kOn, trace);
    b.modem.Inject("\r\nRING\r\n");
    pollfd p{b.impl->Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    b.impl->FlushPort(b.impl->Fd(), TCOFLUSH);
    char buffer[64] = {};
    EXPECT_EQ(CSim7100Impl::PollRead(b.impl->Fd(), buffer, sizeof buffer - 1, 1000), 8);
    EXPECT_FALSE(std::filesystem::exists(trace));
}

}  // namespace
