#include <sim7100/sim7100_link.h>

static Sim7100Link link;

long consumer_send_get_signal_quality(void* out, size_t room) {
    sim7100_link_init(&link);
    return sim7100_link_request(&link, out, room, SIM7100_MSG_GET_SIGNAL_QUALITY, 0, 0);
}
