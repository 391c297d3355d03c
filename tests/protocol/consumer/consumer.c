#include <sim7100/sim7100_link.h>
#include <sim7100/sim7100_meanings.h>

unsigned char response_frame[SIM7100_FRAME_HEADER_SIZE + sizeof(SCmdResponseData)];

#define STATUS_TEXT(value, name, text) text,
const char* const status_texts[] = {SIM7100_STATUS_MEANINGS(STATUS_TEXT)};
static Sim7100Link link;

long consumer_send_get_signal_quality(void* out, size_t room) {
    sim7100_link_init(&link);
    return sim7100_link_request(&link, out, room, SIM7100_MSG_GET_SIGNAL_QUALITY, 0, 0);
}
