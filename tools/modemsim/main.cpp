// modemsim: prints its terminal's path, answers until SIGINT or SIGTERM;
// SIGUSR1 is the module's power key.
#include <signal.h>

#include <cstdio>
#include <string>

#include "simulator.h"

int main(int argc, char** argv) {
    modemsim::SConfig config;
    const int status = modemsim::ParseCommandLine(argc, argv, config);
    if (status >= 0) return status;

    // The signals are taken with sigwait below; the loop's thread inherits
    // the mask and is never interrupted.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    modemsim::CSimulator simulator(config);
    simulator.onTerminal = [](const std::string& path) {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
    };
    simulator.onNote = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    std::string error;
    if (!simulator.Open(error)) {
        std::fprintf(stderr, "modemsim: %s\n", error.c_str());
        return 1;
    }
    // A replay names the model and revision its trace shows.
    const std::string revision = config.revision.empty() ? modemsim::ModelRevision(config.model) : config.revision;
    std::fprintf(stderr, "modemsim: %s module, revision %s%s%s%s\n", modemsim::ModelName(config.model),
                 revision.c_str(), config.replay.active ? ", replaying a trace" : "",
                 config.link.empty() ? "" : ", linked from ", config.link.c_str());
    simulator.Start();
    for (;;) {
        int signal = 0;
        if (sigwait(&signals, &signal) != 0) continue;
        if (signal == SIGUSR1) {
            simulator.PowerKey();
            continue;
        }
        break;
    }
    simulator.Stop();
    return 0;
}
