// A scriptable, in-memory stand-in for the system, for fast deterministic tests
// of logic and error paths. Each fact a test may want to vary is a plain field;
// every call is logged by name so that tests can check the order of calls.
// Calls may come from several threads at once: one lock serialises them, and
// the last error and WOW64 redirection are kept per thread, as Windows keeps them.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace baseline::testing {

// What the model keeps of a file's status.
struct FileStatus {
    std::int64_t modifiedTime = 0;  // seconds since 1970-01-01 UTC
    std::uint64_t size = 0;
};

// Every public operation takes the platform's lock, so the fields below may
// be read freely once the threads that called it have finished; scripted
// hooks run under that lock. Simulated latency is slept outside it, so calls
// of several threads overlap as real system calls do. Copying a platform
// (a test's reset) is for one that no other thread is using.
class MemoryPlatform : public Platform {
public:
    MemoryPlatform();

    // --- scripted facts ---
    std::set<std::u16string> modules{u"kernel32.dll", u"ntdll.dll"};  // lower case
    std::set<std::string> missingFunctions;  // names getProcAddress does not find
    OsVersionRecord version;                 // what the system reports
    std::int32_t rtlGetVersionStatus = 0;
    bool getVersionExExtendedSucceeds = true;  // GetVersionExW with size 284
    bool getVersionExPlainSucceeds = true;     // GetVersionExW with size 276
    std::uint16_t nativeArchitecture = 0;
    bool nativeProgram = false;  // the program under test is a 64-bit build
    int serverR2Metric = 0;

    std::set<std::u16string> existingMutexes;  // names held by other processes
    bool openMutexFails = false;      // e.g. access denied although the mutex exists
    bool createMutexFails = false;    // null handle
    bool createMutexRaced = false;    // another process created it between open and create
    bool openTokenSucceeds = true;
    bool adjustPrivilegesSucceeds = true;

    std::deque<InputLine> input;  // lines the operator enters; empty means end of input
    // Called with every text before it is written; a test may throw from it.
    std::function<void(const std::u16string&)> outputHook;

    // --- observations ---
    std::u16string output;
    std::vector<std::string> calls;
    std::set<SystemHandle> openHandles;
    int keyWaits = 0;
    std::optional<std::uint64_t> lastVerifyMask;
    std::vector<std::uint32_t> versionExSizes;
    std::u16string dllDirectory = u"<unset>";
    std::optional<std::uint32_t> defaultDllDirectories;  // SetDefaultDllDirectories' flags
    // version.dll or crypt32.dll (or a function of theirs) cannot be loaded:
    // loadFileIdentityLibraries fails and every read of a signer or a version
    // resource reports kStatusIdentityUnavailable, as the win32 readers do.
    bool fileIdentityLibrariesMissing = false;
    Luid adjustedLuid;
    std::uint32_t adjustedAttributes = 0;
    std::uint32_t adjustedBufferLength = 0;
    std::uint32_t tokenAccess = 0;

    // Convenience for scripting redirected input.
    void typeLine(const std::string& bytes);
    void typeConsoleLine(const std::u16string& text);
    bool called(const std::string& name) const;

