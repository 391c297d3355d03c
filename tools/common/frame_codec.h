// The link's framing, for every program that plays one end of it: an 8-byte
// header {length, type} in the host's byte order, then `length` payload
// bytes; a response's payload is one 1032-byte record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim7100_protocol.h"

namespace sim7100 {

std::string EncodeFrame(uint32_t type, const void* payload, size_t size);
inline std::string EncodeFrame(uint32_t type, const std::string& payload = {}) {
    return EncodeFrame(type, payload.data(), payload.size());
}
// A response frame: the header announcing one record, then the record.
std::string EncodeResponse(uint32_t type, const SCmdResponseData& record);

// The header at the start of `bytes`, which holds at least 8 bytes.
Sim7100FrameHeader DecodeHeader(const void* bytes);
// A record from the first `size` bytes of a payload; what is missing stays zero.
SCmdResponseData DecodeRecord(const void* payload, size_t size);
// The record's text up to its terminator or the end of its field.
std::string RecordText(const SCmdResponseData& record);

}  // namespace sim7100
