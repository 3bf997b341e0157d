// The program's entry: the run gate (accepted systems, one instance per
// machine, backup privilege), the run driver, and the final key press.
#pragma once

#include <string>

namespace baseline {

class Platform;

inline const std::u16string kInstanceMutexName = u"Global\\{C044B185-315D-464E-A9DB-77CDFA492134}";

// True when the backup privilege adjustment call itself succeeded.
bool enableBackupPrivilege(Platform& platform);

// Runs the whole program; returns the process exit value (0 or 1).
int runEntryPoint(Platform& platform);

}  // namespace baseline
