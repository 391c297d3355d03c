// Helpers shared by the fuzz targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "dispatch.h"
#include "sim7100.h"

// A broken property is a finding: report it and abort, so that libFuzzer (or
// the replay) records the input.
#define FUZZ_REQUIRE(condition)                                                              \
    do {                                                                                     \
        if (!(condition)) {                                                                  \
            fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                                         \
        }                                                                                    \
    } while (0)

struct SFreeDeleter {
    void operator()(void* p) const { free(p); }
};
using HeapBlock = std::unique_ptr<char[], SFreeDeleter>;

// The bytes in a heap block of exactly size + 1 with a zero at the end, so
// that any read past the terminator is an AddressSanitizer report.
inline HeapBlock TerminatedCopy(const uint8_t* data, size_t size) {
    HeapBlock block(static_cast<char*>(malloc(size + 1)));
    if (size != 0) memcpy(block.get(), data, size);
    block[size] = 0;
    return block;
}

// Runs a request's operation on `modem` with the payload copied as
// OnIpcMessage copies it (no block when it is empty); the response text must
// end within its 1024 bytes.
inline SCmdResponse DispatchCopy(CSim7100Impl& modem, const SRequestRoute& route, const uint8_t* payload,
                                 uint32_t size) {
    const HeapBlock block = size != 0 ? TerminatedCopy(payload, size) : HeapBlock();
    CSim7100Impl* const previous = CSim7100::s_impl;
    CSim7100::s_impl = &modem;
    const SCmdResponse r = Dispatch(route, reinterpret_cast<const uint8_t*>(block.get()), size);
    CSim7100::s_impl = previous;
    FUZZ_REQUIRE(memchr(r.text, 0, sizeof r.text) != nullptr);
    return r;
}

// The daemon's progress lines would dominate the run time; they go to
// /dev/null unless SIM7100_FUZZ_VERBOSE is set.  libFuzzer reports on stderr.
inline void QuietStdout() {
    static const bool quiet = getenv("SIM7100_FUZZ_VERBOSE") == nullptr && freopen("/dev/null", "w", stdout);
    (void)quiet;
}
