// While nobody listens, connection attempts come once a (scaled) second.  The
// daemon runs alone in a network namespace of its own, where the kernel's
// count of opened connections is its count of attempts.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "hardening_rig.h"

namespace hardening {
namespace {

// The ActiveOpens counter of the process's network namespace; -1 if unread.
long ActiveOpens(pid_t pid) {
    std::istringstream in(ReadFile("/proc/" + std::to_string(pid) + "/net/snmp"));
    std::string names, values;
    while (std::getline(in, names) && std::getline(in, values)) {
        if (names.rfind("Tcp:", 0) != 0) continue;
        std::istringstream n(names), v(values);
        for (std::string name, value; n >> name && v >> value;) {
            if (name == "ActiveOpens") return strtol(value.c_str(), nullptr, 10);
        }
    }
    return -1;
}

TEST(ConnectRetry, AttemptsComeOnceASecondWhileNobodyListens) {
    if (system("unshare --net true 2>/dev/null") != 0) GTEST_SKIP() << "no network namespace for the daemon";
    // The launcher's words split at blanks, so bringing lo up takes a script.
    STempDir dir;
    const std::string loUp = dir.path + "/lo-up";
    std::ofstream(loUp) << "#!/bin/sh\nip link set lo up && exec \"$@\"\n";
    std::filesystem::permissions(loUp, std::filesystem::perms::owner_all);
    const std::string launcher = "unshare --net " + loUp + " " + SIM7100_E2E_EMULATOR;
    DaemonProcess daemon;
    ASSERT_TRUE(
        daemon.Start({SIM7100_E2E_DAEMON_DEV, launcher, SIM7100_E2E_STUB_DIR, {{"SIM7100D_TIME_SCALE", "0.1"}}}))
        << daemon.Error();
    // In its own namespace once it runs.
    ASSERT_TRUE(daemon.WaitForStdout("sim7100d-dev: overrides:", Within(5000)));
    ASSERT_TRUE(WaitUntil([&] { return ActiveOpens(daemon.Pid()) >= 1; }, Within(5000)));
    const auto first = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] { return ActiveOpens(daemon.Pid()) >= 4; }, Within(10000)));
    // Three pauses of 100 ms between the first attempt and the fourth; the
    // first is seen up to a poll (and a busy scheduler) late.
    EXPECT_GE(std::chrono::steady_clock::now() - first, milliseconds(250));
}

}  // namespace
}  // namespace hardening
