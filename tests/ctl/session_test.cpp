// sim7100ctl as a process: against an in-test daemon that misbehaves on
// purpose, and against sim7100d-dev itself.
#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "daemon_process.h"
#include "frame_codec.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

#ifndef SIM7100_EMULATOR
#define SIM7100_EMULATOR ""
#endif

bool Readable(int fd, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, left < 0 ? 0 : static_cast<int>(left)) > 0;
}

// A child process (through the emulator in a cross build) and its output.
struct SChild : DaemonProcess {
    SChild(const std::string& binary, std::vector<std::string> args, std::map<std::string, std::string> env = {}) {
        std::istringstream emulator(SIM7100_EMULATOR);
        const std::vector<std::string> words(std::istream_iterator<std::string>(emulator), {});
        if (!Start({binary, words, "", std::move(env), std::move(args)})) ADD_FAILURE() << Error();
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

bool ReadAll(int fd, void* data, size_t size, Clock::time_point deadline) {
    for (size_t got = 0, n = 0; got < size; got += n) {
        const ssize_t r = Readable(fd, deadline) ? recv(fd, static_cast<uint8_t*>(data) + got, size - got, 0) : 0;
        if (r <= 0) return false;
        n = static_cast<size_t>(r);
    }
    return true;
}

enum class EPeer { Absent, Answer, Silent, HangUp };

TEST(ctl_session, AgainstAFaultyPeer) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        EPeer peer;
        int32_t cmdStatus;
        int exitStatus;
        const char* stderrPart;
        std::vector<uint32_t> typesSeen;  // frames the daemon side received, in order
        Sim7100FrameHeader registration = {0, SIM7100_MSG_REGISTER};
    } cases[] = {
        {"answered", {"signal", "raw", "AT"}, EPeer::Answer, 1, 0, "terminate sent", {20, 25, 2}},
        {"strict failure", {"--strict", "signal", "chip-type"}, EPeer::Answer, 2, 4, "terminate sent", {20, 14, 2}},
        {"silent",
         {"--timeout", "0.3", "signal", "firmware"},
         EPeer::Silent,
         1,
         1,
         "no response to 'signal' (type 20) within 0.3 s",
         {20, 2}},
        {"hang-up", {"signal", "firmware"}, EPeer::HangUp, 1, 1, "closed the link while 'signal' (type 20)", {20}},
        {"bad registration", {"signal"}, EPeer::Answer, 1, 3, "expected the registration frame", {}, {0, 3}},
        {"no daemon",
         {"--connect-timeout", "0.3", "signal"},
         EPeer::Absent,
         1,
         3,
         "no daemon connected within 0.3 s",
         {}},
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
            // Plays the daemon: registers, then treats each request as the case says.
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in addr{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
            ASSERT_EQ(connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
            const std::string registration =
                sim7100::EncodeFrame(c.registration.type, std::string(c.registration.length, '\0'));
            send(fd, registration.data(), registration.size(), MSG_NOSIGNAL);
            const auto deadline = Clock::now() + 10s;
            Sim7100FrameHeader h{};
            while (ReadAll(fd, &h, sizeof h, deadline)) {
                Bytes payload(h.length);
                if (!ReadAll(fd, payload.data(), payload.size(), deadline)) break;
                seen.push_back(h.type);
                if (h.type == SIM7100_MSG_TERMINATE || c.peer == EPeer::HangUp) break;
                if (h.type < SIM7100_MSG_FIRST_REQUEST || h.type > SIM7100_MSG_LAST_REQUEST || c.peer == EPeer::Silent)
                    continue;
                const std::string reply = sim7100::EncodeResponse(h.type, {c.cmdStatus, 0, "50% done\r\nOK\r\n"});
                send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
            close(fd);
        }
        EXPECT_EQ(ctl.Exit(20s), c.exitStatus) << ctl.Stderr();
        const std::string err = ctl.Stderr(), shown = ctl.Stdout();
        EXPECT_NE(err.find(c.stderrPart), std::string::npos) << err;
        EXPECT_EQ(seen, c.typesSeen);
        EXPECT_TRUE(c.peer != EPeer::Answer || c.exitStatus != 0 || seen[0] != 20 ||
                    shown.find("  text      | 50% done\n            | OK\n") != std::string::npos)
            << shown;
    }
}

TEST(ctl_session, DrivesTheDaemon) {
#ifndef MODEMSIM_PATH
    GTEST_SKIP() << "modemsim is not built";
#else
    const STempDir temp;
    const std::string dir = temp.path;
    SChild module(MODEMSIM_PATH, {"--model", "SIM7600G", "--link", dir + "/modem", "--log", dir + "/traffic.txt"});
    ASSERT_TRUE(module.WaitForStderr("linked from", 10s)) << module.Stderr();
    std::ofstream(dir + "/script.txt") << "# before the port is open\ndebug\npower-on\nsignal chip-type\n"
                                          "raw 'AT+CSQ'\nset-apn internet\nframe 9\ndebug\n";
    SChild ctl(SIM7100CTL_PATH, {"--port", "0", "--json", "--script", dir + "/script.txt"});
    const uint16_t port = ctl.Port();
    ASSERT_NE(port, 0) << ctl.Stderr();
    SChild daemon(SIM7100D_DEV_PATH, {},
                  {{"SIM7100D_PORT", std::to_string(port)},
                   {"SIM7100D_DEVICE", dir + "/modem"},
                   {"SIM7100D_TRACE_FILE", dir + "/trace.txt"},
                   {"SIM7100D_TIME_SCALE", "0.01"}});
    EXPECT_EQ(ctl.Exit(60s), 0) << ctl.Stderr();
    EXPECT_EQ(daemon.Exit(20s), 0) << daemon.Stdout() << daemon.Stderr();

    std::istringstream lines(ctl.Stdout());
    std::vector<std::string> got;  // "type cmdStatus errCode text" of each response
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json j = nlohmann::json::parse(line);
        got.push_back(j["type"].dump() + " " + j["cmdStatus"].dump() + " " + j["errCode"].dump() + " " +
                      j["text"].get<std::string>());
    }
    auto R = [](const char* start, const char* part) {
        return testing::AllOf(testing::StartsWith(start), testing::HasSubstr(part));
    };
    EXPECT_THAT(got, testing::ElementsAre(R("25 1 0 ", "DEBUG MODE 1"), R("3 1 0 ", ""), R("20 1 23 ", "+CSQ: 23,99"),
                                          R("14 9 2 ", "SIM7600G"), R("25 1 0 ", "+CSQ: 23,99"), R("9 1 0 ", "OK"),
                                          R("9 2 -2 ", "Invalid request payload"), R("25 1 0 ", "DEBUG MODE 0")));
    EXPECT_NE(ReadFile(dir + "/traffic.txt").find("AT+CGDCONT=1,\"IP\",\"internet\""), std::string::npos);
    EXPECT_NE(ReadFile(dir + "/trace.txt").find("AT+CSQ"), std::string::npos);
#endif
}

}  // namespace
