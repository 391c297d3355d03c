// The fault switches that act on whole commands and answers: silence, idle
// errors, overrides, oversized answers, the hang-up point and line noise.
// Timing faults (latency, pacing, splitting) live in the output queue.
#pragma once

#include <random>
#include <string>
#include <vector>

#include "config.h"
#include "module.h"

namespace modemsim {

class CFaultPlan {
public:
    explicit CFaultPlan(const SFaults& faults, unsigned seed);

    enum class EAction { eAnswer, eSilent, eIdleError };
    // Called once per received command (normalised); counts it and notes
    // the time for the idle rule.
    EAction Classify(const std::string& command, Clock::time_point now);
    // The override serving this command, or null; uses up one of its turns.
    const SOverride* Override(const std::string& command);
    // Pads an answer to the oversize length when the command asks for it.
    void Oversize(const std::string& command, std::string& answer) const;
    // Where to cut this command's answer, or npos.
    size_t HangupPoint(const std::string& command, size_t answerSize);
    std::string Garbage();
    // Power-up counts as activity for the idle rule.
    void PoweredUp(Clock::time_point now) { m_lastCommand = now; }

private:
    const SFaults& m_faults;
    std::mt19937 m_random;
    long m_commands = 0;
    int m_hangupMatches = 0;
    Clock::time_point m_lastCommand{};
    std::vector<int> m_overrideUses;
};

}  // namespace modemsim
