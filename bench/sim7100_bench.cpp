// sim7100-bench: GetSignalQuality through the daemon, side by side with the
// two floors it is measured against, on one simulated module:
//   pty floor         "AT+CSQ\r\n" straight to the terminal, read to "OK\r\n"
//   structural floor  the daemon's shape (receive thread, locked queue, main
//                     thread exchange, console lines, one response) and no more
//   daemon            sim7100d-dev, one request at a time and 16 in flight
// then all three again on a module whose line runs at 115200 baud: as the
// scheduler places them, with the servers started on one CPU (taskset), and
// all on one CPU (as on a single-core board).  Rounds alternate after a
// warm-up, so every subject sees the same machine state.  Prints a table and writes the same figures as JSON.
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "bench_support.h"
#include "sim7100_protocol.h"

using namespace bench;
using nlohmann::json;

namespace {

constexpr uint32_t kCsq = SIM7100_MSG_GET_SIGNAL_QUALITY;
const char kCommand[] = "AT+CSQ\r\n";

struct SOptions {
    std::string daemon, floor, modemsim, stubTools, hostBinary, armhfBinary, json, console;
    std::string strip = "strip", armhfStrip = "arm-linux-gnueabihf-strip";
    long requests = 99000;  // measured daemon requests, both modes; with the warm-up 100,000
    int rounds = 20;
    long warmup = 1000;
    long baudRequests = 2000;
    int baudRounds = 10;
    long baud = 115200;
    int inFlight = 16;
    int starts = 5;
    int pacedCpu = -1;  // the CPU of the pinned paced runs; -1 leaves them out
    double timeScale = 1.0;
    unsigned deadline = 900;
    bool smoke = false;
};

// One line of the table.
struct SRow {
    explicit SRow(std::string n) : name(std::move(n)) {}
    std::string name;
    std::vector<int64_t> samples;  // round trips, ns
    int64_t elapsedNs = 0;
    int64_t cpuNs = 0;
    bool hasCpu = false;
    long requests() const { return static_cast<long>(samples.size()); }
};

int64_t ThreadCpuNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

std::string Env(const char* name) {
    const char* v = getenv(name);
    return v != nullptr ? v : "";
}

void WaitForPath(const std::string& path, std::chrono::milliseconds deadline) {
    const auto until = Clock::now() + deadline;
    struct stat st {};
    while (stat(path.c_str(), &st) != 0) {
        if (Clock::now() >= until) throw SBenchError("the module's terminal " + path + " did not appear");
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// A process on the RTOS link: the daemon or the structural floor.
class CServer {
public:
    CServer(const std::string& name, const std::string& binary, const std::string& device, const SOptions& o,
            int cpu = -1) {
        std::map<std::string, std::string> env{{"SIM7100D_DEVICE", device},
                                               {"SIM7100D_PORT", std::to_string(m_listener.Port())}};
        char scale[32];
        snprintf(scale, sizeof scale, "%g", o.timeScale);
        env["SIM7100D_TIME_SCALE"] = scale;
        if (!o.stubTools.empty()) env["PATH"] = o.stubTools + ":" + Env("PATH");
        m_child = Spawn(name, {binary}, env, o.console, cpu);
        m_link = std::make_unique<CLink>(m_listener.Accept(std::chrono::seconds(10)));
        m_registrationNs = m_link->ReadRegistration() - m_child.startNs;
    }
    ~CServer() { Stop(m_child, std::chrono::seconds(2)); }

    void PowerOn() {
        m_link->SendRequests(SIM7100_MSG_POWER_ON);
        if (m_link->ReadResponse() != SIM7100_STATUS_OK) {
            throw SBenchError(m_child.name + ": PowerOn failed");
        }
    }
    // eMsgTerminate, then the exit status (0 expected).
    void Terminate() {
        m_link->SendRequests(SIM7100_MSG_TERMINATE);
        int status = 0;
        if (!WaitExit(m_child, std::chrono::seconds(5), status)) {
            throw SBenchError(m_child.name + " did not end after eMsgTerminate");
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            throw SBenchError(m_child.name + " ended with status " + std::to_string(status));
        }
    }
    CLink& Link() { return *m_link; }
    pid_t Pid() const { return m_child.pid; }
    int64_t RegistrationNs() const { return m_registrationNs; }
    long served = 0;

private:
    CListener m_listener;
    SChild m_child;
    std::unique_ptr<CLink> m_link;
    int64_t m_registrationNs = 0;
};

// Books a finished series: requests served, wall time and the server's CPU.
void Account(CServer& s, long n, int64_t start, const SProcFigures& before, SRow* row) {
    const int64_t end = NowNs();
    s.served += n;
    if (row == nullptr) return;
    row->elapsedNs += end - start;
    row->cpuNs += ReadProc(s.Pid()).cpuNs - before.cpuNs;
    row->hasCpu = true;
}

// One request at a time.
void RunSequential(CServer& s, long n, SRow* row) {
    const SProcFigures before = ReadProc(s.Pid());
    const int64_t start = NowNs();
    for (long i = 0; i < n; ++i) {
        const int64_t t0 = NowNs();
        s.Link().SendRequests(kCsq);
        if (s.Link().ReadResponse() != SIM7100_STATUS_OK) throw SBenchError("GetSignalQuality failed");
        if (row != nullptr) row->samples.push_back(NowNs() - t0);
    }
    Account(s, n, start, before, row);
}

// `window` requests in flight; each round trip from its send to its answer.
void RunPipelined(CServer& s, long n, int window, SRow* row) {
    const SProcFigures before = ReadProc(s.Pid());
    std::vector<int64_t> sentAt(static_cast<size_t>(n));
    long sent = 0, done = 0;
    auto sendMore = [&](long count) {
        std::fill_n(sentAt.begin() + sent, count, NowNs());
        s.Link().SendRequests(kCsq, count);
        sent += count;
    };
    const int64_t start = NowNs();
    sendMore(std::min<long>(window, n));
    while (done < n) {
        const int k = s.Link().ReadResponses();
        const int64_t now = NowNs();
        for (int i = 0; i < k; ++i) {
            if (row != nullptr) row->samples.push_back(now - sentAt[static_cast<size_t>(done)]);
            ++done;
        }
        const long more = std::min<long>(k, n - sent);
        if (more > 0) sendMore(more);
    }
    Account(s, n, start, before, row);
}

// The pty floor: this process, straight on the terminal.  Returns the bytes
// of the last answer.
size_t RunPty(int fd, long n, SRow* row) {
    char answer[4096];
    size_t got = 0;
    const int64_t cpu0 = ThreadCpuNs();
    const int64_t start = NowNs();
    for (long i = 0; i < n; ++i) {
        const int64_t t0 = NowNs();
        if (write(fd, kCommand, sizeof kCommand - 1) != static_cast<ssize_t>(sizeof kCommand - 1)) {
            throw SBenchError("write to the terminal failed");
        }
        got = 0;
        for (;;) {
            const ssize_t r = read(fd, answer + got, sizeof answer - got);
            if (r <= 0) throw SBenchError("no answer on the terminal within the deadline");
            got += static_cast<size_t>(r);
            if (got >= 4 && memcmp(answer + got - 4, "OK\r\n", 4) == 0) break;
            if (got == sizeof answer) throw SBenchError("answer without OK");
        }
        if (row != nullptr) row->samples.push_back(NowNs() - t0);
    }
    if (row != nullptr) {
        row->elapsedNs += NowNs() - start;
        row->cpuNs += ThreadCpuNs() - cpu0;
        row->hasCpu = true;
    }
    return got;
}

json MachineInfo() {
    json m;
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            m["cpu"] = line.substr(line.find(':') + 2);
            break;
        }
    }
    m["cpus"] = std::thread::hardware_concurrency();
    utsname u{};
    uname(&u);
    m["kernel"] = std::string(u.sysname) + " " + u.release + " " + u.machine;
    return m;
}

double LoadAverage() {
    double load = -1;
    std::ifstream f("/proc/loadavg");
    f >> load;
    return load;
}

json RowJson(const SRow& r) {
    json j;
    j["name"] = r.name;
    j["requests"] = r.requests();
    j["median_us"] = Percentile(r.samples, 0.5) / 1e3;
    j["p99_us"] = Percentile(r.samples, 0.99) / 1e3;
    j["requests_per_s"] =
        r.elapsedNs > 0 ? static_cast<double>(r.requests()) * 1e9 / static_cast<double>(r.elapsedNs) : 0.0;
    j["cpu_us_per_request"] = r.hasCpu && r.requests() > 0
                                  ? json(static_cast<double>(r.cpuNs) / 1e3 / static_cast<double>(r.requests()))
                                  : json(nullptr);
    return j;
}

std::string Fixed(const json& v, int decimals) {
    if (v.is_null()) return "-";
    char text[32];
    snprintf(text, sizeof text, "%.*f", decimals, v.get<double>());
    return text;
}

// The first CPU this process may run on (a container may not offer CPU 0).
int FirstAllowedCpu() {
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return -1;
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (CPU_ISSET(cpu, &allowed)) return cpu;
    }
    return -1;
}

