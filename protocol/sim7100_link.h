/*
 * The RTOS side's half of the link: frames out, frames in, and the checks
 * the daemon makes, for firmware that owns its own socket.
 *
 * C89 to C11 and C++; no heap, no stdio, nothing beyond <string.h>.  Every
 * buffer is the caller's; a Sim7100Link is about 1.1 KiB and may live in
 * static storage.  Typical use, on any TCP stack:
 *
 *   sim7100_link_init(&link);                  after each accept
 *   n = sim7100_link_request(&link, out, sizeof out, type, &req, sizeof req);
 *   send out[0..n) when n > 0
 *   for each chunk received, until it is used up:
 *       used = sim7100_link_receive(&link, chunk, size, &event);
 *       chunk += used; size -= used;
 *       event SIM7100_LINK_RESPONSE: link.decoder.header.type and
 *       link.decoder.record hold the response to the oldest request;
 *       event below zero: the stream is out of step, close the connection.
 */
#ifndef SIM7100_LINK_H
#define SIM7100_LINK_H

#include "sim7100_protocol.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Failures, all below zero. */
#define SIM7100_LINK_E_ROOM    (-1) /* the caller's buffer is too small */
#define SIM7100_LINK_E_TYPE    (-2) /* not a type the RTOS side sends */
#define SIM7100_LINK_E_PAYLOAD (-3) /* shorter than the type needs, or its text empty */
#define SIM7100_LINK_E_FIELD   (-4) /* a string field holds no zero byte */
#define SIM7100_LINK_E_BUSY    (-5) /* SIM7100_LINK_PENDING requests still await responses */
#define SIM7100_LINK_E_FRAME   (-6) /* a frame the daemon never sends */
#define SIM7100_LINK_E_ORDER   (-7) /* a response to no awaiting request, or registration twice */

/* What a call to the decoder ended with, when not a failure. */
#define SIM7100_LINK_MORE         0 /* every byte taken; no frame is whole yet */
#define SIM7100_LINK_REGISTRATION 1 /* the daemon announced itself */
#define SIM7100_LINK_RESPONSE     2 /* header and record hold one response */

/*
 * Requests sent and not yet answered.  The daemon queues 16 and works on one;
 * firmware that keeps more in flight raises this when it compiles the
 * library.
 */
#ifndef SIM7100_LINK_PENDING
#define SIM7100_LINK_PENDING 16
#endif

/*
 * One frame in, from a byte stream cut anywhere.  Only the daemon's two
 * frames exist: the registration (length 0) and a response (length 1032,
 * its text terminated); anything else is SIM7100_LINK_E_FRAME, and a failure
 * stays until the decoder is initialised again.  After E_FRAME, header is
 * the header of the offending frame, for the caller's report.
 */
typedef struct Sim7100Decoder {
    Sim7100FrameHeader header; /* of the frame just completed */
    SCmdResponseData record;   /* of the response just completed */
    uint32_t filled;           /* bytes of the frame in progress */
    int failure;
} Sim7100Decoder;

void sim7100_decoder_init(Sim7100Decoder* decoder);
/*
 * Takes bytes up to the end of the next whole frame and returns how many it
 * took; *event says what came of them.  Call again with the rest.
 */
size_t sim7100_decode(Sim7100Decoder* decoder, const void* bytes, size_t size, int* event);

/* The 8-byte header and the payload into `out`: the frame's size, or E_ROOM. */
long sim7100_frame_encode(void* out, size_t room, uint32_t type, const void* payload, uint32_t length);

/*
 * 0 when the daemon will run a request of this type with this payload, else
 * why it would refuse it (E_PAYLOAD, E_FIELD), or E_TYPE outside
 * SIM7100_MSG_FIRST_REQUEST to _LAST_REQUEST.  Values the daemon passes on
 * unchanged are never refused.
 */
int sim7100_request_check(uint32_t type, const void* payload, uint32_t length);

/* A connection: its decoder and the types of the requests awaiting answers. */
typedef struct Sim7100Link {
    Sim7100Decoder decoder;
    uint32_t pending[SIM7100_LINK_PENDING];
    unsigned first;
    unsigned count;
    int registered;
} Sim7100Link;

void sim7100_link_init(Sim7100Link* link);
/*
 * A checked request (or SIM7100_MSG_TERMINATE, which is never answered)
 * framed into `out` and remembered for pairing: the frame's size, or why
 * not.  Nothing is remembered when it fails.
 */
long sim7100_link_request(Sim7100Link* link, void* out, size_t room, uint32_t type, const void* payload,
                          uint32_t length);
/*
 * sim7100_decode, and the response must answer the oldest awaiting request,
 * after the registration; otherwise E_ORDER, which stays like E_FRAME.
 */
size_t sim7100_link_receive(Sim7100Link* link, const void* bytes, size_t size, int* event);

#ifndef SIM7100_LINK_NO_MEANINGS
/*
 * What a response's errCode says for a request of `type`, in the words of
 * sim7100_meanings.h ("eCmdError: the module answered with an error result",
 * "chip type: SIM7600G", "signal strength, +CSQ"); NULL when it adds
 * nothing.  Firmware that needs every byte defines SIM7100_LINK_NO_MEANINGS
 * and drops these texts.
 */
const char* sim7100_error_meaning(uint32_t type, const SCmdResponseData* response);
#endif

#ifdef __cplusplus
}
#endif

#endif /* SIM7100_LINK_H */
