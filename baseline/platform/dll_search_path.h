// The first step of each Windows program that loads a DLL at run time (the
// creator and baselineconf; baselinedoc loads none): DLLs are looked up in the system
// directory only (SetDefaultDllDirectories where it exists), and never in the
// current directory (SetDllDirectoryW with an empty string).
#pragma once

namespace baseline {

class Platform;

void hardenDllSearchPath(Platform& platform);

}  // namespace baseline
