// Everything that shapes one simulated module: its model, its starting state,
// its timings and the fault switches.  Filled from defaults, presets, a
// scenario file and the command line, in that order.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "trace.h"

namespace modemsim {

enum class EModel { eSim7600G, eSim7100E, eSim7100A };

// How "+CME ERROR"/"+CMS ERROR" reports are framed: after a line break, as
// real modules send them, or bare at the very start of the answer, where the
// daemon recognises them at once.
enum class EErrorFraming { eBare, eLine };

// Order of the two pieces of the answer to "AT+CLBS=1".
enum class ELbsOrder { eReportFirst, eOkFirst };

struct SSms {
    std::string status = "REC UNREAD";  // REC UNREAD, REC READ, STO UNSENT, STO SENT
    std::string number = "+491701234567";
    std::string time = "24/05/01,12:00:00+08";  // service-centre time stamp
    std::string text;
    std::string pdu;  // set when the message was written in PDU mode
};

struct SUrc {
    std::string text;  // one line, framed "\r\n<text>\r\n"
    int everyMs = 0;
    int firstMs = -1;  // first one after this; -1 = after everyMs
};

// One answer replaced by a scenario: the bytes go out verbatim.
struct SOverride {
    std::string command;  // a command pattern, see MatchesPattern
    std::string answer;
    std::string later;  // optional second piece ...
    int laterMs = 0;    // ... sent this long after the answer
    int times = 0;      // how many matching commands it serves; 0 = all
};

struct SHangup {
    std::string command;    // pattern; empty = any command
    int nth = 0;            // the nth matching command's answer is cut; 0 = never
    size_t afterBytes = 0;  // bytes of the answer sent before the cut; 0 = half
    int reopenMs = 500;     // a new terminal appears after this; -1 = never
};

struct SFaults {
    int latencyMs = 0;      // before each answer
    long baud = 0;          // 0 = as fast as the terminal takes it
    size_t splitBytes = 0;  // answers go out in pieces of this size ...
    int splitGapMs = 0;     // ... with this gap between them
    long silentAfter = -1;  // commands after the first N get no answer; -1 = off
    std::vector<std::string> silentCommands;
    std::vector<SUrc> urcs;
    int garbageEveryMs = 0;  // random bytes at intervals; 0 = off
    size_t garbageBytes = 8;
    std::vector<std::string> oversizeCommands;
    size_t oversizeBytes = 4200;
    SHangup hangup;
    EErrorFraming errorFraming = EErrorFraming::eLine;
    int idleErrorMs = 0;     // first command after this much silence gets "ERROR"; 0 = off
    int simBusyMs = 0;       // SIM answers "SIM busy" this long after power-up
    bool bootLines = false;  // "RDY", "+CPIN: ...", "SMS DONE", "PB DONE" after power-up
    bool gpsStrict = false;  // GPS on/off in the state it is already in: "ERROR"
    int noCellMs = 0;        // no cell (CGREG 0,2, CSQ 99,99) this long after power-up
    int xtraResult = 0;      // code of the "+CGPSXD:" result line
    ELbsOrder lbsOrder = ELbsOrder::eReportFirst;
    std::vector<SOverride> overrides;
};

struct SModemState0 {
    std::string pin = "1234";
    std::string puk = "12345678";
    bool simInserted = true;
    bool pinRequired = false;  // the SIM asks for its PIN after each power-up
    int pinAttempts = 3;
    int pukAttempts = 10;
    int cmee = 2;
    std::string provider = "Simulated Net";
    int providerDisplayMode = 0;
    int rssi = 23;
    int ber = 99;
    int networkMode = 8;       // "+CNSMOD:" system mode, 8 = LTE
    int searchingQueries = 0;  // CGREG answers 0,2 this many times first
    int registration = 1;      // then 1 (home) or 5 (roaming)
    double latitude = 52.520008;
    double longitude = 13.404954;
    int accuracy = 550;
    int lbsClosedCode = 1;  // "+CLBS:" code while the network service is closed
    int xtra = 0;           // "AT+CGPSXE" flag
    int smsCapacity = 10;
    int smsMode = 0;  // AT+CMGF
    std::vector<SSms> sms;
};

struct STimings {
    int resultMs = 1000;      // acknowledgement to second result line (CGPSXD, CHTPUPDATE, CNETSTART, CLBS)
    int nmeaPeriodMs = 1000;  // between NMEA bursts
    int restartAfterMs = -1;  // after AT+CPOF the module powers up again; -1 = never
};

// What a replay does with a command the trace does not have next.
enum class EReplayMismatch { eFail, eModel, eSilent };

struct SReplayConfig {
    bool active = false;
    std::vector<STraceEntry> entries;  // the session replayed
    size_t firstEntry = 0;             // its first entry's index in the file
    EReplayMismatch mismatch = EReplayMismatch::eFail;
    int gapMs = 10;  // before each piece; a piece after a final result waits the result delay
};

struct SConfig {
    EModel model = EModel::eSim7600G;
    std::string revision;  // empty: the model's own
    bool echo = false;
    std::string link;  // symbolic link to the terminal
    std::string logFile;
    unsigned seed = 1;  // for garbage bytes
    SModemState0 state;
    STimings timings;
    SFaults faults;
    SReplayConfig replay;
};

// Model names as given to --model and in scenario files.
bool ParseModel(const std::string& name, EModel& model);
const char* ModelName(EModel model);
// "AT+CGMM" answer and firmware revision of a model.
const char* ModelIdentity(EModel model);
const char* ModelRevision(EModel model);

// Named presets of the fault switches, each a behaviour seen on real modules.
struct SPreset {
    const char* name;
    const char* description;
    void (*apply)(SConfig&);
};
const std::vector<SPreset>& Presets();
bool ApplyPreset(const std::string& name, SConfig& config);

// Command patterns (silence, oversize, hang-up, overrides): upper-cased; a
// pattern matches a command that starts with it and goes on with no further
// letter or digit ("AT+CSQ" matches "AT+CSQ?" but not "AT+CSQX"); a trailing
// '*' matches any rest.
bool MatchesPattern(const std::string& command, const std::string& pattern);

// Scenario file (JSON).  False with a reason on unknown keys or bad values.
bool LoadScenario(const std::string& jsonText, SConfig& config, std::string& error);
bool LoadScenarioFile(const std::string& path, SConfig& config, std::string& error);

// Command line.  Returns -1 to go on, else the exit status (help, errors).
int ParseCommandLine(int argc, const char* const* argv, SConfig& config);

}  // namespace modemsim
