// Completion rules of the exchange, command matching and the checker choice
// of raw commands, on arbitrary bytes.
//
// Input: the answer segment as the exchange hands it over (length bytes, then
// a zero).  The part before the first zero byte also serves as a command and
// the part after it as the prefix MatchesCommand looks for.
#include <cstring>
#include <string>

#include "checkers.h"
#include "fuzz_support.h"

namespace {

bool IsVerdict(ECmdStatus s) {
    return s == CSim7100Impl::eCmdOk || s == CSim7100Impl::eCmdError || s == CSim7100Impl::eCmdPending;
}

bool EndsWithText(const char* data, size_t length, const char* suffix) {
    const size_t n = strlen(suffix);
    return length >= n && memcmp(data + length - n, suffix, n) == 0;
}

// What MatchesCommand promises: command is atCommand followed only by white
// space (the C locale's six blanks).
bool Expected(const char* command, const char* atCommand) {
    const size_t n = strlen(atCommand);
    if (strncmp(command, atCommand, n) != 0) return false;
    for (const char* p = command + n; *p != 0; ++p) {
        if (strchr(" \t\n\v\f\r", *p) == nullptr) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const HeapBlock block = TerminatedCopy(data, size);
    const char* answer = block.get();
    const auto length = static_cast<unsigned>(size);

    static const CSim7100Impl::CheckerFunction kCheckers[] = {
        CheckFinalResult, CheckPrompt,       CheckGpsInfo,    CheckLbsLocation,
        CheckNetStart,    CheckXtraDownload, CheckTimeUpdate,
    };
    for (const auto checker : kCheckers) FUZZ_REQUIRE(IsVerdict(checker(answer, length)));

    // Two consequences of the final-result rule that hold for any bytes.
    const ECmdStatus final = CheckFinalResult(answer, length);
    if (EndsWithText(answer, size, "ERROR\r\n")) FUZZ_REQUIRE(final == CSim7100Impl::eCmdError);
    if (final == CSim7100Impl::eCmdOk) {
        FUZZ_REQUIRE(EndsWithText(answer, size, "OK\r\n") || EndsWithText(answer, size, "CONNECT\r\n"));
    }

    // Command and prefix: the two strings on either side of the first zero.
    const char* command = answer;
    const size_t commandLength = strlen(command);
    const char* prefix = commandLength < size ? answer + commandLength + 1 : "";
    FUZZ_REQUIRE(MatchesCommand(command, prefix) == Expected(command, prefix));

    static const char* const kTwoPart[] = {"AT+CGPSXD=0", "AT+CHTPUPDATE"};
    bool twoPart = false;
    for (const char* c : kTwoPart) twoPart = twoPart || Expected(command, c);
    const auto selected = CSim7100Impl::SelectChecker(command);
    FUZZ_REQUIRE(selected.first == (twoPart ? 2u : 1u));
    FUZZ_REQUIRE(static_cast<bool>(selected.second));
    FUZZ_REQUIRE(IsVerdict(selected.second(answer, length)));
    return 0;
}
