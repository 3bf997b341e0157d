// version.dll and crypt32.dll come from the system directory only, and
// loadFileIdentityLibraries loads everything the readers need, so that reading
// a signed, versioned file afterwards loads no module at all. A program of its
// own: nothing before these tests may have loaded either DLL.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <set>
#include <string>

#include "platform/win32/file_identity_libraries.h"
#include "platform/win32/win32_platform.h"
#include "prefix_kind.h"

namespace baseline {
namespace {

std::wstring lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::wstring folderOf(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// Every module of this process by its full path, lower case.
std::set<std::wstring> loadedModules() {
    std::set<std::wstring> modules;
    const HANDLE snapshot =
        CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE) return modules;
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry)) {
        modules.insert(lower(entry.szExePath));
    }
    CloseHandle(snapshot);
    return modules;
}

std::wstring moduleFileName(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

// The system directory, and for a 32-bit program under WOW64 also the folder
// its system directory is redirected to.
bool inSystemDirectory(const std::wstring& path) {
    wchar_t directory[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length > 0 && length < MAX_PATH && lower(folderOf(path)) == lower(directory)) return true;
    if (underWow64()) {
        const UINT wow = GetSystemWow64DirectoryW(directory, MAX_PATH);
        if (wow > 0 && wow < MAX_PATH && lower(folderOf(path)) == lower(directory)) return true;
    }
    return false;
}

void printModules(const char* what, const std::set<std::wstring>& modules) {
    std::printf("%s:", what);
    for (const auto& module : modules) std::printf(" %ls", module.c_str());
    std::printf("%s\n", modules.empty() ? " none" : "");
}

std::set<std::wstring> added(const std::set<std::wstring>& before, const std::set<std::wstring>& after) {
    std::set<std::wstring> result;
    for (const auto& module : after) {
        if (!before.count(module)) result.insert(module);
    }
    return result;
}

TEST(FileIdentityLibraries, LoadedFromTheSystemDirectoryWithAllTheyLoadOnFirstUse) {
    const std::set<std::wstring> start = loadedModules();
    ASSERT_FALSE(start.empty());
    printModules("loaded at the start", start);

    Win32Platform platform;
    ASSERT_TRUE(platform.loadFileIdentityLibraries());
    const std::set<std::wstring> loaded = loadedModules();
    printModules("loaded by loadFileIdentityLibraries", added(start, loaded));
    for (const wchar_t* name : {L"version.dll", L"crypt32.dll"}) {
        const HMODULE module = GetModuleHandleW(name);
        ASSERT_NE(module, nullptr) << name;
        EXPECT_TRUE(inSystemDirectory(moduleFileName(module))) << moduleFileName(module).c_str();
    }
    for (const auto& module : added(start, loaded)) {
        EXPECT_TRUE(inSystemDirectory(module)) << "loaded from elsewhere: " << lower(module).c_str();
    }

    // What a walk does next: nothing more may be looked up.
    SignerInfo signer;
    FileVersionStrings strings;
    std::int32_t status = -1;
    ASSERT_TRUE(platform.readSignerInfo(fixture("signed.exe"), signer, status)) << status;
    EXPECT_EQ(signer.publisherName, u"Fixture Software Ltd");
    ASSERT_TRUE(platform.readVersionStrings(fixture("signed.exe"), strings, status)) << status;
    EXPECT_EQ(strings.companyName, u"Example Software Ltd");
    EXPECT_FALSE(platform.readSignerInfo(fixture("unsigned.exe"), signer, status));
    EXPECT_EQ(status, kStatusNoEmbeddedSignature);
    const std::set<std::wstring> afterReads = loadedModules();
    printModules("loaded by the first reads after it", added(loaded, afterReads));
    EXPECT_EQ(afterReads, loaded);

    // A second call finds everything there and loads nothing.
    EXPECT_TRUE(platform.loadFileIdentityLibraries());
    EXPECT_EQ(loadedModules(), afterReads);
}

// A loadable DLL beside the program that the system directory does not hold:
// neither way of loading may find it, where a bare name would.
TEST(FileIdentityLibraries, NeitherWayOfLoadingLooksBesideTheProgram) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(GetSystemDirectoryW(system, MAX_PATH), 0u);
    const std::wstring program = moduleFileName(nullptr);
    ASSERT_FALSE(program.empty());
    const std::wstring planted = folderOf(program) + L"\\baseline_planted_probe.dll";
    ASSERT_TRUE(CopyFileW((std::wstring(system) + L"\\version.dll").c_str(), planted.c_str(), FALSE));

    // The file is a DLL the loader takes when asked for it by that bare name.
    const HMODULE bare = LoadLibraryW(L"baseline_planted_probe.dll");
    EXPECT_NE(bare, nullptr);
    if (bare != nullptr) FreeLibrary(bare);

    for (bool searchFlags : {true, false}) {
        SCOPED_TRACE(searchFlags ? "LOAD_LIBRARY_SEARCH_SYSTEM32" : "full path");
        if (searchFlags && !win32::loaderTakesSearchFlags()) continue;
        win32::UniqueModule probe(win32::loadSystemLibrary(L"baseline_planted_probe.dll", searchFlags));
        EXPECT_FALSE(probe) << moduleFileName(probe.get()).c_str();
        win32::UniqueModule version(win32::loadSystemLibrary(L"version.dll", searchFlags));
        ASSERT_TRUE(version);
        EXPECT_TRUE(inSystemDirectory(moduleFileName(version.get()))) << moduleFileName(version.get()).c_str();
    }
    EXPECT_TRUE(DeleteFileW(planted.c_str()));
}

}  // namespace
}  // namespace baseline
