// In-memory platform: deterministic models of the calls the program makes.
#include "memory_platform.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>

#include "platform/file_time.h"
#include "platform/native_system.h"
#include "platform/path_form.h"
#include "platform/text_mode.h"
#include "platform/percent_variables.h"
#include "platform/utf.h"

namespace baseline::testing {
namespace {

constexpr std::int32_t kStatusRevisionMismatch = static_cast<std::int32_t>(0xC0000059);

// Proleptic Gregorian calendar from days since 1970-01-01.
LocalTime civilTime(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    LocalTime local;
    local.hour = static_cast<int>(rest / 3600);
    local.minute = static_cast<int>(rest % 3600 / 60);
    local.second = static_cast<int>(rest % 60);
    local.weekday = static_cast<int>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);  // 1 to 12
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    local.dayOfMonth = day;
    local.month = month - 1;
    local.yearsSince1900 = static_cast<int>(year - 1900);
    static constexpr int kDaysBefore[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    local.dayOfYear = kDaysBefore[month - 1] + day - 1 + (leap && month > 2 ? 1 : 0);
    return local;
}

std::u16string twoDigits(int value) {
    return {static_cast<char16_t>(u'0' + value / 10 % 10), static_cast<char16_t>(u'0' + value % 10)};
}

// Text mode: every LF is stored as CR LF.
std::string asTextMode(const std::string& bytes) {
    std::string stored;
    for (char c : bytes) {
        if (c == '\n') stored += '\r';
        stored += c;
    }
    return stored;
}

}  // namespace

MemoryPlatform::MemoryPlatform() { scriptWindows7(*this); }

bool MemoryPlatform::called(const std::string& name) const {
    const Hold hold(mutex_);
    return std::find(calls.begin(), calls.end(), name) != calls.end();
}

void MemoryPlatform::typeLine(const std::string& bytes) {
    const Hold hold(mutex_);
    input.push_back(InputLine{false, {}, bytes});
}

void MemoryPlatform::typeConsoleLine(const std::u16string& text) {
    const Hold hold(mutex_);
    input.push_back(InputLine{true, text, {}});
}

bool MemoryPlatform::is64BitProcess() {
    const Hold hold(mutex_);
    return nativeProgram;
}

std::u16string MemoryPlatform::getCurrentDirectory() {
    const Hold hold(mutex_);
    return currentDirectory;
}

std::uint32_t MemoryPlatform::processorCount() {
    const Hold hold(mutex_);
    return processors;
}

std::size_t MemoryPlatform::openStreams() const {
    const Hold hold(mutex_);
    return streams_.size();
}

void MemoryPlatform::takeLatency(const std::chrono::microseconds& latency) {
    std::chrono::microseconds duration;
    {
        const Hold hold(mutex_);
        duration = latency;
        if (duration.count() <= 0) return;
        maxConcurrentLatency = std::max(maxConcurrentLatency, ++insideLatency_);
    }
    std::this_thread::sleep_for(duration);
    const Hold hold(mutex_);
    --insideLatency_;
}

SystemHandle MemoryPlatform::newHandle() {
    const SystemHandle handle = nextHandle_++;
    openHandles.insert(handle);
    return handle;
}

ModuleHandle MemoryPlatform::getModuleHandle(const std::u16string& moduleName) {
    const Hold hold(mutex_);
    calls.push_back("GetModuleHandleW");
    const auto lowered = lowerAscii(moduleName);
    if (!modules.count(lowered)) return 0;
    return 0x10000 + static_cast<ModuleHandle>(std::distance(modules.begin(), modules.find(lowered)));
}

ProcAddress MemoryPlatform::getProcAddress(ModuleHandle module, const char* procName) {
    const Hold hold(mutex_);
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
    const Hold hold(mutex_);
    calls.push_back("SetDllDirectoryW");
    if (procNames_[proc] != "SetDllDirectoryW") return false;
    dllDirectory = path;
    return true;
}

bool MemoryPlatform::callSetDefaultDllDirectories(ProcAddress proc, std::uint32_t directoryFlags) {
    const Hold hold(mutex_);
    calls.push_back("SetDefaultDllDirectories");
    if (procNames_[proc] != "SetDefaultDllDirectories") return false;
    defaultDllDirectories = directoryFlags;
    return true;
}

std::int32_t MemoryPlatform::callRtlGetVersion(ProcAddress proc, OsVersionRecord& record) {
    const Hold hold(mutex_);
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
    const Hold hold(mutex_);
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
    const Hold hold(mutex_);
    calls.push_back("GetNativeSystemInfo");
    return procNames_[proc] == "GetNativeSystemInfo" ? nativeArchitecture : 0;
}

bool MemoryPlatform::getVersionEx(OsVersionRecord& record) {
    const Hold hold(mutex_);
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
    const Hold hold(mutex_);
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
    const Hold hold(mutex_);
    calls.push_back("GetSystemMetrics:" + std::to_string(index));
    return index == 89 ? serverR2Metric : 0;
}

SystemHandle MemoryPlatform::openMutex(std::uint32_t desiredAccess, bool, const std::u16string& name) {
    const Hold hold(mutex_);
    calls.push_back("OpenMutexW:" + std::to_string(desiredAccess));
    if (openMutexFails || !existingMutexes.count(name)) {
        setLastError(2);
        return 0;
    }
    return newHandle();
}

SystemHandle MemoryPlatform::createMutex(bool initialOwner, const std::u16string& name) {
    const Hold hold(mutex_);
    calls.push_back(std::string("CreateMutexW:") + (initialOwner ? "owned" : "not-owned"));
    if (createMutexFails) {
        setLastError(5);
        return 0;
    }
    setLastError((createMutexRaced || existingMutexes.count(name)) ? kErrorAlreadyExists : 0);
    existingMutexes.insert(name);
    const SystemHandle handle = newHandle();
    ownMutexes_[handle] = name;
    return handle;
}

bool MemoryPlatform::closeHandle(SystemHandle handle) {
    const Hold hold(mutex_);
    calls.push_back("CloseHandle");
    // Closing the creating handle ends this process's hold on the name.
    if (const auto mutex = ownMutexes_.find(handle); mutex != ownMutexes_.end()) {
        existingMutexes.erase(mutex->second);
        ownMutexes_.erase(mutex);
    }
    return openHandles.erase(handle) == 1;
}

std::u16string MemoryPlatform::formatMessage(std::uint32_t error) {
    const Hold hold(mutex_);
    static constexpr std::pair<std::uint32_t, const char16_t*> kMessages[] = {
        {1, u"Incorrect function."},
        {2, u"The system cannot find the file specified."},
        {3, u"The system cannot find the path specified."},
        {5, u"Access is denied."},
        {30, u"The system cannot read from the specified device."},
        {80, u"The file exists."},
        {59, u"An unexpected network error occurred."},
        {112, u"There is not enough space on the disk."},
        {126, u"The specified module could not be found."},
        {203, u"The system could not find the environment option that was entered."},
    };
    for (const auto& [code, text] : kMessages) {
        if (code == error) return text;
    }
    return {};
}

std::uint32_t MemoryPlatform::getLastError() {
    const Hold hold(mutex_);
    const auto found = lastErrors_.find(callingThread());
    return found == lastErrors_.end() ? 0 : found->second;
}

std::uint64_t MemoryPlatform::callingThread() {
    static std::atomic<std::uint64_t> threads{0};
    thread_local const std::uint64_t number = ++threads;
    return number;
}

void MemoryPlatform::setLastError(std::uint32_t error) { lastErrors_[callingThread()] = error; }

SystemHandle MemoryPlatform::openProcessToken(std::uint32_t desiredAccess) {
    const Hold hold(mutex_);
    calls.push_back("OpenProcessToken");
    tokenAccess = desiredAccess;
    return openTokenSucceeds ? newHandle() : 0;
}

bool MemoryPlatform::lookupPrivilegeValue(const std::u16string& privilegeName, Luid& luid) {
    const Hold hold(mutex_);
    calls.push_back("LookupPrivilegeValueW");
    if (privilegeName != u"SeBackupPrivilege") return false;
    luid = Luid{17, 0};  // SE_BACKUP_PRIVILEGE
    return true;
}

bool MemoryPlatform::adjustTokenPrivileges(SystemHandle token, bool disableAll, const Luid& luid,
                                           std::uint32_t attributes, std::uint32_t bufferLength) {
    const Hold hold(mutex_);
    calls.push_back(std::string("AdjustTokenPrivileges:") + (disableAll ? "disable-all" : "one"));
    adjustedLuid = luid;
    adjustedAttributes = attributes;
    adjustedBufferLength = bufferLength;
    return openHandles.count(token) && adjustPrivilegesSucceeds;
}

void MemoryPlatform::writeOutput(const std::u16string& text) {
    const Hold hold(mutex_);
    calls.push_back("writeOutput");
    if (outputHook) outputHook(text);
    output += text;
}

bool MemoryPlatform::readInputLine(InputLine& line) {
    const Hold hold(mutex_);
    calls.push_back("readInputLine");
    if (input.empty()) return false;
    line = input.front();
    input.pop_front();
    return true;
}

std::u16string MemoryPlatform::multiByteToWideChar(std::uint32_t codePage, const std::string& bytes) {
    const Hold hold(mutex_);
    calls.push_back("MultiByteToWideChar:" + std::to_string(codePage));
    // Modelled as Latin-1, which agrees with code page 1252 on the letters tests use.
    std::u16string out;
    for (unsigned char b : bytes) out.push_back(static_cast<char16_t>(b));
    return out;
}

std::uint32_t MemoryPlatform::fallbackInputCodePage() { return inputCodePage; }

bool MemoryPlatform::getConsoleScreenBufferInfo(ConsoleScreenInfo& info) {
    const Hold hold(mutex_);
    if (!console) return false;
    info = *console;
    return true;
}

bool MemoryPlatform::setConsoleCtrlHandler(bool add) {
    const Hold hold(mutex_);
    calls.push_back(add ? "SetConsoleCtrlHandler:add" : "SetConsoleCtrlHandler:remove");
    ctrlHandlerInstalled = add;
    return true;
}

bool MemoryPlatform::consoleCtrlEventReceived() {
    const Hold hold(mutex_);
    ++ctrlEventChecks;
    return ctrlHandlerInstalled && ctrlEventAtCheck != 0 && ctrlEventChecks >= ctrlEventAtCheck;
}

void MemoryPlatform::pressCtrlNow() {
    const Hold hold(mutex_);
    ctrlEventAtCheck = ctrlEventChecks + 1;
}

void MemoryPlatform::whileLocked(const std::function<void()>& look) {
    const Hold hold(mutex_);
    look();
}

void MemoryPlatform::endOnConsoleCtrl(int exitValue) {
    const Hold hold(mutex_);
    calls.push_back("endOnConsoleCtrl:" + std::to_string(exitValue));
}

std::uint64_t MemoryPlatform::getTickCount64() {
    const Hold hold(mutex_);
    ++clockReadings;
    const std::uint64_t now = tickCount;
    tickCount += tickStep;
    return now;
}

void MemoryPlatform::waitForKeyPress() {
    const Hold hold(mutex_);
    calls.push_back("waitForKeyPress");
    ++keyWaits;
}

std::uint32_t MemoryPlatform::expandEnvironmentStrings(const std::u16string& source,
                                                       std::u16string& expanded,
                                                       std::uint32_t bufferLength) {
    const Hold hold(mutex_);
    calls.push_back("ExpandEnvironmentStringsW");
    expansions.emplace_back(source, bufferLength);
    if (expansionFails || failingExpansions.count(source)) {
        setLastError(203);  // ERROR_ENVVAR_NOT_FOUND
        return 0;
    }
    const std::u16string result = expandPercentVariables(source, [&](const std::u16string& name)
                                                             -> std::optional<std::u16string> {
        const auto variable = std::find_if(environment.begin(), environment.end(), [&](const auto& entry) {
            return lowerAscii(entry.first) == lowerAscii(name);
        });
        if (variable == environment.end()) return std::nullopt;
        return variable->second;
    });
    const auto needed = static_cast<std::uint32_t>(result.size() + 1);
    if (needed <= bufferLength) expanded = result;
    return needed;
}

int& MemoryPlatform::threadRedirectionDisabled() {
    const auto thread = callingThread();
    return thread == constructingThread_ ? redirectionDisabled : otherRedirectionDisabled_[thread];
}

int MemoryPlatform::threadRedirectionDisabled() const {
    const auto thread = callingThread();
    if (thread == constructingThread_) return redirectionDisabled;
    const auto found = otherRedirectionDisabled_.find(thread);
    return found == otherRedirectionDisabled_.end() ? 0 : found->second;
}

int MemoryPlatform::redirectionDisabledElsewhere() const {
    const Hold hold(mutex_);
    int disabled = 0;
    for (const auto& [thread, count] : otherRedirectionDisabled_) disabled += count;
    return disabled;
}

bool MemoryPlatform::redirects() const {
    const Hold hold(mutex_);
    return !nativeProgram && isArchitecture64Bit(nativeArchitecture) && threadRedirectionDisabled() == 0;
}

std::u16string MemoryPlatform::reached(const std::u16string& asked) const {
    const Hold hold(mutex_);
    if (!redirects()) return asked;
    const std::u16string system = modelKey(systemDirectory);
    const std::u16string key = modelKey(asked);
    if (key.compare(0, system.size(), system) != 0 || (key.size() > system.size() && key[system.size()] != u'\\')) {
        return asked;
    }
    // Keep what follows the directory as the program wrote it.
    std::size_t units = 0;
    std::size_t i = 0;
    while (i < asked.size() && units < system.size()) {
        const bool repeated = asked[i] == u'\\' && i > 0 && asked[i - 1] == u'\\';
        if (!repeated) ++units;
        ++i;
    }
    return wow64Directory + asked.substr(i);
}

std::uint32_t MemoryPlatform::getFileAttributes(const std::u16string& asked) {
    const Hold hold(mutex_);
    calls.push_back("GetFileAttributesW");
    const std::u16string path = reached(asked);
    const auto found = fileAttributes.find(path);
    return found == fileAttributes.end() ? getFileAttributesOfModel(path) : found->second;
}

std::u16string MemoryPlatform::modelKey(const std::u16string& path) {
    std::u16string key;
    for (char16_t c : lowerAscii(path)) {
        if (c == u'/') c = u'\\';
        if (c == u'\\' && !key.empty() && key.back() == u'\\') continue;
        key.push_back(c);
    }
    if (!key.empty() && key.back() == u'\\') key.pop_back();
    return key;
}

std::uint32_t MemoryPlatform::getFileAttributesOfModel(const std::u16string& path) const {
    const Hold hold(mutex_);
    const auto key = modelKey(path);
    if (key.size() == 2 && key[1] == u':' && listings_.count(key)) return kFileAttributeDirectory;
    const auto found = modelAttributes_.find(key);
    return found == modelAttributes_.end() ? kInvalidFileAttributes : found->second;
}

namespace {

bool isDriveRootKey(const std::u16string& key) { return key.size() == 2 && key[1] == u':'; }

// The path without its last component, in the case it was written.
std::u16string parentPath(const std::u16string& path) {
    std::u16string trimmed = path;
    while (!trimmed.empty() && (trimmed.back() == u'\\' || trimmed.back() == u'/')) trimmed.pop_back();
    const auto slash = trimmed.find_last_of(u"\\/");
    return slash == std::u16string::npos ? std::u16string() : trimmed.substr(0, slash);
}

std::u16string leafName(const std::u16string& path) {
    std::u16string trimmed = path;
    while (!trimmed.empty() && (trimmed.back() == u'\\' || trimmed.back() == u'/')) trimmed.pop_back();
    const auto slash = trimmed.find_last_of(u"\\/");
    return slash == std::u16string::npos ? trimmed : trimmed.substr(slash + 1);
}

}  // namespace

void MemoryPlatform::addDirectory(const std::u16string& path, std::uint32_t attributes) {
    const Hold hold(mutex_);
    const auto key = modelKey(path);
    if (isDriveRootKey(key)) {
        listings_[key];
        return;
    }
    const auto parent = parentPath(path);
    if (!parent.empty() && !listings_.count(modelKey(parent))) addDirectory(parent);
    if (!listings_.count(key)) {
        listings_[key] = {FindData{kFileAttributeDirectory, u"."}, FindData{kFileAttributeDirectory, u".."}};
    }
    modelAttributes_[key] = attributes;
    if (!parent.empty()) listings_[modelKey(parent)].push_back(FindData{attributes, leafName(path)});
}

void MemoryPlatform::addFile(const std::u16string& path, std::uint32_t attributes) {
    const Hold hold(mutex_);
    const auto parent = parentPath(path);
    if (!listings_.count(modelKey(parent))) addDirectory(parent);
    modelAttributes_[modelKey(path)] = attributes;
    listings_[modelKey(parent)].push_back(FindData{attributes, leafName(path)});
}

SearchHandle MemoryPlatform::findFirstFile(const std::u16string& asked, FindData& data) {
    takeLatency(listingLatency);
    const Hold hold(mutex_);
    calls.push_back("FindFirstFileW");
    searchPatterns.push_back(asked);
    const std::u16string pattern = reached(asked);
    // Only the "directory\*" patterns the program uses are modelled.
    if (pattern.empty() || pattern.back() != u'*') {
        setLastError(123);  // ERROR_INVALID_NAME
        return 0;
    }
    const auto key = modelKey(pattern.substr(0, pattern.size() - 1));
    const auto listing = listings_.find(key);
    if (const auto scripted = listingErrors.find(key); scripted != listingErrors.end()) {
        setLastError(scripted->second);
        return 0;
    }
    if (listing == listings_.end() || unlistable.count(key) || listing->second.empty()) {
        setLastError(listing == listings_.end() ? kErrorPathNotFound
                     : unlistable.count(key)    ? 5  // ERROR_ACCESS_DENIED
                                                : kErrorFileNotFound);
        return 0;
    }
    const SearchHandle handle = newHandle();
    searches_[handle] = Search{listing->second, 1};
    if (const auto cut = listingsCutShort.find(key); cut != listingsCutShort.end()) {
        searches_[handle].cutAfter = cut->second.first;
        searches_[handle].cutError = cut->second.second;
    }
    data = listing->second.front();
    ++openSearches;
    return handle;
}

bool MemoryPlatform::findNextFile(SearchHandle search, FindData& data) {
    const Hold hold(mutex_);
    calls.push_back("FindNextFileW");
    auto found = searches_.find(search);
    if (found == searches_.end()) {
        setLastError(6);  // ERROR_INVALID_HANDLE
        return false;
    }
    Search& open = found->second;
    if (open.cutError != 0 && open.next >= open.cutAfter) {
        setLastError(open.cutError);
        return false;
    }
    if (open.next >= open.entries.size()) {
        setLastError(kErrorNoMoreFiles);
        return false;
    }
    data = open.entries[open.next++];
    return true;
}

bool MemoryPlatform::findClose(SearchHandle search) {
    const Hold hold(mutex_);
    calls.push_back("FindClose");
    if (!searches_.erase(search)) return false;
    openHandles.erase(search);
    --openSearches;
    return true;
}

std::uint32_t MemoryPlatform::getDriveType(const std::u16string& rootPath) {
    const Hold hold(mutex_);
    calls.push_back("GetDriveTypeW");
    if (rootPath.empty()) return 0;
    char16_t letter = rootPath[0];
    if (letter >= u'a' && letter <= u'z') letter = static_cast<char16_t>(letter - u'a' + u'A');
    const auto found = driveTypes.find(letter);
    return found == driveTypes.end() ? 1 : found->second;  // DRIVE_NO_ROOT_DIR
}

bool MemoryPlatform::wow64DisableWow64FsRedirection(std::uintptr_t& oldValue) {
    const Hold hold(mutex_);
    calls.push_back("Wow64DisableWow64FsRedirection");
    // As the real call: only a 32-bit process on 64-bit Windows has
    // redirection to turn off.
    if (wow64DisableFails || nativeProgram || !isArchitecture64Bit(nativeArchitecture)) {
        setLastError(1);  // ERROR_INVALID_FUNCTION
        return false;
    }
    ++threadRedirectionDisabled();
    oldValue = 0xD15AB1ED;
    return true;
}

bool MemoryPlatform::wow64RevertWow64FsRedirection(std::uintptr_t oldValue) {
    const Hold hold(mutex_);
    calls.push_back("Wow64RevertWow64FsRedirection");
    int& disabled = threadRedirectionDisabled();
    if (oldValue != 0xD15AB1ED || disabled == 0) return false;
    --disabled;
    return true;
}

// --- file identity and the allowlist document ---

bool MemoryPlatform::getComputerNameEx(std::uint32_t nameType, std::u16string& name,
                                       std::uint32_t bufferSize) {
    const Hold hold(mutex_);
    calls.push_back("GetComputerNameExW:" + std::to_string(nameType));
    if (!computerName || computerName->size() + 1 > bufferSize) {
        setLastError(234);  // ERROR_MORE_DATA, or whatever made it fail
        return false;
    }
    name = *computerName;
    return true;
}

std::uint32_t MemoryPlatform::getModuleFileName(std::u16string& path, std::uint32_t bufferLength) {
    const Hold hold(mutex_);
    calls.push_back("GetModuleFileNameW");
    if (!moduleFileName) {
        setLastError(5);
        return 0;
    }
    if (moduleFileName->size() >= bufferLength) {
        // As Windows 7 and later do: cut to fit with its terminator.
        path = moduleFileName->substr(0, bufferLength - 1);
        setLastError(kErrorInsufficientBuffer);
        return bufferLength;
    }
    path = *moduleFileName;
    setLastError(0);
    return static_cast<std::uint32_t>(path.size());
}

std::uint64_t MemoryPlatform::getSystemTimeAsFileTime() {
    const Hold hold(mutex_);
    calls.push_back("GetSystemTimeAsFileTime");
    return static_cast<std::uint64_t>(clockSeconds) * 10000000ULL + 116444736000000000ULL;
}

std::int64_t MemoryPlatform::time64() {
    const Hold hold(mutex_);
    calls.push_back("_time64");
    return clockSeconds;
}

bool MemoryPlatform::localTime64(std::int64_t seconds, LocalTime& local) {
    const Hold hold(mutex_);
    calls.push_back("_localtime64_s");
    if (localTimeFails) return false;
    local = civilTime(seconds + timeZoneOffsetSeconds);
    return true;
}

bool MemoryPlatform::ctime64(std::int64_t seconds, std::string& text, std::size_t bufferSize) {
    const Hold hold(mutex_);
    calls.push_back("_ctime64_s:" + std::to_string(bufferSize));
    if (ctimeFails || bufferSize < 26) return false;
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const LocalTime local = civilTime(seconds + timeZoneOffsetSeconds);
    char buffer[64];
    // As the Microsoft runtime writes it: the day with a leading zero.
    std::snprintf(buffer, sizeof buffer, "%.3s %.3s %.2d %.2d:%.2d:%.2d %d\n", kDays[local.weekday],
                  kMonths[local.month], local.dayOfMonth, local.hour, local.minute, local.second,
                  local.yearsSince1900 + 1900);
    text = buffer;
    return true;
}

std::size_t MemoryPlatform::wcsftime(std::u16string& out, std::size_t bufferLength,
                                     const std::u16string& format, const LocalTime& local) {
    const Hold hold(mutex_);
    calls.push_back("wcsftime");
    // Only the conversions the program uses are modelled.
    std::u16string result;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != u'%' || i + 1 == format.size()) {
            result += format[i];
            continue;
        }
        switch (format[++i]) {
            case u'd': result += twoDigits(local.dayOfMonth); break;
            case u'm': result += twoDigits(local.month + 1); break;
            case u'Y': {
                const int year = local.yearsSince1900 + 1900;
                result += twoDigits(year / 100) + twoDigits(year % 100);
                break;
            }
            case u'H': result += twoDigits(local.hour); break;
            case u'M': result += twoDigits(local.minute); break;
            default: result += u'%'; result += format[i]; break;
        }
    }
    if (result.size() + 1 > bufferLength) return 0;
    out = result;
    return result.size();
}

