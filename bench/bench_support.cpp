#include "bench_support.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "sim7100_protocol.h"

namespace bench {

int64_t NowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

// ---- child processes ------------------------------------------------------

namespace {

// Plain array: the signal handlers read it.
constexpr int kMaxChildren = 32;
volatile pid_t g_children[kMaxChildren];

void Remember(pid_t pid) {
    volatile pid_t* const slot =
        std::find_if(std::begin(g_children), std::end(g_children), [](const volatile pid_t& s) { return s <= 0; });
    if (slot != std::end(g_children)) *slot = pid;
}

void Forget(pid_t pid) { std::replace(std::begin(g_children), std::end(g_children), pid, 0); }

[[noreturn]] void DieFromSignal(int signal) {
    KillAllChildren();
    static const char kTimeout[] = "sim7100-bench: overall deadline reached, stopped\n";
    static const char kSignal[] = "sim7100-bench: stopped by a signal\n";
    if (signal == SIGALRM) {
        ssize_t ignored = write(2, kTimeout, sizeof kTimeout - 1);
        (void)ignored;
    } else {
        ssize_t ignored = write(2, kSignal, sizeof kSignal - 1);
        (void)ignored;
    }
    _exit(signal == SIGALRM ? 3 : 128 + signal);
}

}  // namespace

SChild Spawn(const std::string& name, const std::vector<std::string>& argv,
             const std::map<std::string, std::string>& env, const std::string& logPath, int cpu) {
    // Everything the child needs is made here: between vfork and exec it
    // shares this process's memory and may only make system calls.
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    std::transform(argv.begin(), argv.end(), std::back_inserter(args),
                   [](const std::string& a) { return const_cast<char*>(a.c_str()); });
    args.push_back(nullptr);
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const size_t eq = entry.find('=');
        if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : env) merged[key] = value;
    std::vector<std::string> entries;
    entries.reserve(merged.size());
    std::transform(merged.begin(), merged.end(), std::back_inserter(entries),
                   [](const auto& entry) { return entry.first + "=" + entry.second; });
    std::vector<char*> envp;
    envp.reserve(entries.size() + 1);
    std::transform(entries.begin(), entries.end(), std::back_inserter(envp), [](std::string& e) { return e.data(); });
    envp.push_back(nullptr);
    std::string program = argv.at(0);
    if (program.find('/') == std::string::npos) {
        std::istringstream path(getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin");
        std::string dir;
        while (std::getline(path, dir, ':')) {
            std::string candidate = dir;
            candidate += '/';
            candidate += program;
            if (access(candidate.c_str(), X_OK) == 0) {
                program = std::move(candidate);
                break;
            }
        }
    }
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out =
        open(logPath.empty() ? "/dev/null" : logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (in < 0 || out < 0) throw SBenchError("cannot open the log of " + name);
    const pid_t parent = getpid();
    cpu_set_t one;
    CPU_ZERO(&one);
    if (cpu >= 0) CPU_SET(cpu, &one);

    // No handler of ours may run in the child: block everything until the
    // child has put the defaults back.
    sigset_t all, old;
    sigfillset(&all);
    sigprocmask(SIG_SETMASK, &all, &old);
    SChild child;
    child.name = name;
    child.startNs = NowNs();
    const pid_t pid = vfork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        if (cpu >= 0 && sched_setaffinity(0, sizeof one, &one) != 0) _exit(126);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGALRM}) sigaction(sig, &dfl, nullptr);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execve(program.c_str(), args.data(), envp.data());
        _exit(127);
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    close(in);
    close(out);
    if (pid < 0) throw SBenchError("cannot start " + name);
    child.pid = pid;
    Remember(pid);
    return child;
}

bool WaitExit(SChild& child, std::chrono::milliseconds deadline, int& status) {
    if (child.pid <= 0) return false;
    const auto until = Clock::now() + deadline;
    for (;;) {
        const pid_t r = waitpid(child.pid, &status, WNOHANG);
        if (r == child.pid) {
            Forget(child.pid);
            child.pid = -1;
            return true;
        }
        if (r < 0 && errno != EINTR) {
            Forget(child.pid);
            child.pid = -1;
            return false;
        }
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void Stop(SChild& child, std::chrono::milliseconds grace) {
    if (child.pid <= 0) return;
    int status = 0;
    kill(child.pid, SIGTERM);
    if (WaitExit(child, grace, status)) return;
    kill(child.pid, SIGKILL);
    WaitExit(child, std::chrono::seconds(5), status);
}

void KillAllChildren() {
    for (const auto& slot : g_children) {
        const pid_t pid = slot;
        if (pid > 0) kill(pid, SIGKILL);
    }
    for (auto& slot : g_children) {
        const pid_t pid = slot;
        if (pid > 0) {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            slot = 0;
        }
    }
}

void InstallExitHandlers(unsigned overallSeconds) {
    struct sigaction sa {};
    sa.sa_handler = [](int s) { DieFromSignal(s); };
    sigemptyset(&sa.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGALRM}) sigaction(s, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
    std::atexit(KillAllChildren);
    alarm(overallSeconds);
}

// ---- the RTOS side of the link ---------------------------------------------

CListener::CListener() {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) throw SBenchError("socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(m_fd, 4) != 0 ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        throw SBenchError(std::string("listen on 127.0.0.1 failed: ") + strerror(errno));
    }
    m_port = ntohs(addr.sin_port);
}

CListener::~CListener() {
    if (m_fd >= 0) close(m_fd);
}

int CListener::Accept(std::chrono::milliseconds deadline) {
    pollfd p{m_fd, POLLIN, 0};
    const int rc = poll(&p, 1, static_cast<int>(deadline.count()));
    if (rc <= 0) throw SBenchError("nobody connected to port " + std::to_string(m_port) + " in time");
    const int fd = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) throw SBenchError(std::string("accept failed: ") + strerror(errno));
    return fd;
}

