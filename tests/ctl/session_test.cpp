// sim7100ctl as a process: against an in-test daemon that misbehaves on
// purpose, and against sim7100d-dev itself.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "sim7100_protocol.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

extern "C" char** environ;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

bool Readable(int fd, Clock::time_point deadline) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, MsLeft(deadline)) > 0;
}

// A fresh directory, removed with everything in it at the end.
class CTempDir {
public:
    CTempDir() {
        char pattern[] = "/tmp/ctl-test-XXXXXX";
        if (mkdtemp(pattern) != nullptr) m_path = pattern;
    }
    ~CTempDir() {
        if (!m_path.empty()) std::filesystem::remove_all(m_path);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

#ifndef SIM7100_EMULATOR
#define SIM7100_EMULATOR ""
#endif

// A cross build runs the target's binaries through the emulator.
std::vector<std::string> WithEmulator(const std::vector<std::string>& argv) {
    std::istringstream words(SIM7100_EMULATOR);
    std::vector<std::string> full;
    for (std::string w; words >> w;) full.push_back(w);
    full.insert(full.end(), argv.begin(), argv.end());
    return full;
}

// A child process: stdout into a file, stderr through a pipe we read.
class CChild {
public:
    CChild(const std::vector<std::string>& command, const std::vector<std::string>& extraEnv,
           const std::string& outPath) {
        const std::vector<std::string> argv = WithEmulator(command);
        int err[2];
        if (pipe2(err, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> env = extraEnv;
        for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);  // earlier entries win
        std::vector<char*> args, envp;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        for (const auto& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        args.push_back(nullptr);
        envp.push_back(nullptr);
        if (posix_spawnp(&m_pid, argv[0].c_str(), &actions, nullptr, args.data(), envp.data()) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(err[1]);
        m_err = err[0];
        m_pidfd = m_pid > 0 ? static_cast<int>(syscall(SYS_pidfd_open, m_pid, 0)) : -1;
    }
    ~CChild() {
        // SIGTERM first, so modemsim removes its link.
        if (m_pid > 0 && !m_reaped) {
            kill(m_pid, SIGTERM);
            if (Wait(Clock::now() + 5s) < 0) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, nullptr, 0);
            }
        }
        if (m_pidfd >= 0) close(m_pidfd);
        if (m_err >= 0) close(m_err);
    }

    // Reads stderr until `needle` shows up; false at the deadline or its end.
    bool WaitForErr(const std::string& needle, Clock::time_point deadline) {
        while (m_errText.find(needle) == std::string::npos) {
            if (!ReadErr(deadline)) return false;
        }
        return true;
    }
    // Exit status, or -1 when the deadline passed first.
    int Wait(Clock::time_point deadline) {
        if (m_pidfd < 0 || !Readable(m_pidfd, deadline)) return -1;
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_reaped = true;
        while (ReadErr(deadline)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    const std::string& Err() const { return m_errText; }

private:
    bool ReadErr(Clock::time_point deadline) {
        if (!Readable(m_err, deadline)) return false;
        char buffer[4096];
        const ssize_t n = read(m_err, buffer, sizeof buffer);
        if (n <= 0) return false;
        m_errText.append(buffer, static_cast<size_t>(n));
        return true;
    }

    pid_t m_pid = -1;
    int m_pidfd = -1;
    int m_err = -1;
    bool m_reaped = false;
    std::string m_errText;
};

// Starts sim7100ctl on a free port and reads back which one.
struct SCtl {
    SCtl(std::vector<std::string> args, const std::string& outPath) : out(outPath) {
        args.insert(args.begin(), {SIM7100CTL_PATH, "--port", "0"});
        child = std::make_unique<CChild>(args, std::vector<std::string>{}, out);
    }
    uint16_t Port() {
        const std::string marker = "listening on 127.0.0.1:";
        if (!child->WaitForErr(",", Clock::now() + 10s)) return 0;
        const size_t at = child->Err().find(marker);
        return at == std::string::npos ? 0 : static_cast<uint16_t>(atoi(child->Err().c_str() + at + marker.size()));
    }
    std::string out;
    std::unique_ptr<CChild> child;
};

bool WriteAll(int fd, const Bytes& bytes) {
    return send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool ReadAll(int fd, void* data, size_t size, Clock::time_point deadline) {
    size_t got = 0;
    while (got < size) {
        if (!Readable(fd, deadline)) return false;
        const ssize_t n = recv(fd, static_cast<uint8_t*>(data) + got, size - got, 0);
        if (n <= 0) return false;
        got += static_cast<size_t>(n);
    }
    return true;
}

Bytes Frame(uint32_t type, const Bytes& payload) {
    const Sim7100FrameHeader h{static_cast<uint32_t>(payload.size()), type};
    Bytes f(sizeof h + payload.size());
    memcpy(f.data(), &h, sizeof h);
    std::copy(payload.begin(), payload.end(), f.begin() + sizeof h);
    return f;
}

Bytes Record(int32_t status, int32_t code, const std::string& text) {
    SCmdResponseData r;
    memset(&r, 0, sizeof r);
    r.cmdStatus = status;
    r.errCode = code;
    memcpy(r.text, text.data(), text.size());
    return Bytes(reinterpret_cast<const uint8_t*>(&r), reinterpret_cast<const uint8_t*>(&r) + sizeof r);
}

enum class EReply { Answer, Silent, HangUp, WrongType };

struct SFakeCase {
    const char* name;
    std::vector<std::string> args;
    EReply reply;
    int32_t cmdStatus;
    int exitStatus;
    const char* stderrPart;
    std::vector<uint32_t> typesSeen;  // frames the daemon side received, in order
    Sim7100FrameHeader registration = {0, SIM7100_MSG_REGISTER};
};

// Plays the daemon: registers, then treats each request as the case says
// and records what arrives until sim7100ctl closes the link.
std::vector<std::pair<uint32_t, Bytes>> PlayDaemon(uint16_t port, const SFakeCase& c) {
    std::vector<std::pair<uint32_t, Bytes>> seen;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return seen;
    }
    Bytes registration(sizeof c.registration);
    memcpy(registration.data(), &c.registration, sizeof c.registration);
    WriteAll(fd, registration);
    const auto deadline = Clock::now() + 10s;
    Sim7100FrameHeader h{};
    while (ReadAll(fd, &h, sizeof h, deadline)) {
        Bytes payload(h.length);
        if (!ReadAll(fd, payload.data(), payload.size(), deadline)) break;
        seen.emplace_back(h.type, payload);
        if (h.type == SIM7100_MSG_TERMINATE) break;  // as the daemon does
        if (h.type < SIM7100_MSG_FIRST_REQUEST || h.type > SIM7100_MSG_LAST_REQUEST) continue;
        if (c.reply == EReply::HangUp) break;
        if (c.reply == EReply::Answer) WriteAll(fd, Frame(h.type, Record(c.cmdStatus, 0, "50% done\r\nOK\r\n")));
        if (c.reply == EReply::WrongType) WriteAll(fd, Frame(h.type + 1, Record(1, 0, "")));
    }
    close(fd);
    return seen;
}

TEST(ctl_session, AgainstAMisbehavingDaemon) {
    const SFakeCase cases[] = {
        {"answered", {"signal", "raw", "AT"}, EReply::Answer, 1, 0, "terminate sent", {20, 25, 2}},
        {"failure is not an error", {"signal"}, EReply::Answer, 2, 0, "terminate sent", {20, 2}},
        {"strict failure", {"--strict", "signal", "chip-type"}, EReply::Answer, 2, 4, "terminate sent", {20, 14, 2}},
        {"keep open", {"--keep-open", "signal"}, EReply::Answer, 1, 0, "exits with status 1", {20}},
        {"silent", {"--timeout", "0.3", "signal", "firmware"}, EReply::Silent, 1, 1,
         "no response to 'signal' (type 20) within 0.3 s", {20, 2}},
        {"hang-up", {"signal", "firmware"}, EReply::HangUp, 1, 1, "closed the link while 'signal' (type 20)", {20}},
        {"wrong type", {"signal", "firmware"}, EReply::WrongType, 1, 1, "does not belong to 'signal'", {20, 2}},
        {"unanswered types", {"frame", "99", "0a0b", "frame", "1", "signal"}, EReply::Answer, 1, 0, "terminate sent",
         {99, 1, 20, 2}},
        {"own terminate", {"signal", "terminate"}, EReply::Answer, 1, 0, "the daemon closed the link", {20, 2}},
        {"bad registration", {"signal"}, EReply::Answer, 1, 3, "expected the registration frame", {}, {0, 3}},
        {"registration with payload", {"signal"}, EReply::Answer, 1, 3, "got {length 4, type 1}", {}, {4, 1}},
    };
    const CTempDir temp;
    const std::string dir = temp.Path();
    for (const SFakeCase& c : cases) {
        SCtl ctl(c.args, dir + "/out.txt");
        const uint16_t port = ctl.Port();
        ASSERT_NE(port, 0) << c.name << ": " << ctl.child->Err();
        const auto seen = PlayDaemon(port, c);
        const int status = ctl.child->Wait(Clock::now() + 20s);
        EXPECT_EQ(status, c.exitStatus) << c.name << ": " << ctl.child->Err();
        EXPECT_NE(ctl.child->Err().find(c.stderrPart), std::string::npos) << c.name << ": " << ctl.child->Err();
        std::vector<uint32_t> types;
        for (const auto& f : seen) types.push_back(f.first);
        EXPECT_EQ(types, c.typesSeen) << c.name;
        if (!seen.empty() && seen[0].first == 99) {
            EXPECT_EQ(seen[0].second, (Bytes{0x0a, 0x0b}));
        }
        if (c.reply == EReply::Answer && c.exitStatus == 0 && !c.typesSeen.empty() && c.typesSeen[0] == 20) {
            EXPECT_NE(ReadFile(ctl.out).find("  text      | 50% done\n            | OK\n"), std::string::npos)
                << c.name;
        }
    }
}

TEST(ctl_session, GivesUpWithoutADaemon) {
    const CTempDir temp;
    const std::string dir = temp.Path();
    SCtl ctl({"--connect-timeout", "0.3", "signal"}, dir + "/out.txt");
    EXPECT_EQ(ctl.child->Wait(Clock::now() + 10s), 3);
    EXPECT_NE(ctl.child->Err().find("no daemon connected within 0.3 s"), std::string::npos) << ctl.child->Err();
}

TEST(ctl_session, RefusesBeforeListening) {
    const CTempDir temp;
    const std::string dir = temp.Path();
    SCtl ctl({"signal", "write-sms", "12345678901234567", "hi"}, dir + "/out.txt");
    EXPECT_EQ(ctl.child->Wait(Clock::now() + 10s), 2);
    EXPECT_NE(ctl.child->Err().find("PHONE must be 1 to 15 digits"), std::string::npos) << ctl.child->Err();
    EXPECT_EQ(ctl.child->Err().find("listening"), std::string::npos);
}

TEST(ctl_session, DrivesTheDaemon) {
#ifndef MODEMSIM_PATH
    GTEST_SKIP() << "modemsim is not built";
#else
    const CTempDir temp;
    const std::string dir = temp.Path();
    CChild module({MODEMSIM_PATH, "--model", "SIM7600G", "--link", dir + "/modem", "--log", dir + "/traffic.txt"}, {},
                  dir + "/modemsim.txt");
    ASSERT_TRUE(module.WaitForErr("linked from", Clock::now() + 10s)) << module.Err();
    {
        std::ofstream script(dir + "/script.txt");
        script << "# before the port is open\n"
                  "debug\n"
                  "power-on\n"
                  "signal chip-type\n"
                  "raw 'AT+CSQ'\n"
                  "set-apn internet\n"
                  "frame 9\n"
                  "debug\n";
    }
    SCtl ctl({"--json", "--script", dir + "/script.txt"}, dir + "/out.json");
    const uint16_t port = ctl.Port();
    ASSERT_NE(port, 0) << ctl.child->Err();
    CChild daemon({SIM7100D_DEV_PATH},
                  {"SIM7100D_PORT=" + std::to_string(port), "SIM7100D_DEVICE=" + dir + "/modem",
                   "SIM7100D_TRACE_FILE=" + dir + "/trace.txt", "SIM7100D_TIME_SCALE=0.01"},
                  dir + "/daemon.txt");
    EXPECT_EQ(ctl.child->Wait(Clock::now() + 60s), 0) << ctl.child->Err();
    EXPECT_EQ(daemon.Wait(Clock::now() + 20s), 0) << ReadFile(dir + "/daemon.txt") << daemon.Err();

    struct SExpected {
        uint32_t type;
        int32_t cmdStatus;
        int32_t errCode;
        const char* textPart;
    };
    const SExpected expected[] = {
        {25, 1, 0, "DEBUG MODE 1"}, {3, 1, 0, ""},
        {20, 1, 23, "+CSQ: 23,99"}, {14, 9, 2, "SIM7600G"},
        {25, 1, 0, "+CSQ: 23,99"},  {9, 1, 0, "OK"},
        {9, 2, -2, "Invalid request payload"}, {25, 1, 0, "DEBUG MODE 0"},
    };
    std::istringstream lines(ReadFile(dir + "/out.json"));
    std::string line;
    size_t i = 0;
    for (; std::getline(lines, line); ++i) {
        ASSERT_LT(i, std::size(expected)) << line;
        const nlohmann::json j = nlohmann::json::parse(line);
        EXPECT_EQ(j["type"], expected[i].type) << line;
        EXPECT_EQ(j["cmdStatus"], expected[i].cmdStatus) << line;
        EXPECT_EQ(j["errCode"], expected[i].errCode) << line;
        EXPECT_NE(j["text"].get<std::string>().find(expected[i].textPart), std::string::npos) << line;
    }
    EXPECT_EQ(i, std::size(expected));
    EXPECT_NE(ReadFile(dir + "/traffic.txt").find("AT+CGDCONT=1,\"IP\",\"internet\""), std::string::npos);
    EXPECT_NE(ReadFile(dir + "/trace.txt").find("AT+CSQ"), std::string::npos);
#endif
}

}  // namespace
