/*
 * Writes sim7100.lua: copies the dissector's source and puts the link's
 * vocabulary, read from the protocol header's lists, in place of the line
 * "--@TABLES@", so the dissector never carries a hand-copied type name,
 * size or offset.
 *   lua_tables SOURCE OUTPUT
 */
#include <stdio.h>
#include <string.h>

#include "sim7100_protocol.h"

/* The meanings as a field engineer reads them next to the number. */
struct SMeaning {
    int value;
    const char* text;
};

static const struct SMeaning kCmdStatus[] = {
    {SIM7100_STATUS_OK, "request carried out"},
    {SIM7100_STATUS_FAILED, "request failed or refused"},
    {SIM7100_STATUS_CONNECTED, "data connection up"},
    {SIM7100_STATUS_DISCONNECTED, "data connection down or unknown"},
    {SIM7100_STATUS_SIM_PIN, "SIM waits for its PIN"},
    {SIM7100_STATUS_SIM_PUK, "SIM waits for its PUK"},
    {SIM7100_STATUS_SIM_PIN2, "SIM waits for PIN2"},
    {SIM7100_STATUS_SIM_PUK2, "SIM waits for PUK2"},
    {SIM7100_STATUS_CHIP_TYPE, "chip type in errCode"},
    {SIM7100_STATUS_LBS_UNSUPPORTED, "cell location not supported by the firmware"},
};

static const struct SMeaning kErrCode[] = {
    {SIM7100_ERR_REFUSED, "refused before any modem traffic"},
    {SIM7100_ERR_WRITE_FAILED, "command not written to the module"},
    {SIM7100_ERR_ERROR_RESULT, "module answered with an error"},
    {SIM7100_ERR_NO_FINAL, "no final result from the module"},
    {SIM7100_ERR_OVERFLOW, "module answer overflowed the buffer"},
};

static void WriteMeanings(FILE* out, const char* table, const struct SMeaning* meanings, size_t count) {
    size_t i;
    fprintf(out, "local %s = {\n", table);
    for (i = 0; i < count; ++i) fprintf(out, "    [%d] = \"%s\",\n", meanings[i].value, meanings[i].text);
    fprintf(out, "}\n");
}

static void WriteTables(FILE* out) {
    fprintf(out, "local FRAME_HEADER_SIZE = %u\n", SIM7100_FRAME_HEADER_SIZE);
    fprintf(out, "local RESPONSE_SIZE = %u\n", SIM7100_RESPONSE_SIZE);
    fprintf(out, "local TEXT_OFFSET = %u\n", (unsigned)offsetof(SCmdResponseData, text));
    fprintf(out, "local MSG_REGISTER = %u\n", SIM7100_MSG_REGISTER);
    fprintf(out, "local MSG_TERMINATE = %u\n", SIM7100_MSG_TERMINATE);
    fprintf(out, "local PAYLOAD_NONE, PAYLOAD_LAYOUT, PAYLOAD_TEXT = %d, %d, %d\n", SIM7100_PAYLOAD_NONE,
            SIM7100_PAYLOAD_LAYOUT, SIM7100_PAYLOAD_TEXT);
    fprintf(out, "local FIELD_BYTE, FIELD_STRING, FIELD_STRING_OPT, FIELD_CHARS = %d, %d, %d, %d\n", SIM7100_FIELD_BYTE,
            SIM7100_FIELD_STRING, SIM7100_FIELD_STRING_OPT, SIM7100_FIELD_CHARS);

    fprintf(out, "local REQUEST_TYPES = {\n");
#define SIM7100_LUA_TYPE(type, name, payload, size)                                                                \
    fprintf(out, "    [%u] = { name = \"%s\", payload = %d, size = %u, fields = {} },\n", (unsigned)(type), #name, \
            (int)(payload), (unsigned)(size));
    SIM7100_REQUEST_TYPES(SIM7100_LUA_TYPE)
#undef SIM7100_LUA_TYPE
    fprintf(out, "}\n");

#define SIM7100_LUA_FIELD(type, layout, field, kind)                                                               \
    fprintf(out, "table.insert(REQUEST_TYPES[%u].fields, { name = \"%s\", kind = %d, offset = %u, size = %u })\n", \
            (unsigned)(type), #field, (int)(kind), (unsigned)SIM7100_FIELD_OFFSET(layout, field),                  \
            (unsigned)SIM7100_FIELD_SIZE(layout, field));
    SIM7100_REQUEST_FIELDS(SIM7100_LUA_FIELD)
#undef SIM7100_LUA_FIELD

    WriteMeanings(out, "CMD_STATUS", kCmdStatus, sizeof kCmdStatus / sizeof kCmdStatus[0]);
    WriteMeanings(out, "ERR_CODE", kErrCode, sizeof kErrCode / sizeof kErrCode[0]);
}

int main(int argc, char** argv) {
    FILE* in;
    FILE* out;
    char line[1024];
    int spliced = 0;
    if (argc != 3) {
        fprintf(stderr, "usage: %s SOURCE OUTPUT\n", argv[0]);
        return 2;
    }
    in = fopen(argv[1], "r");
    if (in == NULL) {
        perror(argv[1]);
        return 1;
    }
    out = fopen(argv[2], "w");
    if (out == NULL) {
        perror(argv[2]);
        fclose(in);
        return 1;
    }
    while (fgets(line, sizeof line, in) != NULL) {
        if (strcmp(line, "--@TABLES@\n") == 0) {
            WriteTables(out);
            spliced = 1;
        } else {
            fputs(line, out);
        }
    }
    fclose(in);
    if (fclose(out) != 0 || !spliced) {
        fprintf(stderr, "%s: %s\n", argv[2], spliced ? "write failed" : "no --@TABLES@ line in the source");
        remove(argv[2]);
        return 1;
    }
    return 0;
}