    ModuleHandle getModuleHandle(const std::u16string& moduleName) override;
    ProcAddress getProcAddress(ModuleHandle module, const char* procName) override;
    bool callSetDllDirectory(ProcAddress proc, const std::u16string& path) override;
    bool callSetDefaultDllDirectories(ProcAddress proc, std::uint32_t directoryFlags) override;
    std::int32_t callRtlGetVersion(ProcAddress proc, OsVersionRecord& record) override;
    std::int32_t callRtlVerifyVersionInfo(ProcAddress proc, const OsVersionRecord& record,
                                          std::uint32_t typeMask,
                                          std::uint64_t conditionMask) override;
    std::uint16_t callGetNativeSystemInfo(ProcAddress proc) override;
    bool is64BitProcess() override;
    bool getVersionEx(OsVersionRecord& record) override;
    std::uint64_t verSetConditionMask(std::uint64_t conditionMask, std::uint32_t typeMask,
                                      std::uint8_t condition) override;
    int getSystemMetrics(int index) override;
    SystemHandle openMutex(std::uint32_t desiredAccess, bool inheritHandle,
                           const std::u16string& name) override;
    SystemHandle createMutex(bool initialOwner, const std::u16string& name) override;
    bool closeHandle(SystemHandle handle) override;
    std::uint32_t getLastError() override;
    // Fixed texts for the codes the tests meet, as Windows words them.
    std::u16string formatMessage(std::uint32_t error) override;
    std::u16string getCurrentDirectory() override;
    std::u16string currentDirectory = u"C:\\Deploy";
    SystemHandle openProcessToken(std::uint32_t desiredAccess) override;
    bool lookupPrivilegeValue(const std::u16string& privilegeName, Luid& luid) override;
    bool adjustTokenPrivileges(SystemHandle token, bool disableAll, const Luid& luid,
                               std::uint32_t attributes, std::uint32_t bufferLength) override;
    void writeOutput(const std::u16string& text) override;
    bool readInputLine(InputLine& line) override;
    std::u16string multiByteToWideChar(std::uint32_t codePage, const std::string& bytes) override;
    std::uint32_t fallbackInputCodePage() override;
    void waitForKeyPress() override;
    bool getConsoleScreenBufferInfo(ConsoleScreenInfo& info) override;
    bool setConsoleCtrlHandler(bool add) override;
    bool consoleCtrlEventReceived() override;
    void endOnConsoleCtrl(int exitValue) override;
    std::uint64_t getTickCount64() override;
    std::uint32_t processorCount() override;
    std::uint32_t processors = 1;  // what GetSystemInfo reports

    // --- simulated latency of the calls a walk makes per entry ---
    // Slept by the calling thread outside the lock; zero sleeps not at all.
    std::chrono::microseconds listingLatency{0};   // every findFirstFile
    std::chrono::microseconds identityLatency{0};  // every readSignerInfo and readVersionStrings
    // The most threads that were inside a latency sleep at the same time.
    int maxConcurrentLatency = 0;

    std::uint32_t expandEnvironmentStrings(const std::u16string& source, std::u16string& expanded,
                                           std::uint32_t bufferLength) override;
    std::uint32_t getFileAttributes(const std::u16string& path) override;
    int waccess(const std::u16string& path, int mode) override;
    bool readTextModeFile(const std::u16string& path, std::string& content) override;
    bool readBinaryModeFile(const std::u16string& path, std::string& content) override;
    int multiByteToWideCharTerminated(std::uint32_t codePage, std::uint32_t flags, const char* text,
                                      char16_t* buffer, int bufferLength) override;

    // --- file identity and the allowlist document ---
    bool getComputerNameEx(std::uint32_t nameType, std::u16string& name,
                           std::uint32_t bufferSize) override;
    std::uint32_t getModuleFileName(std::u16string& path, std::uint32_t bufferLength) override;
    std::uint64_t getSystemTimeAsFileTime() override;
    std::int64_t time64() override;
    bool localTime64(std::int64_t seconds, LocalTime& local) override;
    bool ctime64(std::int64_t seconds, std::string& text, std::size_t bufferSize) override;
    std::size_t wcsftime(std::u16string& out, std::size_t bufferLength, const std::u16string& format,
                         const LocalTime& local) override;
    bool getFileLastWriteTime(const std::u16string& path, std::uint64_t& fileTime) override;
    FileStream createNewTextFile(const std::u16string& path) override;
    bool fwrite(FileStream stream, const std::string& bytes) override;
    bool fflush(FileStream stream) override;
    bool fclose(FileStream stream) override;
    bool readVersionStrings(const std::u16string& path, FileVersionStrings& strings,
                            std::int32_t& status) override;
    bool readSignerInfo(const std::u16string& path, SignerInfo& signer,
                        std::int32_t& status) override;
    bool loadFileIdentityLibraries() override;
    bool getProcessMemoryInfo(ProcessMemoryCounters& counters) override;

    std::uint32_t inputCodePage = 1252;

    // --- console window, control events and the clock ---
    // The window behind standard output; none when it is redirected.
    std::optional<ConsoleScreenInfo> console;
    // The operator presses Ctrl+C, Ctrl+Break or closes the console at the
    // nth question whether an event came (1-based; 0: never); the handler
    // reports it only while installed.
    int ctrlEventAtCheck = 0;
    void pressCtrlNow();  // from any thread: the next question hears it
    // Runs `look` under the lock: for a test that reads the fields while
    // another thread may still call.
    void whileLocked(const std::function<void()>& look);
    int ctrlEventChecks = 0;
    bool ctrlHandlerInstalled = false;
    // Each reading of the clock returns `tickCount` and then advances it.
    std::uint64_t tickCount = 1000;
    std::uint64_t tickStep = 0;
    int clockReadings = 0;

