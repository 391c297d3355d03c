// The request script a daemon trace implies: the AT commands of each
// request, mapped back to the sim7100ctl command that makes the daemon send
// them.  Pure: text in, script text out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trace.h"

namespace ctl {

// A request as the daemon's console log shows it: "Sim7100 message of type
// N data P size S received", on a line of its own or after a journal's prefix.
struct SConsoleRequest {
    uint32_t type;
    unsigned size;
    size_t line;  // in the log, from 1
};
// False with the reason when the text holds no such line.
bool ParseConsoleLog(const std::string& text, std::vector<SConsoleRequest>& requests, std::string& error);

// One script line per request, each preceded by a comment naming the
// request type and the trace entry it starts at.  Every guess is a comment
// "# guess: " with its reason: commands that fit more than one request, a
// request named from a first command that got no answer, commands no
// request sends.  With the console log of the same run, the types are the
// log's (the requests from where its types fit the commands), and requests
// that sent nothing are in the script too.  `debug` comes first, since the
// trace was written in debug mode.
std::string ScriptFromTrace(const std::vector<modemsim::STraceEntry>& entries, size_t firstEntry,
                            const std::vector<SConsoleRequest>* console = nullptr);

// --script-from-trace: the script of one session of the trace file (the last
// when `session` < 0), with the trace's damage as comments and in
// `warnings`.  False with the reason when a file cannot be read or is not
// what it should be.
bool ScriptFromTraceFile(const std::string& tracePath, long session, const std::string& consolePath,
                         std::string& script, std::vector<std::string>& warnings, std::string& error);

}  // namespace ctl
