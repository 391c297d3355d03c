/*
 * The link library's cases, the same source on the host and on the emulated
 * Cortex-M4; check.cmake reads the last line.  With SIM7100_LINK_PLANTED one
 * row expects the wrong result, so the run must fail.
 */
#include <stdio.h>
#include <string.h>

#include "meaning_rows.h"
#include "sim7100_link.h"

static int passed, failed;

static void expect(int ok, const char* table, int row, long got) {
    if (!ok) printf("FAILED: %s row %d: got %ld\n", table, row, got);
    passed += ok != 0;
    failed += ok == 0;
}

/* A payload of `length` bytes 'x', with zero bytes at up to two offsets. */
static const struct {
    uint32_t type, length;
    int zero[2];
    int result;
} checks[] = {
    {SIM7100_MSG_GET_SIGNAL_QUALITY, 0, {-1, -1}, 0},
    {SIM7100_MSG_GET_SIGNAL_QUALITY, 4, {-1, -1}, 0}, /* ignored by the daemon */
    {SIM7100_MSG_REGISTER, 0, {-1, -1}, SIM7100_LINK_E_TYPE},
    {SIM7100_MSG_LAST_REQUEST + 1, 0, {-1, -1}, SIM7100_LINK_E_TYPE},
    {SIM7100_MSG_RAW_COMMAND, 0, {-1, -1}, 0},
    {SIM7100_MSG_RAW_COMMAND, 5, {-1, -1}, 0},
    {SIM7100_MSG_SET_ERROR_REPORTING, 0, {-1, -1}, SIM7100_LINK_E_PAYLOAD},
    {SIM7100_MSG_SET_ERROR_REPORTING, 1, {0, -1}, SIM7100_LINK_E_PAYLOAD},
    {SIM7100_MSG_SET_ERROR_REPORTING, 1, {-1, -1}, 0},
    {SIM7100_MSG_SET_APN, 255, {0, -1}, SIM7100_LINK_E_PAYLOAD},
    {SIM7100_MSG_SET_APN, 256, {255, -1}, 0},
    {SIM7100_MSG_SET_APN, 300, {-1, 256}, SIM7100_LINK_E_FIELD},
    {SIM7100_MSG_SET_AUTHENTICATION, 512, {255, -1}, SIM7100_LINK_E_FIELD},
    {SIM7100_MSG_SET_AUTHENTICATION, 512, {0, 511}, 0},
    {SIM7100_MSG_ENTER_PIN, 64, {4, -1}, SIM7100_LINK_E_FIELD},
    {SIM7100_MSG_ENTER_PIN, 64, {4, 32}, 0}, /* no new PIN: the rest unread */
    {SIM7100_MSG_ENTER_PIN, 64, {32, 63}, SIM7100_LINK_E_FIELD},
    {SIM7100_MSG_WRITE_SMS, 176, {-1, -1}, SIM7100_LINK_E_PAYLOAD},
    {SIM7100_MSG_WRITE_SMS, 177, {-1, -1}, 0}, /* phone and body are plain characters */
#ifdef SIM7100_LINK_PLANTED
    {SIM7100_MSG_SET_APN, 256, {255, -1}, SIM7100_LINK_E_FIELD},
#endif
};

static void test_checks(void) {
    static uint8_t payload[600], frame[600];
    size_t i;
    for (i = 0; i < sizeof checks / sizeof checks[0]; ++i) {
        const int ok = checks[i].result == 0;
        Sim7100Link link;
        long sent;
        memset(payload, 'x', sizeof payload);
        if (checks[i].zero[0] >= 0) payload[checks[i].zero[0]] = 0;
        if (checks[i].zero[1] >= 0) payload[checks[i].zero[1]] = 0;
        sim7100_link_init(&link);
        sent = sim7100_link_request(&link, frame, sizeof frame, checks[i].type, payload, checks[i].length);
        expect(sent == (ok ? (long)(8 + checks[i].length) : checks[i].result) && link.count == (unsigned)ok &&
                   (!ok || (memcmp(frame, &checks[i].length, 4) == 0 && memcmp(frame + 4, &checks[i].type, 4) == 0 &&
                            memcmp(frame + 8, payload, checks[i].length) == 0)),
               "checks", (int)i, sent);
    }
}

/*
 * The daemon's bytes as the RTOS side receives them, in chunks of every row's
 * size; the events must not depend on the cut.  Frames are named by letters:
 * g registration, r response to 20 (the next to 24), x one whose text has no
 * terminator, l a length of 4, z length 0 of type 20, G length 1032 of type 1.
 */
