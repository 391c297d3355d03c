// Small helpers the suites share: whole files, temporary folders, waits.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
