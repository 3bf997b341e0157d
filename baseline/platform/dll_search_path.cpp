// Where the program's DLLs may come from, narrowed before anything can load
// one. Both calls are looked up at run time: each is missing on some system
// the program runs on.
#include "platform/dll_search_path.h"

#include "platform/platform.h"

namespace baseline {

void hardenDllSearchPath(Platform& platform) {
    const ModuleHandle kernel32 = platform.getModuleHandle(u"kernel32.dll");
    if (kernel32 == 0) return;
    // Every later load that names no folder searches the system directory
    // only. Windows 7 without its loader update lacks the function; the
    // program then loads its DLLs by full path (the win32 layer).
    const ProcAddress setDefaultDllDirectories =
        platform.getProcAddress(kernel32, "SetDefaultDllDirectories");
    if (setDefaultDllDirectories != 0) {
        platform.callSetDefaultDllDirectories(setDefaultDllDirectories, kLoadLibrarySearchSystem32);
    }
    const ProcAddress setDllDirectory = platform.getProcAddress(kernel32, "SetDllDirectoryW");
    // An empty string takes the current directory out of the DLL search path.
    if (setDllDirectory != 0) platform.callSetDllDirectory(setDllDirectory, u"");
}

}  // namespace baseline
