// sim7100ctl as a process: against an in-test daemon that misbehaves on
// purpose, and one session against sim7100d-dev itself.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "daemon_process.h"
#include "frame_codec.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// A child process (through the emulator in a cross build) and its output.
struct SChild : DaemonProcess {
    SChild(const std::string& binary, std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
        if (!Start({binary, SIM7100_E2E_EMULATOR, "", std::move(env), std::move(args)})) ADD_FAILURE() << Error();
    }
    int Exit(std::chrono::seconds deadline) { return ExitCode(WaitExit(deadline)); }
    // The port sim7100ctl reports after "--port 0"; 0 when it does not listen.
    uint16_t Port() const {
        const std::string marker = "listening on 127.0.0.1:";
        if (!WaitForStderr(", waiting ", 10s)) return 0;
        const std::string err = Stderr();
        const size_t at = err.find(marker);
        return at == std::string::npos ? 0 : static_cast<uint16_t>(atoi(err.c_str() + at + marker.size()));
    }
};

enum class EPeer { Absent, Silent, HangUp };

TEST(ctl_session, AgainstAFaultyPeer) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        EPeer peer;
        int exitStatus;
        const char* stderrPart;
        std::vector<uint32_t> typesSeen;  // frames the daemon side received, in order
        uint32_t registration = SIM7100_MSG_REGISTER;
    } cases[] = {
        {"silent", {"--timeout", "0.3", "signal", "firmware"}, EPeer::Silent, 1, "(type 20) within 0.3 s", {20, 2}},
        // The first request is answered and shown, the second meets the hang-up.
        {"hang-up", {"signal", "firmware"}, EPeer::HangUp, 1, "closed the link while 'firmware' (type 24)", {20, 24}},
        {"bad registration", {"signal"}, EPeer::Silent, 3, "expected the registration frame", {}, 3},
        {"no daemon", {"--connect-timeout", "0.3", "signal"}, EPeer::Absent, 3, "no daemon connected within 0.3 s", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"--port", "0"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SChild ctl(SIM7100CTL_PATH, args);
        std::vector<uint32_t> seen;
        if (c.peer != EPeer::Absent) {
            const uint16_t port = ctl.Port();
            ASSERT_NE(port, 0) << ctl.Stderr();
            // Plays the daemon: registers, then reads requests (a deadline on each read) until terminate.
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const timeval deadline{10, 0};
            setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
            const sockaddr_in addr{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
            ASSERT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
            const std::string registration = sim7100::EncodeFrame(c.registration);
            send(fd, registration.data(), registration.size(), MSG_NOSIGNAL);
            // The requests here carry no payload.
            for (Sim7100FrameHeader h{}; recv(fd, &h, sizeof h, MSG_WAITALL) == static_cast<ssize_t>(sizeof h);) {
                seen.push_back(h.type);
                if (h.type == SIM7100_MSG_TERMINATE || (c.peer == EPeer::HangUp && seen.size() > 1)) break;
                if (c.peer == EPeer::Silent) continue;
                const std::string reply = sim7100::EncodeResponse(h.type, {1, 0, "50% done\r\nOK\r\n"});
                send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
            close(fd);
        }
        EXPECT_EQ(ctl.Exit(20s), c.exitStatus) << ctl.Stderr();
        EXPECT_NE(ctl.Stderr().find(c.stderrPart), std::string::npos) << ctl.Stderr();
        EXPECT_EQ(seen, c.typesSeen);
        if (c.peer == EPeer::HangUp) {
            EXPECT_NE(ctl.Stdout().find("  text      | 50% done\n            | OK\n"), std::string::npos)
                << ctl.Stdout();
        }
    }
}

TEST(ctl_session, DrivesTheDaemon) {
#ifndef MODEMSIM_PATH
    SIM7100_SKIP_OR_FAIL("ctl", "modemsim is not built");
#else
    const STempDir temp;
    const std::string dir = temp.path;
    SChild module(MODEMSIM_PATH, {"--model", "SIM7600G", "--link", dir + "/modem"});
    ASSERT_TRUE(module.WaitForStderr("linked from", 10s)) << module.Stderr();
    std::ofstream(dir + "/script.txt")
        << "# before the port is open\npower-on\nsignal\nraw 'AT+CSQ'\nset-apn internet\nframe 9\n";
    SChild ctl(SIM7100CTL_PATH, {"--port", "0", "--json", "--strict", "--script", dir + "/script.txt"});
    const uint16_t port = ctl.Port();
    ASSERT_NE(port, 0) << ctl.Stderr();
    SChild daemon(SIM7100_E2E_DAEMON_DEV, {},
                  {{"SIM7100D_PORT", std::to_string(port)},
                   {"SIM7100D_DEVICE", dir + "/modem"},
                   {"SIM7100D_TRACE_FILE", dir + "/trace.txt"},
                   {"SIM7100D_TIME_SCALE", "0.01"}});
    EXPECT_EQ(ctl.Exit(60s), 4) << ctl.Stderr();  // --strict: the refused frame failed
    EXPECT_EQ(daemon.Exit(20s), 0) << daemon.Stdout() << daemon.Stderr();

    std::istringstream lines(ctl.Stdout());
    std::vector<std::string> got;  // "type cmdStatus" of each response, a JSON object a line
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json j = nlohmann::json::parse(line);
        got.push_back(j["type"].dump() + " " + j["cmdStatus"].dump());
    }
    EXPECT_EQ(got, (std::vector<std::string>{"3 1", "20 1", "25 1", "9 1", "9 2"})) << ctl.Stdout();
#endif
}

}  // namespace