static const struct {
    const char* frames;
    uint32_t sends[3]; /* request types until 0 */
    int events[4];
} streams[] = {
    {"grr", {20, 24}, {1, 2, 2, 0}}, {"gr", {SIM7100_MSG_TERMINATE, 20, 24}, {1, 2, 0, 0}},
    {"rg", {20}, {-7, 0, 0, 0}},                                   /* a response before the registration */
    {"gg", {0}, {1, -7, 0, 0}},      {"grr", {20}, {1, 2, -7, 0}}, /* more responses than requests */
    {"gr", {24}, {1, -7, 0, 0}},                                   /* the wrong type */
    {"gx", {20}, {1, -6, 0, 0}},     {"glr", {20}, {1, -6, 0, 0}},
    {"gz", {0}, {1, -6, 0, 0}},      {"G", {0}, {-7, 0, 0, 0}},
};
static const size_t cuts[] = {1, 7, 8, 9, 1039, 1040, 1041, 4000};

static size_t build(const char* frames, uint8_t* out) {
    static SCmdResponseData record;
    size_t at = 0;
    uint32_t type = SIM7100_MSG_GET_SIGNAL_QUALITY;
    for (; *frames != 0; ++frames) {
        const uint32_t length = strchr("rxG", *frames) ? SIM7100_RESPONSE_SIZE : *frames == 'l' ? 4 : 0;
        memset(record.text, *frames == 'x' ? 'x' : 0, sizeof record.text);
        if (*frames != 'x') strcpy(record.text, "+CSQ: 20,99");
        at += (size_t)sim7100_frame_encode(out + at, 2000, strchr("gG", *frames) ? SIM7100_MSG_REGISTER : type, &record,
                                           length);
        if (*frames == 'r') type = SIM7100_MSG_GET_FIRMWARE_VERSION;
    }
    return at;
}

static void test_streams(void) {
    static uint8_t bytes[5000], frame[8];
    size_t row, cut;
    for (row = 0; row < sizeof streams / sizeof streams[0]; ++row) {
        const size_t size = build(streams[row].frames, bytes);
        for (cut = 0; cut < sizeof cuts / sizeof cuts[0]; ++cut) {
            Sim7100Link link;
            int seen[4] = {0, 0, 0, 0}, n = 0, event = 0, again = 0;
            size_t at = 0, end = 0, i;
            sim7100_link_init(&link);
            for (i = 0; i < 3 && streams[row].sends[i] != 0; ++i)
                sim7100_link_request(&link, frame, sizeof frame, streams[row].sends[i], NULL, 0);
            while (at < size && n < 4 && event >= 0) {
                if (at == end) end = at + cuts[cut] < size ? at + cuts[cut] : size;
                at += sim7100_link_receive(&link, bytes + at, end - at, &event);
                if (event == SIM7100_LINK_RESPONSE && strcmp(link.decoder.record.text, "+CSQ: 20,99") != 0) event = 9;
                if (event != SIM7100_LINK_MORE) seen[n++] = event;
            }
            /* A failure stays: nothing more is taken. */
            if (event < 0 && (sim7100_link_receive(&link, bytes, size, &again) != 0 || again != event)) seen[0] = 8;
            expect(memcmp(seen, streams[row].events, sizeof seen) == 0, "streams", (int)(row * 100 + cut), seen[0]);
        }
    }
}

static void test_limits(void) {
    static uint8_t frame[16];
    Sim7100Link link;
    int i;
    sim7100_link_init(&link);
    expect(sim7100_link_request(&link, frame, 7, SIM7100_MSG_GPS_STOP, NULL, 0) == SIM7100_LINK_E_ROOM && !link.count,
           "limits", 0, 0);
    expect(sim7100_frame_encode(frame, 11, 9, frame, 4) == SIM7100_LINK_E_ROOM &&
               sim7100_frame_encode(frame, 12, 9, frame, 4) == 12,
           "limits", 1, 0);
    for (i = 0; i < SIM7100_LINK_PENDING; ++i) sim7100_link_request(&link, frame, 8, SIM7100_MSG_GPS_STOP, NULL, 0);
    expect(sim7100_link_request(&link, frame, 8, SIM7100_MSG_GPS_STOP, NULL, 0) == SIM7100_LINK_E_BUSY, "limits", 2, 0);
    expect(sim7100_link_request(&link, frame, 8, SIM7100_MSG_TERMINATE, NULL, 0) == 8, "limits", 3, 0);
}

static void test_meanings(void) {
    static SCmdResponseData r;
    size_t i;
    for (i = 0; i < sizeof kMeaningRows / sizeof kMeaningRows[0]; ++i) {
        const char *want = kMeaningRows[i].errMeaning, *got;
        r.cmdStatus = kMeaningRows[i].cmdStatus;
        r.errCode = kMeaningRows[i].errCode;
        got = sim7100_error_meaning(kMeaningRows[i].type, &r);
        expect(got ? strcmp(got, want) == 0 : !*want, "meanings", (int)i, 0);
    }
}

int main(void) {
    test_checks();
    test_meanings();
    test_streams();
    test_limits();
    printf("%d passed, %d failed\n", passed, failed);
    return failed != 0;
}
