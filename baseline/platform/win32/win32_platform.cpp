// Win32Platform: each operation wraps the one Windows or C runtime call it is
// named after. Only generic Win32 that exists on Windows 7 and later belongs here.
#include "platform/win32/win32_platform.h"

#include <windows.h>

#include <conio.h>
#include <io.h>
#include <cerrno>
#include <cstdio>

#include "platform/file_time.h"
#include "platform/long_path.h"
#include "platform/utf.h"
#include "platform/win32/console_ctrl.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

// --- file identity and the allowlist document ---
// K32GetProcessMemoryInfo is kernel32's own since Windows 7; calling it keeps
// psapi.dll out of the import table.
#define PSAPI_VERSION 2
#include <psapi.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <time.h>

#include <new>
#include <vector>

#include "platform/win32/file_identity_libraries.h"
#include "platform/win32/file_identity_readers.h"

namespace baseline {
namespace {

template <typename Function>
Function asFunction(ProcAddress proc) {
    return reinterpret_cast<Function>(proc);
}

HANDLE asHandle(SystemHandle handle) { return reinterpret_cast<HANDLE>(handle); }
SystemHandle fromHandle(HANDLE handle) { return reinterpret_cast<SystemHandle>(handle); }

OSVERSIONINFOEXW toNative(const OsVersionRecord& record) {
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = record.size;
    info.dwMajorVersion = record.majorVersion;
    info.dwMinorVersion = record.minorVersion;
    info.dwBuildNumber = record.buildNumber;
    info.dwPlatformId = record.platformId;
    info.wSuiteMask = record.suiteMask;
    info.wProductType = record.productType;
    return info;
}

void fromNative(const OSVERSIONINFOEXW& info, OsVersionRecord& record) {
    record.majorVersion = info.dwMajorVersion;
    record.minorVersion = info.dwMinorVersion;
    record.buildNumber = info.dwBuildNumber;
    record.platformId = info.dwPlatformId;
    // The plain record ends before these fields; they stay zero for it.
    record.suiteMask = info.wSuiteMask;
    record.productType = info.wProductType;
}

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

}  // namespace

ModuleHandle Win32Platform::getModuleHandle(const std::u16string& moduleName) {
    return reinterpret_cast<ModuleHandle>(GetModuleHandleW(asWide(moduleName)));
}

ProcAddress Win32Platform::getProcAddress(ModuleHandle module, const char* procName) {
    return reinterpret_cast<ProcAddress>(
        GetProcAddress(reinterpret_cast<HMODULE>(module), procName));
}

bool Win32Platform::callSetDllDirectory(ProcAddress proc, const std::u16string& path) {
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
    return asFunction<SetDllDirectoryFn>(proc)(asWide(path)) != FALSE;
}

bool Win32Platform::callSetDefaultDllDirectories(ProcAddress proc, std::uint32_t directoryFlags) {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    return asFunction<SetDefaultDllDirectoriesFn>(proc)(directoryFlags) != FALSE;
}

std::int32_t Win32Platform::callRtlGetVersion(ProcAddress proc, OsVersionRecord& record) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    OSVERSIONINFOEXW info = toNative(record);
    const LONG status = asFunction<RtlGetVersionFn>(proc)(&info);
    if (status >= 0) fromNative(info, record);
    return status;
}

std::int32_t Win32Platform::callRtlVerifyVersionInfo(ProcAddress proc, const OsVersionRecord& record,
                                                     std::uint32_t typeMask,
                                                     std::uint64_t conditionMask) {
    using RtlVerifyVersionInfoFn = LONG(WINAPI*)(OSVERSIONINFOEXW*, ULONG, ULONGLONG);
    OSVERSIONINFOEXW info = toNative(record);
    return asFunction<RtlVerifyVersionInfoFn>(proc)(&info, typeMask, conditionMask);
}

