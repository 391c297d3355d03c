// Every operation's reading of module answers, end to end: a CSim7100Impl
// whose port is a pty, answered by a thread that gives each command the next
// slice of the input.  The modem is powered on (two fixed "OK" answers), then
// one request runs through Dispatch with a fuzzed payload; the modem object is
// destroyed afterwards, so StandBy runs too.
//
// Input: the request (first byte, 3 + byte % 36), then parts separated by
// 0xFF: the payload (given to Dispatch as OnIpcMessage would), then one
// answer per command.  Within an answer, 0xFE separates pieces; each piece is
// written once the previous one has been read, so the exchange sees them as
// separate reads.  An empty answer is silence; commands beyond the input get
// "\r\nERROR\r\n".  Shell commands go to a no-op.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "dispatch.h"
#include "fuzz_support.h"
#include "pty_port.h"
#include "sim7100.h"

namespace {

constexpr char kPartEnd = '\xff';
constexpr char kPieceEnd = '\xfe';

struct SRig {
    PtyPort pty;
    int slave = -1;  // our own view of the port's input queue
    int stop[2] = {-1, -1};
    std::string traceFile;
};

SRig& Rig() {
    static SRig* rig = [] {
        auto* r = new SRig;
        FUZZ_REQUIRE(r->pty.Open());
        r->slave = open(r->pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        FUZZ_REQUIRE(r->slave >= 0);
        fcntl(r->pty.MasterFd(), F_SETFL, fcntl(r->pty.MasterFd(), F_GETFL) | O_NONBLOCK);
        FUZZ_REQUIRE(pipe2(r->stop, O_CLOEXEC) == 0);
        char dir[] = "/tmp/sim7100-fuzz-XXXXXX";
        FUZZ_REQUIRE(mkdtemp(dir) != nullptr);
        r->traceFile = std::string(dir) + "/trace.txt";
        return r;
    }();
    return *rig;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts(1);
    for (const char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

// Events on the master (a command coming in) or the stop pipe, waiting at
// most timeoutMs.  Returns 1 for input, 2 for stop, 0 for nothing.
int Wait(const SRig& rig, short events, int timeoutMs) {
    pollfd fds[2] = {{rig.pty.MasterFd(), events, 0}, {rig.stop[0], POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) <= 0) return 0;
    if (fds[1].revents & POLLIN) return 2;
    return fds[0].revents != 0 ? 1 : 0;
}

// Reads one command: up to its line end, Ctrl-Z, or a pause.  False on stop.
bool ReadCommand(const SRig& rig) {
    std::string command;
    for (;;) {
        const int event = Wait(rig, POLLIN, command.empty() ? -1 : 5);
        if (event == 2) return false;
        if (event == 0) return true;  // a pause ends a command without terminator
        char buffer[512];
        const ssize_t n = read(rig.pty.MasterFd(), buffer, sizeof buffer);
        if (n > 0) command.append(buffer, static_cast<size_t>(n));
        if (!command.empty() && (command.back() == '\n' || command.back() == '\x1a')) return true;
    }
}

// The port's input queue is empty: the exchange has read everything written.
bool Drained(const SRig& rig) {
    int pending = 0;
    return ioctl(rig.slave, FIONREAD, &pending) == 0 && pending == 0;
}

// Writes one answer piece by piece.  Gives up on the rest when the next
// command arrives (the exchange has moved on) or on stop; false on stop.
bool Answer(const SRig& rig, const std::string& answer) {
    const std::vector<std::string> pieces = Split(answer, kPieceEnd);
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            while (!Drained(rig)) {
                const int event = Wait(rig, POLLIN, 1);
                if (event == 2) return false;
                if (event == 1) return true;
            }
        }
        size_t at = 0;
        while (at < pieces[i].size()) {
            const ssize_t n = write(rig.pty.MasterFd(), pieces[i].data() + at, pieces[i].size() - at);
            if (n > 0) {
                at += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) return true;
            // The port's buffer is full until the exchange reads.
            const int event = Wait(rig, POLLIN | POLLOUT, 1);
            if (event == 2) return false;
            pollfd in{rig.pty.MasterFd(), POLLIN, 0};
            if (poll(&in, 1, 0) > 0) return true;
        }
    }
    return true;
}

void Respond(const SRig& rig, const std::vector<std::string>& answers) {
    size_t next = 0;
    while (ReadCommand(rig)) {
        if (!Answer(rig, next < answers.size() ? answers[next++] : std::string("\r\nERROR\r\n"))) return;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QuietStdout();
    if (size == 0) return 0;
    SRig& rig = Rig();
    const auto type = static_cast<Ipc::EIpcMsgType>(Ipc::eMsgPowerOn + data[0] % 36);
    const SRequestRoute* route = RouteOf(type);
    FUZZ_REQUIRE(route != nullptr);

    std::vector<std::string> parts = Split(std::string(reinterpret_cast<const char*>(data + 1), size - 1), kPartEnd);
    const std::string payload = parts.front();
    std::vector<std::string> answers = {"\r\nOK\r\n", "\r\nOK\r\n"};  // PowerOn: AT, AT+CSCLK=1
    answers.insert(answers.end(), parts.begin() + 1, parts.end());

    std::thread responder(Respond, std::cref(rig), std::cref(answers));
    {
        SDaemonSettings settings;
        settings.device = rig.pty.SlavePath();
        settings.traceFile = rig.traceFile;
        settings.timeScale = 0.002;  // a silent module costs about 40 ms
        settings.runShell = [](const char*) { return 0; };
        CSim7100Impl modem(settings);
        // Not required to succeed: a responder starved of the processor for
        // a whole exchange budget fails it, and the input then tests less.
        (void)modem.PowerOn();

        const HeapBlock block = payload.empty()
                                    ? HeapBlock()
                                    : TerminatedCopy(reinterpret_cast<const uint8_t*>(payload.data()), payload.size());
        CSim7100Impl* const previous = CSim7100::s_impl;
        CSim7100::s_impl = &modem;
        const SCmdResponse r =
            Dispatch(*route, reinterpret_cast<const uint8_t*>(block.get()), static_cast<uint32_t>(payload.size()));
        CSim7100::s_impl = previous;
        FUZZ_REQUIRE(TextTerminated(r));
        FUZZ_REQUIRE(r.cmdStatus >= SIM7100_STATUS_OK && r.cmdStatus <= SIM7100_STATUS_LBS_UNSUPPORTED);
        FUZZ_REQUIRE(memchr(modem.Response(), 0, CSim7100Impl::kResponseSize + 1) != nullptr);
    }  // StandBy: disconnects when connected, closes the port
    g_debugMode = false;

    const char byte = 1;
    FUZZ_REQUIRE(write(rig.stop[1], &byte, 1) == 1);
    responder.join();
    char drop;
    FUZZ_REQUIRE(read(rig.stop[0], &drop, 1) == 1);
    // Nothing of this input may reach the next one.
    char buffer[4096];
    while (read(rig.pty.MasterFd(), buffer, sizeof buffer) > 0) {
    }
    tcflush(rig.slave, TCIOFLUSH);
    unlink(rig.traceFile.c_str());
    return 0;
}