bool MemoryPlatform::getFileLastWriteTime(const std::u16string& asked, std::uint64_t& fileTime) {
    const Hold hold(mutex_);
    calls.push_back("GetFileAttributesExW");
    const auto found = fileStatuses.find(reached(asked));
    if (found == fileStatuses.end()) return false;
    fileTime = static_cast<std::uint64_t>(found->second.modifiedTime * 10000000 +
                                          static_cast<std::int64_t>(kUnixEpochAsFileTime));
    return true;
}

int MemoryPlatform::waccess(const std::u16string& asked, int mode) {
    const Hold hold(mutex_);
    calls.push_back("_waccess:" + std::to_string(mode));
    const std::u16string path = reached(asked);
    if (accessDenied.count(path)) return -1;
    const bool exists = files.count(path) || fileStatuses.count(path) || fileAttributes.count(path) ||
                        getFileAttributesOfModel(path) != kInvalidFileAttributes;
    return exists ? 0 : -1;
}

FileStream MemoryPlatform::createNewTextFile(const std::u16string& path) {
    const Hold hold(mutex_);
    calls.push_back("createNewTextFile");
    if (files.count(path) || fileAttributes.count(path) || fileStatuses.count(path)) {
        setLastError(kErrorFileExists);
        return 0;
    }
    if (failCreate) {
        setLastError(5);
        return 0;
    }
    files[path] = "";
    const FileStream stream = nextStream_++;
    streams_[stream] = OpenStream{path, {}};
    setLastError(0);
    return stream;
}

