// The win32 layer against the real API, run under Wine in a 32-bit prefix
// (Windows 7) and a 64-bit prefix (the program under WOW64).
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_time.h"
#include "platform/long_path.h"
#include "platform/native_system.h"
#include "config/config_schema.h"
#include "platform/path_form.h"
#include "platform/file_publish.h"
#include "platform/utf.h"
#include "platform/win32/console_ctrl.h"
#include "platform/win32/file_publish_win32.h"
#include "platform/win32/win32_platform.h"
#include "prefix_kind.h"

namespace baseline {
namespace {


std::u16string uniqueName(const char16_t* stem) {
    return std::u16string(stem) + u"-" + std::u16string(1, char16_t(u'A' + GetCurrentProcessId() % 26)) +
           std::u16string(1, char16_t(u'A' + (GetTickCount() / 7) % 26));
}

TEST(Win32Lookup, FindsLoadedModulesAndTheirFunctionsOnly) {
    Win32Platform platform;
    const ModuleHandle kernel32 = platform.getModuleHandle(u"Kernel32.dll");
    const ModuleHandle ntdll = platform.getModuleHandle(u"Ntdll.dll");
    ASSERT_NE(kernel32, 0u);
    ASSERT_NE(ntdll, 0u);
    EXPECT_EQ(platform.getModuleHandle(u"kernel32.dll"), kernel32);  // names are case-blind
    EXPECT_EQ(platform.getModuleHandle(u"no-such-module.dll"), 0u);
    EXPECT_NE(platform.getProcAddress(kernel32, "GetNativeSystemInfo"), 0u);
    EXPECT_NE(platform.getProcAddress(kernel32, "SetDllDirectoryW"), 0u);
    EXPECT_NE(platform.getProcAddress(ntdll, "RtlGetVersion"), 0u);
    EXPECT_NE(platform.getProcAddress(ntdll, "RtlVerifyVersionInfo"), 0u);
    EXPECT_EQ(platform.getProcAddress(kernel32, "NoSuchFunction"), 0u);
    EXPECT_TRUE(platform.callSetDllDirectory(platform.getProcAddress(kernel32, "SetDllDirectoryW"), u""));
}

TEST(Win32Version, BothQueriesReportTheWindows7Prefix) {
    Win32Platform platform;
    OsVersionRecord viaRtl;
    viaRtl.size = kOsVersionInfoExSize;
    const ProcAddress rtlGetVersion =
        platform.getProcAddress(platform.getModuleHandle(u"Ntdll.dll"), "RtlGetVersion");
    ASSERT_GE(platform.callRtlGetVersion(rtlGetVersion, viaRtl), 0);
    EXPECT_EQ(viaRtl.majorVersion, 6u);
    EXPECT_EQ(viaRtl.minorVersion, 1u);
    EXPECT_EQ(viaRtl.buildNumber, 7601u);
    EXPECT_EQ(viaRtl.platformId, 2u);
    EXPECT_EQ(viaRtl.productType, 1u);

    for (std::uint32_t size : {kOsVersionInfoExSize, kOsVersionInfoSize}) {
        OsVersionRecord viaGetVersionEx;
        viaGetVersionEx.size = size;
        ASSERT_TRUE(platform.getVersionEx(viaGetVersionEx)) << size;
        EXPECT_EQ(viaGetVersionEx.majorVersion, 6u);
        EXPECT_EQ(viaGetVersionEx.minorVersion, 1u);
        EXPECT_EQ(viaGetVersionEx.buildNumber & 0xFFFF, 7601u);
    }
}

TEST(Win32Version, ConditionMaskAndVerifyAgreeWithTheRunningSystem) {
    Win32Platform platform;
    std::uint64_t mask = platform.verSetConditionMask(0, 2, 1);
    EXPECT_EQ(mask, 0x8u);
    mask = platform.verSetConditionMask(mask, 1, 1);
    EXPECT_EQ(mask, 0x9u);
    const ProcAddress verify =
        platform.getProcAddress(platform.getModuleHandle(u"Ntdll.dll"), "RtlVerifyVersionInfo");
    OsVersionRecord wanted;
    wanted.size = kOsVersionInfoExSize;
    wanted.majorVersion = 6;
    wanted.minorVersion = 1;
    EXPECT_GE(platform.callRtlVerifyVersionInfo(verify, wanted, 3, mask), 0);
    wanted.majorVersion = 10;
    wanted.minorVersion = 0;
    EXPECT_LT(platform.callRtlVerifyVersionInfo(verify, wanted, 3, mask), 0);
}

TEST(Win32Version, NativeArchitectureTellsThe64BitPrefixApart) {
    Win32Platform platform;
    const ProcAddress nativeInfo =
        platform.getProcAddress(platform.getModuleHandle(u"Kernel32.dll"), "GetNativeSystemInfo");
    EXPECT_EQ(platform.callGetNativeSystemInfo(nativeInfo), in64BitPrefix() ? 9 : 0);
    EXPECT_EQ(platform.getSystemMetrics(89), 0);  // SM_SERVERR2
}

// Ctrl+C, Ctrl+Break or a close of the console while a tool writes a file:
// the handler removes the temporary file, and no empty file keeps the name.
TEST(Win32Publish, AnInterruptionRemovesTheTemporaryFileNotYetPublished) {
    const std::string target = encodeUtf8(uniqueName(u"publish-target")) + ".csv";
    const auto exists = [](const std::string& name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; };
    for (const DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT}) {
        std::string temporary, error;
        ASSERT_TRUE(fileops::writeBeside(target, "bytes", temporary, error)) << error;
        ASSERT_TRUE(exists(temporary)) << temporary;
        EXPECT_FALSE(fileops::removeTemporaryOnCtrl(event)) << "the process must still end";
        EXPECT_FALSE(exists(temporary)) << event;
        bool existed = false;
        EXPECT_FALSE(fileops::publish(temporary, target, false, existed, error));
        EXPECT_FALSE(exists(target)) << event;
    }
    // Once published, the file is no longer the handler's to remove.
    std::string temporary, error;
    bool existed = false;
    ASSERT_TRUE(fileops::writeBeside(target, "bytes", temporary, error)) << error;
    ASSERT_TRUE(fileops::publish(temporary, target, false, existed, error)) << error;
    EXPECT_FALSE(fileops::removeTemporaryOnCtrl(CTRL_C_EVENT));
    EXPECT_TRUE(exists(target));
    DeleteFileA(target.c_str());
}

TEST(Win32Mutex, ASecondCreateReportsTheExistingMutex) {
    Win32Platform platform;
    const std::u16string name = u"Global\\" + uniqueName(u"baseline-test-mutex");
    EXPECT_EQ(platform.openMutex(kMutexAllAccess, false, name), 0u);
    const SystemHandle first = platform.createMutex(true, name);
    ASSERT_NE(first, 0u);
    EXPECT_NE(platform.getLastError(), kErrorAlreadyExists);
    const SystemHandle second = platform.createMutex(true, name);
    ASSERT_NE(second, 0u);
    EXPECT_EQ(platform.getLastError(), kErrorAlreadyExists);
    const SystemHandle opened = platform.openMutex(kMutexAllAccess, false, name);
    EXPECT_NE(opened, 0u);
    EXPECT_TRUE(platform.closeHandle(opened));
    EXPECT_TRUE(platform.closeHandle(second));
    EXPECT_TRUE(platform.closeHandle(first));
    // Closing the last handle ends the mutex: nothing is left to open.
    EXPECT_EQ(platform.openMutex(kMutexAllAccess, false, name), 0u);
}

TEST(Win32Token, BackupPrivilegeCanBeEnabled) {
    Win32Platform platform;
    const SystemHandle token = platform.openProcessToken(kTokenAdjustPrivileges | kTokenQuery);
    ASSERT_NE(token, 0u);
    Luid luid;
    EXPECT_TRUE(platform.lookupPrivilegeValue(u"SeBackupPrivilege", luid));
    EXPECT_EQ(luid.lowPart, 17u);  // SE_BACKUP_PRIVILEGE
    EXPECT_TRUE(platform.adjustTokenPrivileges(token, false, luid, kSePrivilegeEnabled, 16));
    EXPECT_TRUE(platform.closeHandle(token));
}

// Sends standard output into a pipe for one test and reads back what arrived.
class CapturedOutput {
public:
    CapturedOutput() {
        SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
        CreatePipe(&read_, &write_, &inherit, 1 << 16);
        saved_ = GetStdHandle(STD_OUTPUT_HANDLE);
        SetStdHandle(STD_OUTPUT_HANDLE, write_);
    }
    ~CapturedOutput() {
        SetStdHandle(STD_OUTPUT_HANDLE, saved_);
        CloseHandle(read_);
        if (write_ != nullptr) CloseHandle(write_);
    }
    std::string finish() {
        SetStdHandle(STD_OUTPUT_HANDLE, saved_);
        CloseHandle(write_);
        write_ = nullptr;
        std::string bytes;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(read_, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
        return bytes;
    }

private:
    HANDLE read_ = nullptr;
    HANDLE write_ = nullptr;
    HANDLE saved_ = nullptr;
};

TEST(Win32Console, RedirectedOutputIsUtf8AndNothingAfterItIsLost) {
    Win32Platform platform;
    CapturedOutput captured;
    platform.writeOutput(u"Caf\u00E9 \u6F22\u5B57 \U0001F600\r\n");
    platform.writeOutput(std::u16string(1, char16_t(0xD800)));  // unpaired surrogate
    platform.writeOutput(u"after\r\n");
    EXPECT_EQ(captured.finish(),
              "Caf\xC3\xA9 \xE6\xBC\xA2\xE5\xAD\x97 \xF0\x9F\x98\x80\r\n\xEF\xBF\xBD" "after\r\n");
}

TEST(Win32Console, RedirectedInputLinesAreBytesWithoutTheLineEnd) {
    wchar_t directory[MAX_PATH];
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    GetTempFileNameW(directory, L"bli", 0, path);
    FILE* file = _wfopen(path, L"wb");
    ASSERT_NE(file, nullptr);
    std::fputs("Caf\xC3\xA9\r\nsecond\n\nlast", file);
    std::fclose(file);
    ASSERT_NE(_wfreopen(path, L"r", stdin), nullptr);

    Win32Platform platform;
    const char* expected[] = {"Caf\xC3\xA9", "second", "", "last"};
    for (const char* bytes : expected) {
        InputLine line;
        ASSERT_TRUE(platform.readInputLine(line)) << bytes;
        EXPECT_FALSE(line.fromConsole);
        EXPECT_EQ(line.bytes, bytes);
    }
    InputLine end;
    EXPECT_FALSE(platform.readInputLine(end));
    DeleteFileW(path);
}

TEST(Win32Console, CodePageConversionAndNoWaitWithoutAConsole) {
    Win32Platform platform;
    EXPECT_EQ(platform.multiByteToWideChar(1252, "Caf\xE9"), u"Caf\u00E9");
    EXPECT_EQ(platform.multiByteToWideChar(437, "\x82"), u"\u00E9");
    EXPECT_EQ(platform.multiByteToWideChar(1252, ""), u"");
    EXPECT_NE(platform.fallbackInputCodePage(), 0u);
    // Standard input is not a console here; a wait would hang the test run.
    platform.waitForKeyPress();
}

TEST(Win32Environment, ExpansionReportsTheLengthItNeeds) {
    Win32Platform platform;
    std::u16string expanded = u"untouched";
    const std::uint32_t needed = platform.expandEnvironmentStrings(u"%SYSTEMDRIVE%\\x", expanded, 260);
    EXPECT_EQ(needed, 5u);  // "C:\\x" and the terminator
    EXPECT_EQ(expanded, u"C:\\x");
    EXPECT_TRUE(SetEnvironmentVariableW(L"BASELINE_LONG", std::wstring(300, L'a').c_str()));
    std::u16string small = u"untouched";
    EXPECT_EQ(platform.expandEnvironmentStrings(u"%BASELINE_LONG%", small, 260), 301u);
    EXPECT_EQ(small, u"untouched");
    std::u16string large;
    EXPECT_EQ(platform.expandEnvironmentStrings(u"%BASELINE_LONG%", large, 301), 301u);
    EXPECT_EQ(large, std::u16string(300, u'a'));
    std::u16string undefined;
    platform.expandEnvironmentStrings(u"%BASELINE_UNDEFINED%", undefined, 260);
    EXPECT_EQ(undefined, u"%BASELINE_UNDEFINED%");
}

TEST(Win32Files, AttributesOfDirectoriesAndMissingPaths) {
    Win32Platform platform;
    const std::uint32_t windows = platform.getFileAttributes(u"C:\\windows");
    ASSERT_NE(windows, kInvalidFileAttributes);
    EXPECT_TRUE(windows & kFileAttributeDirectory);
    EXPECT_EQ(platform.getFileAttributes(u"C:\\no such directory"), kInvalidFileAttributes);
}

std::u16string tempDirectory() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, buffer);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}

