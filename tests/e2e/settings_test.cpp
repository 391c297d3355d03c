// What the two builds take from their environment.  The dev build refuses
// settings it cannot use before it does anything; it runs in a network
// namespace of its own, so a value wrongly taken (or the default port 50001
// after it) never reaches the host.  The production binary must not even
// import getenv: nm reads the dynamic symbol table, stripped or not; the
// cross build's own nm reads the ARM binary.
#include <stdio.h>

#include "daemon_rig.h"

namespace sim7100test {
namespace {

TEST(DevSettings, AnUnusablePortOrTimeScaleIsRefusedAtStart) {
    if (system("unshare --net true 2>/dev/null") != 0)
        SIM7100_SKIP_OR_FAIL("e2e", "no network namespace for the daemon");
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

std::string UndefinedSymbols(const std::string& binary) {
    std::string out;
    FILE* nm = popen((std::string(SIM7100_NM) + " -D --undefined-only '" + binary + "'").c_str(), "r");
    if (nm == nullptr) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, nm)) > 0;) out.append(buffer, n);
    pclose(nm);
    return out;
}

TEST(ProductionBinary, ImportsNoGetenvWhileTheDevBuildDoes) {
    if (std::string(SIM7100_NM).empty()) SIM7100_SKIP_OR_FAIL("e2e", "no nm for this build's binaries");
    // The dev build takes its overrides through getenv: the reading works.
    EXPECT_NE(UndefinedSymbols(SIM7100_E2E_DAEMON_DEV).find("getenv"), std::string::npos);
    const std::string production = UndefinedSymbols(SIM7100_E2E_DAEMON);
    EXPECT_NE(production.find(" socket"), std::string::npos) << production;
    EXPECT_EQ(production.find("getenv"), std::string::npos);
}

}  // namespace
}  // namespace sim7100test
