#include <sim7100/sim7100_protocol.h>

unsigned char response_frame[SIM7100_FRAME_HEADER_SIZE + sizeof(SCmdResponseData)];
