// The native architecture test and the WOW64 question, over the platform.
#include "platform/native_system.h"

#include "platform/path_form.h"

namespace baseline {

ProcAddress findProc(Platform& platform, const std::u16string& module, const char* name) {
    const ModuleHandle handle = platform.getModuleHandle(module);
    return handle == 0 ? 0 : platform.getProcAddress(handle, name);
}

bool isArchitecture64Bit(std::uint16_t architecture) {
    return architecture == 6 || architecture == 7 || architecture == 9 || architecture == 10;
}

bool is64BitSystem(Platform& platform) {
    const ProcAddress nativeInfo = findProc(platform, u"Kernel32.dll", "GetNativeSystemInfo");
    return nativeInfo != 0 && isArchitecture64Bit(platform.callGetNativeSystemInfo(nativeInfo));
}

bool readSystemDrive(Platform& platform, std::u16string& systemDrive) {
    std::u16string expanded;
    if (!expandPath(platform, u"%SYSTEMDRIVE%", expanded)) return false;
    systemDrive = expanded.substr(0, 2);
    return true;
}

bool runsUnderWow64(Platform& platform) {
    return !platform.is64BitProcess() && is64BitSystem(platform);
}

}  // namespace baseline
