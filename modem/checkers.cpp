#include "checkers.h"

#include <cctype>

namespace {

// The final result lines of the module, in the order they are tested.
bool IsErrorResult(const char* data, unsigned length) {
    return StartsWith(data, "+CME ERROR:") || StartsWith(data, "+CMS ERROR:") || EndsWith(data, length, "BUSY\r\n") ||
           EndsWith(data, length, "ERROR\r\n") || EndsWith(data, length, "NO ANSWER\r\n") ||
           EndsWith(data, length, "NO CARRIER\r\n") || EndsWith(data, length, "NO DIALTONE\r\n");
}

// The C locale's six blanks: what the module may put around a result code.
bool IsBlank(char c) { return isspace(static_cast<unsigned char>(c)) != 0; }

// The result code of a two-part answer: the first "<prefix>" followed by
// optional white space and digits ("+CGPSXD: 0", "+CHTPUPDATE:0").  Scanned
// by hand rather than with <regex>, whose locale machinery would be most of
// the daemon's start-up and size on the board.
ECmdStatus CheckResultLine(const char* data, const char* prefix) {
    if (strstr(data, "OK") != nullptr) return CSim7100Impl::eCmdOk;
    if (strstr(data, "ERR") != nullptr) return CSim7100Impl::eCmdError;
    const size_t prefixLength = strlen(prefix);
    for (const char* at = strstr(data, prefix); at != nullptr; at = strstr(at + 1, prefix)) {
        const char* digit = at + prefixLength;
        while (IsBlank(*digit)) ++digit;
        if (!isdigit(static_cast<unsigned char>(*digit))) continue;
        // The code counts as a whole number: only 0 is success, 10 is not.
        while (*digit == '0') ++digit;
        return isdigit(static_cast<unsigned char>(*digit)) ? CSim7100Impl::eCmdError : CSim7100Impl::eCmdOk;
    }
    return CSim7100Impl::eCmdPending;
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

ECmdStatus CheckXtraDownload(const char* data, unsigned /*length*/) { return CheckResultLine(data, "+CGPSXD:"); }

ECmdStatus CheckTimeUpdate(const char* data, unsigned /*length*/) { return CheckResultLine(data, "+CHTPUPDATE:"); }

bool MatchesCommand(const char* command, const char* atCommand) {
    const size_t n = strlen(atCommand);
    if (strncmp(command, atCommand, n) != 0) return false;
    for (const char* rest = command + n; *rest != 0; ++rest) {
        if (!IsBlank(*rest)) return false;
    }
    return true;
}
