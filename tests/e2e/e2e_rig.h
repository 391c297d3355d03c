// The old name of the daemon rig, for the suites that still include it.
#pragma once

#include "daemon_rig.h"

namespace e2e {
using namespace sim7100test;  // NOLINT(google-build-using-namespace)
}  // namespace e2e
