// The request script a daemon trace implies: the AT commands of each
// request, mapped back to the sim7100ctl command that makes the daemon send
// them.  Pure: text in, script text out.
#pragma once

#include <string>
#include <vector>

#include "trace.h"

namespace ctl {

// One script line per request, each preceded by a comment naming the
// request type and the trace entry it starts at; where the commands fit
// more than one request, or none, a comment says so.  `debug` comes first,
// since the trace was written in debug mode.
std::string ScriptFromTrace(const std::vector<modemsim::STraceEntry>& entries, size_t firstEntry);

}  // namespace ctl
