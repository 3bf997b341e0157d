// Entry point and run gate. The instance mutex is closed before the final
// key-press wait, so a new instance may start while this one waits.
#include "console/entry_point.h"

#include "console/console_status.h"
#include "console/run_driver.h"
#include "hostinfo/os_identity.h"
#include "platform/platform.h"

namespace baseline {
namespace {

// TOKEN_PRIVILEGES with one LUID_AND_ATTRIBUTES entry.
constexpr std::uint32_t kOnePrivilegeBufferLength = 16;

void hardenDllSearchPath(Platform& platform) {
    const ModuleHandle kernel32 = platform.getModuleHandle(u"kernel32.dll");
    if (kernel32 == 0) return;
    const ProcAddress setDllDirectory = platform.getProcAddress(kernel32, "SetDllDirectoryW");
    // An empty string takes the current directory out of the DLL search path.
    if (setDllDirectory != 0) platform.callSetDllDirectory(setDllDirectory, u"");
}

int gate(Platform& platform) {
    if (!isAcceptedOsCode(computeVersionCode(platform))) {
        printStatus(platform, status::kOsNotSupported);
        return 1;
    }
    const SystemHandle running = platform.openMutex(kMutexAllAccess, false, kInstanceMutexName);
    if (running != 0) {
        platform.closeHandle(running);
        printStatus(platform, status::kInstanceRunning);
        return 1;
    }
    const SystemHandle mutex = platform.createMutex(true, kInstanceMutexName);
    // Two instances started together can both miss each other's mutex in the
    // open above; the one whose create finds the name taken must give way. A
    // failed create (null handle) does not stop the run.
    if (mutex != 0 && platform.getLastError() == kErrorAlreadyExists) {
        platform.closeHandle(mutex);
        printStatus(platform, status::kInstanceRunning);
        return 1;
    }
    if (!enableBackupPrivilege(platform)) {
        if (mutex != 0) platform.closeHandle(mutex);
        printStatus(platform, status::kPrivilegeFailed);
        return 1;
    }
    const bool succeeded = runDriver(platform);
    if (mutex != 0) platform.closeHandle(mutex);
    if (!succeeded) return 1;
    printStatus(platform, status::kPressAnyKey);
    return 0;
}

}  // namespace

bool enableBackupPrivilege(Platform& platform) {
    const SystemHandle token = platform.openProcessToken(kTokenAdjustPrivileges | kTokenQuery);
    if (token == 0) return false;
    Luid backup;
    platform.lookupPrivilegeValue(u"SeBackupPrivilege", backup);  // result deliberately unchecked
    const bool adjusted = platform.adjustTokenPrivileges(token, false, backup, kSePrivilegeEnabled,
                                                         kOnePrivilegeBufferLength);
    platform.closeHandle(token);
    return adjusted;
}

int runEntryPoint(Platform& platform) {
    hardenDllSearchPath(platform);
    const int exitValue = gate(platform);
    platform.waitForKeyPress();
    return exitValue;
}

}  // namespace baseline
