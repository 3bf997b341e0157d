// In-memory platform: deterministic models of the calls the program makes.
#include "memory_platform.h"

#include <algorithm>
#include <cstring>

#include "platform/text_mode.h"
#include "platform/utf.h"

namespace baseline::testing {
namespace {

std::u16string lowerAscii(std::u16string text) {
    for (auto& c : text) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return text;
}

constexpr std::int32_t kStatusRevisionMismatch = static_cast<std::int32_t>(0xC0000059);

}  // namespace

MemoryPlatform::MemoryPlatform() { scriptWindows7(*this); }

bool MemoryPlatform::called(const std::string& name) const {
    return std::find(calls.begin(), calls.end(), name) != calls.end();
}

SystemHandle MemoryPlatform::newHandle() {
    const SystemHandle handle = nextHandle_++;
    openHandles.insert(handle);
    return handle;
}

ModuleHandle MemoryPlatform::getModuleHandle(const std::u16string& moduleName) {
    calls.push_back("GetModuleHandleW");
    const auto lowered = lowerAscii(moduleName);
    if (!modules.count(lowered)) return 0;
    return 0x10000 + static_cast<ModuleHandle>(std::distance(modules.begin(), modules.find(lowered)));
}

ProcAddress MemoryPlatform::getProcAddress(ModuleHandle module, const char* procName) {
    calls.push_back(std::string("GetProcAddress:") + procName);
    if (module == 0 || missingFunctions.count(procName)) return 0;
    auto found = procByName_.find(procName);
    if (found != procByName_.end()) return found->second;
    const ProcAddress address = 0x20000 + procByName_.size();
    procByName_[procName] = address;
    procNames_[address] = procName;
    return address;
}

bool MemoryPlatform::callSetDllDirectory(ProcAddress proc, const std::u16string& path) {
    calls.push_back("SetDllDirectoryW");
    if (procNames_[proc] != "SetDllDirectoryW") return false;
    dllDirectory = path;
    return true;
}

std::int32_t MemoryPlatform::callRtlGetVersion(ProcAddress proc, OsVersionRecord& record) {
    calls.push_back("RtlGetVersion");
    if (procNames_[proc] != "RtlGetVersion" || record.size != kOsVersionInfoExSize) {
        return kStatusRevisionMismatch;
    }
    if (rtlGetVersionStatus >= 0) {
        const auto size = record.size;
        record = version;
        record.size = size;
    }
    return rtlGetVersionStatus;
}

std::int32_t MemoryPlatform::callRtlVerifyVersionInfo(ProcAddress proc, const OsVersionRecord& record,
                                                      std::uint32_t typeMask,
                                                      std::uint64_t conditionMask) {
    calls.push_back("RtlVerifyVersionInfo");
    lastVerifyMask = conditionMask;
    if (procNames_[proc] != "RtlVerifyVersionInfo") return kStatusRevisionMismatch;
    // Only the equality tests the program asks for are modelled.
    const bool testsMinor = (typeMask & 1) && (conditionMask & 0x7) == 1;
    const bool testsMajor = (typeMask & 2) && ((conditionMask >> 3) & 0x7) == 1;
    if (testsMajor && record.majorVersion != version.majorVersion) return kStatusRevisionMismatch;
    if (testsMinor && record.minorVersion != version.minorVersion) return kStatusRevisionMismatch;
    return 0;
}

std::uint16_t MemoryPlatform::callGetNativeSystemInfo(ProcAddress proc) {
    calls.push_back("GetNativeSystemInfo");
    return procNames_[proc] == "GetNativeSystemInfo" ? nativeArchitecture : 0;
}

bool MemoryPlatform::getVersionEx(OsVersionRecord& record) {
    calls.push_back("GetVersionExW");
    versionExSizes.push_back(record.size);
    const bool ok = record.size == kOsVersionInfoExSize   ? getVersionExExtendedSucceeds
                    : record.size == kOsVersionInfoSize ? getVersionExPlainSucceeds
                                                        : false;
    if (!ok) return false;
    const auto size = record.size;
    record = version;
    record.size = size;
    if (size == kOsVersionInfoSize) {  // the plain record has no extended fields
        record.suiteMask = 0;
        record.productType = 0;
    }
    return true;
}

std::uint64_t MemoryPlatform::verSetConditionMask(std::uint64_t conditionMask,
                                                  std::uint32_t typeMask, std::uint8_t condition) {
    calls.push_back("VerSetConditionMask");
    // As documented: the condition occupies three bits per type, at the index
    // of the type's lowest set bit.
    for (int bit = 0; bit < 8; ++bit) {
        if (typeMask & (1u << bit)) {
            return conditionMask | (static_cast<std::uint64_t>(condition & 0x7) << (3 * bit));
        }
    }
    return conditionMask;
}

int MemoryPlatform::getSystemMetrics(int index) {
    calls.push_back("GetSystemMetrics:" + std::to_string(index));
    return index == 89 ? serverR2Metric : 0;
}

SystemHandle MemoryPlatform::openMutex(std::uint32_t desiredAccess, bool, const std::u16string& name) {
    calls.push_back("OpenMutexW:" + std::to_string(desiredAccess));
    if (openMutexFails || !existingMutexes.count(name)) {
        lastError_ = 2;
        return 0;
    }
    return newHandle();
}

SystemHandle MemoryPlatform::createMutex(bool initialOwner, const std::u16string& name) {
    calls.push_back(std::string("CreateMutexW:") + (initialOwner ? "owned" : "not-owned"));
    if (createMutexFails) {
        lastError_ = 5;
        return 0;
    }
    lastError_ = (createMutexRaced || existingMutexes.count(name)) ? kErrorAlreadyExists : 0;
    existingMutexes.insert(name);
    return newHandle();
}

bool MemoryPlatform::closeHandle(SystemHandle handle) {
    calls.push_back("CloseHandle");
    return openHandles.erase(handle) == 1;
}

std::uint32_t MemoryPlatform::getLastError() { return lastError_; }

SystemHandle MemoryPlatform::openProcessToken(std::uint32_t desiredAccess) {
    calls.push_back("OpenProcessToken");
    tokenAccess = desiredAccess;
    return openTokenSucceeds ? newHandle() : 0;
}

bool MemoryPlatform::lookupPrivilegeValue(const std::u16string& privilegeName, Luid& luid) {
    calls.push_back("LookupPrivilegeValueW");
    if (privilegeName != u"SeBackupPrivilege") return false;
    luid = Luid{17, 0};  // SE_BACKUP_PRIVILEGE
    return true;
}

bool MemoryPlatform::adjustTokenPrivileges(SystemHandle token, bool disableAll, const Luid& luid,
                                           std::uint32_t attributes, std::uint32_t bufferLength) {
    calls.push_back(std::string("AdjustTokenPrivileges:") + (disableAll ? "disable-all" : "one"));
    adjustedLuid = luid;
    adjustedAttributes = attributes;
    adjustedBufferLength = bufferLength;
    return openHandles.count(token) && adjustPrivilegesSucceeds;
}

void MemoryPlatform::writeOutput(const std::u16string& text) {
    calls.push_back("writeOutput");
    output += text;
}

bool MemoryPlatform::readInputLine(InputLine& line) {
    calls.push_back("readInputLine");
    if (input.empty()) return false;
    line = input.front();
    input.pop_front();
    return true;
}

std::u16string MemoryPlatform::multiByteToWideChar(std::uint32_t codePage, const std::string& bytes) {
    calls.push_back("MultiByteToWideChar:" + std::to_string(codePage));
    // Modelled as Latin-1, which agrees with code page 1252 on the letters tests use.
    std::u16string out;
    for (unsigned char b : bytes) out.push_back(static_cast<char16_t>(b));
    return out;
}

std::uint32_t MemoryPlatform::fallbackInputCodePage() { return inputCodePage; }

void MemoryPlatform::waitForKeyPress() {
    calls.push_back("waitForKeyPress");
    ++keyWaits;
}

std::uint32_t MemoryPlatform::expandEnvironmentStrings(const std::u16string& source,
                                                       std::u16string& expanded,
                                                       std::uint32_t bufferLength) {
    calls.push_back("ExpandEnvironmentStringsW");
    expansions.emplace_back(source, bufferLength);
    if (expansionFails || failingExpansions.count(source)) return 0;
    // %NAME% is replaced when NAME is defined; otherwise it stays as written.
    std::u16string result;
    std::size_t i = 0;
    while (i < source.size()) {
        const auto open = source.find(u'%', i);
        const auto close = open == std::u16string::npos ? open : source.find(u'%', open + 1);
        if (close == std::u16string::npos) {
            result.append(source, i, std::u16string::npos);
            break;
        }
        result.append(source, i, open - i);
        const std::u16string name = lowerAscii(source.substr(open + 1, close - open - 1));
        const auto variable = std::find_if(environment.begin(), environment.end(), [&](const auto& entry) {
            return lowerAscii(entry.first) == name;
        });
        if (variable != environment.end()) {
            result += variable->second;
            i = close + 1;
        } else {
            result.append(source, open, close - open);
            i = close;
        }
    }
    const auto needed = static_cast<std::uint32_t>(result.size() + 1);
    if (needed <= bufferLength) expanded = result;
    return needed;
}

std::uint32_t MemoryPlatform::getFileAttributes(const std::u16string& path) {
    calls.push_back("GetFileAttributesW");
    const auto found = fileAttributes.find(path);
    return found == fileAttributes.end() ? kInvalidFileAttributes : found->second;
}

int MemoryPlatform::waccess(const std::u16string& path, int) {
    calls.push_back("_waccess");
    return fileAttributes.count(path) && !accessDenied.count(path) ? 0 : -1;
}

bool MemoryPlatform::readTextModeFile(const std::u16string& path, std::string& content) {
    calls.push_back("_wfopen:r");
    const auto found = files.find(path);
    if (found == files.end() || unreadableFiles.count(path)) return false;
    content = textModeContent(found->second);
    return true;
}

int MemoryPlatform::multiByteToWideCharTerminated(std::uint32_t codePage, std::uint32_t flags,
                                                  const char* text, char16_t* buffer,
                                                  int bufferLength) {
    calls.push_back("MultiByteToWideChar:" + std::to_string(codePage) + ":-1");
    if (codePage != kCodePageUtf8 || flags != 0) return 0;  // only what the program asks for
    std::u16string wide = decodeUtf8Replacing(std::string(text, std::strlen(text)));
    wide.push_back(u'\0');
    const int needed = static_cast<int>(wide.size());
    if (bufferLength == 0) return needed;
    if (bufferLength < needed) return 0;  // ERROR_INSUFFICIENT_BUFFER
    std::copy(wide.begin(), wide.end(), buffer);
    return needed;
}

void scriptWindows7(MemoryPlatform& platform) {
    scriptWorkstation(platform, 6, 1, 7601, false);
}

void scriptWorkstation(MemoryPlatform& platform, std::uint32_t major, std::uint32_t minor,
                       std::uint32_t build, bool is64Bit) {
    platform.version = OsVersionRecord{kOsVersionInfoExSize, major, minor, build, 2, 0x0100, 1};
    platform.nativeArchitecture = is64Bit ? 9 : 0;
}

}  // namespace baseline::testing
