// sim7100d-dev refuses settings it cannot use before it does anything.  It
// runs in a network namespace of its own, so a value wrongly taken (or the
// default port 50001 after it) never reaches the host.
#include <gmock/gmock.h>

#include "e2e_rig.h"

namespace e2e {
namespace {

TEST(DevSettings, AnUnusablePortOrTimeScaleIsRefusedAtStart) {
    if (system("unshare --net true 2>/dev/null") != 0) GTEST_SKIP() << "no network namespace for the daemon";
    const struct {
        const char* name;
        const char* value;
        const char* wanted;
    } cases[] = {
        {"SIM7100D_PORT", "0", "a TCP port from 1 to 65535"},
        {"SIM7100D_PORT", "65536", "a TCP port from 1 to 65535"},
        {"SIM7100D_PORT", "5000x", "a TCP port from 1 to 65535"},
        {"SIM7100D_TIME_SCALE", "0", "a number above 0 and at most 1000"},
        {"SIM7100D_TIME_SCALE", "-1", "a number above 0 and at most 1000"},
        {"SIM7100D_TIME_SCALE", "nan", "a number above 0 and at most 1000"},
        {"SIM7100D_TIME_SCALE", "1001", "a number above 0 and at most 1000"},
    };
    const std::string launcher = std::string("unshare --net ") + SIM7100_E2E_EMULATOR;
    for (const auto& c : cases) {
        const std::string setting = std::string(c.name) + "=" + c.value;
        SCOPED_TRACE(setting);
        DaemonProcess daemon;
        ASSERT_TRUE(daemon.Start({SIM7100_E2E_DAEMON_DEV, launcher, SIM7100_E2E_STUB_DIR, {{c.name, c.value}}}))
            << daemon.Error();
        EXPECT_EQ(ExitCode(daemon.WaitExit(Within(5000))), 1);
        EXPECT_EQ(daemon.Stderr(), "[ERROR] " + setting + " refused: " + c.wanted + " expected\n");
    }
}

}  // namespace
}  // namespace e2e
