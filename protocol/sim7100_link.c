/*
 * The RTOS side's half of the link; see sim7100_link.h.  The request checks
 * read the same lists as the daemon's dispatch, so the two cannot drift.
 */
#include "sim7100_link.h"
#ifndef SIM7100_LINK_NO_MEANINGS
#include "sim7100_meanings.h"
#endif

#include <string.h>

#define FRAME_SIZE (SIM7100_FRAME_HEADER_SIZE + SIM7100_RESPONSE_SIZE)

/* Indexed by type - SIM7100_MSG_FIRST_REQUEST: the list is in number order. */
typedef struct Payload {
    uint8_t kind;
    uint16_t size;
} Payload;

#define PAYLOAD_ROW(type, name, payload, size) {payload, size},
static const Payload payloads[] = {SIM7100_REQUEST_TYPES(PAYLOAD_ROW)};
#undef PAYLOAD_ROW

/*
 * Only string fields can be refused; bytes and plain characters pass.  A
 * field read only when its first byte is non-zero is checked alike: when
 * that byte is zero, so is the field's terminator.
 */
typedef struct Field {
    uint8_t type;
    uint16_t offset;
    uint16_t size;
} Field;

#define FIELD_ROW(type, layout, field, kind)    \
    {type, SIM7100_FIELD_OFFSET(layout, field), \
     (kind) == SIM7100_FIELD_STRING || (kind) == SIM7100_FIELD_STRING_OPT ? SIM7100_FIELD_SIZE(layout, field) : 0},
static const Field fields[] = {SIM7100_REQUEST_FIELDS(FIELD_ROW)};
#undef FIELD_ROW

#define COUNT(array) (sizeof(array) / sizeof((array)[0]))

void sim7100_decoder_init(Sim7100Decoder* decoder) { memset(decoder, 0, sizeof *decoder); }

size_t sim7100_decode(Sim7100Decoder* decoder, const void* bytes, size_t size, int* event) {
    const uint8_t* in = (const uint8_t*)bytes;
    size_t used = 0;
    *event = decoder->failure;
    while (used < size && decoder->failure == 0) {
        /* The header and the record are filled in place: the wire order is the host's. */
        uint8_t* to;
        size_t want;
        if (decoder->filled < SIM7100_FRAME_HEADER_SIZE) {
            to = (uint8_t*)&decoder->header + decoder->filled;
            want = SIM7100_FRAME_HEADER_SIZE - decoder->filled;
        } else {
            to = (uint8_t*)&decoder->record + (decoder->filled - SIM7100_FRAME_HEADER_SIZE);
            want = FRAME_SIZE - decoder->filled;
        }
        if (want > size - used) want = size - used;
        memcpy(to, in + used, want);
        used += want;
        decoder->filled += (uint32_t)want;
        if (decoder->filled == SIM7100_FRAME_HEADER_SIZE) {
            if (decoder->header.length == 0 && decoder->header.type == SIM7100_MSG_REGISTER) {
                decoder->filled = 0;
                *event = SIM7100_LINK_REGISTRATION;
                return used;
            }
            if (decoder->header.length != SIM7100_RESPONSE_SIZE) decoder->failure = SIM7100_LINK_E_FRAME;
        } else if (decoder->filled == FRAME_SIZE) {
            decoder->filled = 0;
            if (memchr(decoder->record.text, 0, sizeof decoder->record.text) == NULL) {
                decoder->failure = SIM7100_LINK_E_FRAME;
            } else {
                *event = SIM7100_LINK_RESPONSE;
                return used;
            }
        }
    }
    if (decoder->failure != 0) *event = decoder->failure;
    return used;
}

long sim7100_frame_encode(void* out, size_t room, uint32_t type, const void* payload, uint32_t length) {
    Sim7100FrameHeader header;
    if (room < SIM7100_FRAME_HEADER_SIZE || room - SIM7100_FRAME_HEADER_SIZE < length) return SIM7100_LINK_E_ROOM;
    header.length = length;
    header.type = type;
    memcpy(out, &header, sizeof header);
    if (length != 0) memcpy((uint8_t*)out + sizeof header, payload, length);
    return (long)(sizeof header + length);
}

