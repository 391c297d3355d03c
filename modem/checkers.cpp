#include "checkers.h"

#include <regex>
#include <string>

namespace {

// The final result lines of the module, in the order they are tested.
bool IsErrorResult(const char* data, unsigned length) {
    return StartsWith(data, "+CME ERROR:") || StartsWith(data, "+CMS ERROR:") || EndsWith(data, length, "BUSY\r\n") ||
           EndsWith(data, length, "ERROR\r\n") || EndsWith(data, length, "NO ANSWER\r\n") ||
           EndsWith(data, length, "NO CARRIER\r\n") || EndsWith(data, length, "NO DIALTONE\r\n");
}

// The result code of a two-part answer ("+CGPSXD: 0", "+CHTPUPDATE: 0").
ECmdStatus CheckResultLine(const char* data, const std::regex& pattern) {
    if (strstr(data, "OK") != nullptr) return CSim7100Impl::eCmdOk;
    if (strstr(data, "ERR") != nullptr) return CSim7100Impl::eCmdError;
    std::cmatch match;
    if (!std::regex_search(data, match, pattern)) return CSim7100Impl::eCmdPending;
    // The code counts as a whole number: only 0 is success, 10 is not.
    const std::string code = match.str(1);
    const bool zero = code.find_first_not_of('0') == std::string::npos;
    return zero ? CSim7100Impl::eCmdOk : CSim7100Impl::eCmdError;
}

}  // namespace

ECmdStatus CheckFinalResult(const char* data, unsigned length) {
    if (IsErrorResult(data, length)) return CSim7100Impl::eCmdError;
    if (EndsWith(data, length, "OK\r\n") || EndsWith(data, length, "CONNECT\r\n")) return CSim7100Impl::eCmdOk;
    return CSim7100Impl::eCmdPending;
}

ECmdStatus CheckPrompt(const char* data, unsigned length) {
    if (IsErrorResult(data, length)) return CSim7100Impl::eCmdError;
    if (strchr(data, '>') != nullptr) return CSim7100Impl::eCmdOk;
    return CSim7100Impl::eCmdPending;
}

ECmdStatus CheckGpsInfo(const char* data, unsigned length) {
    if (EndsWith(data, length, "ERROR\r\n")) return CSim7100Impl::eCmdError;
    if (EndsWith(data, length, "OK\r\n") || strstr(data, "$GPRMC") != nullptr) return CSim7100Impl::eCmdOk;
    return CSim7100Impl::eCmdPending;
}

ECmdStatus CheckLbsLocation(const char* data, unsigned length) {
    if (EndsWith(data, length, "ERROR\r\n")) return CSim7100Impl::eCmdError;
    if (EndsWith(data, length, "OK\r\n") || StartsWith(data, "\r\n+CLBS")) return CSim7100Impl::eCmdOk;
    return CSim7100Impl::eCmdPending;
}

ECmdStatus CheckNetStart(const char* data, unsigned length) {
    if (EndsWith(data, length, "ERROR\r\n")) return CSim7100Impl::eCmdError;
    if (strstr(data, "OK\r\n") != nullptr && strstr(data, "+CNETSTART: ") != nullptr) return CSim7100Impl::eCmdOk;
    return CSim7100Impl::eCmdPending;
}

ECmdStatus CheckXtraDownload(const char* data, unsigned /*length*/) {
    static const std::regex pattern("\\+CGPSXD:\\s*([0-9]+)");
    return CheckResultLine(data, pattern);
}

ECmdStatus CheckTimeUpdate(const char* data, unsigned /*length*/) {
    static const std::regex pattern("\\+CHTPUPDATE:\\s*([0-9]+)");
    return CheckResultLine(data, pattern);
}

bool MatchesCommand(const char* command, const char* atCommand) {
    // The rest matches "\\s*" as a whole exactly when it holds no "\\S".  A
    // search does not recurse once per character as the whole match does, so
    // a raw command with a long tail of blanks cannot overflow the stack.
    static const std::regex nonBlank("\\S");
    const char* found = strstr(command, atCommand);
    if (found != command) return false;
    return !std::regex_search(command + strlen(atCommand), nonBlank);
}
