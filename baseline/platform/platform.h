// The seam between the allowlist creator and the system it runs on. Every
// Windows and C runtime service the program needs is one operation here, named
// after the call it stands for; baseline/platform/win32 implements them over the
// real API and the host tests implement them in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file_identity_records.h"

namespace baseline {

// Opaque values that stand for a system object. Zero is "none" for all of them,
// as a null HMODULE, FARPROC or HANDLE is on Windows.
using ModuleHandle = std::uintptr_t;
using ProcAddress = std::uintptr_t;
using SystemHandle = std::uintptr_t;

// The fields of OSVERSIONINFOEXW that the program reads or sets. `size` is the
// structure size the caller announces (284 for the extended record, 276 for the
// plain one); the platform passes it to the system unchanged.
struct OsVersionRecord {
    std::uint32_t size = 0;
    std::uint32_t majorVersion = 0;
    std::uint32_t minorVersion = 0;
    std::uint32_t buildNumber = 0;
    std::uint32_t platformId = 0;
    std::uint16_t suiteMask = 0;
    std::uint8_t productType = 0;
};

constexpr std::uint32_t kOsVersionInfoExSize = 284;
constexpr std::uint32_t kOsVersionInfoSize = 276;

constexpr std::uint32_t kErrorFileNotFound = 2;      // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kErrorPathNotFound = 3;      // ERROR_PATH_NOT_FOUND
constexpr std::uint32_t kErrorNoMoreFiles = 18;      // ERROR_NO_MORE_FILES
constexpr std::uint32_t kErrorAlreadyExists = 183;   // ERROR_ALREADY_EXISTS
constexpr std::uint32_t kMutexAllAccess = 0x1F0001;  // MUTEX_ALL_ACCESS
constexpr std::uint32_t kTokenAdjustPrivileges = 0x20;
constexpr std::uint32_t kTokenQuery = 0x08;
constexpr std::uint32_t kSePrivilegeEnabled = 2;
constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;   // INVALID_FILE_ATTRIBUTES
constexpr std::uint32_t kFileAttributeSystem = 0x4;
constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
constexpr std::uint32_t kCodePageUtf8 = 65001;  // CP_UTF8
constexpr std::uint32_t kLoadLibrarySearchSystem32 = 0x800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

// A locally unique identifier, as LookupPrivilegeValueW returns it.
struct Luid {
    std::uint32_t lowPart = 0;
    std::int32_t highPart = 0;
};

// One line of operator input. A console delivers UTF-16 as typed; redirected
// input delivers the bytes of the line (text mode: the CR before the LF is gone).
struct InputLine {
    bool fromConsole = false;
    std::u16string text;   // when fromConsole
    std::string bytes;     // otherwise
};

// What a directory listing tells about one entry (WIN32_FIND_DATAW). Only the
// attributes and the name are used.
struct FindData {
    std::uint32_t attributes = 0;
    std::u16string fileName;
};

using SearchHandle = std::uintptr_t;  // 0 stands for INVALID_HANDLE_VALUE

constexpr std::uint32_t kDriveFixed = 3;  // DRIVE_FIXED

// --- file identity and the allowlist document ---

// A C runtime output stream that the platform opened; 0 is none.
using FileStream = std::uintptr_t;

constexpr std::uint32_t kComputerNameDnsFullyQualified = 3;  // ComputerNameDnsFullyQualified
constexpr std::uint32_t kErrorFileExists = 80;               // ERROR_FILE_EXISTS
constexpr std::uint32_t kErrorInsufficientBuffer = 122;      // ERROR_INSUFFICIENT_BUFFER

// The fields of the C runtime's struct tm.
struct LocalTime {
    int second = 0;
    int minute = 0;
    int hour = 0;
    int dayOfMonth = 1;  // 1 to 31
    int month = 0;       // 0 (January) to 11
    int yearsSince1900 = 70;
    int weekday = 4;     // 0 (Sunday) to 6
    int dayOfYear = 0;
    int isDaylightSaving = 0;
};

// What GetConsoleScreenBufferInfo tells of the console behind standard output.
struct ConsoleScreenInfo {
    int windowWidth = 0;  // visible columns
};

struct ProcessMemoryCounters {
    std::uint64_t workingSetSize = 0;
    std::uint64_t peakWorkingSetSize = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // --- module and function lookup (kernel32) ---
    virtual ModuleHandle getModuleHandle(const std::u16string& moduleName) = 0;
    virtual ProcAddress getProcAddress(ModuleHandle module, const char* procName) = 0;

