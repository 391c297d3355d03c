// The exchange's budget counted exactly, the 1023-character bound of the
// verbatim copies, and the data connection when the shell or the model query
// fails.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "checkers.h"
#include "daemon_process.h"
#include "dialogue.h"

namespace {

using M = CSim7100Impl;

TEST(ExchangeBudget, SilenceEndsAfterTwentyPollsOfOneSecond) {
    SBench b(kOn);
    b.modem.On("AT+CSQ\r\n", ScriptedModem::Silence());
    testing::internal::CaptureStdout();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(b.impl->SendCommand("AT+CSQ\r\n", 1, CheckFinalResult), M::eCmdWriteFailed);
    const auto took = std::chrono::steady_clock::now() - start;
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(DaemonProcess::Count(out, "No RX data. Retry: "), 20u);
    // Polls of 10 ms here (1000 ms scaled): not 30 ms ones.
    EXPECT_LT(took, std::chrono::milliseconds(500));
}

// Each piece arrives as its own read: a packet socket stands in for the
// port, where a pseudo-terminal would merge pieces that wait.
TEST(ExchangeBudget, AnAnswerInMoreThanTwentyPiecesEndsPending) {
    const struct {
        int pieces;
        ECmdStatus status;
    } cases[] = {{20, M::eCmdOk}, {21, M::eCmdPending}};
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

TEST(VerbatimCopies, KeepAtMost1023CharactersAndTheTerminator) {
    const std::string cmgf = "AT+CMGF?\r\n", text = "\r\n+CMGF: 1\r\n" + kOk;
    const std::string cmgl = "AT+CMGL=\"ALL\"\r\n", cmgr = "AT+CMGR=3\r\n";
    // Whole answers through their OK of exactly n characters.
    auto answer = [](size_t n) { return "\r\n" + std::string(n - 2 - kOk.size(), 'm') + kOk; };
    const std::string fits = answer(1023), over = answer(1024);
    const std::string model = "\r\nSIMCOM_SIM7600G" + std::string(1100, 'v') + kOk;
    const Op list = With(&M::ListSms, SListSmsRequest{4, 0});
    const Op read = With(&M::ReadSms, SReadSmsRequest{3});
    RunDialogues({
        {"copy of a long answer", kOn, &M::GetChipType, {{"AT+CGMM\r\n", model}}, {9, 2, model.substr(0, 1023)}},
        {"read 1023", kOn, read, {{cmgr, fits}}, {1, 0, fits}},
        {"read 1024", kOn, read, {{cmgr, over}}, {2, 0, ("AT+CMGR: Too big response!\r\n" + over).substr(0, 1023)}},
        {"list 1023", kOn, list, {{cmgf, text}, {cmgl, fits}}, {1, 1, fits}},
        {"list 1024",
         kOn,
         list,
         {{cmgf, text}, {cmgl, over}},
         {2, 1, ("AT+CMGL: Too big response!\r\n" + over).substr(0, 1023)}},
    });
}

// Shell steps report failure, a missing tool (127), one that cannot run
// (126) or no shell at all (-1): the call stands and every step still runs.
TEST(Connection, ShellAndModelQueryFailuresDoNotStopTheCall) {
    const std::string cgmm = "AT+CGMM\r\n", call = "AT$QCRMCALL=1,1\r\n", hangUp = "AT$QCRMCALL=0,1\r\n";
    const Strings up7600 = {"cat /sys/class/net/wwan0/qmi/raw_ip", "ifconfig wwan0 mtu 1430", "ifconfig wwan0 up",
                            "udhcpc -i wwan0", "ifconfig wwan0"};
    const Strings down = {"ifconfig wwan0 down", "pkill udhcpc"};
    for (const int status : {1 << 8, 127 << 8, 126 << 8, -1}) {
        SCOPED_TRACE(status);
        SBench b(kOn);
        b.shellStatus = status;
        b.modem.On(cgmm, "\r\nSIMCOM_SIM7600G\r\n" + kOk);
        b.modem.On(call, kOk);
        ExpectRecord(b.impl->Connect(), {1, 0, kOk});
        b.modem.On(hangUp, kOk);
        ExpectRecord(b.impl->Disconnect(), {1, 0, kOk});
        Strings steps = up7600;
        steps.insert(steps.end(), down.begin(), down.end());
        EXPECT_EQ(b.shell, steps);
        EXPECT_EQ(b.Sent(), (Strings{cgmm, call, hangUp}));
    }
    // No model name to be had: the call goes ahead without the SIM7600G steps.
    RunDialogues({{"model query refused",
                   kOn,
                   &M::Connect,
                   {{cgmm, kError}, {call, kOk}},
                   {1, 0, kOk},
                   {"ifconfig wwan0 up", "udhcpc -i wwan0", "ifconfig wwan0"},
                   kUp}});
}

}  // namespace
