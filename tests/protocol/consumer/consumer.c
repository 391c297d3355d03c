#include <sim7100/sim7100_meanings.h>

unsigned char response_frame[SIM7100_FRAME_HEADER_SIZE + sizeof(SCmdResponseData)];

#define STATUS_TEXT(value, name, text) text,
const char* const status_texts[] = {SIM7100_STATUS_MEANINGS(STATUS_TEXT)};