std::vector<std::u16string> listNames(Win32Platform& platform, const std::u16string& pattern) {
    std::vector<std::u16string> names;
    FindData data;
    const SearchHandle search = platform.findFirstFile(pattern, data);
    if (search == 0) return names;
    do {
        names.push_back(data.fileName);
    } while (platform.findNextFile(search, data));
    EXPECT_TRUE(platform.findClose(search));
    return names;
}

TEST(Win32Listing, ListsADirectoryTreeNestedBeyond260Units) {
    Win32Platform platform;
    std::u16string path = tempDirectory() + u"baseline-long-" + uniqueName(u"t");
    std::vector<std::u16string> created;
    for (int depth = 0; path.size() < 400; ++depth) {
        ASSERT_TRUE(CreateDirectoryW(reinterpret_cast<const wchar_t*>(extendedLengthPath(path).c_str()), nullptr) ||
                    GetLastError() == ERROR_ALREADY_EXISTS);
        created.push_back(path);
        path += u"\\a directory name of some length " + std::u16string(1, char16_t(u'0' + depth % 10));
    }
    const std::u16string deepest = created.back();
    ASSERT_GT(deepest.size(), 300u);
    const std::u16string file = deepest + u"\\app.exe";
    HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(extendedLengthPath(file).c_str()),
                                GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    // Last written on 1 January 1960: a time before 1970 must stay negative.
    constexpr std::int64_t k1960 = -315619200;
    const std::uint64_t ticks = kUnixEpochAsFileTime + k1960 * 10000000;
    const FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &written));
    CloseHandle(handle);
    std::uint64_t fileTime = 0;
    ASSERT_TRUE(platform.getFileLastWriteTime(file, fileTime));
    EXPECT_EQ(fileTimeToUnixSeconds(fileTime), k1960);

    EXPECT_EQ(listNames(platform, deepest + u"\\*"),
              (std::vector<std::u16string>{u".", u"..", u"app.exe"}));
    // A doubled separator, as a root written with a trailing backslash gives
    // its children, works at any length.
    const auto split = deepest.rfind(u'\\');
    const std::u16string doubled = deepest.substr(0, split) + u"\\" + deepest.substr(split);
    EXPECT_EQ(listNames(platform, doubled + u"\\*").size(), 3u);
    EXPECT_TRUE(platform.getFileAttributes(deepest) & kFileAttributeDirectory);
    EXPECT_NE(platform.getFileAttributes(file), kInvalidFileAttributes);

    DeleteFileW(reinterpret_cast<const wchar_t*>(extendedLengthPath(file).c_str()));
    for (auto it = created.rbegin(); it != created.rend(); ++it) {
        RemoveDirectoryW(reinterpret_cast<const wchar_t*>(extendedLengthPath(*it).c_str()));
    }
}

