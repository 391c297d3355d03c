// The RTOS side's decoder (protocol/sim7100_link.c) on whatever the daemon's
// end of the link might send, with GetSignalQuality requests awaiting answers.
//
// Input: a byte that cuts the stream into chunks of 1 to 256 bytes, a byte
// whose value modulo 17 is the number of awaiting requests, then the stream.
// Cut or whole, the stream must give the same events after the same bytes; a
// call takes only bytes it was given and, without an event, all of them; a
// response's text is terminated; a failure takes nothing more.
#include <algorithm>
#include <vector>

#include "fuzz_support.h"
#include "sim7100_link.h"

namespace {

std::vector<std::pair<size_t, int>> Events(const uint8_t* data, size_t size, size_t cut, unsigned pending) {
    Sim7100Link link;
    sim7100_link_init(&link);
    uint8_t frame[SIM7100_FRAME_HEADER_SIZE];
    while (pending-- > 0) sim7100_link_request(&link, frame, sizeof frame, SIM7100_MSG_GET_SIGNAL_QUALITY, nullptr, 0);
    std::vector<std::pair<size_t, int>> events;
    int event = SIM7100_LINK_MORE;
    for (size_t at = 0, end = 0; at < size && event >= 0;) {
        if (at == end) end = std::min(size, at + cut);
        const size_t used = sim7100_link_receive(&link, data + at, end - at, &event);
        FUZZ_REQUIRE(used <= end - at && (event != SIM7100_LINK_MORE || used == end - at));
        at += used;
        const char* text = link.decoder.record.text;
        FUZZ_REQUIRE(event != SIM7100_LINK_RESPONSE || memchr(text, 0, SIM7100_TEXT_SIZE) != nullptr);
        if (event != SIM7100_LINK_MORE) events.emplace_back(at, event);
    }
    int again = event;
    FUZZ_REQUIRE(event >= 0 || (sim7100_link_receive(&link, data, size, &again) == 0 && again == event));
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const unsigned pending = data[1] % (SIM7100_LINK_PENDING + 1);
    FUZZ_REQUIRE(Events(data + 2, size - 2, 1u + data[0], pending) == Events(data + 2, size - 2, size, pending));
    return 0;
}
