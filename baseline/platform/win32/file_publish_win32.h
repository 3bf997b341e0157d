// What file_publish_win32 adds to the publish routine: the console control
// handler that removes the temporary file being written when Ctrl+C,
// Ctrl+Break or a close of the console ends the process.
#pragma once

#include <windows.h>

namespace baseline::fileops {

// Installed by the first writeBeside. Removes the temporary file not yet
// published and returns FALSE, so the next handler (in the end the system's,
// which ends the process) runs. The tests call it directly.
BOOL WINAPI removeTemporaryOnCtrl(DWORD type);

}  // namespace baseline::fileops
