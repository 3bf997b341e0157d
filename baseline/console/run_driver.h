// The run driver: one call collects the operator's answers, loads the
// configuration and runs the build, reporting any failure with one status line.
#pragma once

namespace baseline {

class Platform;

// True when the allowlist was written and the summary printed.
bool runDriver(Platform& platform);

}  // namespace baseline
