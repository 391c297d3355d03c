// The RTOS side's end of the link: a TCP listener that takes one daemon and
// exchanges frames with it through the link library, every wait bounded by
// a deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "ctl_commands.h"
#include "sim7100_link.h"

namespace ctl {

using Clock = std::chrono::steady_clock;
// No value: wait without limit.
using Deadline = std::optional<Clock::time_point>;
Deadline After(double seconds);  // seconds <= 0: no limit

// Stray: a whole frame, or a header, that is not the one waited for.
enum class EWait { Ok, Timeout, Closed, Failed, Stray };

class CLink {
public:
    CLink() = default;
    ~CLink();
    CLink(const CLink&) = delete;
    CLink& operator=(const CLink&) = delete;

    // Port 0 picks a free port; Port() tells which.
    bool Listen(const std::string& address, uint16_t port, std::string& error);
    uint16_t Port() const { return m_port; }
    // Takes the first connection and stops listening; `peer` is "addr:port".
    EWait Accept(Deadline deadline, std::string& peer, std::string& error);
    // Sends the frame as given: the daemon's checks are the daemon's to make.
    bool Send(uint32_t type, const Bytes& payload, std::string& error);
    // The registration; Stray with `header` as soon as a header says otherwise
    // (a payload announced there may never come).
    EWait Register(Deadline deadline, Sim7100FrameHeader& header, std::string& error);
    // One response; Timeout also when only part of it came.  A text without
    // its terminator still comes as a response, for the caller to warn of.
    EWait Receive(Deadline deadline, Sim7100FrameHeader& header, SCmdResponseData& record, std::string& error);
    // False once the daemon has sent a frame it never sends: nothing after it can be read.
    bool InStep() const { return m_decoder.failure == 0; }
    // Waits until the daemon closes its end; bytes that still come are dropped.
    EWait WaitClosed(Deadline deadline);
    int Fd() const { return m_conn; }
    void Close();

private:
    // Feeds the decoder from what was received, receiving when all is used.
    EWait Next(Deadline deadline, int& event, std::string& error);

    int m_listen = -1;
    int m_conn = -1;
    uint16_t m_port = 0;
    Sim7100Decoder m_decoder{};
    uint8_t m_received[2048]{};
    size_t m_used = 0;
    size_t m_size = 0;
};

}  // namespace ctl