    // --- functions found through getProcAddress; `proc` is what it returned ---
    virtual bool callSetDllDirectory(ProcAddress proc, const std::u16string& path) = 0;
    // SetDefaultDllDirectories (Windows 8, and Windows 7 with its loader update).
    virtual bool callSetDefaultDllDirectories(ProcAddress proc, std::uint32_t directoryFlags) = 0;
    // Returns the NTSTATUS; on success `record` holds the system's answer.
    virtual std::int32_t callRtlGetVersion(ProcAddress proc, OsVersionRecord& record) = 0;
    virtual std::int32_t callRtlVerifyVersionInfo(ProcAddress proc, const OsVersionRecord& record,
                                                  std::uint32_t typeMask,
                                                  std::uint64_t conditionMask) = 0;
    // Returns wProcessorArchitecture of the native system information.
    virtual std::uint16_t callGetNativeSystemInfo(ProcAddress proc) = 0;
    // Whether this program was built as a native 64-bit program; a 32-bit
    // one runs under WOW64 on 64-bit Windows.
    virtual bool is64BitProcess() = 0;

    // --- version facts ---
    virtual bool getVersionEx(OsVersionRecord& record) = 0;
    virtual std::uint64_t verSetConditionMask(std::uint64_t conditionMask, std::uint32_t typeMask,
                                              std::uint8_t condition) = 0;
    virtual int getSystemMetrics(int index) = 0;  // user32

    // --- named mutex and handles ---
    virtual SystemHandle openMutex(std::uint32_t desiredAccess, bool inheritHandle,
                                   const std::u16string& name) = 0;
    virtual SystemHandle createMutex(bool initialOwner, const std::u16string& name) = 0;
    virtual bool closeHandle(SystemHandle handle) = 0;
    virtual std::uint32_t getLastError() = 0;
    // FormatMessageW's own text for a system error code, in the system's
    // language, without its closing line break; empty when it has none.
    virtual std::u16string formatMessage(std::uint32_t error) = 0;
    // GetCurrentDirectoryW: the working directory, where the configuration is read.
    virtual std::u16string getCurrentDirectory() = 0;

    // --- process token (advapi32) ---
    virtual SystemHandle openProcessToken(std::uint32_t desiredAccess) = 0;
    virtual bool lookupPrivilegeValue(const std::u16string& privilegeName, Luid& luid) = 0;
    // One privilege entry; `bufferLength` is the size announced for the new state.
    virtual bool adjustTokenPrivileges(SystemHandle token, bool disableAll, const Luid& luid,
                                       std::uint32_t attributes, std::uint32_t bufferLength) = 0;

