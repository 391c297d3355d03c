// The modem trace switched on and off by the RTOS side's "DBG" control word.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "e2e_rig.h"

namespace e2e {
namespace {

const std::string kCommand = "AT+CSQ\r\n";
const std::string kAnswer = "\r\n+CSQ: 23,99\r\n\r\nOK\r\n";

TEST(DaemonTrace, DbgTracesExchangesUntilSwitchedOff) {
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.StartLinked());
    ASSERT_NO_FATAL_FAILURE(rig.PowerOn());
    rig.modem.On(kCommand, kAnswer, true);
    EXPECT_FALSE(std::filesystem::exists(rig.TraceFile()));

    auto raw = [&](const std::string& text) { return rig.Request(SIM7100_MSG_RAW_COMMAND, text); };
    const auto on = raw("DBG\r\n");
    EXPECT_EQ(on.record.cmdStatus, 1);
    EXPECT_EQ(on.Text(), "DEBUG MODE 1");
    EXPECT_EQ(raw(kCommand).Text(), kAnswer);

    // Entries: the command as written, then one per read of the answer.
    std::string trace = ReadFile(rig.TraceFile());
    EXPECT_GE(DaemonProcess::Count(trace, "[OUTPUT] "), 1u);
    std::string joined = trace;
    for (size_t at; (at = joined.find("\n[OUTPUT] ")) != std::string::npos;) joined.erase(at, 10);
    EXPECT_EQ(joined, "[INPUT] " + kCommand + kAnswer + "\n");

    const auto off = raw("DBG\r\n");
    EXPECT_EQ(off.Text(), "DEBUG MODE 0");
    EXPECT_EQ(raw(kCommand).Text(), kAnswer);
    EXPECT_EQ(ReadFile(rig.TraceFile()), trace);
}

TEST(DaemonTrace, MissingTraceFolderLeavesExchangesAlone) {
    Rig rig;
    const std::string path = rig.dir.Path() + "/missing/LteDebug.txt";
    ASSERT_NO_FATAL_FAILURE(rig.StartLinked({{"SIM7100D_TRACE_FILE", path}}));
    ASSERT_NO_FATAL_FAILURE(rig.PowerOn());
    rig.modem.On(kCommand, kAnswer);
    EXPECT_EQ(rig.Request(SIM7100_MSG_RAW_COMMAND, "DBG\r\n").Text(), "DEBUG MODE 1");
    const auto r = rig.Request(SIM7100_MSG_RAW_COMMAND, kCommand);
    EXPECT_EQ(r.record.cmdStatus, 1);
    EXPECT_EQ(r.Text(), kAnswer);
    EXPECT_FALSE(std::filesystem::exists(rig.dir.Path() + "/missing"));
}

}  // namespace
}  // namespace e2e
