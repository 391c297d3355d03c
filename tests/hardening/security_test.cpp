// On a board whose other processes are not all trusted: the trace file is
// never followed through a link nor opened when it is not a regular file, no
// descriptor of the daemon leaks into the shell commands, request data never
// reaches a shell, and module text is never a format string.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "hardening_rig.h"

namespace hardening {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kCsq = "AT+CSQ\r\n";
const std::string kCsqAnswer = "\r\n+CSQ: 23,99\r\n\r\nOK\r\n";

struct STraceCase {
    const char* name;
    std::function<void(const std::string& trace, const std::string& dir)> plant;
    std::function<void(const std::string& trace, const std::string& dir)> check;  // with the trace on
    std::string folder;  // of the trace file, under the rig's; empty: the rig's own
};

// "DBG" switches the trace on and off; what lies at its path never blocks
// or changes an exchange.
TEST(Security, TheTraceFileIsOnlyARegularFileOfMode0600NeverALinkOrAFifo) {
    const STraceCase cases[] = {
        {"created new", [](const std::string&, const std::string&) {},
         [](const std::string& trace, const std::string&) {
             struct stat st {};
             ASSERT_EQ(lstat(trace.c_str(), &st), 0);
             EXPECT_TRUE(S_ISREG(st.st_mode));
             EXPECT_EQ(st.st_mode & 07777, 0600u);
             // The command as written, then one entry per read of the answer.
             std::string joined = e2e::ReadFile(trace);
             EXPECT_GE(DaemonProcess::Count(joined, "[OUTPUT] "), 1u);
             for (size_t at; (at = joined.find("\n[OUTPUT] ")) != std::string::npos;) joined.erase(at, 10);
             EXPECT_EQ(joined, "[INPUT] " + kCsq + kCsqAnswer + "\n");
         },
         ""},
        {"a link planted to another file",
         [](const std::string& trace, const std::string& dir) {
             std::ofstream(dir + "/victim") << "precious\n";
             std::filesystem::create_symlink(dir + "/victim", trace);
         },
         [](const std::string& trace, const std::string& dir) {
             EXPECT_EQ(e2e::ReadFile(dir + "/victim"), "precious\n");
             EXPECT_TRUE(std::filesystem::is_symlink(trace));
         },
         ""},
        {"a link planted to a path not there yet",
         [](const std::string& trace, const std::string& dir) {
             std::filesystem::create_symlink(dir + "/created-through-link", trace);
         },
         [](const std::string&, const std::string& dir) {
             EXPECT_FALSE(std::filesystem::exists(dir + "/created-through-link"));
         },
         ""},
        {"a FIFO nobody reads",
         [](const std::string& trace, const std::string&) { ASSERT_EQ(mkfifo(trace.c_str(), 0600), 0); },
         [](const std::string& trace, const std::string&) { EXPECT_TRUE(std::filesystem::is_fifo(trace)); }, ""},
        {"a folder that is not there", [](const std::string&, const std::string&) {},
         [](const std::string&, const std::string& dir) { EXPECT_FALSE(std::filesystem::exists(dir + "/missing")); },
         "/missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        const std::string trace = rig.dir + c.folder + "/LteDebug.txt";
        ASSERT_NO_FATAL_FAILURE(c.plant(trace, rig.dir));
        ASSERT_NO_FATAL_FAILURE(rig.StartLinked({{"SIM7100D_TRACE_FILE", trace}}));
        ASSERT_NO_FATAL_FAILURE(rig.PowerOn());
        rig.modem.On(kCsq, kCsqAnswer, true);
        const bool planted = std::filesystem::exists(std::filesystem::symlink_status(trace));
        EXPECT_EQ(rig.Request(SIM7100_MSG_RAW_COMMAND, kCsq).Text(), kCsqAnswer);
        EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(trace)), planted) << "traced while off";
        const auto on = rig.Request(SIM7100_MSG_RAW_COMMAND, "DBG\r\n");
        EXPECT_EQ(on.record.cmdStatus, 1);
        EXPECT_EQ(on.Text(), "DEBUG MODE 1");
        const auto r = rig.Request(SIM7100_MSG_RAW_COMMAND, kCsq);
        EXPECT_EQ(r.record.cmdStatus, 1);
        EXPECT_EQ(r.Text(), kCsqAnswer);
        ASSERT_NO_FATAL_FAILURE(c.check(trace, rig.dir));
        const std::string kept = std::filesystem::is_regular_file(trace) ? e2e::ReadFile(trace) : "";
        EXPECT_EQ(rig.Request(SIM7100_MSG_RAW_COMMAND, "DBG\r\n").Text(), "DEBUG MODE 0");
        EXPECT_EQ(rig.Request(SIM7100_MSG_RAW_COMMAND, kCsq).Text(), kCsqAnswer);
        if (!kept.empty()) {
            EXPECT_EQ(e2e::ReadFile(trace), kept) << "traced after DBG switched it off";
        }
    }
}

