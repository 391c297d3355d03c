// The debug trace of the modem traffic, FlushPort and PollRead.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "checkers.h"
#include "scripted_modem.h"
#include "sim7100.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

class PortTrace : public testing::Test {
protected:
    PortTrace() {
        char pattern[] = "/tmp/sim7100-trace-XXXXXX";
        m_dir = mkdtemp(pattern);
        trace = m_dir + "/LteDebug.txt";
    }
    ~PortTrace() override {
        g_debugMode = m_savedDebug;
        std::string rm = "rm -rf '" + m_dir + "'";
        EXPECT_EQ(system(rm.c_str()), 0);
    }

    // A modem object on the scripted modem, tracing into tracePath.
    std::unique_ptr<CSim7100Impl> Open(const std::string& tracePath) {
        SDaemonSettings s;
        s.device = modem.Path();
        s.traceFile = tracePath;
        s.timeScale = 0.01;
        auto impl = std::make_unique<CSim7100Impl>(s);
        EXPECT_TRUE(impl->InitUart());
        return impl;
    }

    // Waits until unasked output has reached the port.
    static bool Readable(int fd) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 5000) == 1;
    }

    ScriptedModem modem;
    std::string trace;

private:
    std::string m_dir;
    bool m_savedDebug = g_debugMode;
};

TEST_F(PortTrace, OffWritesNothingAndFlushReadsNothing) {
    g_debugMode = false;
    modem.SetSplit(0, 0);
    modem.On("AT\r\n", "\r\nOK\r\n");
    auto impl = Open(trace);
    ASSERT_EQ(impl->SendCommand("AT\r\n", 1, CheckFinalResult), CSim7100Impl::eCmdOk);
    EXPECT_FALSE(Exists(trace));

    // With only the output queue flushed, the input must still be there.
    modem.Inject("\r\nRING\r\n");
    ASSERT_TRUE(Readable(impl->Fd()));
    impl->FlushPort(impl->Fd(), TCOFLUSH);
    char buffer[64] = {};
    EXPECT_EQ(CSim7100Impl::PollRead(impl->Fd(), buffer, sizeof buffer - 1, 1000), 8);
    EXPECT_FALSE(Exists(trace));
}

TEST_F(PortTrace, OnRecordsFlushedInputAndOutputInOrder) {
    g_debugMode = true;
    modem.SetSplit(0, 0);
    modem.On("AT\r\n", "\r\nOK\r\n");
    auto impl = Open(trace);
    // InitUart's own flushes may have traced; start from a clean file.
    unlink(trace.c_str());
    modem.Inject("\r\n+CREG: 1\r\n");
    ASSERT_TRUE(Readable(impl->Fd()));
    ASSERT_EQ(impl->SendCommand("AT\r\n", 1, CheckFinalResult), CSim7100Impl::eCmdOk);
    impl->TraceLog(7, "untagged");
    EXPECT_EQ(ReadFile(trace),
              "[FLUSHED_OUTPUT] \r\n+CREG: 1\r\n\n"
              "[INPUT] AT\r\n\n"
              "[OUTPUT] \r\nOK\r\n\n"
              "untagged\n");
}

TEST_F(PortTrace, OneOutputEntryPerRead) {
    g_debugMode = true;
    modem.SetSplit(0, 0);
    modem.On("AT\r\n", ScriptedModem::Reply{{"\r\nO"}, {"K\r\n", 30}});
    auto impl = Open(trace);
    unlink(trace.c_str());
    ASSERT_EQ(impl->SendCommand("AT\r\n", 1, CheckFinalResult), CSim7100Impl::eCmdOk);
    EXPECT_EQ(ReadFile(trace), "[INPUT] AT\r\n\n[OUTPUT] \r\nO\n[OUTPUT] K\r\n\n");
}

TEST_F(PortTrace, MissingFolderIsTolerated) {
    g_debugMode = true;
    modem.On("AT\r\n", "\r\nOK\r\n");
    const std::string missing = trace + ".d/LteDebug.txt";
    auto impl = Open(missing);
    EXPECT_EQ(impl->SendCommand("AT\r\n", 1, CheckFinalResult), CSim7100Impl::eCmdOk);
    EXPECT_STREQ(impl->Response(), "\r\nOK\r\n");
    EXPECT_FALSE(Exists(trace + ".d"));
}

TEST_F(PortTrace, NewFileIsPrivateAndLinksAreNotFollowed) {
    g_debugMode = true;
    auto impl = Open(trace);
    unlink(trace.c_str());
    impl->TraceLog(CSim7100Impl::eTraceInput, "AT\r\n");
    struct stat st {};
    ASSERT_EQ(stat(trace.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    const std::string victim = trace + ".victim";
    { std::ofstream(victim) << ""; }
    unlink(trace.c_str());
    ASSERT_EQ(symlink(victim.c_str(), trace.c_str()), 0);
    impl->TraceLog(CSim7100Impl::eTraceInput, "AT\r\n");
    EXPECT_EQ(ReadFile(victim), "");
}

TEST(PollRead, ReturnsZeroWithoutInput) {
    char buffer[16];
    EXPECT_EQ(CSim7100Impl::PollRead(-1, buffer, sizeof buffer, 10), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    EXPECT_EQ(CSim7100Impl::PollRead(fds[0], buffer, sizeof buffer, 10), 0);
    close(fds[0]);
    close(fds[1]);
}

}  // namespace
