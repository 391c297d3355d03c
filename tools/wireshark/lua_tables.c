/*
 * Writes sim7100.lua: copies the dissector's source and puts the link's
 * vocabulary and meanings, read from the protocol headers' lists, in place of the line
 * "--@TABLES@", so the dissector never carries a hand-copied type name,
 * size or offset.
 *   lua_tables SOURCE OUTPUT
 */
#include <stdio.h>
#include <string.h>

#include "sim7100_meanings.h"

/* A Lua string literal; the texts are plain ASCII without quotes. */
#define SIM7100_LUA_STATUS(value, name, text) fprintf(out, "    [%d] = \"%s\",\n", (int)(value), text);
#define SIM7100_LUA_ERR(value, name, text)    fprintf(out, "    [%d] = \"%s: %s\",\n", (int)(value), name, text);
#define SIM7100_LUA_NAMED(value, name)        fprintf(out, "    [%d] = \"%s\",\n", (int)(value), name);
#define SIM7100_LUA_KIND(type, kind, what) \
    fprintf(out, "    [%u] = { kind = %d, what = \"%s\" },\n", (unsigned)(type), (int)(kind), what);

static void WriteMeanings(FILE* out) {
    fprintf(out, "local CMD_STATUS = {\n");
    SIM7100_STATUS_MEANINGS(SIM7100_LUA_STATUS)
    fprintf(out, "}\nlocal ERR_CODE = {\n");
    SIM7100_ERR_MEANINGS(SIM7100_LUA_ERR)
    fprintf(out, "}\nlocal CHIP_TYPE = {\n");
    SIM7100_CHIP_MEANINGS(SIM7100_LUA_NAMED)
    fprintf(out, "}\nlocal SMS_STATUS = {\n");
    SIM7100_SMS_STATUS_MEANINGS(SIM7100_LUA_NAMED)
    fprintf(out, "}\nlocal CODE_KIND = {\n");
    SIM7100_ERR_CODE_KINDS(SIM7100_LUA_KIND)
    fprintf(out, "}\n");
    fprintf(out, "local CODE_CHIP_TYPE, CODE_SMS_MODE, CODE_NUMBER, CODE_SIM_STATE = %d, %d, %d, %d\n",
            SIM7100_CODE_CHIP_TYPE, SIM7100_CODE_SMS_MODE, SIM7100_CODE_NUMBER, SIM7100_CODE_SIM_STATE);
    fprintf(out, "local SIM_STATE_UNNAMED, STATUS_OK, STATUS_CHIP_TYPE = %d, %d, %d\n", SIM7100_SIM_STATE_UNNAMED,
            SIM7100_STATUS_OK, SIM7100_STATUS_CHIP_TYPE);
    fprintf(out, "local SMS_MODE_PDU, SMS_MODE_PDU_NAME, SMS_MODE_TEXT_NAME = %d, \"%s\", \"%s\"\n",
            SIM7100_SMS_MODE_PDU, SIM7100_SMS_MODE_PDU_NAME, SIM7100_SMS_MODE_TEXT_NAME);
    fprintf(out, "local SMS_STATUS_OTHER_NAME = \"%s\"\n", SIM7100_SMS_STATUS_OTHER_NAME);
}

static void WriteTables(FILE* out) {
    fprintf(out, "local FRAME_HEADER_SIZE = %u\n", SIM7100_FRAME_HEADER_SIZE);
    fprintf(out, "local RESPONSE_SIZE = %u\n", SIM7100_RESPONSE_SIZE);
    fprintf(out, "local TEXT_OFFSET = %u\n", (unsigned)offsetof(SCmdResponseData, text));
    fprintf(out, "local MSG_REGISTER = %u\n", SIM7100_MSG_REGISTER);
    fprintf(out, "local MSG_TERMINATE = %u\n", SIM7100_MSG_TERMINATE);
    fprintf(out, "local MSG_LAST = %u\n", SIM7100_MSG_LAST_REQUEST);
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

    WriteMeanings(out);
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
