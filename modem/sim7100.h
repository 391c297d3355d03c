// The modem object: one CSim7100Impl per process, reached through the static
// forwarding functions of CSim7100.  Every operation runs on the main thread
// and returns its response record by value; nothing is thrown.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>

#include "cmd_response.h"
#include "settings.h"
#include "sim7100_protocol.h"

extern bool g_debugMode;

class CSim7100 {
public:
    class CSim7100Impl;
    static CSim7100Impl* s_impl;

    static SCmdResponse PowerOn();
    static SCmdResponse PowerOff();
    static SCmdResponse StandBy();
    static SCmdResponse Connect();
    static SCmdResponse Disconnect();
    static SCmdResponse SetAuthentication(const SSetAuthenticationRequest* request);
    static SCmdResponse SetApn(const SSetApnRequest* request);
    static SCmdResponse EnterPin(const SEnterPinRequest* request);
    static SCmdResponse GetPinRetries();
    static SCmdResponse GetSimStatus();
    static SCmdResponse GetConnectionStatus();
    static SCmdResponse GetChipType();
    static SCmdResponse GpsStart();
    static SCmdResponse GpsStop();
    static SCmdResponse GpsGetInfo();
    static SCmdResponse GpsGetXtraStatus();
    static SCmdResponse GpsEnableXtra();
    static SCmdResponse GetSignalQuality();
    static SCmdResponse LbsStart();
    static SCmdResponse LbsStop();
    static SCmdResponse LbsGetLocation();
    static SCmdResponse GetFirmwareVersion();
    static SCmdResponse RawCommand(const char* data, unsigned size);
    static SCmdResponse SetErrorReporting(const char* text);
    static SCmdResponse GetServiceProvider();
    static SCmdResponse GetNetworkMode();
    static SCmdResponse SetClock(const SSetClockRequest* request);
    static SCmdResponse GpsDownloadXtra();
    static SCmdResponse SetTimeServer(const SSetTimeServerRequest* request);
    static SCmdResponse UpdateTime();
    static SCmdResponse GetSmsMode();
    static SCmdResponse SetSmsMode(const SSetSmsModeRequest* request);
    static SCmdResponse ListSms(const SListSmsRequest* request);
    static SCmdResponse ReadSms(const SReadSmsRequest* request);
    static SCmdResponse DeleteSms(const SDeleteSmsRequest* request);
    static SCmdResponse WriteSms(const SWriteSmsRequest* request);
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

    // Power and identity.
    SCmdResponse PowerOn();
    SCmdResponse PowerOff();
    SCmdResponse StandBy();
    SCmdResponse GetChipType();
    // Data connection.
    SCmdResponse Connect();
    SCmdResponse Disconnect();
    SCmdResponse GetConnectionStatus();
    // SIM and packet-data settings.
    SCmdResponse SetAuthentication(const SSetAuthenticationRequest* request);
    SCmdResponse SetApn(const SSetApnRequest* request);
    SCmdResponse EnterPin(const SEnterPinRequest* request);
    SCmdResponse GetPinRetries();
    SCmdResponse GetSimStatus();
    // Network information.
    SCmdResponse GetSignalQuality();
    SCmdResponse GetFirmwareVersion();
    SCmdResponse SetErrorReporting(const char* text);
    SCmdResponse GetServiceProvider();
    SCmdResponse GetNetworkMode();
    // GPS, assistance data and time.
    SCmdResponse GpsStart();
    SCmdResponse GpsStop();
    SCmdResponse GpsGetInfo();
    SCmdResponse GpsGetXtraStatus();
    SCmdResponse GpsEnableXtra();
    SCmdResponse SetClock(const SSetClockRequest* request);
    SCmdResponse GpsDownloadXtra();
    SCmdResponse SetTimeServer(const SSetTimeServerRequest* request);
    SCmdResponse UpdateTime();
    SCmdResponse WaitGprsRegistration();
    // Cell-based location.
    SCmdResponse LbsStart();
    SCmdResponse LbsStop();
    SCmdResponse LbsGetLocation();
    // SMS store.
    SCmdResponse GetSmsMode();
    SCmdResponse SetSmsMode(const SSetSmsModeRequest* request);
    SCmdResponse ListSms(const SListSmsRequest* request);
    SCmdResponse ReadSms(const SReadSmsRequest* request);
    SCmdResponse DeleteSms(const SDeleteSmsRequest* request);
    SCmdResponse WriteSms(const SWriteSmsRequest* request);
    // Raw pass-through; data[size] must be a readable zero byte, as in every
    // payload block of the request loop, so the text always ends.
    SCmdResponse RawCommand(const char* data, unsigned size);

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
