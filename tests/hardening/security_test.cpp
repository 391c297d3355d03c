// On a board whose other processes are not all trusted: the trace file is
// never followed through a link nor opened when it is not a regular file, and
// no descriptor of the daemon leaks into the shell commands.  The commands'
// text is fixed (the dialogue tables list every step); module text as a format
// string is a module fault's row.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "hardening_rig.h"

namespace hardening {
namespace {

// One daemon in debug mode, which opens the trace file anew for every entry:
// what lies at its path never blocks or changes an exchange.
TEST(Security, TheTraceFileIsOnlyARegularFileOfMode0600NeverALinkOrAFifo) {
    const std::string csq = "AT+CSQ\r\n", answer = "\r\n+CSQ: 23,99\r\n\r\nOK\r\n";
    Rig rig;
    const std::string trace = rig.TraceFile(), victim = rig.dir + "/victim", absent = rig.dir + "/absent";
    std::ofstream(victim) << "precious\n";
    ASSERT_NO_FATAL_FAILURE(rig.StartPowered());
    rig.modem.On(csq, answer, true);
    ASSERT_EQ(rig.Request(SIM7100_MSG_RAW_COMMAND, "DBG\r\n").Text(), "DEBUG MODE 1");
    int reader = -1;
    const struct {
        const char* name;
        std::function<void()> plant;
    } cases[] = {
        {"a link planted to another file", [&] { std::filesystem::create_symlink(victim, trace); }},
        {"a link planted to a path not there yet", [&] { std::filesystem::create_symlink(absent, trace); }},
        {"a FIFO nobody reads", [&] { ASSERT_EQ(mkfifo(trace.c_str(), 0600), 0); }},
        {"a FIFO someone reads",
         [&] {
             ASSERT_EQ(mkfifo(trace.c_str(), 0600), 0);
             reader = open(trace.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
         }},
        {"nothing: created new", [] {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(trace);
        ASSERT_NO_FATAL_FAILURE(c.plant());
        EXPECT_EQ(rig.Request(SIM7100_MSG_RAW_COMMAND, csq).Text(), answer);
    }
    char byte = 0;
    EXPECT_LE(read(reader, &byte, 1), 0) << "an entry went into the FIFO";
    close(reader);
    EXPECT_EQ(ReadFile(victim), "precious\n");
    EXPECT_FALSE(std::filesystem::exists(absent));
    struct stat st {};
    ASSERT_EQ(lstat(trace.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    // Its entries' form is the exchange's unit test's.
    EXPECT_NE(ReadFile(trace).find("[INPUT] " + csq), std::string::npos);
}

TEST(Security, ShellCommandsInheritOnlyTheStandardDescriptors) {
    Rig rig;
    const std::string fds = rig.dir + "/fds";
    ASSERT_NO_FATAL_FAILURE(rig.StartPowered({{"SIM7100_STUB_FDS", fds}}));
    rig.modem.SetDefault({{"\r\nOK\r\n"}});
    rig.modem.On("AT+CGMM\r\n", "\r\nSIMCOM_SIM7600G\r\n\r\nOK\r\n");
    ASSERT_EQ(rig.Request(SIM7100_MSG_CONNECT).record.cmdStatus, 1);
    ASSERT_EQ(rig.Request(SIM7100_MSG_DISCONNECT).record.cmdStatus, 1);
    // Each line: tool, descriptor, target.  ls's own directory handle is the
    // only one beyond 0, 1 and 2.
    size_t tools = 0;
    for (const auto& line : ReadLines(fds)) {
        std::istringstream in(line);
        std::string tool, target;
        int fd = -1;
        in >> tool >> fd >> target;
        if (fd == 0) ++tools;
        if (fd <= 2) continue;
        EXPECT_EQ(target.rfind("/proc/", 0), 0u) << "leaked into " << tool << ": " << line;
    }
    EXPECT_EQ(tools, 7u) << "every shell command was listed";
}

}  // namespace
}  // namespace hardening
