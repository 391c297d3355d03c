// The table of settings, and what it says about a fresh configuration.
#include "settings.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <type_traits>

namespace modemsim {

namespace {

constexpr auto kState = &SConfig::state;
constexpr auto kTimings = &SConfig::timings;
constexpr auto kFaults = &SConfig::faults;
constexpr auto kHangup = &SFaults::hangup;
using State = SModemState0;
using Faults = SFaults;

const std::vector<SChoice> kModels = {{"SIM7600G", static_cast<int>(EModel::eSim7600G)},
                                      {"SIM7100E", static_cast<int>(EModel::eSim7100E)},
                                      {"SIM7100A", static_cast<int>(EModel::eSim7100A)}};

// Help lines leave out the default: --help adds it from a fresh SConfig.
const std::vector<SSetting> kSettings = {
    {"--model", "model", "The module's model", &At<&SConfig::model>, kModels, nullptr, LONG_MIN, LONG_MAX, false},
    {"--revision", "revision", "Firmware revision instead of the model's own", &At<&SConfig::revision>},
    {"--link", nullptr, "Symbolic link to the terminal, removed at exit", &At<&SConfig::link>},
    {"--log", nullptr, "Log every command and answer with time stamps", &At<&SConfig::logFile>},
    {"--echo", "echo", "Start with command echo on (as real modules do)", &At<&SConfig::echo>},
    {"--seed", nullptr, "Seed of the garbage bytes", &At<&SConfig::seed>},

    {"--pin", "state.pin", "The SIM's PIN", &At<kState, &State::pin>},
    {"--puk", "state.puk", "The SIM's PUK", &At<kState, &State::puk>},
    {"--pin-required", "state.pin_required", "The SIM asks for its PIN after power-up",
     &At<kState, &State::pinRequired>},
    {"--pin-attempts", "state.pin_attempts", "PIN attempts left at start; 0 asks for the PUK",
     &At<kState, &State::pinAttempts>},
    {nullptr, "state.puk_attempts", "PUK attempts left at start", &At<kState, &State::pukAttempts>},
    {"--no-sim", "state.sim_inserted", "A SIM in the holder (--no-sim: none)", &At<kState, &State::simInserted>},
    {"--cmee", "state.cmee", "Error-report mode after power-up", &At<kState, &State::cmee>, {}, nullptr, 0, 2},
    {"--provider", "state.provider", "Service provider name (spaces allowed)", &At<kState, &State::provider>},
    {nullptr, "state.provider_display_mode", "Display mode in +CSPN", &At<kState, &State::providerDisplayMode>},
    {"--rssi", "state.rssi", "Signal strength in +CSQ", &At<kState, &State::rssi>},
    {nullptr, "state.ber", "Bit error rate in +CSQ", &At<kState, &State::ber>},
    {"--network-mode", "state.network_mode", "System mode in +CNSMOD (8: LTE)", &At<kState, &State::networkMode>},
    {"--searching", "state.searching_queries", "CGREG answers 0,2 this many times first",
     &At<kState, &State::searchingQueries>},
    {"--roaming",
     "state.registration",
     "Registered at home (0,1) or roaming (0,5)",
     &At<kState, &State::registration>,
     {{"home", 1}, {"roaming", 5}},
     "roaming"},
    {nullptr, "state.latitude", "Latitude in +CLBS", &At<kState, &State::latitude>},
    {nullptr, "state.longitude", "Longitude in +CLBS", &At<kState, &State::longitude>},
    {nullptr, "state.accuracy", "Accuracy in +CLBS, m", &At<kState, &State::accuracy>},
    {nullptr, "state.lbs_closed_code", "+CLBS code while the network service is closed",
     &At<kState, &State::lbsClosedCode>},
    {nullptr, "state.xtra", "Assistance-data flag (AT+CGPSXE)", &At<kState, &State::xtra>},
    {"--sms-capacity", "state.sms_capacity", "Message slots in the store", &At<kState, &State::smsCapacity>},
    {nullptr, "state.sms_mode", "Message format after power-up (AT+CMGF)", &At<kState, &State::smsMode>},

    {"--result-ms", "timings.result_ms", "Acknowledgement to second result line, ms",
     &At<kTimings, &STimings::resultMs>},
    {"--nmea-period-ms", "timings.nmea_period_ms", "Between NMEA bursts, ms", &At<kTimings, &STimings::nmeaPeriodMs>},
    {"--restart-after-ms", "timings.restart_after_ms", "Power up again this long after AT+CPOF (-1: never)",
     &At<kTimings, &STimings::restartAfterMs>},

    {"--latency-ms", "faults.latency_ms", "Delay before each answer, ms", &At<kFaults, &Faults::latencyMs>},
    {"--baud", "faults.baud", "Pace the line at this baud rate (10 bits a byte, both ways; 0: off)",
     &At<kFaults, &Faults::baud>},
    {"--split-bytes", "faults.split_bytes", "Send output in pieces of this many bytes (0: whole)",
     &At<kFaults, &Faults::splitBytes>},
    {"--split-gap-ms", "faults.split_gap_ms", "Gap between pieces, ms", &At<kFaults, &Faults::splitGapMs>},
    {"--silent-after", "faults.silent_after", "Answer only the first N commands (-1: all)",
     &At<kFaults, &Faults::silentAfter>},
    {"--silent", "faults.silent_commands", "Commands never answered", &At<kFaults, &Faults::silentCommands>},
    {"--garbage-every-ms", "faults.garbage_every_ms", "Random bytes at this interval, ms (0: never)",
     &At<kFaults, &Faults::garbageEveryMs>},
    {"--garbage-bytes", "faults.garbage_bytes", "How many random bytes each time", &At<kFaults, &Faults::garbageBytes>},
    {"--oversize", "faults.oversize_commands", "Commands whose answers are padded",
     &At<kFaults, &Faults::oversizeCommands>},
    {"--oversize-bytes", "faults.oversize_bytes", "Size of padded answers", &At<kFaults, &Faults::oversizeBytes>},
    {"--hangup", "faults.hangup.nth", "Hang up in the middle of the Nth answer (0: never)",
     &At<kFaults, kHangup, &SHangup::nth>},
    {"--hangup-on", "faults.hangup.command", "Count only this command for the hang-up",
     &At<kFaults, kHangup, &SHangup::command>},
    {"--hangup-after-bytes", "faults.hangup.after_bytes", "Bytes sent before the hang-up (0: half the answer)",
     &At<kFaults, kHangup, &SHangup::afterBytes>},
    {"--reopen-ms", "faults.hangup.reopen_ms", "A new terminal this long after a hang-up (-1: never)",
     &At<kFaults, kHangup, &SHangup::reopenMs>},
    {"--error-framing",
     "faults.error_framing",
     "Error reports after a line break, as real modules, or bare",
     &At<kFaults, &Faults::errorFraming>,
     {{"bare", static_cast<int>(EErrorFraming::eBare)}, {"line", static_cast<int>(EErrorFraming::eLine)}}},
    {"--lbs-order",
     "faults.lbs_order",
     "The +CLBS report before OK, or after it",
     &At<kFaults, &Faults::lbsOrder>,
     {{"report-first", static_cast<int>(ELbsOrder::eReportFirst)},
      {"ok-first", static_cast<int>(ELbsOrder::eOkFirst)}}},
    {"--idle-error-ms", "faults.idle_error_ms", "First command after this much idle time: ERROR (0: off)",
     &At<kFaults, &Faults::idleErrorMs>},
    {"--sim-busy-ms", "faults.sim_busy_ms", "SIM busy this long after power-up", &At<kFaults, &Faults::simBusyMs>},
    {"--boot-lines", "faults.boot_lines", "RDY, +CPIN, SMS DONE, PB DONE after power-up",
     &At<kFaults, &Faults::bootLines>},
    {"--gps-strict", "faults.gps_strict", "GPS on/off in its current state: ERROR", &At<kFaults, &Faults::gpsStrict>},
    {"--no-cell-ms", "faults.no_cell_ms", "No cell this long after power-up", &At<kFaults, &Faults::noCellMs>},
    {"--xtra-result", "faults.xtra_result", "Code of the +CGPSXD result line", &At<kFaults, &Faults::xtraResult>},

    {"--replay-mismatch",
     nullptr,
     "A command the --replay trace does not have next: ERROR (fail), the model's answer, or nothing",
     &At<&SConfig::replay, &SReplayConfig::mismatch>,
     {{"fail", static_cast<int>(EReplayMismatch::eFail)},
      {"model", static_cast<int>(EReplayMismatch::eModel)},
      {"silent", static_cast<int>(EReplayMismatch::eSilent)}}},
    {"--replay-gap-ms", nullptr, "Before each recorded piece of an answer, ms",
     &At<&SConfig::replay, &SReplayConfig::gapMs>},
};

}  // namespace

const std::vector<SSetting>& Settings() { return kSettings; }

const SChoice* ChoiceNamed(const SSetting& setting, const std::string& name) {
    const auto& all = setting.choices;
    const auto it = std::find_if(all.begin(), all.end(), [&name](const SChoice& c) { return name == c.name; });
    return it == all.end() ? nullptr : &*it;
}

const SChoice* ChoiceOf(const SSetting& setting, int value) {
    const auto& all = setting.choices;
    const auto it = std::find_if(all.begin(), all.end(), [value](const SChoice& c) { return value == c.value; });
    return it == all.end() ? nullptr : &*it;
}

std::string DefaultText(const SSetting& setting) {
    SConfig fresh;
    return std::visit(
        [&setting, &fresh](auto get) -> std::string {
            using T = std::remove_reference_t<decltype(get(fresh))>;
            const T& value = get(fresh);
            if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::vector<std::string>>) {
                return "";
            } else if constexpr (std::is_same_v<T, std::string>) {
                return value;
            } else if constexpr (std::is_enum_v<T> || std::is_same_v<T, int>) {
                if (const SChoice* choice = ChoiceOf(setting, static_cast<int>(value))) return choice->name;
                if constexpr (std::is_same_v<T, int>) return std::to_string(value);
                return "";
            } else {
                std::ostringstream text;
                text << value;
                return text.str();
            }
        },
        setting.field);
}