bool MemoryPlatform::fwrite(FileStream stream, const std::string& bytes) {
    const Hold hold(mutex_);
    calls.push_back("fwrite");
    const auto open = streams_.find(stream);
    if (open == streams_.end()) return false;
    if (++writeCalls == failWriteCall) {
        setLastError(writeFailureError);
        return false;
    }
    open->second.pending += asTextMode(bytes);
    return true;
}

bool MemoryPlatform::fflush(FileStream stream) {
    const Hold hold(mutex_);
    calls.push_back("fflush");
    const auto open = streams_.find(stream);
    if (open == streams_.end()) return false;
    if (++flushCalls == failFlushCall) {
        setLastError(writeFailureError);
        return false;
    }
    files[open->second.path] += open->second.pending;
    open->second.pending.clear();
    return true;
}

bool MemoryPlatform::fclose(FileStream stream) {
    const Hold hold(mutex_);
    calls.push_back("fclose");
    const auto open = streams_.find(stream);
    if (open == streams_.end()) return false;
    files[open->second.path] += open->second.pending;
    streams_.erase(open);
    if (failClose) setLastError(writeFailureError);
    return !failClose;
}

std::string MemoryPlatform::pendingBytes(const std::u16string& path) const {
    const Hold hold(mutex_);
    for (const auto& [stream, open] : streams_) {
        if (open.path == path) return open.pending;
    }
    return {};
}

