// The platform over the real Win32 API and the C runtime. This header stays
// free of <windows.h> so that the entry point can name the type.
#pragma once

#include "platform/platform.h"

namespace baseline {

class Win32Platform final : public Platform {
public:
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
    std::u16string formatMessage(std::uint32_t error) override;
    std::u16string getCurrentDirectory() override;
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
    std::uint32_t expandEnvironmentStrings(const std::u16string& source, std::u16string& expanded,
                                           std::uint32_t bufferLength) override;
    std::uint32_t getFileAttributes(const std::u16string& path) override;
    SearchHandle findFirstFile(const std::u16string& pattern, FindData& data) override;
    bool findNextFile(SearchHandle search, FindData& data) override;
    bool findClose(SearchHandle search) override;
    std::uint32_t getDriveType(const std::u16string& rootPath) override;
    bool wow64DisableWow64FsRedirection(std::uintptr_t& oldValue) override;
    bool wow64RevertWow64FsRedirection(std::uintptr_t oldValue) override;

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
    int waccess(const std::u16string& path, int mode) override;
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
    bool readTextModeFile(const std::u16string& path, std::string& content) override;
    bool readBinaryModeFile(const std::u16string& path, std::string& content) override;
    int multiByteToWideCharTerminated(std::uint32_t codePage, std::uint32_t flags, const char* text,
                                      char16_t* buffer, int bufferLength) override;

private:
    // Console characters read past the end of the last line (pasted input).
    std::u16string pendingConsoleInput_;
};

}  // namespace baseline
