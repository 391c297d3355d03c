// While nobody listens, connection attempts come once a (scaled) second.  The
// daemon runs alone in a network namespace of its own, where the kernel's
// count of opened connections is its count of attempts.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>
#include <vector>

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
    if (system("unshare --net true 2>/dev/null") != 0)
        SIM7100_SKIP_OR_FAIL("hardening", "no network namespace for the daemon");
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
    // When each count of attempts was first seen, up to 15: a loop that gives
    // up after ten never gets there.
    std::vector<std::pair<long, std::chrono::steady_clock::time_point>> seen;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const long n = ActiveOpens(daemon.Pid());
            if (n > 0 && (seen.empty() || n > seen.back().first))
                seen.emplace_back(n, std::chrono::steady_clock::now());
            return n >= 15;
        },
        Within(10000)))
        << (seen.empty() ? 0 : seen.back().first) << " attempts";
    // Pauses of 100 ms.  Between two sightings fit no more attempts than
    // pauses, however late either is seen; and with pauses of 300 ms no two
    // attempts would be seen 200 ms apart or closer.
    const auto pause = milliseconds(100);
    auto closest = std::chrono::steady_clock::duration::max();
    for (size_t i = 1; i < seen.size(); ++i) closest = std::min(closest, seen[i].second - seen[i - 1].second);
    EXPECT_LE((seen.back().first - seen.front().first - 1) * pause * 95 / 100,
              seen.back().second - seen.front().second);
    EXPECT_LT(closest, Within(200));
}

}  // namespace
}  // namespace hardening
