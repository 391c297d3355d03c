// sim7100d-dev's data path, its module scripted, against the board's real
// tools: BusyBox's ifconfig and udhcpc, procps' pkill and cat, on a veth pair
// whose far end (far-end) has BusyBox's DHCP server.  Everything runs in network, mount and PID
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

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "daemon_rig.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using sim7100test::Rig;

const int kSkipped = 77;
std::string g_dir;  // this run's folder: the DHCP client's script and resolv.conf

// True while udhcpc runs (we are PID 1 and reap none: its zombie does not count).
bool Udhcpc() { return system("pgrep -x -r D,R,S udhcpc >/dev/null") == 0; }

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
    std::string missing;  // a tool left off PATH
    int mtu;              // wwan0's once Connect has run its commands
    const char* address;  // leased, or none
};

TEST(RealNet, ConnectAndDisconnectWithTheRealTools) {
    const SCase cases[] = {
        {"SIM7600G: MTU 1430 and a lease", "SIM7600G", true, "", 1430, "10.77.0.2"},
        {"SIM7100E: the MTU left as it was", "SIM7100E", true, "", 1500, "10.77.0.2"},
        {"udhcpc missing from PATH", "SIM7600G", true, "udhcpc", 1430, ""},
        {"no DHCP server answers", "SIM7600G", false, "", 1430, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        const std::string tools = rig.dir + "/bin";
        fs::create_directory(tools);
        const std::map<std::string, std::string> kTools = {{"busybox", "/bin/busybox"},
                                                           {"ifconfig", "/bin/busybox"},
                                                           {"udhcpc", "/bin/busybox"},
                                                           {"pkill", "/usr/bin/pkill"},
                                                           {"cat", "/bin/cat"}};
        for (const auto& [tool, target] : kTools) {
            if (tool != c.missing) fs::create_symlink(target, tools + "/" + tool);
        }
        std::ofstream(g_dir + "/resolv.conf").flush();
        unlink((g_dir + "/deconfigured").c_str());
        DaemonProcess server;
        const std::vector<std::string> args = {"1", rig.dir, c.serverAnswers ? "" : "silent"};  // we are PID 1
        ASSERT_TRUE(server.Start({FAR_END, {}, "", {}, args})) << server.Error();
        ASSERT_TRUE(server.WaitForStdout("ready\n", 10s)) << server.Stderr();
        // Whatever a failed check leaves behind would hold the daemon's output open.
        struct SSweep {
            ~SSweep() { (void)!system("pkill -KILL udhcpc; ip link del wwan0 2>/dev/null"); }
        } sweep;
        rig.modem.On("AT+CGMM\r\n", "\r\nSIMCOM_" + std::string(c.model) + "\r\n\r\nOK\r\n");
        rig.modem.On("AT$QCRMCALL=1,1\r\n", "\r\nOK\r\n");
        rig.modem.On("AT$QCRMCALL=0,1\r\n", "\r\nOK\r\n");
        // Exchange budgets of 2 s: the real tools load the machine too.
        ASSERT_NO_FATAL_FAILURE(rig.StartPowered({{"PATH", tools}, {"SIM7100D_TIME_SCALE", "0.1"}}));

        ASSERT_TRUE(rig.peer.SendFrame(SIM7100_MSG_CONNECT));
        if (c.serverAnswers) {
            const auto r = rig.peer.ReadResponse(20s);  // the lease, on a busy host
            EXPECT_EQ(r ? r->record.cmdStatus : 0, SIM7100_STATUS_OK);
            const SLink l = Wwan0();
            EXPECT_TRUE(l.up);
            EXPECT_EQ(l.mtu, c.mtu);
            EXPECT_EQ(l.address, c.address);
            const bool leased = *c.address != '\0';
            EXPECT_EQ(system("ip -4 route show default | grep -q '^default via 10.77.0.1 dev wwan0 '") == 0, leased);
            EXPECT_EQ(ReadFile(g_dir + "/resolv.conf").find("nameserver 10.77.0.53") != std::string::npos, leased);
            rig.modem.On("AT$QCRMCALL?\r\n", "\r\n$QCRMCALL: 1, V4\r\n\r\nOK\r\n");
            EXPECT_EQ(rig.Request(SIM7100_MSG_GET_CONNECTION_STATUS).record.cmdStatus, 3);  // connected
            EXPECT_EQ(rig.Request(SIM7100_MSG_DISCONNECT).record.cmdStatus, SIM7100_STATUS_OK);
        } else {
            // udhcpc asks forever, and Connect waits for it; SIGTERM must not.
            // Its script first sets wwan0 up: only after that can StandBy's
            // take it down for good.
            ASSERT_TRUE(WaitUntil([] { return access((g_dir + "/deconfigured").c_str(), F_OK) == 0; }, 10s));
            EXPECT_EQ(Wwan0().mtu, c.mtu);
            rig.daemon.Signal(SIGTERM);
            EXPECT_EQ(ExitCode(rig.daemon.WaitExit(5s)), 0);
        }
        EXPECT_FALSE(Wwan0().up);
        EXPECT_TRUE(WaitUntil([] { return !Udhcpc(); }, 5s));
    }
}

// Why the group cannot run here, or nothing when it can.
std::string Missing() {
    for (const char* file : {"/bin/busybox", "/usr/bin/pkill", "/etc/udhcpc/default.script", "/etc/resolv.conf"}) {
        if (access(file, F_OK) != 0) return std::string(file) + " is missing";
    }
    if (system("busybox --list | grep -qx udhcpd") != 0) return "this BusyBox has no udhcpd";
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
    const STempDir dir;
    g_dir = dir.path;
    // The script as Debian ships it, without the calls that reach the host's
    // syslog and resolver state, telling us when it has deconfigured wwan0.
    const std::string script = g_dir + "/default.script";
    const std::string edit =
        "sed -e 's/logger /: /' -e 's|/sbin/resolvconf|/nonexistent/resolvconf|' -e '/log notice "
        "\"deconfigured\"/i : >" +
        g_dir + "/deconfigured' ";
    if (system((edit + "/etc/udhcpc/default.script >" + script + " && chmod 700 " + script).c_str()) != 0) return 1;
    std::ofstream(g_dir + "/resolv.conf").flush();
    int status = 1;
    if (mount(script.c_str(), "/etc/udhcpc/default.script", nullptr, MS_BIND, nullptr) == 0 &&
        mount((g_dir + "/resolv.conf").c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) == 0) {
        status = RUN_ALL_TESTS();
    } else {
        perror("realnet: bind mount");
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    const std::string missing = Missing();
    if (!missing.empty()) return ReportCannotRun("realnet", missing) ? 1 : kSkipped;
    // The first child is PID 1 of the new PID namespace; when it ends, the
    // kernel ends everything still running in there.
    const pid_t child = fork();
    if (child == 0) _exit(RunInside());
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