// Each probe runs "touch $M" if pasted into a shell command bare, inside '...'
// or inside "...": its quotes are balanced, so no syntax error stops the
// shell, and it fits the smallest field.  The module's text carries them too.
TEST(Security, ShellCommandsAreFixedAndInheritOnlyTheStandardDescriptors) {
    Rig rig;
    const std::string canary = rig.dir + "/pwned", fds = rig.dir + "/fds";
    ASSERT_NO_FATAL_FAILURE(rig.StartPowered({{"M", canary}, {"SIM7100_STUB_FDS", fds}}));
    // Debug mode on: the trace file is opened around every exchange too.
    EXPECT_EQ(rig.Request(SIM7100_MSG_RAW_COMMAND, "DBG\r\n").Text(), "DEBUG MODE 1");
    rig.modem.SetDefault({{"\r\nOK\r\n"}});
    std::string all;
    for (const std::string probe :
         {";touch $M;", "';touch $M;'", "\";touch $M;\"", "$(touch $M)", "`touch $M`", "\ntouch $M\n"}) {
        SCOPED_TRACE(probe);
        all += probe;
        auto field = [&](size_t size) { return e2e::Field(probe, size); };
        const std::pair<uint32_t, std::string> requests[] = {
            {SIM7100_MSG_SET_AUTHENTICATION, field(256) + field(256)},
            {SIM7100_MSG_SET_APN, field(256)},
            {SIM7100_MSG_ENTER_PIN, field(32) + field(32)},
            {SIM7100_MSG_RAW_COMMAND, probe},
            {SIM7100_MSG_SET_ERROR_REPORTING, probe},
            {SIM7100_MSG_SET_CLOCK, field(40)},
            {SIM7100_MSG_SET_TIME_SERVER, field(256)},
            {SIM7100_MSG_WRITE_SMS, std::string(1, '\x01') + field(16) + field(160)},
        };
        for (const auto& r : requests) rig.Request(r.first, r.second);
    }
    rig.modem.On("AT+CGMM\r\n", "\r\nSIMCOM_SIM7600G" + all + "\r\n\r\nOK\r\n");
    ASSERT_EQ(rig.Request(SIM7100_MSG_CONNECT).record.cmdStatus, 1);
    ASSERT_EQ(rig.Request(SIM7100_MSG_DISCONNECT).record.cmdStatus, 1);
    EXPECT_THAT(rig.StubCalls(),
                ElementsAre("cat /sys/class/net/wwan0/qmi/raw_ip", "ifconfig wwan0 mtu 1430", "ifconfig wwan0 up",
                            "udhcpc -i wwan0", "ifconfig wwan0", "ifconfig wwan0 down", "pkill udhcpc"));
    EXPECT_FALSE(std::filesystem::exists(canary));
    // The text did go out, to the module.
    const auto commands = rig.modem.Commands();
    EXPECT_TRUE(std::any_of(commands.begin(), commands.end(),
                            [&](const std::string& c) { return c.find("$(touch $M)") != std::string::npos; }));

    // Each line: tool, descriptor, target.  ls's own directory handle is the
    // only one beyond 0, 1 and 2.
    size_t tools = 0;
    for (const auto& line : e2e::ReadLines(fds)) {
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

TEST(Security, ModuleTextIsNeverAFormatString) {
    const std::string nasty = "%n%n%s%s%x%p%99999999s%.1000000f";
    const struct {
        uint32_t type;
        const char* command;
        std::string answer;
    } cases[] = {
        {SIM7100_MSG_GET_CHIP_TYPE, "AT+CGMM\r\n", "\r\n" + nasty + "\r\n\r\nOK\r\n"},
        {SIM7100_MSG_GET_SIM_STATUS, "AT+CPIN?\r\n", "\r\n+CPIN: " + nasty + "\r\n\r\nOK\r\n"},
        {SIM7100_MSG_GPS_STOP, "AT+CGPS=0\r\n", "\r\n" + nasty + "\r\n\r\nERROR\r\n"},
        {SIM7100_MSG_GET_FIRMWARE_VERSION, "AT+CGMR\r\n", "\r\n" + nasty + "\r\n\r\nOK\r\n"},
        {SIM7100_MSG_GET_NETWORK_MODE, "AT+CNSMOD?\r\n", "\r\n+CNSMOD: " + nasty + "\r\n\r\nOK\r\n"},
        {SIM7100_MSG_GET_SMS_MODE, "AT+CMGF?\r\n", "\r\n+CMGF: " + nasty + "\r\n\r\nOK\r\n"},
        {SIM7100_MSG_LBS_GET_LOCATION, "AT+CLBS=1\r\n", "\r\n+CLBS: " + nasty + "\r\n\r\nOK\r\n"},
        {SIM7100_MSG_RAW_COMMAND, "AT+COPS?\r\n", "\r\n" + nasty + "\r\n\r\nOK\r\n"},
    };
    Rig rig;
    ASSERT_NO_FATAL_FAILURE(rig.StartPowered());
    rig.modem.SetSplit(0, 0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        rig.modem.On(c.command, c.answer);
        const auto r = rig.Request(c.type, c.type == SIM7100_MSG_RAW_COMMAND ? std::string(c.command) : "");
        EXPECT_THAT(r.Text(), HasSubstr(nasty));
    }
    EXPECT_FALSE(HasFaultReport(rig.daemon.Stderr()));
}

}  // namespace
}  // namespace hardening
