// Small helpers the suites share: whole files, temporary folders, waits.
#pragma once

#include <errno.h>
#include <fcntl.h>
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
