// The RTOS side's end of the link: a TCP listener that takes one daemon and
// exchanges frames with it, every wait bounded by a deadline.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "ctl_commands.h"
#include "sim7100_protocol.h"

namespace ctl {

using Clock = std::chrono::steady_clock;
// No value: wait without limit.
using Deadline = std::optional<Clock::time_point>;
Deadline After(double seconds);  // seconds <= 0: no limit

enum class EWait { Ok, Timeout, Closed, Failed };

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
    bool Send(uint32_t type, const Bytes& payload, std::string& error);
    // The 8-byte header alone.
    EWait ReceiveHeader(Deadline deadline, Sim7100FrameHeader& header, std::string& error);
    // One whole frame; Timeout also when only part of it came.
    EWait Receive(Deadline deadline, Sim7100FrameHeader& header, Bytes& payload, std::string& error);
    // Waits until the daemon closes its end; bytes that still come are dropped.
    EWait WaitClosed(Deadline deadline);
    int Fd() const { return m_conn; }
    void Close();

private:
    EWait ReadExactly(Deadline deadline, void* data, size_t size, std::string& error);

    int m_listen = -1;
    int m_conn = -1;
    uint16_t m_port = 0;
};

}  // namespace ctl