TEST(Win32Listing, AMissingDirectoryGivesNoSearchAndDriveCIsFixed) {
    Win32Platform platform;
    FindData data;
    EXPECT_EQ(platform.findFirstFile(u"C:\\no such directory\\*", data), 0u);
    EXPECT_EQ(platform.getDriveType(u"C:"), kDriveFixed);
    const auto root = listNames(platform, u"C:\\*");
    EXPECT_NE(std::find(root.begin(), root.end(), u"windows"), root.end());
    EXPECT_EQ(std::find(root.begin(), root.end(), u"."), root.end());  // drive roots list no "."
}

TEST(Win32Listing, RedirectionCanBeTurnedOffOnlyUnderWow64) {
    Win32Platform platform;
    std::uintptr_t old = 0;
    const bool disabled = platform.wow64DisableWow64FsRedirection(old);
    EXPECT_EQ(disabled, underWow64());
    EXPECT_EQ(runsUnderWow64(platform), underWow64());
    EXPECT_EQ(platform.is64BitProcess(), sizeof(void*) == 8);
    if (disabled) {
        EXPECT_TRUE(platform.wow64RevertWow64FsRedirection(old));
    }
}

std::wstring tempFileWith(const char* bytes, std::size_t size) {
    wchar_t directory[MAX_PATH];
    wchar_t path[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    GetTempFileNameW(directory, L"blc", 0, path);
    FILE* file = _wfopen(path, L"wb");
    std::fwrite(bytes, 1, size, file);
    std::fclose(file);
    return path;
}

TEST(Win32Files, TextModeReadingTurnsCrLfIntoLfAndStopsAtCtrlZBinaryDoesNot) {
    Win32Platform platform;
    const char bytes[] = "ab\r\ncd\r\n\rx\x1A" "after";
    const std::wstring path = tempFileWith(bytes, sizeof bytes - 1);
    std::string content = "untouched";
    ASSERT_TRUE(platform.readTextModeFile(reinterpret_cast<const char16_t*>(path.c_str()), content));
    EXPECT_EQ(content, "ab\ncd\n\rx");
    ASSERT_TRUE(platform.readBinaryModeFile(reinterpret_cast<const char16_t*>(path.c_str()), content));
    EXPECT_EQ(content, std::string(bytes, sizeof bytes - 1)) << "binary mode keeps every byte";
    DeleteFileW(path.c_str());
    content = "untouched";
    EXPECT_FALSE(platform.readTextModeFile(reinterpret_cast<const char16_t*>(path.c_str()), content));
    EXPECT_EQ(content, "untouched");
}

TEST(Win32Files, TheRelativeNameOfTheConfigurationIsFoundInTheWorkingDirectory) {
    Win32Platform platform;
    wchar_t directory[MAX_PATH];
    GetTempPathW(MAX_PATH, directory);
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(directory));
    FILE* file = _wfopen(L"baselineconf.dat", L"wb");
    std::fputs("QUJD", file);
    std::fclose(file);
    std::string content;
    EXPECT_TRUE(platform.readTextModeFile(u".\\baselineconf.dat", content));
    EXPECT_EQ(content, "QUJD");
    DeleteFileW(L"baselineconf.dat");
    SetCurrentDirectoryW(previous);
}