std::uint16_t Win32Platform::callGetNativeSystemInfo(ProcAddress proc) {
    using GetNativeSystemInfoFn = void(WINAPI*)(SYSTEM_INFO*);
    SYSTEM_INFO info{};
    asFunction<GetNativeSystemInfoFn>(proc)(&info);
    return info.wProcessorArchitecture;
}

bool Win32Platform::is64BitProcess() { return sizeof(void*) == 8; }

bool Win32Platform::getVersionEx(OsVersionRecord& record) {
    OSVERSIONINFOEXW info = toNative(record);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return false;
    fromNative(info, record);
    return true;
}

std::uint64_t Win32Platform::verSetConditionMask(std::uint64_t conditionMask,
                                                 std::uint32_t typeMask, std::uint8_t condition) {
    return VerSetConditionMask(conditionMask, typeMask, condition);
}

int Win32Platform::getSystemMetrics(int index) { return win32::getSystemMetrics(index); }

SystemHandle Win32Platform::openMutex(std::uint32_t desiredAccess, bool inheritHandle,
                                      const std::u16string& name) {
    return fromHandle(OpenMutexW(desiredAccess, inheritHandle ? TRUE : FALSE, asWide(name)));
}

SystemHandle Win32Platform::createMutex(bool initialOwner, const std::u16string& name) {
    return fromHandle(CreateMutexW(nullptr, initialOwner ? TRUE : FALSE, asWide(name)));
}

bool Win32Platform::closeHandle(SystemHandle handle) { return CloseHandle(asHandle(handle)) != FALSE; }

std::uint32_t Win32Platform::getLastError() { return GetLastError(); }

std::u16string Win32Platform::formatMessage(std::uint32_t error) {
    // A fixed buffer: no message of the system's is longer, and no buffer
    // of the system's own to free.
    wchar_t buffer[1024];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                                        0, buffer, sizeof buffer / sizeof buffer[0], nullptr);
    std::u16string text(reinterpret_cast<const char16_t*>(buffer), length);
    // Some messages are wrapped over lines; a cause is one line.
    for (auto& unit : text) {
        if (unit == u'\r' || unit == u'\n') unit = u' ';
    }
    while (!text.empty() && text.back() == u' ') text.pop_back();
    std::u16string folded;
    for (const char16_t unit : text) {
        if (unit == u' ' && !folded.empty() && folded.back() == u' ') continue;
        folded.push_back(unit);
    }
    return folded;
}

std::u16string Win32Platform::getCurrentDirectory() {
    const DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0) return {};
    std::vector<wchar_t> buffer(needed + 1, L'\0');
    const DWORD length = GetCurrentDirectoryW(needed, buffer.data());
    if (length == 0 || length >= needed + 1) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
}

SystemHandle Win32Platform::openProcessToken(std::uint32_t desiredAccess) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), desiredAccess, &token)) return 0;
    return fromHandle(token);
}

bool Win32Platform::lookupPrivilegeValue(const std::u16string& privilegeName, Luid& luid) {
    LUID native{};
    const bool found = LookupPrivilegeValueW(nullptr, asWide(privilegeName), &native) != FALSE;
    luid.lowPart = native.LowPart;
    luid.highPart = native.HighPart;
    return found;
}

bool Win32Platform::adjustTokenPrivileges(SystemHandle token, bool disableAll, const Luid& luid,
                                          std::uint32_t attributes, std::uint32_t bufferLength) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Luid.LowPart = luid.lowPart;
    privileges.Privileges[0].Luid.HighPart = luid.highPart;
    privileges.Privileges[0].Attributes = attributes;
    return AdjustTokenPrivileges(asHandle(token), disableAll ? TRUE : FALSE, &privileges,
                                 bufferLength, nullptr, nullptr) != FALSE;
}

