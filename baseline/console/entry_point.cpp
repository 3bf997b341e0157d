// Entry point and run gate. The instance mutex is closed before the final
// key-press wait, so a new instance may start while this one waits.
#include "console/entry_point.h"

#include <exception>
#include <new>

#include "console/console_status.h"
#include "console/run_driver.h"
#include "hostinfo/os_identity.h"
#include "platform/dll_search_path.h"
#include "platform/failure_cause.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace baseline {
namespace {

// TOKEN_PRIVILEGES with one LUID_AND_ATTRIBUTES entry.
constexpr std::uint32_t kOnePrivilegeBufferLength = 16;

// A handle of the platform's, closed on every way out of its scope.
class OwnedHandle {
public:
    OwnedHandle(Platform& platform, SystemHandle handle) : platform_(platform), handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    ~OwnedHandle() { close(); }

    SystemHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }
    void close() {
        if (handle_ != 0) platform_.closeHandle(handle_);
        handle_ = 0;
    }

private:
    Platform& platform_;
    SystemHandle handle_;
};

// The default line for what escaped the run, and its cause when it has one.
void printEscaped(Platform& platform, const FailureCause& cause) {
    try {
        printStatus(platform, status::kInternalFailure);
        printCause(platform, cause);
    } catch (...) {
    }
}

int gate(Platform& platform) {
    if (!isAcceptedOsCode(computeVersionCode(platform))) {
        printStatus(platform, status::kOsNotSupported);
        return 1;
    }
    OwnedHandle running(platform, platform.openMutex(kMutexAllAccess, false, kInstanceMutexName));
    if (running) {
        running.close();
        printStatus(platform, status::kInstanceRunning);
        return 1;
    }
    // Closed on every way out, an exception included, and before the final
    // key wait, so that a new instance may start while this one waits.
    OwnedHandle mutex(platform, platform.createMutex(true, kInstanceMutexName));
    // Two instances started together can both miss each other's mutex in the
    // open above; the one whose create finds the name taken must give way. A
    // failed create (null handle) does not stop the run.
    if (mutex && platform.getLastError() == kErrorAlreadyExists) {
        mutex.close();
        printStatus(platform, status::kInstanceRunning);
        return 1;
    }
    if (!enableBackupPrivilege(platform)) {
        mutex.close();
        printStatus(platform, status::kPrivilegeFailed);
        return 1;
    }
    // Ctrl+C at a prompt, or anywhere outside the walk, is a run that wrote
    // nothing: 1, not the system's default.
    platform.endOnConsoleCtrl(1);
    const bool succeeded = runDriver(platform);
    mutex.close();
    if (!succeeded) return 1;
    printStatus(platform, status::kPressAnyKey);
    return 0;
}

}  // namespace

bool enableBackupPrivilege(Platform& platform) {
    OwnedHandle token(platform, platform.openProcessToken(kTokenAdjustPrivileges | kTokenQuery));
    if (!token) return false;
    Luid backup;
    platform.lookupPrivilegeValue(u"SeBackupPrivilege", backup);  // result deliberately unchecked
    return platform.adjustTokenPrivileges(token.get(), false, backup, kSePrivilegeEnabled,
                                          kOnePrivilegeBufferLength);
}

int runEntryPoint(Platform& platform) {
    hardenDllSearchPath(platform);
    int exitValue = 1;
    try {
        exitValue = gate(platform);
    } catch (const std::exception& e) {
        // Out of memory in the dialogue, in the engine's copy of the
        // configuration or in the summary: the default line and what the
        // exception says, the mutex already closed on the way out, and still
        // the key wait and a defined exit value.
        printEscaped(platform, dynamic_cast<const std::bad_alloc*>(&e) != nullptr
                                   ? FailureCause{u"there is not enough memory"}
                                   : FailureCause{decodeUtf8Replacing(e.what())});
    } catch (...) {
        printEscaped(platform, FailureCause{});
    }
    // At the last key wait an interruption is only the key: the document
    // stands complete, so a success stays one.
    platform.endOnConsoleCtrl(exitValue);
    platform.waitForKeyPress();
    return exitValue;
}

}  // namespace baseline