// The paced part: the three subjects on a module whose line runs at o.baud.
// Pinned, a hand-over between the servers' two threads never has to wake
// another, idle CPU; with kAll nothing does.
struct SPaced {
    SRow pty, floor, daemon;
};
enum class EPinned { kNone, kServers, kAll };

SPaced RunPaced(const SOptions& o, const std::string& dir, EPinned pinned, std::vector<int64_t>& daemonStarts) {
    const int cpu = o.pacedCpu;
    const int serverCpu = pinned == EPinned::kServers ? cpu : -1;
    cpu_set_t all;
    sched_getaffinity(0, sizeof all, &all);
    if (pinned == EPinned::kAll) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        if (sched_setaffinity(0, sizeof one, &one) != 0)
            throw std::runtime_error("cannot run on CPU " + std::to_string(cpu));
    }
    const char* const placement[] = {"", ", servers pinned", ", one CPU"};
    const int index = static_cast<int>(pinned);
    const std::string pace = "@" + std::to_string(o.baud) + placement[index];
    SPaced rows{SRow{"pty floor " + pace}, SRow{"structural floor " + pace}, SRow{"sim7100d-dev " + pace}};
    const std::string tty = dir + "/tty-paced" + std::to_string(index);
    SChild module = Spawn("modemsim", {o.modemsim, "--link", tty, "--baud", std::to_string(o.baud)}, {},
                          dir + "/modemsim-paced" + std::to_string(index) + ".log");
    WaitForPath(tty, std::chrono::seconds(10));
    {
        CServer daemon("sim7100d-dev", o.daemon, tty, o, serverCpu);
        daemonStarts.push_back(daemon.RegistrationNs());
        daemon.PowerOn();
        CServer floor("structural floor", o.floor, tty, o, serverCpu);
        floor.PowerOn();
        const int pty = OpenRawTerminal(tty, 50);
        const long warm = std::min<long>(o.warmup, 50);
        RunPty(pty, warm, nullptr);
        RunSequential(floor, warm, nullptr);
        RunSequential(daemon, warm, nullptr);
        const long per = std::max<long>(1, o.baudRequests / o.baudRounds);
        const std::vector<std::function<void()>> segments = {
            [&] { RunPty(pty, per, &rows.pty); },
            [&] { RunSequential(floor, per, &rows.floor); },
            [&] { RunSequential(daemon, per, &rows.daemon); },
        };
        for (int round = 0; round < o.baudRounds; ++round) {
            for (size_t i = 0; i < segments.size(); ++i) segments[(i + static_cast<size_t>(round)) % segments.size()]();
        }
        close(pty);
        daemon.Terminate();
        floor.Terminate();
    }
    Stop(module, std::chrono::seconds(2));
    sched_setaffinity(0, sizeof all, &all);
    return rows;
}

