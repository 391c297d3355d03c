// The RTOS side of the link on 127.0.0.1 and a free port, framing and reading
// through the RTOS side's link library.  Frames go out unchecked, so a test
// can send what the daemon must refuse.  Every wait has a deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "sim7100_link.h"

class RtosPeer {
public:
    using Clock = std::chrono::steady_clock;

    struct SResponse {
        uint32_t type = 0;
        SCmdResponseData record{};
        std::string Text() const { return record.text; }  // terminated: the decoder checks
    };

    // Binds a free port at once, so the daemon can be pointed at it; with
    // listen false, connection attempts are refused.
    explicit RtosPeer(bool listen = true);
    ~RtosPeer();
    RtosPeer(const RtosPeer&) = delete;
    RtosPeer& operator=(const RtosPeer&) = delete;

    uint16_t Port() const { return m_port; }

    // Accepts the daemon and reads its first 8 bytes; false on a time-out or
    // when they are not the registration frame.
    bool AcceptRegistered(std::chrono::milliseconds deadline);

    bool SendRaw(const std::string& bytes);
    bool SendFrame(uint32_t type, const std::string& payload = {});
    static std::string Frame(uint32_t type, const std::string& payload = {});
    static std::string Frame(uint32_t type, const SCmdResponseData& record) {  // the daemon's side
        return Frame(type, std::string(reinterpret_cast<const char*>(&record), sizeof record));
    }

    // Exactly n bytes, or nothing when the deadline passes or the link ends.
    std::optional<std::string> ReadExact(size_t n, std::chrono::milliseconds deadline);
    // One response frame of 1040 bytes; nothing when it does not come whole
    // or is no response (its length is not 1032, its text not terminated).
    std::optional<SResponse> ReadResponse(std::chrono::milliseconds deadline);
    // True when the daemon closes the link before sending another byte.
    bool WaitClosed(std::chrono::milliseconds deadline);

    // Closes the accepted connection (the listener stays).
    void CloseConnection();

private:
    int m_listen = -1;
    int m_conn = -1;
    uint16_t m_port = 0;
};
