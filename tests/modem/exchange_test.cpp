// One exchange against the scripted module (a poll lasts 30 ms, the budget is
// 20 polls, counted exactly), and the debug trace of the traffic.
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "checkers.h"
#include "daemon_process.h"
#include "dialogue.h"
#include "test_support.h"

namespace {

constexpr ECmdStatus kDone = M::eCmdOk, kErr = M::eCmdError, kWait = M::eCmdPending;

// What the checker was shown, read by read.
using Judged = std::vector<std::pair<std::string, ECmdStatus>>;

M::ResponseChecker Recording(M::CheckerFunction checker, Judged& judged) {
    return [checker, &judged](const char* data, unsigned length) {
        judged.emplace_back(std::string(data, length), checker(data, length));
        return judged.back().second;
    };
}

TEST(Exchange, CollectsSegmentsUntilTheCountOrTheBudget) {
    const std::string creg = kOk + "\r\n+CREG: 1\r\n", xd = "\r\n+CGPSXD: 0\r\n";
    const struct {
        const char* name;
        Reply reply;
        unsigned count;
        M::CheckerFunction checker;
        ECmdStatus status;
        Judged judged;
        bool spendsBudget;  // only the retries running out ends it
    } cases[] = {
        // A split answer is judged again as a whole.
        {"split OK", TwoReads("\r\nO", "K\r\n"), 1, CheckFinalResult, kDone, {{"\r\nO", kWait}, {kOk, kDone}}, false},
        {"line after OK", {{creg}}, 1, CheckFinalResult, kWait, {{creg, kWait}}, true},
        {"second segment never comes", {{kOk}}, 2, CheckFinalResult, kDone, {{kOk, kDone}}, true},
        {"second judged alone",
         TwoReads(kError, xd),
         2,
         CheckXtraDownload,
         kDone,
         {{kError, kErr}, {xd, kDone}},
         false},
        // Nothing of the previous answer remains.
        {"silence", ScriptedModem::Silence(), 1, CheckFinalResult, M::eCmdWriteFailed, {}, true},
    };
    SBench b(kOff);
    ASSERT_TRUE(b.impl->InitUart());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        b.modem.On("AT+TEST\r\n", c.reply);
        Judged judged;
        testing::internal::CaptureStdout();
        EXPECT_EQ(b.impl->SendCommand("AT+TEST\r\n", c.count, Recording(c.checker, judged)), c.status);
        const std::string out = testing::internal::GetCapturedStdout();
        // Each silent poll and each pending read spends one of the 20 retries.
        const auto pending = std::count_if(judged.begin(), judged.end(), [](auto& j) { return j.second == kWait; });
        const size_t spent = DaemonProcess::Count(out, "No RX data. Retry: ") + static_cast<size_t>(pending);
        EXPECT_TRUE(c.spendsBudget ? spent == 20u : spent < 20u) << spent;
        EXPECT_EQ(judged, c.judged);
        std::string all;
        for (const auto& chunk : c.reply) all += chunk.bytes;
        EXPECT_EQ(b.impl->Response(), all);
    }
    // Each poll lasts a scaled second: at 1/10, 2 s in all, where polls of
    // 3 s take 6 s; a busy machine only lengthens the polls.
    SBench slow(kOff, "/tmp/sim7100d-modem-test-trace.txt", 0.1);
    ASSERT_TRUE(slow.impl->InitUart());
    slow.modem.On("AT+TEST\r\n", ScriptedModem::Silence());
    const auto start = std::chrono::steady_clock::now();
    slow.impl->SendCommand("AT+TEST\r\n", 1, CheckFinalResult);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::milliseconds(4000));
}

TEST(Exchange, AFailedWriteLeavesTheNoteAndAFullBufferIsAnOverflow) {
    SBench b(kOff);
    EXPECT_EQ(b.impl->SendCommand("AT+CSQ\r\n", 1, CheckFinalResult), M::eCmdWriteFailed);
    EXPECT_STREQ(b.impl->Response(), "Write cmd AT+CSQ\r\n to modem failed, written bytes 4294967295 expected 8");
    ASSERT_TRUE(b.impl->InitUart());
    b.modem.On("AT+TEST\r\n", std::string(4200, 'A'));
    EXPECT_EQ(b.impl->SendCommand("AT+TEST\r\n", 1, CheckFinalResult), M::eCmdOverflow);
    EXPECT_EQ(std::string(b.impl->Response()), std::string(4096, 'A'));
}

// Each piece arrives as its own read: a packet socket stands in for the
// port, where a pseudo-terminal would merge pieces that wait.
TEST(Exchange, AnAnswerInMoreThanTwentyPiecesEndsPending) {
    const struct {
        int pieces;
        ECmdStatus status;
    } cases[] = {{20, kDone}, {21, kWait}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pieces);
        SBench b(kOn);
        int ends[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, ends), 0);
        ASSERT_GE(dup2(ends[0], b.impl->Fd()), 0);
        close(ends[0]);
        std::string all;
        for (int i = 1; i <= c.pieces; ++i) {
            const std::string piece = i < c.pieces ? "x" : kOk;
            ASSERT_EQ(write(ends[1], piece.data(), piece.size()), static_cast<ssize_t>(piece.size()));
            if (i <= 20) all += piece;
        }
        EXPECT_EQ(b.impl->SendCommand("AT+CSQ\r\n", 1, CheckFinalResult), c.status);
        EXPECT_EQ(b.impl->Response(), all);
        close(ends[1]);
    }
}

TEST(Trace, OnlyInDebugModeRecordsFlushedInputAndEachReadInOrder) {
    SDebugMode debug(false);
    const STempDir temp;
    const std::string trace = temp.path + "/LteDebug.txt";
    SBench{kOn, trace};  // PowerOn's traffic, untraced
    EXPECT_FALSE(std::filesystem::exists(trace));
    g_debugMode = true;
    SBench b(kOn, trace);
    unlink(trace.c_str());  // PowerOn's traffic
    b.modem.Inject("\r\n+CREG: 1\r\n");
    pollfd p{b.impl->Fd(), POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    b.modem.On("AT\r\n", TwoReads("\r\nO", "K\r\n"));
    ASSERT_EQ(b.impl->SendCommand("AT\r\n", 1, CheckFinalResult), kDone);
    b.impl->TraceLog(7, "untagged");
    EXPECT_EQ(ReadFile(trace),
              "[FLUSHED_OUTPUT] \r\n+CREG: 1\r\n\n[INPUT] AT\r\n\n[OUTPUT] \r\nO\n[OUTPUT] K\r\n\nuntagged\n");
}

}  // namespace
