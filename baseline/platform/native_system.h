// Facts about the system beneath the program that every subsystem may ask:
// whether Windows itself is 64-bit (its native architecture, whatever the
// program's own), and whether WOW64 stands between the program and it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace baseline {

// GetProcAddress of a function in a module that is already loaded; 0 when
// either is missing.
ProcAddress findProc(Platform& platform, const std::u16string& module, const char* name);

// True for the 64-bit native architectures: 6 (Itanium), 7 (Alpha 64),
// 9 (x64), 10 (32-bit on 64-bit). ARM64 (12) and a missing
// GetNativeSystemInfo count as 32-bit.
bool isArchitecture64Bit(std::uint16_t architecture);
// The native system information, asked afresh on every call.
bool is64BitSystem(Platform& platform);

// The system drive, normally a letter and a colon: the first two units of the
// full expansion of %SYSTEMDRIVE%. False when the expansion fails. The
// document's header and the walk both read it here, so they never disagree.
bool readSystemDrive(Platform& platform, std::u16string& systemDrive);

// A 32-bit program on 64-bit Windows: the only case in which the system
// redirects system32 and Program Files behind the program's back.
bool runsUnderWow64(Platform& platform);

}  // namespace baseline
