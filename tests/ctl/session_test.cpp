// sim7100ctl as a process: against an in-test daemon that misbehaves on
// purpose, and one session against sim7100d-dev itself.
#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "daemon_process.h"
#include "rtos_peer.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// The port sim7100ctl reports after "--port 0"; 0 when it does not listen.
uint16_t PortIn(const std::string& text) {
    const std::string marker = "listening on 127.0.0.1:";
    const size_t at = text.find(marker);
    return at == std::string::npos ? 0 : static_cast<uint16_t>(atoi(text.c_str() + at + marker.size()));
}

// A child process (through the emulator in a cross build) and its output.
struct SChild : DaemonProcess {
    SChild(const std::string& binary, std::vector<std::string> args, std::map<std::string, std::string> env = {},
           const std::string& emulator = SIM7100_E2E_EMULATOR) {
        if (!Start({binary, emulator, "", std::move(env), std::move(args)})) ADD_FAILURE() << Error();
    }
    int Exit(std::chrono::seconds deadline) { return ExitCode(WaitExit(deadline)); }
    uint16_t Port() const { return WaitForStderr(", waiting ", 10s) ? PortIn(Stderr()) : 0; }
};

// Plays the daemon: connects, registers, then reads requests and answers
// them; every read has a deadline.
struct SFakeDaemon {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int32_t status = 1;  // of every answer

