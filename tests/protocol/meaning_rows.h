// What the response's numbers mean, written out here rather than taken from
// protocol/sim7100_meanings.h: a swapped or reworded meaning there must fail
// the link library's, sim7100ctl's and the dissector's tests, which read these rows.
#pragma once

#include <stdint.h>

typedef struct SMeaningRow {
    uint32_t type;
    int32_t cmdStatus;
    int32_t errCode;
    const char* errMeaning;  // "" for a code that says nothing
    const char* statusMeaning;
} SMeaningRow;

static const SMeaningRow kMeaningRows[] = {
    {9, 2, -2, "refused: refused before any modem traffic", "request failed or refused"},
    {20, 2, -100, "eCmdWriteFailed: not written, or no answer byte at all", "request failed or refused"},
    {9, 2, -101, "eCmdError: the module answered with an error result", "request failed or refused"},
    {20, 2, -102, "eCmdPending: an answer came, but no final result within the wait", "request failed or refused"},
    {27, 2, -103, "eCmdOverflow: the answer overflowed the receive buffer", "request failed or refused"},
    {20, 2, 0, "", "request failed or refused"},
    {20, 1, 23, "signal strength, +CSQ", "request carried out"},
    {14, 9, 0, "chip type: SIM7100E", "chip type reported in errCode"},
    {14, 9, 1, "chip type: SIM7100A", "chip type reported in errCode"},
    {14, 9, 2, "chip type: SIM7600G", "chip type reported in errCode"},
    {14, 9, 3, "chip type: none of these", "chip type reported in errCode"},
    {33, 1, 0, "SMS mode: PDU", "request carried out"},
    {35, 1, 7, "SMS mode: text", "request carried out"},
    {12, 1, 2, "the answer named no SIM state", "request carried out"},
    {12, 5, 0, "", "SIM waits for its PIN"},
    {10, 6, 0, "", "SIM waits for its PUK"},
    {12, 7, 0, "", "SIM waits for PIN2"},
    {12, 8, 0, "", "SIM waits for PUK2"},
    {13, 3, 0, "", "data connection up"},
    {13, 4, 0, "", "data connection down, or its state unread"},
    {21, 10, 0, "", "cell location not supported by the firmware"},
    {21, 2, 1, "result code of +CNETSTART", "request failed or refused"},
    {9, 1, 3, "", "request carried out"},
};