void Win32Platform::writeOutput(const std::u16string& text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || text.empty()) return;
    // A console takes UTF-16 as it is; anything else gets UTF-8. Neither goes
    // through the C runtime's locale, which would drop what it cannot convert.
    if (isConsole(out)) {
        const wchar_t* cursor = asWide(text);
        DWORD remaining = static_cast<DWORD>(text.size());
        while (remaining > 0) {
            DWORD written = 0;
            if (!WriteConsoleW(out, cursor, remaining, &written, nullptr) || written == 0) return;
            cursor += written;
            remaining -= written;
        }
        return;
    }
    const std::string bytes = encodeUtf8(text);
    const char* cursor = bytes.data();
    DWORD remaining = static_cast<DWORD>(bytes.size());
    while (remaining > 0) {
        DWORD written = 0;
        if (!WriteFile(out, cursor, remaining, &written, nullptr) || written == 0) return;
        cursor += written;
        remaining -= written;
    }
}

bool Win32Platform::readInputLine(InputLine& line) {
    line = InputLine{};
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (isConsole(in)) {
        line.fromConsole = true;
        for (;;) {
            const auto lineFeed = pendingConsoleInput_.find(u'\n');
            if (lineFeed != std::u16string::npos) {
                line.text = pendingConsoleInput_.substr(0, lineFeed);
                pendingConsoleInput_.erase(0, lineFeed + 1);
                if (!line.text.empty() && line.text.back() == u'\r') line.text.pop_back();
                return true;
            }
            wchar_t buffer[256];
            DWORD read = 0;
            if (!ReadConsoleW(in, buffer, 256, &read, nullptr) || read == 0) {
                line.text = std::move(pendingConsoleInput_);
                pendingConsoleInput_.clear();
                return !line.text.empty();
            }
            pendingConsoleInput_.append(reinterpret_cast<const char16_t*>(buffer), read);
        }
    }
    // Redirected input goes through the C runtime in text mode, which turns
    // CR LF into LF exactly as an interactive stream would.
    int c = 0;
    bool any = false;
    while ((c = std::getc(stdin)) != EOF) {
        any = true;
        if (c == '\n') return true;
        line.bytes.push_back(static_cast<char>(c));
    }
    return any;
}

std::u16string Win32Platform::multiByteToWideChar(std::uint32_t codePage, const std::string& bytes) {
    if (bytes.empty()) return {};
    const int length = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                           nullptr, 0);
    if (length <= 0) return {};
    std::u16string result(static_cast<std::size_t>(length), u'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                        asWide(result), length);
    return result;
}

std::uint32_t Win32Platform::fallbackInputCodePage() {
    const UINT console = GetConsoleCP();
    return console != 0 ? console : GetACP();
}

void Win32Platform::waitForKeyPress() {
    // With standard input redirected nobody can press a key for us; waiting
    // would hang a scripted run.
    if (!isConsole(GetStdHandle(STD_INPUT_HANDLE))) return;
    _getch();
}

bool Win32Platform::getConsoleScreenBufferInfo(ConsoleScreenInfo& info) {
    CONSOLE_SCREEN_BUFFER_INFO native{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &native)) return false;
    info.windowWidth = native.srWindow.Right - native.srWindow.Left + 1;
    return true;
}

bool Win32Platform::setConsoleCtrlHandler(bool add) { return win32::setConsoleCtrlHandler(add); }

bool Win32Platform::consoleCtrlEventReceived() { return win32::consoleCtrlEventReceived(); }

void Win32Platform::endOnConsoleCtrl(int exitValue) { win32::endOnConsoleCtrl(exitValue); }

std::uint64_t Win32Platform::getTickCount64() { return GetTickCount64(); }

std::uint32_t Win32Platform::processorCount() {
    SYSTEM_INFO information{};
    GetSystemInfo(&information);
    return information.dwNumberOfProcessors;
}

