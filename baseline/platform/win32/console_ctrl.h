// The program's console control handler: Ctrl+C, Ctrl+Break and a close of
// the console only set a flag while the handler is installed, so that the work
// under way can stop at a point of its choosing and leave a complete document.
#pragma once

#include <windows.h>

namespace baseline::win32 {

// Installs (add) or removes the handler. Installing clears the flag; removing
// releases a close event held back by the handler.
bool setConsoleCtrlHandler(bool add);
// Whether an event reached the handler since it was installed.
bool consoleCtrlEventReceived();
// Installs, the first time, the handler that ends the process with the value
// last given when no handler above it took the event.
void endOnConsoleCtrl(int exitValue);
// The routine SetConsoleCtrlHandler calls, on a thread of its own; the tests
// call it directly for the events a test cannot raise.
BOOL WINAPI handleConsoleCtrl(DWORD type);

}  // namespace baseline::win32