    // --- console ---
    // Writes text as it is: UTF-16 to a console, UTF-8 to a file or pipe. Nothing
    // is buffered, so nothing written is lost when the process ends.
    virtual void writeOutput(const std::u16string& text) = 0;
    // Reads one line up to the line feed, which is dropped. False at end of input
    // with nothing read.
    virtual bool readInputLine(InputLine& line) = 0;
    // Converts bytes of the given code page; used when redirected input is not UTF-8.
    virtual std::u16string multiByteToWideChar(std::uint32_t codePage, const std::string& bytes) = 0;
    // The code page to decode redirected input with when it is not UTF-8: the
    // console's input code page if there is a console, otherwise the system's.
    virtual std::uint32_t fallbackInputCodePage() = 0;
    // Waits for one key press without echo. Returns at once when there is no
    // console to read a key from.
    virtual void waitForKeyPress() = 0;
    // GetConsoleScreenBufferInfo for standard output; false when standard
    // output is not a console (redirected to a file or a pipe).
    virtual bool getConsoleScreenBufferInfo(ConsoleScreenInfo& info) = 0;
    // SetConsoleCtrlHandler with the program's own handler: `add` installs it,
    // otherwise it is removed. While installed, Ctrl+C, Ctrl+Break and closing
    // the console no longer end the process: the handler only records that one
    // of them came (consoleCtrlEventReceived). On a close the system ends the
    // process a few seconds after the handler returns, so the handler holds the
    // close back until the handler is removed. Removing it marks the work that
    // the handler protected as finished.
    virtual bool setConsoleCtrlHandler(bool add) = 0;
    // Whether Ctrl+C, Ctrl+Break or a close of the console reached the handler
    // since it was installed. Cheap enough to ask between any two entries.
    virtual bool consoleCtrlEventReceived() = 0;
    // SetConsoleCtrlHandler, once, with a handler below the one above: while no
    // work is protected, Ctrl+C, Ctrl+Break and a close of the console end the
    // process at once with `exitValue` (TerminateProcess), instead of the
    // system's default, which does not say 1 to the scripts that run us. Later
    // calls only change the value.
    virtual void endOnConsoleCtrl(int exitValue) = 0;
    // GetTickCount64: milliseconds since the system started.
    virtual std::uint64_t getTickCount64() = 0;
    // GetSystemInfo's dwNumberOfProcessors: the logical processors the
    // program may run on (a 32-bit program under WOW64 sees the same number).
    virtual std::uint32_t processorCount() = 0;

    // --- environment and file attributes (kernel32) ---
    // ExpandEnvironmentStringsW into a buffer of `bufferLength` UTF-16 units.
    // Returns what the call returns: 0 on failure, otherwise the length the
    // expansion needs, terminator included. `expanded` holds the result only
    // when that length is at most `bufferLength`.
    virtual std::uint32_t expandEnvironmentStrings(const std::u16string& source,
                                                   std::u16string& expanded,
                                                   std::uint32_t bufferLength) = 0;
    // GetFileAttributesW; kInvalidFileAttributes when the path cannot be queried.
    virtual std::uint32_t getFileAttributes(const std::u16string& path) = 0;

    // --- directory listing (kernel32) ---
    // Paths of any length are accepted; long ones reach the system in their
    // extended-length form.
    // A failure leaves its reason for getLastError: ERROR_FILE_NOT_FOUND
    // (or ERROR_NO_MORE_FILES) for a directory with nothing in it, anything
    // else for one that could not be listed. findNextFile's end of the
    // listing is ERROR_NO_MORE_FILES; anything else is a listing cut short.
    virtual SearchHandle findFirstFile(const std::u16string& pattern, FindData& data) = 0;
    virtual bool findNextFile(SearchHandle search, FindData& data) = 0;
    virtual bool findClose(SearchHandle search) = 0;
    virtual std::uint32_t getDriveType(const std::u16string& rootPath) = 0;
    // WOW64 file-system redirection of the calling thread. Disabling fails on
    // a 32-bit system; `oldValue` is what reverting needs.
    virtual bool wow64DisableWow64FsRedirection(std::uintptr_t& oldValue) = 0;
    virtual bool wow64RevertWow64FsRedirection(std::uintptr_t oldValue) = 0;

