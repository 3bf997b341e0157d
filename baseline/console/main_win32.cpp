// wmain of baseline.exe: the command line is not read.
#include "console/entry_point.h"
#include "platform/win32/win32_platform.h"

int wmain() {
    baseline::Win32Platform platform;
    return baseline::runEntryPoint(platform);
}