TEST(Win32Files, ExistenceTest) {
    Win32Platform platform;
    EXPECT_EQ(platform.waccess(u"C:\\windows", 0), 0);
    EXPECT_EQ(platform.waccess(u"C:\\windows\\notepad.exe", 0), 0);
    EXPECT_EQ(platform.waccess(u"C:\\no such directory", 0), -1);
    EXPECT_EQ(platform.waccess(u"", 0), -1);
}

TEST(Win32Text, Utf8ConversionEndsAtTheFirstZeroByteAndReplacesIllFormedBytes) {
    Win32Platform platform;
    auto convert = [&](const char* text) {
        const int needed = platform.multiByteToWideCharTerminated(65001, 0, text, nullptr, 0);
        std::u16string buffer(static_cast<std::size_t>(needed > 0 ? needed : 0), u'\0');
        const int written = platform.multiByteToWideCharTerminated(65001, 0, text, buffer.data(), needed);
        EXPECT_EQ(written, needed) << text;
        return buffer;
    };
    EXPECT_EQ(convert("Caf\xC3\xA9"), std::u16string(u"Caf\u00E9\0", 5));
    EXPECT_EQ(convert(""), std::u16string(1, u'\0'));
    EXPECT_EQ(convert("ab\0cd"), std::u16string(u"ab\0", 3));
    EXPECT_EQ(convert("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600\0", 3));
    // Without MB_ERR_INVALID_CHARS, ill-formed input is replaced, not refused.
    EXPECT_EQ(convert("A\xFF" "B"), std::u16string(u"A\uFFFDB\0", 4));
    EXPECT_EQ(convert("\xE2\x82x"), std::u16string(u"\uFFFDx\0", 3));
    char16_t small[2];
    EXPECT_EQ(platform.multiByteToWideCharTerminated(65001, 0, "abc", small, 2), 0);
}

