// The completion checkers, command matching and the checker choice of raw
// commands, on arbitrary bytes: each ends with a verdict and reads nothing
// past the answer.  Which verdict is the checker tests' business.
//
// Input: the answer segment as the exchange hands it over (length bytes, then
// a zero).  The part before the first zero byte also serves as a command and
// the part after it as the prefix MatchesCommand looks for.
#include <cstring>

#include "checkers.h"
#include "fuzz_support.h"

namespace {

bool IsVerdict(ECmdStatus s) {
    return s == CSim7100Impl::eCmdOk || s == CSim7100Impl::eCmdError || s == CSim7100Impl::eCmdPending;
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

    // Any command picks a checker for one or two answer parts.
    const char* command = answer;
    const auto selected = CSim7100Impl::SelectChecker(command);
    FUZZ_REQUIRE(selected.first == 1u || selected.first == 2u);
    FUZZ_REQUIRE(static_cast<bool>(selected.second));
    FUZZ_REQUIRE(IsVerdict(selected.second(answer, length)));
    // MatchesCommand walks a prefix and a command of any length.
    const size_t commandLength = strlen(command);
    (void)MatchesCommand(command, commandLength < size ? answer + commandLength + 1 : "");
    return 0;
}
