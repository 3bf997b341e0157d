// Reduces the running Windows edition to one version code and names it. The
// decision procedure reads only the facts gathered in OsIdentity; the queries
// that gather them go through the platform.
#pragma once

#include <cstdint>
#include <string>

#include "platform/native_system.h"
#include "platform/platform.h"

namespace baseline {

using OsVersionCode = std::uint32_t;

struct OsIdentity {
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;
    std::uint16_t suiteMask = 0;
    std::uint8_t productType = 0;
    bool is64Bit = false;
    std::uint16_t processorArchitecture = 0;
    bool r2Flag = false;         // only meaningful once the R2 test was reached
    bool verified10 = false;     // running system verified as 10.0
    bool verified63 = false;     // running system verified as 6.3
    OsVersionCode versionCode = 0;
    std::u16string name;
};

namespace oscode {
constexpr OsVersionCode kWindows7 = 50032;
constexpr OsVersionCode kWindows7x64 = 50033;
constexpr OsVersionCode kWindows10 = 50041;
constexpr OsVersionCode kWindows10x64 = 50042;
constexpr OsVersionCode kWindows11 = 50048;
constexpr OsVersionCode kWindows11x64 = 50049;
}  // namespace oscode

constexpr std::size_t kOsNameBufferLength = 260;

// RtlGetVersion when it answers, else GetVersionExW with the extended and then
// the plain record size. False when no query succeeded.
bool getVersionRecord(Platform& platform, OsVersionRecord& record);

// Runs the decision procedure and fills `identity` with the facts it read and
// its result; returns the code (0 when not identified).
OsVersionCode identifyOs(Platform& platform, OsIdentity& identity);
OsVersionCode computeVersionCode(Platform& platform);

// Copies the name of `code` into a buffer of `bufferLength` UTF-16 units
// (terminator included). False for a code without a name or a name that does
// not fit.
bool nameForCode(OsVersionCode code, std::u16string& name,
                 std::size_t bufferLength = kOsNameBufferLength);

// The six codes the program runs on.
bool isAcceptedOsCode(OsVersionCode code);

}  // namespace baseline
