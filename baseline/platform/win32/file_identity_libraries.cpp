// Loading version.dll and crypt32.dll from the system directory and finding
// the functions the file-identity readers call. Nothing here falls back to a
// bare DLL name: that would search the program's folder again.
#include "platform/win32/file_identity_libraries.h"

#include <string>

namespace baseline::win32 {
namespace {

template <typename Function>
bool lookUp(const UniqueModule& module, const char* name, Function& function) {
    function = nullptr;
    if (!module) return false;
    // Through a plain function pointer type: FARPROC's own signature says nothing.
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module.get(), name)));
    return function != nullptr;
}

}  // namespace

bool loaderTakesSearchFlags() {
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 != nullptr && GetProcAddress(kernel32, "AddDllDirectory") != nullptr;
}

namespace {

bool sameFolder(const wchar_t* path, DWORD pathLength, const wchar_t* folder, UINT folderLength) {
    if (folderLength == 0 || folderLength >= MAX_PATH || pathLength <= folderLength) return false;
    if (path[folderLength] != L'\\') return false;
    for (DWORD i = folderLength + 1; i < pathLength; ++i) {
        if (path[i] == L'\\') return false;
    }
    return CompareStringOrdinal(path, static_cast<int>(folderLength), folder,
                                static_cast<int>(folderLength), TRUE) == CSTR_EQUAL;
}

HMODULE checkedLoad(HMODULE module) {
    if (module != nullptr && !isFromSystemDirectory(module)) {
        FreeLibrary(module);
        return nullptr;
    }
    return module;
}

}  // namespace

bool isFromSystemDirectory(HMODULE module) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    wchar_t folder[MAX_PATH];
    if (sameFolder(path, length, folder, GetSystemDirectoryW(folder, MAX_PATH))) return true;
    // Fails on a 32-bit system, where there is no such folder.
    return sameFolder(path, length, folder, GetSystemWow64DirectoryW(folder, MAX_PATH));
}

HMODULE loadSystemLibrary(const wchar_t* fileName, bool searchFlags) {
    if (searchFlags) return checkedLoad(LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    wchar_t directory[MAX_PATH];
    const UINT length = GetSystemDirectoryW(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring path(directory, length);
    if (path.back() != L'\\') path.push_back(L'\\');
    path += fileName;
    // With a full path, the altered search order looks for the DLL's own
    // imports in its folder (the system directory) rather than in ours.
    return checkedLoad(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

bool FileIdentityLibraries::versionUsable() const {
    return version && getFileVersionInfoSize && getFileVersionInfo && verQueryValue;
}

bool FileIdentityLibraries::crypt32Usable() const {
    return crypt32 && cryptQueryObject && cryptMsgGetParam && cryptMsgClose &&
           certFindCertificateInStore && certGetNameString && certFreeCertificateContext &&
           certCloseStore && cryptMsgOpenToEncode && cryptMsgUpdate;
}

void loadFileIdentityLibraries(FileIdentityLibraries& libraries) {
    const bool searchFlags = loaderTakesSearchFlags();
    libraries.version.reset(loadSystemLibrary(L"version.dll", searchFlags));
    lookUp(libraries.version, "GetFileVersionInfoSizeW", libraries.getFileVersionInfoSize);
    lookUp(libraries.version, "GetFileVersionInfoW", libraries.getFileVersionInfo);
    lookUp(libraries.version, "VerQueryValueW", libraries.verQueryValue);

    libraries.crypt32.reset(loadSystemLibrary(L"crypt32.dll", searchFlags));
    lookUp(libraries.crypt32, "CryptQueryObject", libraries.cryptQueryObject);
    lookUp(libraries.crypt32, "CryptMsgGetParam", libraries.cryptMsgGetParam);
    lookUp(libraries.crypt32, "CryptMsgClose", libraries.cryptMsgClose);
    lookUp(libraries.crypt32, "CertFindCertificateInStore", libraries.certFindCertificateInStore);
    lookUp(libraries.crypt32, "CertGetNameStringW", libraries.certGetNameString);
    lookUp(libraries.crypt32, "CertFreeCertificateContext", libraries.certFreeCertificateContext);
    lookUp(libraries.crypt32, "CertCloseStore", libraries.certCloseStore);
    lookUp(libraries.crypt32, "CryptMsgOpenToEncode", libraries.cryptMsgOpenToEncode);
    lookUp(libraries.crypt32, "CryptMsgUpdate", libraries.cryptMsgUpdate);
}

const FileIdentityLibraries& fileIdentityLibraries() {
    // Never freed: a store or context closed during exit still finds crypt32.
    static const FileIdentityLibraries* const loaded = [] {
        auto* libraries = new FileIdentityLibraries;
        loadFileIdentityLibraries(*libraries);
        return libraries;
    }();
    return *loaded;
}

int getSystemMetrics(int index) {
    using GetSystemMetricsFn = int(WINAPI*)(int);
    static const GetSystemMetricsFn function = [] {
        const HMODULE user32 = loadSystemLibrary(L"user32.dll", loaderTakesSearchFlags());
        GetSystemMetricsFn found = nullptr;
        if (user32 != nullptr) {
            found = reinterpret_cast<GetSystemMetricsFn>(
                reinterpret_cast<void (*)()>(GetProcAddress(user32, "GetSystemMetrics")));
        }
        return found;  // user32 stays loaded for the rest of the process
    }();
    return function != nullptr ? function(index) : 0;
}

}  // namespace baseline::win32