    // --- environment and file system model ---
    // Variables by name; lookups ignore ASCII case, as Windows does.
    std::map<std::u16string, std::u16string> environment;
    bool expansionFails = false;
    std::set<std::u16string> failingExpansions;  // sources whose expansion returns 0
    // Attributes by path, exactly as the program asks for them. _waccess finds
    // the same paths, except those in `accessDenied`.
    std::map<std::u16string, std::uint32_t> fileAttributes;
    std::set<std::u16string> accessDenied;
    // File contents by path as opened; read in text mode (CR LF as LF, Ctrl-Z
    // ends the data). A path in `unreadableFiles` opens but fails to read.
    // Documents written through the streams below land here too.
    std::map<std::u16string, std::string> files;
    std::set<std::u16string> unreadableFiles;
    // Every expansion request: the source and the buffer length offered.
    std::vector<std::pair<std::u16string, std::uint32_t>> expansions;

    std::uint32_t getFileAttributesOfModel(const std::u16string& path) const;
    SearchHandle findFirstFile(const std::u16string& pattern, FindData& data) override;
    bool findNextFile(SearchHandle search, FindData& data) override;
    bool findClose(SearchHandle search) override;
    std::uint32_t getDriveType(const std::u16string& rootPath) override;
    bool wow64DisableWow64FsRedirection(std::uintptr_t& oldValue) override;
    bool wow64RevertWow64FsRedirection(std::uintptr_t oldValue) override;

    // --- directory tree model ---
    // Paths are matched as Windows does: ASCII case ignored, repeated
    // separators collapsed, a trailing separator ignored. A directory other
    // than a drive root lists "." and ".." first; entries come in the order
    // they were added.
    void addDirectory(const std::u16string& path, std::uint32_t attributes = kFileAttributeDirectory);
    void addFile(const std::u16string& path, std::uint32_t attributes = 0x20);
    std::set<std::u16string> unlistable;     // model keys whose listing fails (access denied)
    // Model keys whose listing fails with the given code.
    std::map<std::u16string, std::uint32_t> listingErrors;
    // Model keys whose listing ends after that many entries with the code.
    std::map<std::u16string, std::pair<std::size_t, std::uint32_t>> listingsCutShort;
    std::map<char16_t, std::uint32_t> driveTypes;  // 'C' -> DRIVE_FIXED, and so on
    bool wow64DisableFails = false;
    // Disables not yet reverted by the thread that constructed the platform;
    // each other thread has a count of its own.
    int redirectionDisabled = 0;
    // The sum of the other threads' counts: a thread that ended with
    // redirection still off leaves it here.
    int redirectionDisabledElsewhere() const;
    // WOW64's file-system redirection, as a 32-bit program on 64-bit Windows
    // meets it (nativeArchitecture 64-bit, nativeProgram false): while the
    // thread has not turned it off, every path below `systemDirectory` is
    // looked up below `wow64Directory` instead, by every call that takes a
    // path. Writing a file is never redirected here; the program writes only
    // next to itself.
    std::u16string systemDirectory = u"C:\\Windows\\System32";
    std::u16string wow64Directory = u"C:\\Windows\\SysWOW64";
    // Both for the calling thread.
    bool redirects() const;
    // The path a call with `path` reaches right now.
    std::u16string reached(const std::u16string& path) const;
    int openSearches = 0;
    std::vector<std::u16string> searchPatterns;
    static std::u16string modelKey(const std::u16string& path);

