// One AT exchange: flush stale input, write the command, collect the answer
// until the checker has seen enough completed segments or the budget is gone.
// Also the operation frame every operation is built from.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "checkers.h"
#include "process_exit.h"
#include "sim7100.h"

CSim7100Impl::ECmdStatus CSim7100Impl::SendCommand(const char* command, unsigned expectedResponses,
                                                   const ResponseChecker& checker) {
    printf("Send modem cmd %s\n", command);
    const size_t length = strlen(command);
    FlushPort(m_fd, TCIFLUSH);
    const ssize_t written = write(m_fd, command, length);
    TraceLog(eTraceInput, command);
    if (static_cast<size_t>(written) != length) {
        snprintf(m_response, kResponseSize, "Write cmd %s to modem failed, written bytes %u expected %u", command,
                 static_cast<unsigned>(written), static_cast<unsigned>(length));
        fprintf(stderr, "%s\n", m_response);
        return eCmdWriteFailed;
    }
    const ECmdStatus result = ReadResponse(m_settings.Ms(1000), 20, expectedResponses, checker);
    if (result != eCmdOk) printf("Modem responses with an no ok status %d\n", static_cast<int>(result));
    return result;
}

CSim7100Impl::ECmdStatus CSim7100Impl::ReadResponse(int timeoutMs, int retries, unsigned expectedResponses,
                                                    const ResponseChecker& checker) {
    unsigned received = 0;
    unsigned segmentStart = 0;
    unsigned completed = 0;
    ECmdStatus status = eCmdWriteFailed;
    memset(m_response, 0, kResponseSize);
    while (retries != 0 && received < kResponseSize) {
        // The wake pipe lets a signal end the process within the exchange
        // instead of after its 20 s budget.
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {Exit::WakeFd(), POLLIN, 0}};
        int pollResult = poll(fds, 2, timeoutMs);
        if (pollResult < 0 && errno == EINTR) {
            Exit::CompleteIfPending();
            continue;
        }
        if (fds[1].revents & POLLIN) Exit::CompleteIfPending();
        if (pollResult > 0 && fds[0].revents == 0) continue;  // only the wake pipe, already handled
        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(m_fd, m_response + received, kResponseSize - received);
            if (n < 0) {
                perror("Rx error");
                snprintf(m_response + received, kResponseSize - 1 - received, "Rx error %d", static_cast<int>(n));
                break;
            }
            received += static_cast<unsigned>(n);
            if (received >= kResponseSize) {
                status = eCmdOverflow;
                break;
            }
            TraceLog(eTraceOutput, m_response + received - n);
            status = checker(m_response + segmentStart, received - segmentStart);
            if (status == eCmdPending) {
                --retries;
                continue;
            }
            ++completed;
            segmentStart = received;
            if (completed >= expectedResponses) break;
            continue;
        }
        if (pollResult < 0) {
            perror("Poll error.");
            snprintf(m_response + received, kResponseSize - 1 - received, "Poll error %d", pollResult);
            break;
        }
        if (pollResult == 0) printf("No RX data. Retry: %d\n", retries);
        --retries;
    }
    printf("LTE modem response %s, status %d\n", m_response, static_cast<int>(status));
    return status;
}

bool CSim7100Impl::RequireInitialized(SCmdResponse& r) const {
    if (m_initialized) return true;
    r.Set(SIM7100_STATUS_FAILED, SIM7100_ERR_REFUSED);
    r.Copy("Chip is not initialized!");
    return false;
}

CSim7100Impl::ECmdStatus CSim7100Impl::Send(const char* command, CheckerFunction checker, unsigned expected) {
    const ResponseChecker check(checker != nullptr ? checker : CheckFinalResult);
    return SendCommand(command, expected, check);
}

bool CSim7100Impl::Exchange(SCmdResponse& r, const char* command, const char* failFormat, CheckerFunction checker,
                            unsigned expected) {
    const ECmdStatus status = Send(command, checker, expected);
    if (status == eCmdOk) return true;
    r.Set(SIM7100_STATUS_FAILED, status);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    r.Format(failFormat, m_response);
#pragma GCC diagnostic pop
    return false;
}
