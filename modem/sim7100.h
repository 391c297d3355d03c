// The modem object: one CSim7100Impl per process, reached through the static
// forwarding functions of CSim7100.  Every operation runs on the main thread
// and returns its response record by value; nothing is thrown.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <type_traits>
#include <utility>

#include "cmd_response.h"
#include "settings.h"
#include "sim7100_protocol.h"

extern bool g_debugMode;

// The signature of a request type's operation follows from the request list:
// no parameter, the payload's layout, or a text and its size.
namespace Sim7100Operation {

// Every layout has a field, so the field list names each layout type once or more.
#define SIM7100_LAYOUT_OF(type, layout, field, kind) layout LayoutOf(std::integral_constant<uint32_t, type>);
SIM7100_REQUEST_FIELDS(SIM7100_LAYOUT_OF)
#undef SIM7100_LAYOUT_OF
template <uint32_t Type>
using Layout = decltype(LayoutOf(std::integral_constant<uint32_t, Type>{}));

template <uint32_t Type, int Payload>
struct SSignature {
    using Fn = SCmdResponse();
};
template <uint32_t Type>
struct SSignature<Type, SIM7100_PAYLOAD_LAYOUT> {
    using Fn = SCmdResponse(const Layout<Type>* request);
};
template <uint32_t Type>
struct SSignature<Type, SIM7100_PAYLOAD_TEXT> {
    using Fn = SCmdResponse(const char* text, unsigned size);
};
template <uint32_t Type, int Payload>
using Signature = typename SSignature<Type, Payload>::Fn;

}  // namespace Sim7100Operation

class CSim7100 {
public:
    class CSim7100Impl;
    static CSim7100Impl* s_impl;

#define SIM7100_FORWARDER(type, name, payload, size) static Sim7100Operation::Signature<type, payload> name;
    SIM7100_REQUEST_TYPES(SIM7100_FORWARDER)
#undef SIM7100_FORWARDER
};

class CSim7100::CSim7100Impl {
public:
    enum ECmdStatus : int32_t {
        eCmdOk = 0,
        eCmdWriteFailed = -100,
        eCmdError = -101,
        eCmdPending = -102,
        eCmdOverflow = -103,
    };
    using ResponseChecker = std::function<ECmdStatus(const char* data, unsigned length)>;
    using CheckerFunction = ECmdStatus (*)(const char* data, unsigned length);

    enum EChipType : int32_t { eChipSim7100E = 0, eChipSim7100A = 1, eChipSim7600G = 2, eChipUnknown = 3 };
    enum ETraceDirection : int { eTraceInput = 0, eTraceOutput = 1, eTraceFlushed = 2 };

    static constexpr unsigned kResponseSize = 4096;

    // The process-wide instance, built on first use with ProcessSettings().
    static CSim7100Impl& Instance();

    explicit CSim7100Impl(const SDaemonSettings& settings = SDaemonSettings{});
    ~CSim7100Impl();
    CSim7100Impl(const CSim7100Impl&) = delete;
    CSim7100Impl& operator=(const CSim7100Impl&) = delete;

    // Port and trace.
    bool InitUart();
    void TraceLog(int direction, const char* text);
    static ssize_t PollRead(int fd, void* buffer, size_t length, int timeoutMs);
    int FlushPort(int fd, int queueSelector);

    // Exchange.
    ECmdStatus SendCommand(const char* command, unsigned expectedResponses, const ResponseChecker& checker);
    ECmdStatus ReadResponse(int timeoutMs, int retries, unsigned expectedResponses, const ResponseChecker& checker);

    // One operation per listed request type, defined in the file of its group
    // (power, connection, sim, network, gps, lbs, sms, raw).  A text
    // operation's data[size] is a readable zero byte, as in every payload
    // block of the request loop, so the text always ends.
// NOLINTNEXTLINE(bugprone-macro-parentheses): name is the declared name, not an expression
#define SIM7100_OPERATION(type, name, payload, size) Sim7100Operation::Signature<type, payload> name;
    SIM7100_REQUEST_TYPES(SIM7100_OPERATION)
#undef SIM7100_OPERATION
    // GpsDownloadXtra's wait for packet-data registration.
    SCmdResponse WaitGprsRegistration();

    static std::pair<unsigned, ResponseChecker> SelectChecker(const char* command);

    // State, for tests and the operations.
    int Fd() const { return m_fd; }
    bool Initialized() const { return m_initialized; }
    bool Connected() const { return m_connected; }
    const char* Response() const { return m_response; }
    const SDaemonSettings& Settings() const { return m_settings; }

private:
    // The operation frame, shared by every operation.
    // Refuses with "Chip is not initialized!" (cmdStatus 2, errCode -2).
    bool RequireInitialized(SCmdResponse& r) const;
    // One exchange; on failure r becomes cmdStatus 2, errCode the status and
    // failFormat filled with the answer.  True on eCmdOk.
    bool Exchange(SCmdResponse& r, const char* command, const char* failFormat = kChipInternalFail,
                  CheckerFunction checker = nullptr, unsigned expected = 1);
    ECmdStatus Send(const char* command, CheckerFunction checker = nullptr, unsigned expected = 1);
    void ClosePort();

    static constexpr const char* kChipInternalFail = "Chip internal fail! %s";

    int m_fd = -1;
    char m_response[kResponseSize + 1] = {};
    termios m_termios{};
    bool m_initialized = false;
    bool m_connected = false;
    SDaemonSettings m_settings;
};

using CSim7100Impl = CSim7100::CSim7100Impl;
using ECmdStatus = CSim7100Impl::ECmdStatus;