    // --- file identity and the allowlist document ---
    // GetComputerNameExW with a buffer of `bufferSize` UTF-16 units; `name`
    // is set only when the call succeeds.
    virtual bool getComputerNameEx(std::uint32_t nameType, std::u16string& name,
                                   std::uint32_t bufferSize) = 0;
    // GetModuleFileNameW for the program itself into a buffer of `bufferLength`
    // units. Returns what the call returns (0 on failure, `bufferLength` when the
    // path was cut); `path` holds the units copied. GetLastError tells the rest.
    virtual std::uint32_t getModuleFileName(std::u16string& path, std::uint32_t bufferLength) = 0;
    // GetSystemTimeAsFileTime: 100-nanosecond units since 1 January 1601 UTC.
    virtual std::uint64_t getSystemTimeAsFileTime() = 0;
    // _time64: seconds since 1 January 1970 UTC.
    virtual std::int64_t time64() = 0;
    // _localtime64_s: the local time (zone and daylight saving) of `seconds`.
    virtual bool localTime64(std::int64_t seconds, LocalTime& local) = 0;
    // _ctime64_s into a buffer of `bufferSize` bytes: the local time as
    // "Www Mmm dd hh:mm:ss yyyy\n" (the Microsoft runtime writes the day with
    // a leading zero). False when the conversion fails.
    virtual bool ctime64(std::int64_t seconds, std::string& text, std::size_t bufferSize) = 0;
    // wcsftime into a buffer of `bufferLength` units; returns the units written
    // without the terminator, 0 when the result does not fit.
    virtual std::size_t wcsftime(std::u16string& out, std::size_t bufferLength,
                                 const std::u16string& format, const LocalTime& local) = 0;
    // GetFileAttributesExW's last-write time of a file or directory, as the
    // FILETIME it is stored in (100-nanosecond units since 1601 UTC), for a
    // path of any length; false when it cannot be read.
    virtual bool getFileLastWriteTime(const std::u16string& path, std::uint64_t& fileTime) = 0;
    // _waccess; 0 when the path exists (mode 0) or allows the access asked for.
    virtual int waccess(const std::u16string& path, int mode) = 0;
    // Creates a file that must not exist yet (CreateFileW with CREATE_NEW, no
    // sharing restriction) and hands it to the C runtime as a text-mode output
    // stream, so every LF written is stored as CR LF. 0 when the file cannot be
    // created; GetLastError is kErrorFileExists when the name is taken.
    virtual FileStream createNewTextFile(const std::u16string& path) = 0;
    // fwrite of all the bytes; false when fewer were written.
    virtual bool fwrite(FileStream stream, const std::string& bytes) = 0;
    // fflush; false when it reports an error.
    virtual bool fflush(FileStream stream) = 0;
    // fclose; false when it reports an error. The stream is gone either way.
    virtual bool fclose(FileStream stream) = 0;
    // The version resource strings of a file (version.dll): true with status 0,
    // or false with kStatusNoVersionResource or kStatusIdentityUnavailable.
    virtual bool readVersionStrings(const std::u16string& path, FileVersionStrings& strings,
                                    std::int32_t& status) = 0;
    // The signer of a file's embedded Authenticode signature (crypt32): true with
    // status 0, or false with kStatusNoEmbeddedSignature or kStatusIdentityUnavailable.
    virtual bool readSignerInfo(const std::u16string& path, SignerInfo& signer,
                                std::int32_t& status) = 0;
    // Loads version.dll and crypt32.dll from the system directory, and whatever
    // they load on first use, so that no DLL is looked up once the walk has
    // begun (the 32-bit program turns WOW64 redirection off during it). Safe to
    // call more than once; false when a library or one of its functions is
    // missing, and the readers then answer kStatusIdentityUnavailable.
    virtual bool loadFileIdentityLibraries() = 0;
    // GetProcessMemoryInfo for the running process.
    virtual bool getProcessMemoryInfo(ProcessMemoryCounters& counters) = 0;
    // --- C runtime file streams ---
    // _wfopen(path, L"r") (text mode: CR LF reads as LF, Ctrl-Z ends the data),
    // read to the end of the file, then ferror; the stream is closed on every
    // path. False when the file cannot be opened or the stream reports an
    // error; `content` is set only on success.
    virtual bool readTextModeFile(const std::u16string& path, std::string& content) = 0;
    // The same with _wfopen(path, L"rb"): the bytes as they lie on disk, so
    // that a message can name what text mode hides (the CR of a CR LF).
    virtual bool readBinaryModeFile(const std::u16string& path, std::string& content) = 0;

    // --- text conversion (kernel32) ---
    // MultiByteToWideChar(codePage, flags, text, -1, buffer, bufferLength): the
    // source ends at its first zero byte, which is converted too. With
    // bufferLength 0 (and no buffer) it only reports the length needed,
    // terminator included. Returns what the call returns: 0 on failure.
    virtual int multiByteToWideCharTerminated(std::uint32_t codePage, std::uint32_t flags,
                                              const char* text, char16_t* buffer,
                                              int bufferLength) = 0;
};

}  // namespace baseline
