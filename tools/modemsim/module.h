// The simulated module itself: its state and the AT command table.  It knows
// nothing of terminals or timing faults; it turns one command line into the
// bytes the module answers, now and later.
#pragma once

#include <chrono>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "config.h"

namespace modemsim {

using Clock = std::chrono::steady_clock;

// A piece of output sent some time after the answer it belongs to.
struct SPiece {
    int delayMs = 0;
    std::string bytes;
};

struct SAnswer {
    std::string bytes;          // sent after the answer latency
    std::vector<SPiece> later;  // unsolicited result lines that follow
};

enum class ESim { eReady, ePin, ePuk, eBlocked, eAbsent };

struct SContext {
    std::string type = "IP";
    std::string apn;
    int authType = 0;
    std::string user;
    std::string password;
};

struct STimeServer {
    std::string host;
    int port = 80;
    int version = 1;
};

// All that the daemon's procedures change and read back.
struct SState {
    bool poweredOn = false;
    Clock::time_point poweredAt{};
    bool echo = false;
    int cmee = 2;
    int csclk = 0;

    ESim sim = ESim::eReady;
    std::string pin, puk;
    int pinLeft = 3, pukLeft = 10;

    std::map<int, SContext> contexts;
    bool dataCall = false;
    std::map<std::string, int> regN;  // result presentation of CGREG, CREG, CEREG
    int registrationQueries = 0;      // CGREG? queries since power-up
    int cnsmodN = 0;

    bool gpsOn = false;
    int nmeaInterval = 0;  // 0: periodic NMEA output off
    int nmeaMask = 0;
    int xtra = 0;

    std::time_t clockBase = 0;  // module clock at clockSetAt (UTC seconds)
    Clock::time_point clockSetAt{};
    int clockZone = 0;  // quarters of an hour
    std::vector<STimeServer> timeServers;

    bool netOpen = false;

    int smsMode = 0;
    std::vector<std::optional<SSms>> store;
    bool textInput = false;  // between the "> " prompt and Ctrl-Z
    SSms pendingWrite;
};

// A parsed command line: "AT" + name + form.
struct SRequest {
    enum EForm { eExec, eRead, eTest, eSet };
    std::string line;  // upper-cased outside quotes, trimmed
    std::string name;  // "+CSQ", "$QCRMCALL", "E", "&F"
    EForm form = eExec;
    std::string params;  // after '=' (eSet) or after a basic command's letter
    std::vector<std::string> args;
    std::vector<bool> quoted;
    Clock::time_point now;
};

class CModule {
public:
    explicit CModule(const SConfig& config);

    // Power-up: volatile state back to its defaults; returns the boot lines
    // the module prints unasked (when the switch asks for them).
    std::vector<SPiece> PowerUp(Clock::time_point now);
    bool PoweredOn() const { return m_state.poweredOn; }
    bool Echo() const { return m_state.echo; }
    bool ExpectingText() const { return m_state.textInput; }
    bool NmeaActive() const { return m_state.poweredOn && m_state.nmeaInterval > 0; }
    const SState& State() const { return m_state; }

    SAnswer Execute(const std::string& line, Clock::time_point now);
    // The message text of AT+CMGW, ended by Ctrl-Z (sent) or Esc (cancelled).
    SAnswer FinishText(const std::string& text, bool cancelled);
    // The prompt again after a line break inside the message text.
    static std::string Prompt() { return "\r\n> "; }
    // One second's worth of NMEA sentences.
    std::string NmeaBurst(std::time_t utc) const;

    // Framing, shared by the command areas.
    static std::string Ok(const std::vector<std::string>& lines = {});
    static std::string Error() { return "\r\nERROR\r\n"; }
    std::string Cme(int code) const;
    std::string Cms(int code) const;

private:
    using Handler = SAnswer (CModule::*)(const SRequest&);
    static const std::map<std::string, Handler>& Table();

    // basic and identity (module.cpp)
    SAnswer At(const SRequest&);
    SAnswer Echo(const SRequest&);
    SAnswer Identify(const SRequest&);
    SAnswer Model(const SRequest&);
    SAnswer Maker(const SRequest&);
    SAnswer Revision(const SRequest&);
    SAnswer Imei(const SRequest&);
    SAnswer ErrorMode(const SRequest&);
    SAnswer UartSleep(const SRequest&);
    SAnswer PowerOff(const SRequest&);
    SAnswer Defaults(const SRequest&);

    // SIM and network (sim_network.cpp)
    SAnswer Pin(const SRequest&);
    SAnswer PinCounters(const SRequest&);
    SAnswer Context(const SRequest&);
    SAnswer Auth(const SRequest&);
    SAnswer DataCall(const SRequest&);
    SAnswer Registration(const SRequest&);
    SAnswer Signal(const SRequest&);
    SAnswer Provider(const SRequest&);
    SAnswer SystemMode(const SRequest&);
    int SimError() const;  // CME code while the SIM is not usable, else 0
    bool CellFound() const;
    bool NetworkUsable() const { return SimError() == 0 && CellFound(); }

    // GPS, time and location (gps_time.cpp)
    SAnswer GpsCold(const SRequest&);
    SAnswer Gps(const SRequest&);
    SAnswer NmeaOutput(const SRequest&);
    SAnswer XtraFlag(const SRequest&);
    SAnswer XtraDownload(const SRequest&);
    SAnswer ClockCmd(const SRequest&);
    SAnswer TimeServers(const SRequest&);
    SAnswer TimeUpdate(const SRequest&);
    SAnswer NetStart(const SRequest&);
    SAnswer NetStop(const SRequest&);
    SAnswer Location(const SRequest&);
    std::time_t ClockNow() const;

    // SMS store (sms.cpp)
    SAnswer SmsFormat(const SRequest&);
    SAnswer SmsList(const SRequest&);
    SAnswer SmsRead(const SRequest&);
    SAnswer SmsDelete(const SRequest&);
    SAnswer SmsWrite(const SRequest&);
    std::string SmsHeader(int index, const SSms& sms, bool list) const;
    std::string SmsBody(const SSms& sms) const;

    const SConfig m_config;
    SState m_state;
    Clock::time_point m_now{};  // of the command being executed
};

// Parses "AT..." into name, form and arguments; false when it is no AT command.
bool ParseRequest(const std::string& line, SRequest& request);
// Upper case outside double quotes, blanks at both ends removed.
std::string NormaliseCommand(const std::string& line);
// NMEA checksum framing: "$" + body + "*" + two hex digits.
std::string NmeaSentence(const std::string& body);
// SMS as a hex PDU (SMS-DELIVER for received, SMS-SUBMIT for stored ones).
std::string EncodePdu(const SSms& sms);

}  // namespace modemsim
