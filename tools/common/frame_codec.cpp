#include "frame_codec.h"

#include <algorithm>
#include <cstring>

namespace sim7100 {

std::string EncodeFrame(uint32_t type, const void* payload, size_t size) {
    const Sim7100FrameHeader header{static_cast<uint32_t>(size), type};
    std::string frame(reinterpret_cast<const char*>(&header), sizeof header);
    if (size != 0) frame.append(static_cast<const char*>(payload), size);
    return frame;
}

std::string EncodeResponse(uint32_t type, const SCmdResponseData& record) {
    return EncodeFrame(type, &record, sizeof record);
}

Sim7100FrameHeader DecodeHeader(const void* bytes) {
    Sim7100FrameHeader header;
    memcpy(&header, bytes, sizeof header);
    return header;
}

SCmdResponseData DecodeRecord(const void* payload, size_t size) {
    SCmdResponseData record;
    memset(&record, 0, sizeof record);
    if (size != 0) memcpy(&record, payload, std::min(size, sizeof record));
    return record;
}

std::string RecordText(const SCmdResponseData& record) {
    return std::string(record.text, strnlen(record.text, sizeof record.text));
}

}  // namespace sim7100
