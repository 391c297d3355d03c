// Raw AT commands from the RTOS side, and the daemon's two control words.
#include <algorithm>
#include <cstring>
#include <iterator>

#include "checkers.h"
#include "sim7100.h"

namespace {

struct SCheckerRow {
    const char* command;
    CSim7100Impl::CheckerFunction checker;
    unsigned expected;
};

// Commands whose answer comes in two parts, and the one that prompts.
const SCheckerRow kCheckerRows[] = {
    {"AT+CGPSXD=0", CheckXtraDownload, 2},
    {"AT+CHTPUPDATE", CheckTimeUpdate, 2},
    {"AT+CMGW", CheckPrompt, 1},
};

}  // namespace

std::pair<unsigned, CSim7100Impl::ResponseChecker> CSim7100Impl::SelectChecker(const char* command) {
    const SCheckerRow* row =
        std::find_if(std::begin(kCheckerRows), std::end(kCheckerRows),
                     [command](const SCheckerRow& r) { return MatchesCommand(command, r.command); });
    if (row != std::end(kCheckerRows)) return {row->expected, ResponseChecker(row->checker)};
    return {1, ResponseChecker(CheckFinalResult)};
}

SCmdResponse CSim7100Impl::RawCommand(const char* data, unsigned size) {
    SCmdResponse r;
    r.cmdStatus = SIM7100_STATUS_FAILED;
    if (data == nullptr || size == 0 || data[0] == '\0') {
        r.errCode = SIM7100_ERR_REFUSED;
        r.Copy("Empty command!");
        return r;
    }
    if (strcmp(data, SIM7100_RAW_DEBUG) == 0) {
        g_debugMode = !g_debugMode;
        r.Set(SIM7100_STATUS_OK, 0);
        r.Format("DEBUG MODE %d", g_debugMode ? 1 : 0);
        return r;
    }
    if (strcmp(data, SIM7100_RAW_FLUSH) == 0) {
        r.Set(SIM7100_STATUS_OK, 0);
        if (PollRead(m_fd, r.text, sizeof r.text - 1, m_settings.Ms(10)) < 0) memset(r.text, 0, sizeof r.text);
        return r;
    }
    if (!RequireInitialized(r)) return r;
    const auto selected = SelectChecker(data);
    const ECmdStatus status = SendCommand(data, selected.first, selected.second);
    r.Set(status == eCmdOk ? SIM7100_STATUS_OK : SIM7100_STATUS_FAILED, status == eCmdOk ? 0 : status);
    r.Copy(m_response);
    return r;
}