bool MemoryPlatform::readVersionStrings(const std::u16string& asked, FileVersionStrings& strings,
                                        std::int32_t& status) {
    takeLatency(identityLatency);
    const Hold hold(mutex_);
    calls.push_back("readVersionStrings");
    const std::u16string path = reached(asked);
    ++versionReads[path];
    const auto found = versions.find(path);
    status = found == versions.end() ? kStatusNoVersionResource : found->second.status;
    if (fileIdentityLibrariesMissing) status = kStatusIdentityUnavailable;
    if (status != 0) return false;
    strings = found->second.strings;
    return true;
}

bool MemoryPlatform::readSignerInfo(const std::u16string& asked, SignerInfo& signer,
                                    std::int32_t& status) {
    if (signerReadGate) signerReadGate(asked);
    takeLatency(identityLatency);
    const Hold hold(mutex_);
    calls.push_back("readSignerInfo");
    const std::u16string path = reached(asked);
    ++signerReads[path];
    if (signerReadHook) signerReadHook(path);
    const auto found = signers.find(path);
    status = found == signers.end() ? kStatusNoEmbeddedSignature : found->second.status;
    if (fileIdentityLibrariesMissing) status = kStatusIdentityUnavailable;
    if (status != 0) return false;
    signer = found->second.signer;
    return true;
}