int sim7100_request_check(uint32_t type, const void* payload, uint32_t length) {
    const uint8_t* data = (const uint8_t*)payload;
    const uint32_t index = type - SIM7100_MSG_FIRST_REQUEST; /* also sends 0 to 2 away */
    size_t i;
    if (index >= COUNT(payloads)) return SIM7100_LINK_E_TYPE;
    if (payloads[index].size == 0) return 0;
    if (data == NULL || length < payloads[index].size) return SIM7100_LINK_E_PAYLOAD;
    if (payloads[index].kind == SIM7100_PAYLOAD_TEXT && data[0] == 0) return SIM7100_LINK_E_PAYLOAD;
    for (i = 0; i < COUNT(fields); ++i) {
        const Field* f = &fields[i];
        if (f->type != type || f->size == 0) continue;
        if (memchr(data + f->offset, 0, f->size) == NULL) return SIM7100_LINK_E_FIELD;
    }
    return 0;
}

void sim7100_link_init(Sim7100Link* link) { memset(link, 0, sizeof *link); }

long sim7100_link_request(Sim7100Link* link, void* out, size_t room, uint32_t type, const void* payload,
                          uint32_t length) {
    long size;
    const int answered = type != SIM7100_MSG_TERMINATE;
    if (answered) {
        const int refused = sim7100_request_check(type, payload, length);
        if (refused != 0) return refused;
        if (link->count == SIM7100_LINK_PENDING) return SIM7100_LINK_E_BUSY;
    }
    size = sim7100_frame_encode(out, room, type, payload, length);
    if (size > 0 && answered) link->pending[(link->first + link->count++) % SIM7100_LINK_PENDING] = type;
    return size;
}

size_t sim7100_link_receive(Sim7100Link* link, const void* bytes, size_t size, int* event) {
    Sim7100Decoder* decoder = &link->decoder;
    const size_t used = sim7100_decode(decoder, bytes, size, event);
    if (*event == SIM7100_LINK_REGISTRATION) {
        if (link->registered) decoder->failure = SIM7100_LINK_E_ORDER;
        link->registered = 1;
    } else if (*event == SIM7100_LINK_RESPONSE) {
        if (!link->registered || link->count == 0 || link->pending[link->first] != decoder->header.type) {
            decoder->failure = SIM7100_LINK_E_ORDER;
        } else {
            link->first = (link->first + 1) % SIM7100_LINK_PENDING;
            --link->count;
        }
    }
    if (decoder->failure != 0) *event = decoder->failure;
    return used;
}

#ifndef SIM7100_LINK_NO_MEANINGS

typedef struct Meaning {
    int32_t value;
    const char* text;
} Meaning;

#define ERROR_ROW(value, name, text) {value, name ": " text},
static const Meaning errors[] = {SIM7100_ERR_MEANINGS(ERROR_ROW)};
#undef ERROR_ROW
#define CHIP_ROW(value, name) {value, SIM7100_CHIP_TYPE_WHAT ": " name},
static const Meaning chips[] = {SIM7100_CHIP_MEANINGS(CHIP_ROW)};
#undef CHIP_ROW

typedef struct CodeKind {
    uint8_t type;
    uint8_t kind;
    const char* what;
} CodeKind;

#define KIND_ROW(type, kind, what) {type, kind, what},
static const CodeKind kinds[] = {SIM7100_ERR_CODE_KINDS(KIND_ROW)};
#undef KIND_ROW

static const char* find(const Meaning* table, size_t count, int32_t value) {
    size_t i;
    for (i = 0; i < count; ++i)
        if (table[i].value == value) return table[i].text;
    return NULL;
}

const char* sim7100_error_meaning(uint32_t type, const SCmdResponseData* response) {
    const int32_t code = response->errCode;
    const char* text = code < 0 ? find(errors, COUNT(errors), code) : NULL;
    size_t i;
    if (text != NULL) return text;
    if (code == 0 && response->cmdStatus != SIM7100_STATUS_OK && response->cmdStatus != SIM7100_STATUS_CHIP_TYPE)
        return NULL;
    for (i = 0; i < COUNT(kinds); ++i)
        if (kinds[i].type == type) break;
    if (i == COUNT(kinds)) return NULL;
    switch (kinds[i].kind) {
    case SIM7100_CODE_CHIP_TYPE:
        return find(chips, COUNT(chips), code);
    case SIM7100_CODE_SMS_MODE:
        return code == SIM7100_SMS_MODE_PDU ? SIM7100_SMS_MODE_WHAT ": " SIM7100_SMS_MODE_PDU_NAME
                                            : SIM7100_SMS_MODE_WHAT ": " SIM7100_SMS_MODE_TEXT_NAME;
    case SIM7100_CODE_SIM_STATE:
        return code == SIM7100_SIM_STATE_UNNAMED ? kinds[i].what : NULL;
    default:
        return kinds[i].what;
    }
}
#endif