    explicit SFakeDaemon(uint16_t port, uint32_t registration = SIM7100_MSG_REGISTER) {
        const timeval deadline{10, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &deadline, sizeof deadline);
        const sockaddr_in addr{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
        if (connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) ADD_FAILURE() << "connect";
        Send(RtosPeer::Frame(registration));
    }
    ~SFakeDaemon() { Close(); }
    void Close() {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    SFakeDaemon(const SFakeDaemon&) = delete;
    SFakeDaemon& operator=(const SFakeDaemon&) = delete;

    // The next request's type; 0 when the link ends or the deadline passes.
    uint32_t Next() {
        Sim7100FrameHeader h{};
        if (recv(fd, &h, sizeof h, MSG_WAITALL) != static_cast<ssize_t>(sizeof h)) return 0;
        std::string payload(h.length, '\0');
        if (h.length > 0 && recv(fd, payload.data(), h.length, MSG_WAITALL) != static_cast<ssize_t>(h.length)) return 0;
        return h.type;
    }
    void Answer(uint32_t type) { Send(RtosPeer::Frame(type, SCmdResponseData{status, 0, "50% done\r\nOK\r\n"})); }
    void Send(const std::string& frame) const { send(fd, frame.data(), frame.size(), MSG_NOSIGNAL); }
};

// sim7100ctl reading what the test writes to a fifo, which it holds open so
// the input never ends by itself; with `terminal`, on a terminal of its own
// through script(1), whose standard output is then the screen.
struct SFedCtl {
    const STempDir temp;
    const std::string fifo = std::string(temp.path) + "/in";
    const int feed = mkfifo(fifo.c_str(), 0600) == 0 ? open(fifo.c_str(), O_RDWR | O_CLOEXEC) : -1;
    SChild ctl;

    SFedCtl(const std::string& args, bool terminal = false)
        : ctl("/bin/sh", {"-c", Command(args, terminal) + " <" + fifo}, {{"TERM", "xterm"}}, "") {}
    ~SFedCtl() { close(feed); }
    static std::string Command(const std::string& args, bool terminal) {
        const std::string run = SIM7100_E2E_EMULATOR " " SIM7100CTL_PATH " " + args;
        return terminal ? "exec script -qfec '" + run + "' /dev/null" : "exec " + run;
    }
    void Write(const std::string& text) const {
        ASSERT_EQ(write(feed, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
};

void ExpectRequests(SFakeDaemon& daemon, std::vector<uint32_t> types, bool answer = true) {
    for (uint32_t type : types) {
        const uint32_t seen = daemon.Next();
        ASSERT_EQ(seen, type);
        if (seen == SIM7100_MSG_TERMINATE) daemon.Close();
        if (answer && seen != SIM7100_MSG_TERMINATE) daemon.Answer(seen);
    }
}

// Two keys' values of each JSON object line, as [[a, b], ...].
nlohmann::json JsonPairs(const std::string& out, const char* a, const char* b) {
    std::istringstream lines(out);
    nlohmann::json got = nlohmann::json::array();
    for (std::string line; std::getline(lines, line);) {
        const nlohmann::json j = nlohmann::json::parse(line);
        got.push_back(nlohmann::json::array({j[a], j[b]}));
    }
    return got;
}

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
            SFakeDaemon daemon(port, c.registration);
            for (uint32_t type; (type = daemon.Next()) != 0;) {
                seen.push_back(type);
                if (type == SIM7100_MSG_TERMINATE || (c.peer == EPeer::HangUp && seen.size() > 1)) break;
                if (c.peer != EPeer::Silent) daemon.Answer(type);
            }
        }
        EXPECT_EQ(ctl.Exit(20s), c.exitStatus) << ctl.Stderr();
        EXPECT_NE(ctl.Stderr().find(c.stderrPart), std::string::npos) << ctl.Stderr();
        EXPECT_EQ(seen, c.typesSeen);
        // The answer that came before the hang-up is shown.
        EXPECT_EQ(DaemonProcess::Count(ctl.Stdout(), "50% done"), c.peer == EPeer::HangUp ? 1u : 0u) << ctl.Stdout();
    }
}

// A script through a pipe runs line by line while the pipe stays open; what
// sim7100ctl splits is said before it goes out; a time-out is a JSON object.
TEST(ctl_session, TakesPipedLinesAsTheyCome) {
    // Only the last request times out; 3 s leaves the answered ones room on a loaded machine.
    SFedCtl fed("--port 0 --json --timeout 3");
    SChild& ctl = fed.ctl;
    const uint16_t port = ctl.Port();
    ASSERT_NE(port, 0) << ctl.Stderr();
    SFakeDaemon daemon(port);
    fed.Write("signal\n");
    ExpectRequests(daemon, {SIM7100_MSG_GET_SIGNAL_QUALITY});
    fed.Write("raw AT+CSQ; signal\n");
    ExpectRequests(daemon, {SIM7100_MSG_RAW_COMMAND});
    EXPECT_TRUE(ctl.WaitForStderr("'raw AT+CSQ;': sends 'AT+CSQ;' alone", 10s)) << ctl.Stderr();
    ExpectRequests(daemon, {SIM7100_MSG_GET_SIGNAL_QUALITY});
    fed.Write("firmware\n");
    ExpectRequests(daemon, {SIM7100_MSG_GET_FIRMWARE_VERSION, SIM7100_MSG_TERMINATE}, false);
    EXPECT_EQ(ctl.Exit(20s), 1) << ctl.Stderr();

    EXPECT_EQ(JsonPairs(ctl.Stdout(), "type", "status"), R"([[20,"ok"],[25,"ok"],[20,"ok"],[24,"timeout"]])"_json)
        << ctl.Stdout();
}

// The prompt on a terminal of the test's own: a typo rubbed out, the last
// line again from the history, quit.
TEST(ctl_session, PromptEditsAndRecalls) {
    SFedCtl fed("--port 0", true);
    SChild& ctl = fed.ctl;
    ASSERT_TRUE(ctl.WaitForStdout(", waiting", 10s)) << ctl.Stdout();
    SFakeDaemon daemon(PortIn(ctl.Stdout()));
    daemon.status = SIM7100_STATUS_FAILED;  // status 4 is --strict's alone
    const auto type = [&](const std::string& keys, size_t prompts) {
        ASSERT_TRUE(ctl.WaitForStdout("sim7100ctl> ", 10s, prompts)) << ctl.Stdout();
        fed.Write(keys);
    };
    type("sigx\x7fnal\r", 1);
    ExpectRequests(daemon, {SIM7100_MSG_GET_SIGNAL_QUALITY});
    type("\x1b[A\r", 2);
    ExpectRequests(daemon, {SIM7100_MSG_GET_SIGNAL_QUALITY});
    type("quit\r", 3);
    ExpectRequests(daemon, {SIM7100_MSG_TERMINATE});
    EXPECT_EQ(ctl.Exit(20s), 0) << ctl.Stdout();
    EXPECT_EQ(DaemonProcess::Count(ctl.Stdout(), "GetSignalQuality"), 2u) << ctl.Stdout();
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

    EXPECT_EQ(JsonPairs(ctl.Stdout(), "type", "cmdStatus"), "[[3,1],[20,1],[25,1],[9,1],[9,2]]"_json) << ctl.Stdout();
#endif
}

}  // namespace