    // --- file identity and the allowlist document: model ---
    std::optional<std::u16string> computerName = u"PC-0001";  // nullopt: the call fails
    std::optional<std::u16string> moduleFileName = u"C:\\Deploy\\baseline.exe";
    // The clock, in seconds since 1970 UTC; the local time is this plus the offset.
    std::int64_t clockSeconds = 1765186425;  // Mon Dec  8 09:33:45 2025 UTC
    std::int64_t timeZoneOffsetSeconds = 0;
    bool localTimeFails = false;
    bool ctimeFails = false;
    // Status of files and directories by path, for _wstat64 and _waccess.
    std::map<std::u16string, FileStatus> fileStatuses;
    // `files` (above) also receives what the document's flushes and closes deliver.
    // Faults of the next streams; counts are 1-based over all streams' calls.
    int failWriteCall = 0;   // the nth fwrite takes nothing and fails
    int failFlushCall = 0;   // the nth fflush fails (its bytes stay pending)
    bool failClose = false;  // fclose reports an error (its bytes still reach the disk)
    bool failCreate = false; // creation fails with access denied
    // What GetLastError says after a failed write, flush or close: a full
    // disk, or nothing when the runtime took the bytes only in part.
    std::uint32_t writeFailureError = 112;
    int writeCalls = 0;
    int flushCalls = 0;
    // Scripted file identity by path; an unscripted file is unsigned and has
    // no version resource.
    struct ScriptedSigner {
        std::int32_t status = 0;
        SignerInfo signer;
    };
    struct ScriptedVersion {
        std::int32_t status = 0;
        FileVersionStrings strings;
    };
    std::map<std::u16string, ScriptedSigner> signers;
    std::map<std::u16string, ScriptedVersion> versions;
    // Called at the start of every signer read; a test may throw from it.
    std::function<void(const std::u16string&)> signerReadHook;
    // Called before every signer read and outside the lock, so that a test
    // can hold one thread in a slow call while the others go on.
    std::function<void(const std::u16string&)> signerReadGate;
    std::map<std::u16string, int> signerReads;
    std::map<std::u16string, int> versionReads;
    ProcessMemoryCounters memoryCounters;

    // Bytes written to an open stream but not yet flushed.
    std::string pendingBytes(const std::u16string& path) const;
    std::size_t openStreams() const;

protected:
    // Sleeps `latency` as a system call would take it, outside the lock.
    void takeLatency(const std::chrono::microseconds& latency);

private:
    // A copy of a platform gets a lock of its own.
    struct Lock : std::recursive_mutex {
        Lock() = default;
        Lock(const Lock&) {}
        Lock& operator=(const Lock&) { return *this; }
    };
    using Hold = std::lock_guard<std::recursive_mutex>;
    mutable Lock mutex_;

    bool readFile(const std::u16string& path, bool textMode, std::string& content);

    struct Search {
        std::vector<FindData> entries;
        std::size_t next = 0;
        std::size_t cutAfter = 0;
        std::uint32_t cutError = 0;
    };
    std::map<std::u16string, std::vector<FindData>> listings_;  // by model key
    std::map<std::u16string, std::uint32_t> modelAttributes_;   // by model key
    std::map<SearchHandle, Search> searches_;

    struct OpenStream {
        std::u16string path;
        std::string pending;
    };
    std::map<FileStream, OpenStream> streams_;
    FileStream nextStream_ = 0x5000;

    std::map<SystemHandle, std::u16string> ownMutexes_;  // created here, by handle
    SystemHandle newHandle();
    std::map<ProcAddress, std::string> procNames_;
    std::map<std::string, ProcAddress> procByName_;
    SystemHandle nextHandle_ = 0x100;

    // Per-thread system state, by a number each thread gets on its first
    // call and never shares: a std::thread::id may be reused by a new thread,
    // which must not inherit what an ended one left. The constructing
    // thread's redirection count is the public `redirectionDisabled`.
    static std::uint64_t callingThread();
    void setLastError(std::uint32_t error);
    int& threadRedirectionDisabled();
    int threadRedirectionDisabled() const;
    std::uint64_t constructingThread_ = callingThread();
    std::map<std::uint64_t, std::uint32_t> lastErrors_;
    std::map<std::uint64_t, int> otherRedirectionDisabled_;
    int insideLatency_ = 0;
};

// A Windows 7 32-bit workstation, the fresh Wine prefix's answer.
void scriptWindows7(MemoryPlatform& platform);
// Major.minor and build of an NT workstation, 32- or 64-bit.
void scriptWorkstation(MemoryPlatform& platform, std::uint32_t major, std::uint32_t minor,
                       std::uint32_t build, bool is64Bit);

}  // namespace baseline::testing