std::uint32_t Win32Platform::expandEnvironmentStrings(const std::u16string& source,
                                                      std::u16string& expanded,
                                                      std::uint32_t bufferLength) {
    std::u16string buffer(bufferLength, u'\0');
    const DWORD needed = ExpandEnvironmentStringsW(asWide(source), asWide(buffer), bufferLength);
    if (needed != 0 && needed <= bufferLength) {
        buffer.resize(needed - 1);
        expanded = std::move(buffer);
    }
    return needed;
}

std::uint32_t Win32Platform::getFileAttributes(const std::u16string& path) {
    std::u16string longForm;
    return GetFileAttributesW(asWide(systemPath(path, longForm)));
}

namespace {

void fromNative(const WIN32_FIND_DATAW& native, FindData& data) {
    data.attributes = native.dwFileAttributes;
    data.fileName.assign(reinterpret_cast<const char16_t*>(native.cFileName));
}

}  // namespace

SearchHandle Win32Platform::findFirstFile(const std::u16string& pattern, FindData& data) {
    WIN32_FIND_DATAW native{};
    std::u16string longForm;
    const HANDLE search = FindFirstFileW(asWide(systemPath(pattern, longForm)), &native);
    if (search == INVALID_HANDLE_VALUE) return 0;
    fromNative(native, data);
    return fromHandle(search);
}

bool Win32Platform::findNextFile(SearchHandle search, FindData& data) {
    WIN32_FIND_DATAW native{};
    if (!FindNextFileW(asHandle(search), &native)) return false;
    fromNative(native, data);
    return true;
}

bool Win32Platform::findClose(SearchHandle search) { return FindClose(asHandle(search)) != FALSE; }

std::uint32_t Win32Platform::getDriveType(const std::u16string& rootPath) {
    return GetDriveTypeW(asWide(rootPath));
}

bool Win32Platform::wow64DisableWow64FsRedirection(std::uintptr_t& oldValue) {
    PVOID old = nullptr;
    if (!Wow64DisableWow64FsRedirection(&old)) return false;
    oldValue = reinterpret_cast<std::uintptr_t>(old);
    return true;
}

bool Win32Platform::wow64RevertWow64FsRedirection(std::uintptr_t oldValue) {
    return Wow64RevertWow64FsRedirection(reinterpret_cast<PVOID>(oldValue)) != FALSE;
}

// --- file identity and the allowlist document ---

namespace {

tm toNative(const LocalTime& local) {
    tm native{};
    native.tm_sec = local.second;
    native.tm_min = local.minute;
    native.tm_hour = local.hour;
    native.tm_mday = local.dayOfMonth;
    native.tm_mon = local.month;
    native.tm_year = local.yearsSince1900;
    native.tm_wday = local.weekday;
    native.tm_yday = local.dayOfYear;
    native.tm_isdst = local.isDaylightSaving;
    return native;
}

FILE* asFile(FileStream stream) { return reinterpret_cast<FILE*>(stream); }

}  // namespace

bool Win32Platform::getComputerNameEx(std::uint32_t nameType, std::u16string& name,
                                      std::uint32_t bufferSize) {
    std::vector<wchar_t> buffer(bufferSize + 1, L'\0');
    DWORD size = bufferSize;
    if (!GetComputerNameExW(static_cast<COMPUTER_NAME_FORMAT>(nameType), buffer.data(), &size)) {
        return false;
    }
    name.assign(reinterpret_cast<const char16_t*>(buffer.data()), size);
    return true;
}

std::uint32_t Win32Platform::getModuleFileName(std::u16string& path, std::uint32_t bufferLength) {
    std::vector<wchar_t> buffer(bufferLength + 1, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), bufferLength);
    // The caller reads GetLastError next; nothing here may change it.
    const DWORD error = GetLastError();
    path.clear();
    for (DWORD i = 0; i < length && i < bufferLength && buffer[i] != L'\0'; ++i) {
        path.push_back(static_cast<char16_t>(buffer[i]));
    }
    SetLastError(error);
    return length;
}

std::uint64_t Win32Platform::getSystemTimeAsFileTime() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::int64_t Win32Platform::time64() { return _time64(nullptr); }

