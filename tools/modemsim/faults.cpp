#include "faults.h"

#include <algorithm>

namespace modemsim {

CFaultPlan::CFaultPlan(const SFaults& faults, unsigned seed)
    : m_faults(faults), m_random(seed), m_overrideUses(faults.overrides.size(), 0) {}

CFaultPlan::EAction CFaultPlan::Classify(const std::string& command, Clock::time_point now) {
    ++m_commands;
    const Clock::time_point previous = m_lastCommand;
    m_lastCommand = now;
    if (m_faults.silentAfter >= 0 && m_commands > m_faults.silentAfter) return EAction::eSilent;
    const auto& silent = m_faults.silentCommands;
    if (std::any_of(silent.begin(), silent.end(),
                    [&command](const auto& pattern) { return MatchesPattern(command, pattern); }))
        return EAction::eSilent;
    if (m_faults.idleErrorMs > 0 && now - previous >= std::chrono::milliseconds(m_faults.idleErrorMs))
        return EAction::eIdleError;
    return EAction::eAnswer;
}

const SOverride* CFaultPlan::Override(const std::string& command) {
    for (size_t i = 0; i < m_faults.overrides.size(); ++i) {
        const SOverride& o = m_faults.overrides[i];
        if (!MatchesPattern(command, o.command)) continue;
        if (o.times > 0 && m_overrideUses[i] >= o.times) continue;
        ++m_overrideUses[i];
        return &o;
    }
    return nullptr;
}

void CFaultPlan::Oversize(const std::string& command, std::string& answer) const {
    bool wanted = false;
    for (const auto& pattern : m_faults.oversizeCommands) wanted = wanted || MatchesPattern(command, pattern);
    if (!wanted || answer.size() >= m_faults.oversizeBytes) return;
    // Filler lines ahead of the final result, so the answer only completes
    // after the oversize length.
    size_t at = answer.rfind("\r\nOK\r\n");
    if (at == std::string::npos) at = answer.size();
    std::string filler;
    const std::string line = "\r\n0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdefghijklmnopqrstuvwxyz";
    while (filler.size() + answer.size() < m_faults.oversizeBytes) filler += line;
    answer.insert(at, filler);
}

size_t CFaultPlan::HangupPoint(const std::string& command, size_t answerSize) {
    const SHangup& h = m_faults.hangup;
    if (h.nth <= 0 || answerSize == 0) return std::string::npos;
    if (!h.command.empty() && !MatchesPattern(command, h.command)) return std::string::npos;
    if (++m_hangupMatches != h.nth) return std::string::npos;
    const size_t cut = h.afterBytes > 0 ? h.afterBytes : answerSize / 2;
    return cut < answerSize ? cut : answerSize - 1;
}

std::string CFaultPlan::Garbage() {
    std::uniform_int_distribution<int> byte(0, 255);
    std::string out;
    for (size_t i = 0; i < m_faults.garbageBytes; ++i) out += static_cast<char>(byte(m_random));
    return out;
}

}  // namespace modemsim
