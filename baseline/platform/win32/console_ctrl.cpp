// The console control handler and its flag. The system calls the handler on a
// thread of its own while the main thread walks; the two share only an atomic
// flag and an event that the main thread sets once its work is finished.
#include "platform/win32/console_ctrl.h"

#include <atomic>

namespace baseline::win32 {
namespace {

std::atomic<bool> eventReceived{false};
// Set when the handler is removed: the protected work is finished. Manual
// reset, so every close handler waiting on it is released.
HANDLE workFinished = nullptr;

// On a close the system ends the process as soon as the handler returns, or at
// the latest about five seconds after the event. The hold stays within that,
// so that it is always the program, not the system, that lets go.
constexpr DWORD kCloseHoldMilliseconds = 4500;

std::atomic<int> exitOnEvent{1};
std::atomic<bool> endHandlerInstalled{false};

// Called only when the handler above did not take the event: no document is
// open then, so there is nothing to finish. TerminateProcess, not
// ExitProcess: the main thread may hold the C runtime's locks in a line read,
// and the exit value must be exactly the one given.
BOOL WINAPI endProcessOnCtrl(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitOnEvent.load()));
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void endOnConsoleCtrl(int exitValue) {
    exitOnEvent.store(exitValue);
    if (!endHandlerInstalled.exchange(true)) SetConsoleCtrlHandler(endProcessOnCtrl, TRUE);
}

BOOL WINAPI handleConsoleCtrl(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        break;
    default:
        return FALSE;  // log-off and shut-down keep their default handling
    }
    eventReceived.store(true);
    if (type == CTRL_CLOSE_EVENT && workFinished != nullptr) {
        WaitForSingleObject(workFinished, kCloseHoldMilliseconds);
    }
    return TRUE;
}

bool setConsoleCtrlHandler(bool add) {
    if (add) {
        if (workFinished == nullptr) workFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (workFinished != nullptr) ResetEvent(workFinished);
        eventReceived.store(false);
        return SetConsoleCtrlHandler(handleConsoleCtrl, TRUE) != FALSE;
    }
    const bool removed = SetConsoleCtrlHandler(handleConsoleCtrl, FALSE) != FALSE;
    if (workFinished != nullptr) SetEvent(workFinished);
    return removed;
}

bool consoleCtrlEventReceived() { return eventReceived.load(std::memory_order_relaxed); }

}  // namespace baseline::win32