bool Win32Platform::localTime64(std::int64_t seconds, LocalTime& local) {
    const __time64_t time = seconds;
    tm native{};
    if (_localtime64_s(&native, &time) != 0) return false;
    local.second = native.tm_sec;
    local.minute = native.tm_min;
    local.hour = native.tm_hour;
    local.dayOfMonth = native.tm_mday;
    local.month = native.tm_mon;
    local.yearsSince1900 = native.tm_year;
    local.weekday = native.tm_wday;
    local.dayOfYear = native.tm_yday;
    local.isDaylightSaving = native.tm_isdst;
    return true;
}

bool Win32Platform::ctime64(std::int64_t seconds, std::string& text, std::size_t bufferSize) {
    const __time64_t time = seconds;
    std::vector<char> buffer(bufferSize + 1, '\0');
    if (_ctime64_s(buffer.data(), bufferSize, &time) != 0) return false;
    text.assign(buffer.data());
    return true;
}

std::size_t Win32Platform::wcsftime(std::u16string& out, std::size_t bufferLength,
                                    const std::u16string& format, const LocalTime& local) {
    const tm native = toNative(local);
    std::vector<wchar_t> buffer(bufferLength + 1, L'\0');
    const std::size_t written = ::wcsftime(buffer.data(), bufferLength, asWide(format), &native);
    // msvcrt fills the whole buffer when the text just fits without its
    // terminator; that is a result that does not fit.
    if (written == 0 || written >= bufferLength) return 0;
    out.assign(reinterpret_cast<const char16_t*>(buffer.data()), written);
    return written;
}

