// The daemon rig, plus a module simulator whose terminal keeps one path
// across hang-ups and restarts.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "daemon_rig.h"
#include "simulator.h"

namespace hardening {
using namespace sim7100test;  // NOLINT(google-build-using-namespace)

// modemsim in this process, behind a symbolic link, so the daemon's device
// path stays the same.
class SimModule {
public:
    SimModule(modemsim::SConfig config, const std::string& link) {
        config.link = link;
        m_sim = std::make_unique<modemsim::CSimulator>(std::move(config));
        std::string error;
        if (!m_sim->Open(error)) throw std::runtime_error("modemsim: " + error);
        m_sim->Start();
    }

private:
    std::unique_ptr<modemsim::CSimulator> m_sim;
};

// Short timings, so two-part answers come well within the scaled budgets.
inline modemsim::SConfig QuickModule() {
    modemsim::SConfig c;
    c.timings.resultMs = 2, c.timings.nmeaPeriodMs = 5, c.timings.restartAfterMs = 20;
    return c;
}

}  // namespace hardening