TEST(Win32Config, ConfiguredPathsAreExpandedInFullAndCustomRootsMustBeDirectories) {
    Win32Platform platform;
    ASSERT_TRUE(SetEnvironmentVariableW(L"BASELINE_DEEP", std::wstring(300, L'd').c_str()));
    std::u16string expanded;
    ASSERT_TRUE(expandPath(platform, u"C:\\%BASELINE_DEEP%\\x", expanded));
    EXPECT_EQ(expanded, u"C:\\" + std::u16string(300, u'd') + u"\\x");
    PlatformConfigEnvironment environment(platform);
    EXPECT_TRUE(environment.isAccessibleDirectory(u"C:\\windows"));
    EXPECT_FALSE(environment.isAccessibleDirectory(u"C:\\windows\\notepad.exe"));
    EXPECT_FALSE(environment.isAccessibleDirectory(u"C:\\no such directory"));
    EXPECT_FALSE(environment.isAccessibleDirectory(u""));
}

}  // namespace
}  // namespace baseline

namespace baseline {
namespace {

DWORD WINAPI raiseClose(void*) { return static_cast<DWORD>(win32::handleConsoleCtrl(CTRL_CLOSE_EVENT)); }

// Ctrl+Break and a close of the console cannot be raised in a test process
// without a console of its own, so the handler is called as the system would.
TEST(Win32ConsoleCtrl, BreakAndCloseSetTheFlagAndACloseWaitsForTheRemoval) {
    Win32Platform platform;
    ASSERT_TRUE(platform.setConsoleCtrlHandler(true));
    EXPECT_FALSE(platform.consoleCtrlEventReceived());
    EXPECT_EQ(win32::handleConsoleCtrl(CTRL_LOGOFF_EVENT), FALSE);  // left to the system
    EXPECT_FALSE(platform.consoleCtrlEventReceived());
    EXPECT_EQ(win32::handleConsoleCtrl(CTRL_BREAK_EVENT), TRUE);
    EXPECT_TRUE(platform.consoleCtrlEventReceived());

    // Installing again starts afresh; a close is held until the work is done.
    ASSERT_TRUE(platform.setConsoleCtrlHandler(false));
    ASSERT_TRUE(platform.setConsoleCtrlHandler(true));
    EXPECT_FALSE(platform.consoleCtrlEventReceived());
    HANDLE thread = CreateThread(nullptr, 0, raiseClose, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 500), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_TRUE(platform.consoleCtrlEventReceived());
    EXPECT_TRUE(platform.setConsoleCtrlHandler(false));
    EXPECT_EQ(WaitForSingleObject(thread, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD handled = 0;
    GetExitCodeThread(thread, &handled);
    EXPECT_EQ(handled, static_cast<DWORD>(TRUE));
    CloseHandle(thread);
}

TEST(Win32ConsoleCtrl, TheClockNeverGoesBackAndRedirectedOutputIsNoConsole) {
    Win32Platform platform;
    const std::uint64_t before = platform.getTickCount64();
    EXPECT_GT(before, 0u);
    EXPECT_GE(platform.getTickCount64(), before);
    ConsoleScreenInfo screen;
    EXPECT_FALSE(platform.getConsoleScreenBufferInfo(screen));  // ctest captures the output
}

}  // namespace
}  // namespace baseline
