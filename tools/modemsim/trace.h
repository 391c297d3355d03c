// The daemon's modem trace, read back: entries of tag, text and newline,
// appended over many runs.  Pure functions.  The file is field data: what
// is damaged is noted with its line and read where its meaning is clear;
// only a file with no entry at all is refused.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace modemsim {

enum class ETraceTag { eInput, eOutput, eFlushed };

struct STraceEntry {
    ETraceTag tag = ETraceTag::eInput;
    std::string text;        // without the tag and the newline that ends the entry
    size_t offset = 0;       // of the tag in the file
    bool truncated = false;  // the file ends inside this entry
};

// [first, end) of the entries; a session begins at power-on.
struct STraceSession {
    size_t first = 0;
    size_t end = 0;
};

struct STrace {
    std::vector<STraceEntry> entries;
    // Session 0 is what precedes the first power-on (often the middle of a
    // session whose start was not traced); it may be empty.
    std::vector<STraceSession> sessions;
    size_t skippedBytes = 0;  // before the first tag
    // "line N: what", for damaged entries, unknown tags, lost CRs.
    std::vector<std::string> problems;
    // Why the file is not a trace at all; empty when it is one.
    std::string refusal;
};

const char* TraceTagText(ETraceTag tag);
STrace ParseTrace(const std::string& file);
// Reads and parses `path`; false with the reason when it cannot be read or
// is not a trace.
bool ReadTraceFile(const std::string& path, STrace& trace, std::string& error);
std::string FormatTrace(const std::vector<STraceEntry>& entries);

// Power-on writes "AT\r\n" and then "AT+CSCLK=1\r\n"; flushed output just
// before it was read while the port was opened and goes with it.
bool StartsSession(const std::vector<STraceEntry>& entries, size_t index);

// The entries with SIM PINs and PUKs, the authentication password and SMS
// texts replaced by placeholders of the same length ('0' for digits, 'x'
// otherwise), in the commands, their echoes and the stored messages read
// back.  Lengths are kept, so the pieces stay as the module sent them.
std::vector<STraceEntry> ScrubTrace(std::vector<STraceEntry> entries);

}  // namespace modemsim