std::string DefaultJson(const SSetting& setting) {
    SConfig fresh;
    return std::visit(
        [&setting, &fresh](auto get) -> std::string {
            using T = std::remove_reference_t<decltype(get(fresh))>;
            const T& value = get(fresh);
            if constexpr (std::is_enum_v<T> || std::is_same_v<T, int>) {
                if (const SChoice* choice = ChoiceOf(setting, static_cast<int>(value)))
                    return nlohmann::json(choice->name).dump();
            }
            return nlohmann::json(value).dump();
        },
        setting.field);
}

std::string ChoiceNames(const SSetting& setting) {
    const std::string quote = setting.quoteChoices ? "\"" : "";
    std::string names;
    for (size_t i = 0; i < setting.choices.size(); ++i) {
        if (i > 0) names += i + 1 < setting.choices.size() ? ", " : " or ";
        names.append(quote).append(setting.choices[i].name).append(quote);
    }
    return names;
}

std::string ChoiceRefusal(const SSetting& setting) { return std::string(setting.key) + ": " + ChoiceNames(setting); }

std::string RangeRefusal(const SSetting& setting, long value, const std::string& where) {
    if (value >= setting.low && value <= setting.high) return "";
    return where + ": " + std::to_string(value) + " not in range " + std::to_string(setting.low) + " to " +
           std::to_string(setting.high);
}

}  // namespace modemsim