bool Win32Platform::getFileLastWriteTime(const std::u16string& path, std::uint64_t& fileTime) {
    // The stored FILETIME itself: the C runtime's stat converts through local
    // time and cannot give a time before 1970, nor take every long path.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    std::u16string longForm;
    if (!GetFileAttributesExW(asWide(systemPath(path, longForm)), GetFileExInfoStandard, &data)) return false;
    fileTime = (std::uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return true;
}

int Win32Platform::waccess(const std::u16string& path, int mode) {
    if (path.size() >= kLongPathThreshold) {
        return GetFileAttributesW(asWide(systemPath(path))) == INVALID_FILE_ATTRIBUTES ? -1 : 0;
    }
    return _waccess(asWide(path), mode);
}

FileStream Win32Platform::createNewTextFile(const std::u16string& path) {
    const std::u16string system = systemPath(path);
    // CREATE_NEW makes the existence test and the creation one step, so a file
    // that appeared since the name was chosen is never truncated.
    win32::UniqueFile file(CreateFileW(asWide(system), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 0;  // GetLastError tells why: ERROR_FILE_EXISTS when the name is taken
    // The handle passes to a descriptor and the descriptor to a stream; what
    // fails on the way is closed by its owner and the file, ours and still
    // empty, is removed.
    std::FILE* stream = nullptr;
    {
        win32::UniqueDescriptor descriptor(_open_osfhandle(reinterpret_cast<intptr_t>(file.get()), _O_WRONLY | _O_TEXT));
        if (descriptor) {
            file.release();  // the descriptor closes it now
            stream = _wfdopen(descriptor.get(), L"wt");
            if (stream != nullptr) descriptor.release();
        }
    }
    if (stream == nullptr) {
        file.reset();
        DeleteFileW(asWide(system));
        SetLastError(ERROR_OPEN_FAILED);
        return 0;
    }
    return reinterpret_cast<FileStream>(stream);
}

namespace {

// Runs a C runtime stream call so that, when it fails, GetLastError tells
// why, or is 0 when nothing does. The runtime does not always leave the
// system's code behind, and an older code may still stand; its own record of
// the system's code, or errno, may tell instead. A write that the file system
// took only in part (a disk that fills) has no code at all.
template <typename Call>
bool streamCall(Call call) {
    SetLastError(0);
    errno = 0;
    _doserrno = 0;
    if (call()) return true;
    // The runtime keeps the system's code of its own last failure here.
    if (GetLastError() == 0 && _doserrno != 0) SetLastError(static_cast<DWORD>(_doserrno));
    // A short write with no error of the system's leaves only errno, and
    // only some of its values name a system condition.
    if (GetLastError() == 0 && errno == ENOSPC) SetLastError(ERROR_DISK_FULL);
    if (GetLastError() == 0 && errno == EACCES) SetLastError(ERROR_ACCESS_DENIED);
    return false;
}

}  // namespace

bool Win32Platform::fwrite(FileStream stream, const std::string& bytes) {
    if (bytes.empty()) return true;
    return streamCall([&] { return std::fwrite(bytes.data(), 1, bytes.size(), asFile(stream)) == bytes.size(); });
}

bool Win32Platform::fflush(FileStream stream) {
    return streamCall([&] { return std::fflush(asFile(stream)) == 0; });
}

bool Win32Platform::fclose(FileStream stream) {
    return streamCall([&] { return std::fclose(asFile(stream)) == 0; });
}

bool Win32Platform::readVersionStrings(const std::u16string& path, FileVersionStrings& strings,
                                       std::int32_t& status) {
    try {
        return win32::readVersionStrings(systemPath(path), strings, status);
    } catch (const std::bad_alloc&) {
        status = kStatusIdentityUnavailable;
        return false;
    }
}

bool Win32Platform::readSignerInfo(const std::u16string& path, SignerInfo& signer,
                                   std::int32_t& status) {
    try {
        return win32::readSignerInfo(systemPath(path), signer, status);
    } catch (const std::bad_alloc&) {
        status = kStatusIdentityUnavailable;
        return false;
    }
}

bool Win32Platform::loadFileIdentityLibraries() {
    return win32::warmUpFileIdentityLibraries();
}

bool Win32Platform::getProcessMemoryInfo(ProcessMemoryCounters& counters) {
    PROCESS_MEMORY_COUNTERS native{};
    native.cb = sizeof(native);
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &native, sizeof(native))) return false;
    counters.workingSetSize = native.WorkingSetSize;
    counters.peakWorkingSetSize = native.PeakWorkingSetSize;
    return true;
}

namespace {

// The whole file through a C runtime stream opened with `mode`.
bool readWholeStream(const std::u16string& path, const wchar_t* mode, std::string& content) {
    std::string data;
    DWORD readError = 0;
    {
        // A failed open leaves CreateFileW's reason in GetLastError.
        const win32::UniqueFileStream stream(_wfopen(asWide(path), mode));
        if (!stream) return false;
        char buffer[4096];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, stream.get())) > 0) data.append(buffer, got);
        if (std::ferror(stream.get())) readError = GetLastError() != 0 ? GetLastError() : ERROR_READ_FAULT;
    }
    // Closing the stream may change GetLastError; the caller asks for the read's.
    if (readError != 0) {
        SetLastError(readError);
        return false;
    }
    content = std::move(data);
    return true;
}

}  // namespace

bool Win32Platform::readTextModeFile(const std::u16string& path, std::string& content) {
    // No "b" in the mode: the C runtime's text mode is what turns a CR LF
    // into LF here, and what stops reading at a Ctrl-Z.
    return readWholeStream(path, L"r", content);
}

bool Win32Platform::readBinaryModeFile(const std::u16string& path, std::string& content) {
    return readWholeStream(path, L"rb", content);
}

int Win32Platform::multiByteToWideCharTerminated(std::uint32_t codePage, std::uint32_t flags,
                                                 const char* text, char16_t* buffer,
                                                 int bufferLength) {
    return MultiByteToWideChar(codePage, flags, text, -1, reinterpret_cast<wchar_t*>(buffer),
                               bufferLength);
}

}  // namespace baseline
