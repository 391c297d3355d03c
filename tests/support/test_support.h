// Small helpers the suites share: whole files, temporary folders, waits.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

// The whole file, or what could be read of it: a /proc file of a process that
// ends meanwhile fails its read (ESRCH), an ordinary event and no exception.
inline std::string ReadFile(const std::string& path) {
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return text;
}

// A folder of its own under $TMPDIR (or /tmp), removed with everything in it.
struct STempDir {
    std::string path;
    STempDir() {
        const char* base = getenv("TMPDIR");
        path = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/sim7100-test-XXXXXX";
        if (mkdtemp(path.data()) == nullptr) throw std::runtime_error("mkdtemp");
    }
    ~STempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    STempDir(const STempDir&) = delete;
    STempDir& operator=(const STempDir&) = delete;
};

// Waits, with a deadline, until `done()`.  Files and /proc offer no event
// of their own, so this checks every few milliseconds.
template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds deadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// A test this host cannot run says why and skips; under CI, where every group
// can run, that hides the faults only it catches, so it fails with the reason.
// Returns whether it must fail; prints the line scripts/test looks for.
inline bool ReportCannotRun(const char* group, const std::string& reason) {
    const char* ci = getenv("CI");
    const bool underCi = ci != nullptr && *ci != '\0';
    printf("%s: %s: %s\n", group, underCi ? "FAILED: cannot run under CI" : "SKIPPED", reason.c_str());
    fflush(stdout);
    return underCi;
}

// In a GoogleTest body: skip with `reason`, or fail when CI is set.
#define SIM7100_SKIP_OR_FAIL(group, reason)                                                            \
    do {                                                                                               \
        const std::string sim7100Reason = (reason);                                                    \
        if (ReportCannotRun(group, sim7100Reason)) FAIL() << "cannot run under CI: " << sim7100Reason; \
        GTEST_SKIP() << sim7100Reason;                                                                 \
    } while (0)
