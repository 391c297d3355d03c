// Every parser of the module's answer forms, on arbitrary bytes.  The answer
// sits in a heap block of exactly its length plus the terminator, as the
// exchange leaves it, so a read past the end is an AddressSanitizer report.
#include <cstring>

#include "answers.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const HeapBlock block = TerminatedCopy(data, size);
    const char* answer = block.get();
    const size_t textLength = strlen(answer);

    const CSim7100Impl::EChipType chip = ChipTypeOf(answer);
    FUZZ_REQUIRE(chip >= CSim7100Impl::eChipSim7100E && chip <= CSim7100Impl::eChipUnknown);

    const SSimState sim = SimStateOf(answer);
    FUZZ_REQUIRE(sim.cmdStatus == SIM7100_STATUS_OK ||
                 (sim.cmdStatus >= SIM7100_STATUS_SIM_PIN && sim.cmdStatus <= SIM7100_STATUS_SIM_PUK2));

    unsigned strength = 0;
    (void)SignalStrengthOf(answer, strength);

    // Revision words of the two sizes the operations use, each in a block of
    // exactly that size.
    for (const size_t wordSize : {size_t{64}, size_t{65}}) {
        HeapBlock word(static_cast<char*>(malloc(wordSize)));
        if (RevisionWordOf(answer, word.get(), wordSize)) {
            FUZZ_REQUIRE(memchr(word.get(), 0, wordSize) != nullptr);
            (void)SupportsLbs(word.get());
        }
    }
    (void)SupportsLbs(answer);

    // The provider name is cleaned where it stands: only blanks may replace
    // bytes, and the answer keeps its length.
    {
        const HeapBlock copy = TerminatedCopy(data, size);
        char name[64];
        unsigned mode = 0;
        const bool found = ServiceProviderOf(copy.get(), name, mode);
        for (size_t i = 0; i <= size; ++i) FUZZ_REQUIRE(copy[i] == answer[i] || copy[i] == ' ');
        FUZZ_REQUIRE(strlen(copy.get()) == textLength);
        if (found) FUZZ_REQUIRE(memchr(name, 0, sizeof name) != nullptr);
    }

    unsigned a = 0, b = 0;
    (void)NetworkModeOf(answer, a);
    (void)XtraFlagOf(answer, a);
    (void)RegistrationOf(answer, a, b);
    uint8_t mode = 0;
    (void)SmsModeOf(answer, mode);
    (void)StoredIndexOf(answer, a);
    FUZZ_REQUIRE(strlen(SmsStatusName(size != 0 ? data[0] : 0)) > 0);

    (void)NetStartOf(answer);

    const SLocation location = LocationOf(answer);
    if (location.line != nullptr) {
        FUZZ_REQUIRE(location.line >= answer && location.line <= answer + size);
        FUZZ_REQUIRE(location.fields >= 0 && location.fields <= 4);
    } else {
        FUZZ_REQUIRE(location.fields == 0);
    }

    FUZZ_REQUIRE(LengthThroughOk(answer) <= textLength);

    char headers[SIM7100_TEXT_SIZE];
    (void)CollectHeaders(answer, headers);
    FUZZ_REQUIRE(memchr(headers, 0, sizeof headers) != nullptr);
    return 0;
}
