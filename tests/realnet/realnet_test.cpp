// sim7100d-dev's data path against the board's real tools: BusyBox's ifconfig
// and udhcpc, procps' pkill and cat, on a veth pair whose far end has
// BusyBox's DHCP server.  Everything runs in network, mount and PID
// namespaces of this test's own: `pkill udhcpc` can reach only our
// processes, and the client's script writes our resolv.conf, not the host's.
#include <arpa/inet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "daemon_process.h"
#include "rtos_peer.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

const int kSkipped = 77;
const char kModuleAnswer[] = "\r\n$QCRMCALL: 1, V4\r\n\r\nOK\r\n";
std::string g_dir;  // this run's folder: tools, server settings, resolv.conf

std::string ReadFile(const fs::path& path) {
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

std::string Output(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    char line[512];
    while (p != nullptr && fgets(line, sizeof line, p) != nullptr) out += line;
    if (p != nullptr) pclose(p);
    return out;
}

// /proc offers no event for a process that appears or ends: check every few ms.
template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

int LiveUdhcpc() {
    int n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
        const std::string stat = ReadFile(e.path() / "stat");
        n += stat.find(" (udhcpc) ") != std::string::npos && stat.find(") Z ") == std::string::npos;
    }
    return n;
}

struct SLink {
    bool up = false;
    int mtu = 0;
    std::string address;
};

SLink Wwan0() {
    SLink l;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq r{};
    strncpy(r.ifr_name, "wwan0", IFNAMSIZ - 1);
    if (ioctl(fd, SIOCGIFFLAGS, &r) == 0) l.up = (r.ifr_flags & IFF_UP) != 0;
    if (ioctl(fd, SIOCGIFMTU, &r) == 0) l.mtu = r.ifr_mtu;
    if (ioctl(fd, SIOCGIFADDR, &r) == 0) l.address = inet_ntoa(reinterpret_cast<sockaddr_in*>(&r.ifr_addr)->sin_addr);
    close(fd);
    return l;
}

struct SCase {
    const char* name;
    const char* model;
    bool serverAnswers;
    const char* missing;  // a tool left off PATH
    int mtu;              // wwan0's once Connect has run its commands
    const char* address;  // leased, or none
};

TEST(RealNet, ConnectAndDisconnectWithTheRealTools) {
    const SCase cases[] = {
        {"SIM7600G: MTU 1430 and a lease", "SIM7600G", true, nullptr, 1430, "10.77.0.2"},
        {"SIM7100E: the MTU left as it was", "SIM7100E", true, nullptr, 1500, "10.77.0.2"},
        {"udhcpc missing from PATH", "SIM7600G", true, "udhcpc", 1430, ""},
        {"no DHCP server answers", "SIM7600G", false, nullptr, 1430, ""},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string tools = g_dir + "/tools" + std::to_string(++n);
        fs::create_directory(tools);
        for (const char* tool : {"busybox", "ifconfig", "udhcpc", "pkill", "cat"}) {
            const bool procps = strcmp(tool, "pkill") == 0;
            if (c.missing == nullptr || strcmp(tool, c.missing) != 0) {
                fs::create_symlink(procps                     ? "/usr/bin/pkill"
                                   : strcmp(tool, "cat") == 0 ? "/bin/cat"
                                                              : "/bin/busybox",
                                   tools + "/" + tool);
            }
        }
        std::ofstream(g_dir + "/resolv.conf").flush();

        // The far end in a network namespace of its own: the pair is made
        // there and wwan0 handed over to ours.
        DaemonProcess server;
        const std::string far =
            "ip link add srv0 type veth peer name wwan0 && ip link set wwan0 netns " + std::to_string(getpid()) +
            " && ip addr add 10.77.0.1/24 dev srv0" + " && ip link set srv0 up && : > " + g_dir +
            "/leases && echo ready && exec " +
            (c.serverAnswers ? "busybox udhcpd -f -a 100 " + g_dir + "/udhcpd.conf" : std::string("sleep infinity"));
        ASSERT_TRUE(server.Start({"unshare", {}, "", {}, {"--net", "sh", "-c", far}})) << server.Error();
        ASSERT_TRUE(server.WaitForStdout("ready\n", 10s)) << server.Stderr();

        DaemonProcess modem;
        const std::string link = g_dir + "/ttyUSB2-" + std::to_string(n);
        ASSERT_TRUE(modem.Start({MODEMSIM_PATH, {}, "", {}, {"--model", c.model, "--link", link}})) << modem.Error();
        ASSERT_TRUE(modem.WaitForStdout("\n", 10s)) << modem.Stderr();

        RtosPeer peer;
        DaemonProcess daemon;
        ASSERT_TRUE(daemon.Start({SIM7100D_DEV_PATH,
                                  {},
                                  "",
                                  {{"PATH", tools},
                                   {"SIM7100D_DEVICE", link},
                                   {"SIM7100D_PORT", std::to_string(peer.Port())},
                                   {"SIM7100D_TRACE_FILE", g_dir + "/trace"},
                                   {"SIM7100D_TIME_SCALE", "0.1"}}}))
            << daemon.Error();
        // Whatever a failed check leaves behind would hold the daemon's output open.
        struct SSweep {
            ~SSweep() { (void)!system("pkill -KILL udhcpc; ip link del wwan0 2>/dev/null"); }
        } sweep;
        auto request = [&](uint32_t type) {
            EXPECT_TRUE(peer.SendFrame(type));
            auto r = peer.ReadResponse(20s);
            return r ? *r : RtosPeer::SResponse{};
        };
        ASSERT_TRUE(peer.AcceptRegistered(10s));
        ASSERT_EQ(request(SIM7100_MSG_POWER_ON).record.cmdStatus, SIM7100_STATUS_OK) << daemon.Stdout();

        if (c.serverAnswers) {
            const auto r = request(SIM7100_MSG_CONNECT);
            EXPECT_EQ(r.record.cmdStatus, SIM7100_STATUS_OK);
            EXPECT_EQ(r.Text(), kModuleAnswer);
            const SLink l = Wwan0();
            EXPECT_TRUE(l.up);
            EXPECT_EQ(l.mtu, c.mtu);
            EXPECT_EQ(l.address, c.address);
            const bool leased = *c.address != '\0';
            EXPECT_EQ(Output("ip -4 route show default"), leased ? "default via 10.77.0.1 dev wwan0 \n" : "");
            EXPECT_EQ(ReadFile(g_dir + "/resolv.conf").find("nameserver 10.77.0.53") != std::string::npos, leased);
            EXPECT_EQ(request(SIM7100_MSG_GET_CONNECTION_STATUS).record.cmdStatus, SIM7100_STATUS_CONNECTED);
            EXPECT_EQ(request(SIM7100_MSG_DISCONNECT).record.cmdStatus, SIM7100_STATUS_OK);
        } else {
            // udhcpc asks forever, and Connect waits for it: requests queue behind.
            ASSERT_TRUE(peer.SendFrame(SIM7100_MSG_CONNECT));
            ASSERT_TRUE(WaitUntil([] { return LiveUdhcpc() == 1; }, 10s)) << daemon.Stdout();
            EXPECT_EQ(Wwan0().mtu, c.mtu);
            ASSERT_TRUE(peer.SendFrame(SIM7100_MSG_GET_SIGNAL_QUALITY));
            EXPECT_FALSE(peer.ReadResponse(1s)) << "a response while Connect waits for udhcpc";
            const auto at = std::chrono::steady_clock::now();
            daemon.Signal(SIGTERM);
            EXPECT_EQ(ExitCode(daemon.WaitExit(5s)), 0);
            const auto took = std::chrono::steady_clock::now() - at;
            EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 1000);
            EXPECT_THAT(daemon.Stdout(), HasSubstr("SigHandler(): Terminated Signal: 15\n"));
            EXPECT_THAT(daemon.Stdout(), HasSubstr("Stand by Sim7100"));
        }
        EXPECT_FALSE(Wwan0().up);
        EXPECT_TRUE(WaitUntil([] { return LiveUdhcpc() == 0; }, 5s));
        if (HasFailure()) std::cout << "--- daemon ---\n" << daemon.Stdout() << daemon.Stderr() << "---\n";
    }
}

