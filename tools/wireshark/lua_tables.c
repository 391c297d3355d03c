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

    /* The meanings as a field engineer reads them next to the number. */
    fprintf(out, "local CMD_STATUS = {\n");
    fprintf(out, "    [%d] = \"request carried out\",\n", SIM7100_STATUS_OK);
    fprintf(out, "    [%d] = \"request failed or refused\",\n", SIM7100_STATUS_FAILED);
    fprintf(out, "    [%d] = \"data connection up\",\n", SIM7100_STATUS_CONNECTED);
    fprintf(out, "    [%d] = \"data connection down or unknown\",\n", SIM7100_STATUS_DISCONNECTED);
    fprintf(out, "    [%d] = \"SIM waits for its PIN\",\n", SIM7100_STATUS_SIM_PIN);
    fprintf(out, "    [%d] = \"SIM waits for its PUK\",\n", SIM7100_STATUS_SIM_PUK);
    fprintf(out, "    [%d] = \"SIM waits for PIN2\",\n", SIM7100_STATUS_SIM_PIN2);
    fprintf(out, "    [%d] = \"SIM waits for PUK2\",\n", SIM7100_STATUS_SIM_PUK2);
    fprintf(out, "    [%d] = \"chip type in errCode\",\n", SIM7100_STATUS_CHIP_TYPE);
    fprintf(out, "    [%d] = \"cell location not supported by the firmware\",\n", SIM7100_STATUS_LBS_UNSUPPORTED);
    fprintf(out, "}\n");

    fprintf(out, "local ERR_CODE = {\n");
    fprintf(out, "    [%d] = \"refused before any modem traffic\",\n", SIM7100_ERR_REFUSED);
    fprintf(out, "    [%d] = \"command not written to the module\",\n", SIM7100_ERR_WRITE_FAILED);
    fprintf(out, "    [%d] = \"module answered with an error\",\n", SIM7100_ERR_ERROR_RESULT);
    fprintf(out, "    [%d] = \"no final result from the module\",\n", SIM7100_ERR_NO_FINAL);
    fprintf(out, "    [%d] = \"module answer overflowed the buffer\",\n", SIM7100_ERR_OVERFLOW);
    fprintf(out, "}\n");
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