int Run(int argc, char** argv) {
    SOptions o;
    o.pacedCpu = FirstAllowedCpu();
    CLI::App app{"GetSignalQuality through sim7100d-dev against its floors, on one simulated module"};
    app.add_option("--daemon", o.daemon, "sim7100d-dev")->required();
    app.add_option("--floor", o.floor, "sim7100-structural-floor")->required();
    app.add_option("--modemsim", o.modemsim, "the module simulator (modemsim)")->required();
    app.add_option("--stub-tools", o.stubTools, "folder put first on the daemon's PATH");
    app.add_option("--host-binary", o.hostBinary, "sim7100d of this host, for its stripped size");
    app.add_option("--armhf-binary", o.armhfBinary, "sim7100d for armhf, for its stripped size");
    app.add_option("--json", o.json, "where the figures go as JSON");
    app.add_option("--console", o.console, "where the daemon's and the floor's console lines go (default /dev/null)");
    app.add_option("--requests", o.requests, "daemon requests measured (half one at a time, half in flight)");
    app.add_option("--rounds", o.rounds, "alternating rounds");
    app.add_option("--warmup", o.warmup, "requests per subject before measuring");
    app.add_option("--baud-requests", o.baudRequests, "daemon requests with paced output");
    app.add_option("--baud-rounds", o.baudRounds, "alternating rounds with paced output");
    app.add_option("--baud", o.baud, "the module line's baud rate in the paced part");
    app.add_option("--paced-cpu", o.pacedCpu, "CPU of the paced part's pinned runs (-1: leave them out)");
    app.add_option("--in-flight", o.inFlight, "requests in flight for throughput")->check(CLI::Range(1, 16));
    app.add_option("--starts", o.starts, "extra daemon starts timed to the registration frame");
    app.add_option("--time-scale", o.timeScale, "SIM7100D_TIME_SCALE for the daemon");
    app.add_option("--deadline", o.deadline, "seconds after which the run stops by itself");
    app.add_flag("--smoke", o.smoke, "a few hundred requests: checks that everything runs");
    CLI11_PARSE(app, argc, argv);
    if (o.smoke) {
        o.requests = 200;
        o.rounds = 2;
        o.warmup = 20;
        o.baudRequests = 40;
        o.baudRounds = 2;
        o.starts = 1;
    }
    if (o.rounds < 1 || o.requests < 2L * o.rounds || o.baudRounds < 1) {
        fprintf(stderr, "sim7100-bench: too few requests for the rounds\n");
        return 2;
    }
    InstallExitHandlers(o.deadline);

    char dirTemplate[] = "/tmp/sim7100-bench.XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr) {
        perror("mkdtemp");
        return 1;
    }
    const std::string dir = dirTemplate;
    json out;
    int exitCode = 0;
    try {
        out["machine"] = MachineInfo();
        out["load_at_start"] = LoadAverage();
        const int64_t runStart = NowNs();

        // ---- the module, the two servers and the pty floor ----------------
        const std::string tty = dir + "/tty-fast";
        SChild module = Spawn("modemsim", {o.modemsim, "--link", tty}, {}, dir + "/modemsim-fast.log");
        WaitForPath(tty, std::chrono::seconds(10));

        std::vector<int64_t> daemonStarts, floorStarts;
        CServer daemon("sim7100d-dev", o.daemon, tty, o);
        daemonStarts.push_back(daemon.RegistrationNs());
        daemon.PowerOn();
        CServer floor("structural floor", o.floor, tty, o);
        floorStarts.push_back(floor.RegistrationNs());
        floor.PowerOn();
        const int pty = OpenRawTerminal(tty, 50);

        SRow ptyRow{"pty floor"}, floorSeq{"structural floor, 1 in flight"},
            floorPipe{"structural floor, " + std::to_string(o.inFlight) + " in flight"},
            daemonSeq{"sim7100d-dev, 1 in flight"},
            daemonPipe{"sim7100d-dev, " + std::to_string(o.inFlight) + " in flight"};

        // ---- warm-up ----------------------------------------------------------
        const size_t answerBytes = RunPty(pty, o.warmup, nullptr);
        RunSequential(floor, o.warmup, nullptr);
        RunSequential(daemon, o.warmup, nullptr);
        const SProcFigures afterWarmup = ReadProc(daemon.Pid());
        const long warmupServed = daemon.served;

        // ---- alternating rounds ---------------------------------------------
        const long perSegment = o.requests / (2L * o.rounds);
        const std::vector<std::function<void()>> segments = {
            [&] { RunPty(pty, perSegment, &ptyRow); },
            [&] { RunSequential(floor, perSegment, &floorSeq); },
            [&] { RunSequential(daemon, perSegment, &daemonSeq); },
            [&] { RunPipelined(floor, perSegment, o.inFlight, &floorPipe); },
            [&] { RunPipelined(daemon, perSegment, o.inFlight, &daemonPipe); },
        };
        const int64_t measuredStart = NowNs();
        for (int round = 0; round < o.rounds; ++round) {
            for (size_t i = 0; i < segments.size(); ++i) segments[(i + static_cast<size_t>(round)) % segments.size()]();
        }
        const double measuredSeconds = static_cast<double>(NowNs() - measuredStart) / 1e9;
        const SProcFigures atEnd = ReadProc(daemon.Pid());
        const SProcFigures floorEnd = ReadProc(floor.Pid());
        const long endServed = daemon.served;

        daemon.Terminate();
        floor.Terminate();
        close(pty);

        // ---- start to registration, a few more times --------------------------
        for (int i = 0; i < o.starts; ++i) {
            CServer extra("sim7100d-dev", o.daemon, tty, o);
            daemonStarts.push_back(extra.RegistrationNs());
            extra.Terminate();
            CServer extraFloor("structural floor", o.floor, tty, o);
            floorStarts.push_back(extraFloor.RegistrationNs());
            extraFloor.Terminate();
        }
        Stop(module, std::chrono::seconds(2));

        // ---- paced line ---------------------------------------------------------------
        const SPaced paced = RunPaced(o, dir, EPinned::kNone, daemonStarts);
        const SPaced none{SRow{""}, SRow{""}, SRow{""}};
        const SPaced pacedPinned = o.pacedCpu >= 0 ? RunPaced(o, dir, EPinned::kServers, daemonStarts) : none;
        const SPaced pacedOne = o.pacedCpu >= 0 ? RunPaced(o, dir, EPinned::kAll, daemonStarts) : none;

        // ---- sizes --------------------------------------------------------------------
        json sizes;
        const long hostSize = o.hostBinary.empty() ? -1 : StrippedSize(o.strip, o.hostBinary, dir);
        const long armSize = o.armhfBinary.empty() ? -1 : StrippedSize(o.armhfStrip, o.armhfBinary, dir);
        sizes["host_stripped_bytes"] = hostSize >= 0 ? json(hostSize) : json(nullptr);
        sizes["armhf_stripped_bytes"] = armSize >= 0 ? json(armSize) : json(nullptr);

        // ---- figures ------------------------------------------------------------------
        json rows = json::array();
        const SRow* const subjects[] = {&ptyRow,          &floorSeq,          &daemonSeq,          &floorPipe,
                                        &daemonPipe,      &paced.pty,         &paced.floor,        &paced.daemon,
                                        &pacedPinned.pty, &pacedPinned.floor, &pacedPinned.daemon, &pacedOne.pty,
                                        &pacedOne.floor,  &pacedOne.daemon};
        for (const SRow* r : subjects) {
            if (!r->name.empty()) rows.push_back(RowJson(*r));
        }
        json memory;
        memory["daemon_peak_kib"] = atEnd.peakKiB;
        memory["daemon_rss_after_warmup_kib"] = afterWarmup.rssKiB;
        memory["daemon_requests_at_warmup"] = warmupServed;
        memory["daemon_rss_at_end_kib"] = atEnd.rssKiB;
        memory["daemon_requests_at_end"] = endServed;
        memory["floor_peak_kib"] = floorEnd.peakKiB;
        memory["floor_rss_at_end_kib"] = floorEnd.rssKiB;
        json starts;
        starts["daemon_ms"] = json::array();
        for (int64_t s : daemonStarts) starts["daemon_ms"].push_back(static_cast<double>(s) / 1e6);
        starts["daemon_median_ms"] = Percentile(daemonStarts, 0.5) / 1e6;
        starts["daemon_max_ms"] = Percentile(daemonStarts, 1.0) / 1e6;
        starts["floor_median_ms"] = Percentile(floorStarts, 0.5) / 1e6;
        starts["time_scale"] = o.timeScale;

        auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        const double dMed = Percentile(daemonSeq.samples, 0.5), dP99 = Percentile(daemonSeq.samples, 0.99);
        const double fMed = Percentile(floorSeq.samples, 0.5), fP99 = Percentile(floorSeq.samples, 0.99);
        const double pMed = Percentile(ptyRow.samples, 0.5), pP99 = Percentile(ptyRow.samples, 0.99);
        const double slowD = Percentile(paced.daemon.samples, 0.5), slowP = Percentile(paced.pty.samples, 0.5);
        const double slowF = Percentile(paced.floor.samples, 0.5);
        const double pinD = Percentile(pacedPinned.daemon.samples, 0.5);
        const double pinP = Percentile(pacedPinned.pty.samples, 0.5);
        const double oneD = Percentile(pacedOne.daemon.samples, 0.5), oneP = Percentile(pacedOne.pty.samples, 0.5);
        json ratios;
        ratios["daemon_over_structural_median"] = ratio(dMed, fMed);
        ratios["daemon_over_structural_p99"] = ratio(dP99, fP99);
        ratios["daemon_over_pty_median"] = ratio(dMed, pMed);
        ratios["daemon_over_pty_p99"] = ratio(dP99, pP99);
        ratios["structural_over_pty_median"] = ratio(fMed, pMed);
        ratios["daemon_over_structural_throughput"] =
            ratio(rows[4]["requests_per_s"].get<double>(), rows[3]["requests_per_s"].get<double>());
        ratios["paced_daemon_over_pty_median"] = ratio(slowD, slowP);
        ratios["paced_structural_over_pty_median"] = ratio(slowF, slowP);
        ratios["paced_daemon_over_structural_median"] = ratio(slowD, slowF);
        ratios["paced_pinned_daemon_over_pty_median"] = ratio(pinD, pinP);
        ratios["paced_pinned_structural_over_pty_median"] = ratio(Percentile(pacedPinned.floor.samples, 0.5), pinP);
        ratios["paced_one_cpu_daemon_over_pty_median"] = ratio(oneD, oneP);
        ratios["paced_one_cpu_structural_over_pty_median"] = ratio(Percentile(pacedOne.floor.samples, 0.5), oneP);
        const double wireUs = static_cast<double>(answerBytes) * 10.0 / static_cast<double>(o.baud) * 1e6;
        const double wireBothUs =
            static_cast<double>(answerBytes + sizeof kCommand - 1) * 10.0 / static_cast<double>(o.baud) * 1e6;

        const bool full = endServed >= 100000;
        const long growth = atEnd.rssKiB - afterWarmup.rssKiB;
        json targets = json::array();
        auto target = [&](const std::string& what, double value, double limit, bool applies) {
            targets.push_back({{"target", what},
                               {"value", value},
                               {"limit", limit},
                               {"met", applies ? json(value <= limit) : json(nullptr)}});
        };
        target("daemon / structural floor, median round trip", ratio(dMed, fMed), 1.10, true);
        target("daemon / structural floor, p99 round trip", ratio(dP99, fP99), 1.5, true);
        target("daemon / pty floor at " + std::to_string(o.baud) + " baud, median", ratio(slowD, slowP), 1.05, true);
        target("the same, the servers started on one CPU", ratio(pinD, pinP), 1.05, o.pacedCpu >= 0);
        target("the same, all on one CPU", ratio(oneD, oneP), 1.05, o.pacedCpu >= 0);
        target("resident growth from 1,000 to 100,000 requests, KiB", static_cast<double>(growth), 64,
               full && warmupServed <= 1000);
        target("start to registration, median ms", starts["daemon_median_ms"].get<double>(), 5, true);
        target("sim7100d for armhf, stripped, KiB", armSize >= 0 ? static_cast<double>(armSize) / 1024.0 : 0.0, 150,
               armSize >= 0);

        out["config"] = {{"requests", o.requests},  {"rounds", o.rounds}, {"warmup", o.warmup},
                         {"in_flight", o.inFlight}, {"baud", o.baud},     {"baud_requests", o.baudRequests},
                         {"paced_cpu", o.pacedCpu}, {"smoke", o.smoke},   {"time_scale", o.timeScale},
                         {"module", o.modemsim}};
        out["rows"] = rows;
        out["memory"] = memory;
        out["start_to_registration"] = starts;
        out["sizes"] = sizes;
        out["ratios"] = ratios;
        out["answer_bytes"] = answerBytes;
        out["wire_time_us"] = {{"answer", wireUs}, {"command_and_answer", wireBothUs}};
        out["targets"] = targets;
        out["measured_seconds"] = measuredSeconds;
        out["run_seconds"] = static_cast<double>(NowNs() - runStart) / 1e9;
        out["load_at_end"] = LoadAverage();

        // ---- the table ------------------------------------------------------------------
        printf("\n%-42s %9s %10s %10s %10s %12s\n", "", "requests", "median us", "p99 us", "req/s", "CPU us/req");
        for (const auto& r : rows) {
            printf("%-42s %9ld %10s %10s %10s %12s\n", r["name"].get<std::string>().c_str(), r["requests"].get<long>(),
                   Fixed(r["median_us"], 1).c_str(), Fixed(r["p99_us"], 1).c_str(),
                   Fixed(r["requests_per_s"], 0).c_str(), Fixed(r["cpu_us_per_request"], 1).c_str());
        }
        printf("\nsim7100d-dev resident memory: peak %ld KiB; %ld KiB after %ld requests; %ld KiB after %ld requests\n",
               atEnd.peakKiB, afterWarmup.rssKiB, warmupServed, atEnd.rssKiB, endServed);
        printf("start to registration frame: median %.2f ms, max %.2f ms over %zu starts (structural floor %.2f ms)\n",
               starts["daemon_median_ms"].get<double>(), starts["daemon_max_ms"].get<double>(), daemonStarts.size(),
               starts["floor_median_ms"].get<double>());
        printf("sim7100d stripped: host %s bytes, armhf %s bytes\n",
               hostSize >= 0 ? std::to_string(hostSize).c_str() : "-",
               armSize >= 0 ? std::to_string(armSize).c_str() : "-");
        printf("answer: %zu bytes, %.0f us on the wire at %ld baud (%.0f us with the command)\n", answerBytes, wireUs,
               o.baud, wireBothUs);
        printf(
            "ratios: daemon/structural median %.3f p99 %.3f; daemon/pty median %.3f p99 %.3f; "
            "throughput daemon/structural %.3f; paced: daemon/pty median %.3f, structural/pty %.3f; "
            "paced, servers pinned: daemon/pty median %.3f, structural/pty %.3f; "
            "paced on one CPU: daemon/pty median %.3f, structural/pty %.3f\n",
            ratios["daemon_over_structural_median"].get<double>(), ratios["daemon_over_structural_p99"].get<double>(),
            ratios["daemon_over_pty_median"].get<double>(), ratios["daemon_over_pty_p99"].get<double>(),
            ratios["daemon_over_structural_throughput"].get<double>(),
            ratios["paced_daemon_over_pty_median"].get<double>(),
            ratios["paced_structural_over_pty_median"].get<double>(),
            ratios["paced_pinned_daemon_over_pty_median"].get<double>(),
            ratios["paced_pinned_structural_over_pty_median"].get<double>(),
            ratios["paced_one_cpu_daemon_over_pty_median"].get<double>(),
            ratios["paced_one_cpu_structural_over_pty_median"].get<double>());
        printf("\ntargets:\n");
        for (const auto& t : targets) {
            const char* verdict = t["met"].is_null() ? "n/a" : t["met"].get<bool>() ? "met" : "MISSED";
            printf("  %-58s %10.3f  limit %-6g %s\n", t["target"].get<std::string>().c_str(), t["value"].get<double>(),
                   t["limit"].get<double>(), verdict);
        }
        printf("\nmeasured part %.1f s, whole run %.1f s; load average %.2f at start, %.2f at end\n", measuredSeconds,
               out["run_seconds"].get<double>(), out["load_at_start"].get<double>(), out["load_at_end"].get<double>());
    } catch (const std::exception& e) {
        fprintf(stderr, "sim7100-bench: %s (logs in %s)\n", e.what(), dir.c_str());
        exitCode = 1;
    }
    KillAllChildren();
    if (!o.json.empty() && exitCode == 0) {
        std::ofstream f(o.json);
        f << out.dump(2) << "\n";
        if (!f) {
            fprintf(stderr, "sim7100-bench: cannot write %s\n", o.json.c_str());
            exitCode = 1;
        } else {
            printf("figures written to %s\n", o.json.c_str());
        }
    }
    if (exitCode == 0) {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    // Run reports the faults of a measurement itself; this catches what is
    // thrown around it (out of memory, say) instead of aborting.
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        fprintf(stderr, "sim7100-bench: %s\n", e.what());
    } catch (...) {
        fprintf(stderr, "sim7100-bench: unexpected failure\n");
    }
    return 1;
}
