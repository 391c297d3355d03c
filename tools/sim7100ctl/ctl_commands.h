// sim7100ctl's request vocabulary: one named command per request type, its
// typed arguments and the payload bytes it becomes.  Pure: no I/O.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace ctl {

using Bytes = std::vector<uint8_t>;

struct SRequest {
    std::string command;            // the command as typed: "signal", "frame"
    std::vector<std::string> args;  // the words after it
    uint32_t type = 0;
    Bytes payload;
    bool expectsResponse = true;  // false for terminate and types the daemon never answers
    bool endsSession = false;     // the daemon stops reading after it (type 2)
    // What sim7100ctl made of the words where that is not what they say:
    // shown before the request is sent.
    std::vector<std::string> notes;

    // "set-apn internet", with quotes where a word needs them.
    std::string Display() const;
};

struct SCommandInfo {
    const char* name;
    uint32_t type;  // 0 for frame, whose type is an argument
    const char* usage;
    const char* summary;
};

const std::vector<SCommandInfo>& CommandTable();
const SCommandInfo* FindCommand(const std::string& name);
// The command that sends `type`, or "" when none does.
std::string CommandNameOf(uint32_t type);
// The request type's name in the protocol's list ("SetApn"), or "" for
// types outside it.
std::string TypeName(uint32_t type);
// One line per command, for the program's help.
std::string CommandSummary();

struct SParseOutcome {
    std::vector<SRequest> requests;
    std::string help;   // set when --help was asked for: print it, send nothing
    std::string error;  // set when something was refused: print it, send nothing
    bool Ok() const { return error.empty() && help.empty(); }
};

// Requests from a list of words ("power-on", "set-apn", "internet", ...).
// All or nothing: the first refusal stops and no request is returned.
SParseOutcome ParseWords(const std::vector<std::string>& words);
// One line of a script or the prompt: words split with shell-like quotes;
// a line whose first non-blank character is '#' is a comment.
SParseOutcome ParseLine(const std::string& line);
// A whole script; a refusal names the line.
SParseOutcome ParseScript(std::istream& in, const std::string& name);

// Splits a line into words the way ParseLine does; empty for a comment.
std::vector<std::string> SplitWords(const std::string& line);

}  // namespace ctl
