// The simulated module's settings, each once: where it lives in SConfig,
// its command-line flag, its scenario-file key and its help.  The command
// line and the scenario reader are built from this table; defaults are the
// ones SConfig starts with.  Lists of records (messages, unsolicited lines,
// overrides) and the actions (--scenario, --replay, ...) are read by hand.
#pragma once

#include <climits>
#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "config.h"

namespace modemsim {

template <class T>
using FieldOf = T& (*)(SConfig&);

// size_t is unsigned long on 64-bit hosts and unsigned on the board: both are
// listed, never size_t itself, so that no alternative appears twice.
using SettingField =
    std::variant<FieldOf<bool>, FieldOf<int>, FieldOf<long>, FieldOf<unsigned>, FieldOf<unsigned long>, FieldOf<double>,
                 FieldOf<std::string>, FieldOf<std::vector<std::string>>, FieldOf<EModel>, FieldOf<EErrorFraming>,
                 FieldOf<ELbsOrder>, FieldOf<EReplayMismatch>>;

template <class T>
T& Follow(T& object) {
    return object;
}
template <auto member, auto... rest, class T>
auto& Follow(T& object) {
    return Follow<rest...>(object.*member);
}
// The field a chain of members leads to: At<&SConfig::faults, &SFaults::baud>.
template <auto... path>
auto& At(SConfig& config) {
    return Follow<path...>(config);
}

struct SChoice {
    const char* name;
    int value;
};

struct SSetting {
    const char* flag;  // nullptr: scenario files only
    const char* key;   // "section.name" in a scenario file; nullptr: command line only
    const char* help;
    SettingField field;
    // An enumerated setting takes one of these names (a number field also
    // its number, as the module reports it).
    std::vector<SChoice> choices = {};
    // A bool's flag takes no value and turns it away from its default; an
    // enumerated setting's flag does so too when this names its choice.
    const char* switchTo = nullptr;
    long low = LONG_MIN, high = LONG_MAX;  // refused outside, by the flag and the file alike
    bool quoteChoices = true;              // false: refusals name the choices bare, as models are
};

const std::vector<SSetting>& Settings();

// The choice of this name, or with this value; nullptr when there is none.
const SChoice* ChoiceNamed(const SSetting& setting, const std::string& name);
const SChoice* ChoiceOf(const SSetting& setting, int value);

// The value a fresh configuration has, as --help shows it; "" when there is
// nothing to show (an empty text or list, a switch).
std::string DefaultText(const SSetting& setting);
// Its default as a scenario file writes it: "1234", 3, true, [], "home".
std::string DefaultJson(const SSetting& setting);
// Its choices as a refusal lists them: "a", "b" or "c"; "" when it has none.
std::string ChoiceNames(const SSetting& setting);
// Refusal of a value that is not a choice: "KEY: " and the names.
std::string ChoiceRefusal(const SSetting& setting);
// Refusal of a number out of range: "WHERE: 5 not in range 0 to 2", or "".
std::string RangeRefusal(const SSetting& setting, long value, const std::string& where);

}  // namespace modemsim
