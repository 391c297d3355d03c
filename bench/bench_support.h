// Plumbing of the benchmark: child processes that never outlive it, the
// RTOS side's end of the link, the module's terminal, and /proc figures.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim7100_link.h"

namespace bench {

using Clock = std::chrono::steady_clock;

struct SBenchError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int64_t NowNs();

// ---- child processes ------------------------------------------------------

// Every child is recorded here; KillAllChildren (also run from the signal
// and alarm handlers and at exit) kills and reaps whatever is left.
struct SChild {
    pid_t pid = -1;
    std::string name;
    int64_t startNs = 0;  // just before fork
};

// Starts `argv` with stdout and stderr appended to `logPath` (or /dev/null),
// `env` added to the environment, and death-signal SIGKILL should this
// process die first.  With cpu >= 0 the child runs on that CPU only, as
// `taskset -c` would start it.
SChild Spawn(const std::string& name, const std::vector<std::string>& argv,
             const std::map<std::string, std::string>& env, const std::string& logPath, int cpu = -1);
// Waits for the child's exit until the deadline; true with its status.
bool WaitExit(SChild& child, std::chrono::milliseconds deadline, int& status);
// SIGTERM, then SIGKILL after the grace time; always reaps.
void Stop(SChild& child, std::chrono::milliseconds grace);
void KillAllChildren();
// Signal and alarm handlers that kill the children and leave.
void InstallExitHandlers(unsigned overallSeconds);

// ---- the RTOS side of the link ---------------------------------------------

class CListener {
public:
    CListener();  // 127.0.0.1, a free port
    ~CListener();
    uint16_t Port() const { return m_port; }
    // The next connection, or an exception after the deadline.
    int Accept(std::chrono::milliseconds deadline);

private:
    int m_fd = -1;
    uint16_t m_port = 0;
};

// One accepted connection: blocking, with a receive deadline on every read;
// frames through the RTOS side's link library, which pairs each response
// with its request.
class CLink {
public:
    explicit CLink(int fd);
    ~CLink();
    CLink(const CLink&) = delete;
    CLink& operator=(const CLink&) = delete;

    int Fd() const { return m_fd; }
    // The registration frame; returns the time it was complete.
    int64_t ReadRegistration();
    // `count` requests without payload in one write.
    void SendRequests(uint32_t type, long count = 1);
    // The next response, which must answer the oldest request; its cmdStatus.
    int32_t ReadResponse();
    // Reads whatever is there (at least one byte) and returns the number of
    // responses it completed; each must answer its request with success.
    int ReadResponses();

private:
    // The next event of the bytes received so far; SIM7100_LINK_MORE when
    // they are used up.
    int Decode();
    void Receive();
    int m_fd;
    Sim7100Link m_link{};
    std::vector<unsigned char> m_buffer;
    size_t m_at = 0, m_end = 0;
};

// ---- the module's terminal ---------------------------------------------------

// Opens a terminal in raw mode, with reads that give up after `deadlineDs`
// tenths of a second of silence.
int OpenRawTerminal(const std::string& path, int deadlineDs);

// ---- /proc -----------------------------------------------------------------------

struct SProcFigures {
    int64_t cpuNs = 0;  // run time of all threads (schedstat)
    long rssKiB = 0;    // VmRSS
    long peakKiB = 0;   // VmHWM
};
SProcFigures ReadProc(pid_t pid);

// ---- statistics ------------------------------------------------------------------

double Percentile(std::vector<int64_t> samples, double fraction);

// Size of a stripped copy of `binary`, made with `strip` in a temporary
// file; -1 when the binary or the tool is missing.
long StrippedSize(const std::string& strip, const std::string& binary, const std::string& tempDir);

}  // namespace bench
