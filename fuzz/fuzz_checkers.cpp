// Completion rules of the exchange, command matching and the checker choice
// of raw commands, on arbitrary bytes.
//
// Input: the answer segment as the exchange hands it over (length bytes, then
// a zero).  The part before the first zero byte also serves as a command and
// the part after it as the prefix MatchesCommand looks for.
#include <cstring>
#include <regex>
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

// What the two-part checkers promise, written as the patterns they scan by
// hand: "OK", then "ERR", then the first result line; its code as a whole
// number.
ECmdStatus ByPattern(const char* answer, const std::regex& pattern) {
    if (strstr(answer, "OK") != nullptr) return CSim7100Impl::eCmdOk;
    if (strstr(answer, "ERR") != nullptr) return CSim7100Impl::eCmdError;
    std::cmatch match;
    if (!std::regex_search(answer, match, pattern)) return CSim7100Impl::eCmdPending;
    const std::string code = match.str(1);
    return code.find_first_not_of('0') == std::string::npos ? CSim7100Impl::eCmdOk : CSim7100Impl::eCmdError;
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

    // std::regex recurses once per character; keep the oracle off long inputs.
    if (size < 1024) {
        static const std::regex xtra("\\+CGPSXD:\\s*([0-9]+)"), time("\\+CHTPUPDATE:\\s*([0-9]+)");
        FUZZ_REQUIRE(CheckXtraDownload(answer, length) == ByPattern(answer, xtra));
        FUZZ_REQUIRE(CheckTimeUpdate(answer, length) == ByPattern(answer, time));
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