// Why the group cannot run here, or nothing when it can.
std::string Missing() {
    for (const char* file : {"/bin/busybox", "/usr/bin/pkill", "/etc/udhcpc/default.script", "/etc/resolv.conf"}) {
        if (access(file, F_OK) != 0) return std::string(file) + " is missing";
    }
    if (Output("busybox --list").find("udhcpd") == std::string::npos) return "this BusyBox has no udhcpd";
    if (unshare(CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWPID) != 0) {
        return std::string("no namespaces of our own (unshare: ") + strerror(errno) + ")";
    }
    return "";
}

// Inside the namespaces: our own /proc, loopback, and our own copies of the
// client's script and resolv.conf bound over the host's.
int RunInside() {
    mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr);
    (void)!system("ip link set lo up");
    g_dir = fs::temp_directory_path() / "sim7100-realnet-XXXXXX";
    if (mkdtemp(g_dir.data()) == nullptr) return 1;
    // The script as Debian ships it, without the calls that reach the host's
    // syslog and resolver state.
    std::string script = ReadFile("/etc/udhcpc/default.script");
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"logger ", ": "}, {"/sbin/resolvconf", "/nonexistent/resolvconf"}}) {
        for (size_t at = script.find(from); at != std::string::npos; at = script.find(from, at + to.size())) {
            script.replace(at, from.size(), to);
        }
    }
    std::ofstream(g_dir + "/default.script") << script;
    fs::permissions(g_dir + "/default.script", fs::perms::owner_all);
    std::ofstream(g_dir + "/resolv.conf").flush();
    std::ofstream(g_dir + "/udhcpd.conf") << "interface srv0\nstart 10.77.0.2\nend 10.77.0.2\n"
                                          << "lease_file " << g_dir << "/leases\npidfile " << g_dir << "/udhcpd.pid\n"
                                          << "opt router 10.77.0.1\nopt subnet 255.255.255.0\n"
                                          << "opt dns 10.77.0.53\nopt domain realnet.test\n";
    int status = 1;
    if (mount((g_dir + "/default.script").c_str(), "/etc/udhcpc/default.script", nullptr, MS_BIND, nullptr) == 0 &&
        mount((g_dir + "/resolv.conf").c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0) {
        status = RUN_ALL_TESTS();
    } else {
        perror("realnet: bind mount");
    }
    fs::remove_all(g_dir);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string missing = Missing();
    if (!missing.empty()) {
        printf("realnet: SKIPPED: %s\n", missing.c_str());
        return kSkipped;
    }
    // The first child is PID 1 of the new PID namespace; when it ends, the
    // kernel ends everything still running in there.
    const pid_t child = fork();
    if (child == 0) _exit(RunInside());
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
