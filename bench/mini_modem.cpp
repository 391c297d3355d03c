// A minimal module on a pseudo-terminal, for when modemsim is not built:
// "AT+CSQ" gets a signal report, every other command "OK".  Same options as
// modemsim for what the benchmark uses: --link PATH, --baud N.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

volatile sig_atomic_t g_stop = 0;

// Writes at `baud` (10 bits a byte) when it is not 0.
void WritePaced(int fd, const std::string& bytes, long baud) {
    if (baud <= 0) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
        return;
    }
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    const long byteNs = 10L * 1000000000L / baud;
    for (char c : bytes) {
        next.tv_nsec += byteNs;
        while (next.tv_nsec >= 1000000000L) {
            next.tv_nsec -= 1000000000L;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        if (write(fd, &c, 1) != 1) return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string link;
    long baud = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--link") == 0) link = argv[i + 1];
        if (strcmp(argv[i], "--baud") == 0) baud = atol(argv[i + 1]);
    }
    struct sigaction sa {};
    sa.sa_handler = [](int) { g_stop = 1; };
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 1;
    const std::string slave = ptsname(master);
    // Keep one slave descriptor, so the terminal survives its users closing it.
    const int keeper = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    tcgetattr(master, &t);
    cfmakeraw(&t);
    tcsetattr(master, TCSANOW, &t);
    if (!link.empty()) {
        unlink(link.c_str());
        if (symlink(slave.c_str(), link.c_str()) != 0) return 1;
    }
    printf("%s\n", slave.c_str());
    fflush(stdout);

    std::string line;
    char buffer[256];
    while (!g_stop) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 200) <= 0) continue;
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) continue;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c != '\r' && c != '\n') {
                line += c;
                continue;
            }
            if (c == '\n' || line.empty()) continue;
            if (line == "AT+CSQ") {
                WritePaced(master, "\r\n+CSQ: 23,99\r\n\r\nOK\r\n", baud);
            } else {
                WritePaced(master, "\r\nOK\r\n", baud);
            }
            line.clear();
        }
    }
    if (!link.empty()) unlink(link.c_str());
    close(keeper);
    close(master);
    return 0;
}