CLink::CLink(int fd) : m_fd(fd), m_buffer(size_t{64} * 1040) {
    const int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    // The receive deadline: a silent peer fails the run instead of hanging it.
    timeval tv{10, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    sim7100_link_init(&m_link);
}

CLink::~CLink() {
    if (m_fd >= 0) close(m_fd);
}

int CLink::Decode() {
    int event = SIM7100_LINK_MORE;
    m_at += sim7100_link_receive(&m_link, m_buffer.data() + m_at, m_end - m_at, &event);
    if (event < 0)
        throw SBenchError("the daemon's frames are out of step (link library error " + std::to_string(event) + ")");
    return event;
}

void CLink::Receive() {
    ssize_t n;
    do {
        n = recv(m_fd, m_buffer.data(), m_buffer.size(), 0);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        throw SBenchError(n == 0 ? "the peer closed the link"
                                 : std::string("no response within the deadline: ") + strerror(errno));
    }
    m_at = 0;
    m_end = static_cast<size_t>(n);
}

int64_t CLink::ReadRegistration() {
    int event;
    while ((event = Decode()) == SIM7100_LINK_MORE) Receive();
    if (event != SIM7100_LINK_REGISTRATION) throw SBenchError("the first frame is no registration");
    return NowNs();
}

// NOLINTNEXTLINE(readability-make-member-function-const): writes to the link; const would hide that
void CLink::SendRequests(uint32_t type, long count) {
    std::vector<unsigned char> frames(static_cast<size_t>(count) * SIM7100_FRAME_HEADER_SIZE);
    for (long i = 0; i < count; ++i) {
        if (sim7100_link_request(&m_link, frames.data() + i * SIM7100_FRAME_HEADER_SIZE, SIM7100_FRAME_HEADER_SIZE,
                                 type, nullptr, 0) < 0) {
            throw SBenchError("more requests in flight than the link library pairs");
        }
    }
    const ssize_t n = send(m_fd, frames.data(), frames.size(), 0);
    if (n != static_cast<ssize_t>(frames.size())) throw SBenchError("requests not sent");
}

int32_t CLink::ReadResponse() {
    int event;
    while ((event = Decode()) == SIM7100_LINK_MORE) Receive();
    if (event != SIM7100_LINK_RESPONSE) throw SBenchError("unexpected frame");
    return m_link.decoder.record.cmdStatus;
}

int CLink::ReadResponses() {
    if (m_at == m_end) Receive();
    int complete = 0;
    for (int event; (event = Decode()) != SIM7100_LINK_MORE; ++complete) {
        if (event != SIM7100_LINK_RESPONSE || m_link.decoder.record.cmdStatus != SIM7100_STATUS_OK) {
            throw SBenchError("unexpected response");
        }
    }
    return complete;
}

// ---- the module's terminal ---------------------------------------------------

int OpenRawTerminal(const std::string& path, int deadlineDs) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw SBenchError("cannot open " + path + ": " + strerror(errno));
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    // A read returns what has arrived, or nothing after the deadline.  The
    // setting belongs to the terminal, not this descriptor: the servers on
    // it poll before they read, for which it makes no difference.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = static_cast<cc_t>(deadlineDs);
    tcsetattr(fd, TCSANOW, &t);
    tcflush(fd, TCIOFLUSH);
    return fd;
}

// ---- /proc -----------------------------------------------------------------------

SProcFigures ReadProc(pid_t pid) {
    SProcFigures f;
    const std::string base = "/proc/" + std::to_string(pid);
    if (DIR* tasks = opendir((base + "/task").c_str())) {
        while (dirent* e = readdir(tasks)) {
            if (e->d_name[0] == '.') continue;
            std::ifstream s(base + "/task/" + e->d_name + "/schedstat");
            long long runNs = 0;
            if (s >> runNs) f.cpuNs += runNs;
        }
        closedir(tasks);
    }
    std::ifstream status(base + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) f.rssKiB = std::strtol(line.c_str() + 6, nullptr, 10);
        if (line.rfind("VmHWM:", 0) == 0) f.peakKiB = std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return f;
}

// ---- statistics ------------------------------------------------------------------

double Percentile(std::vector<int64_t> samples, double fraction) {
    if (samples.empty()) return 0.0;
    const size_t rank = static_cast<size_t>(std::ceil(fraction * static_cast<double>(samples.size())));
    const size_t index = rank == 0 ? 0 : std::min(rank - 1, samples.size() - 1);
    std::nth_element(samples.begin(), samples.begin() + static_cast<long>(index), samples.end());
    return static_cast<double>(samples[index]);
}

long StrippedSize(const std::string& strip, const std::string& binary, const std::string& tempDir) {
    struct stat st {};
    if (stat(binary.c_str(), &st) != 0) return -1;
    const std::string out = tempDir + "/stripped";
    SChild tool = Spawn("strip", {strip, "-o", out, binary}, {}, "");
    int status = 0;
    if (!WaitExit(tool, std::chrono::seconds(30), status)) {
        Stop(tool, std::chrono::milliseconds(100));
        return -1;
    }
    long size = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && stat(out.c_str(), &st) == 0) size = st.st_size;
    unlink(out.c_str());
    return size;
}

}  // namespace bench