bool MemoryPlatform::loadFileIdentityLibraries() {
    const Hold hold(mutex_);
    calls.push_back("loadFileIdentityLibraries");
    if (fileIdentityLibrariesMissing) setLastError(126);  // ERROR_MOD_NOT_FOUND
    return !fileIdentityLibrariesMissing;
}

bool MemoryPlatform::getProcessMemoryInfo(ProcessMemoryCounters& counters) {
    const Hold hold(mutex_);
    calls.push_back("GetProcessMemoryInfo");
    counters = memoryCounters;
    return true;
}

bool MemoryPlatform::readTextModeFile(const std::u16string& path, std::string& content) {
    const Hold hold(mutex_);
    calls.push_back("_wfopen:r");
    return readFile(path, true, content);
}

bool MemoryPlatform::readBinaryModeFile(const std::u16string& path, std::string& content) {
    const Hold hold(mutex_);
    calls.push_back("_wfopen:rb");
    return readFile(path, false, content);
}

bool MemoryPlatform::readFile(const std::u16string& path, bool textMode, std::string& content) {
    const auto found = files.find(path);
    if (found == files.end() || unreadableFiles.count(path)) {
        setLastError(found == files.end() ? kErrorFileNotFound : 30);  // ERROR_READ_FAULT
        return false;
    }
    content = textMode ? textModeContent(found->second) : found->second;
    return true;
}

int MemoryPlatform::multiByteToWideCharTerminated(std::uint32_t codePage, std::uint32_t flags,
                                                  const char* text, char16_t* buffer,
                                                  int bufferLength) {
    const Hold hold(mutex_);
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
