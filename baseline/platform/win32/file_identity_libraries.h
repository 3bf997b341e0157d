// version.dll and crypt32.dll, loaded at run time from the system directory and
// never imported: neither is a KnownDLL, so an imported copy would be looked
// up in the program's own folder first, where anyone may have put one.
#pragma once

#include <windows.h>

#include <wincrypt.h>
#include <winver.h>

#include "platform/win32/handles.h"

namespace baseline::win32 {

// Loads a DLL of the system directory by its file name, never from anywhere
// else. With `searchFlags` (LoadLibraryExW knows LOAD_LIBRARY_SEARCH_SYSTEM32)
// the loader searches the system directory only; without them the DLL is named
// by its full path under GetSystemDirectoryW. A bare name also matches a
// module of that name loaded already, wherever it came from, so the module's
// own file must lie in the system directory too. Null when it cannot be loaded.
HMODULE loadSystemLibrary(const wchar_t* fileName, bool searchFlags);

// Whether a loaded module's file lies in the system directory (for a 32-bit
// program under WOW64 also: in the folder that directory is redirected to).
bool isFromSystemDirectory(HMODULE module);

// Whether LoadLibraryExW takes the LOAD_LIBRARY_SEARCH_* flags here: Windows 8
// and later, and Windows 7 with the update that also added AddDllDirectory and
// SetDefaultDllDirectories to kernel32.
bool loaderTakesSearchFlags();

// The functions the file-identity readers call, looked up once with their
// declared types. A library is usable only when it and all its functions were
// found.
struct FileIdentityLibraries {
    UniqueModule version;
    decltype(&GetFileVersionInfoSizeW) getFileVersionInfoSize = nullptr;
    decltype(&GetFileVersionInfoW) getFileVersionInfo = nullptr;
    decltype(&VerQueryValueW) verQueryValue = nullptr;

    UniqueModule crypt32;
    decltype(&CryptQueryObject) cryptQueryObject = nullptr;
    decltype(&CryptMsgGetParam) cryptMsgGetParam = nullptr;
    decltype(&CryptMsgClose) cryptMsgClose = nullptr;
    decltype(&CertFindCertificateInStore) certFindCertificateInStore = nullptr;
    decltype(&CertGetNameStringW) certGetNameString = nullptr;
    decltype(&CertFreeCertificateContext) certFreeCertificateContext = nullptr;
    decltype(&CertCloseStore) certCloseStore = nullptr;
    decltype(&CryptMsgOpenToEncode) cryptMsgOpenToEncode = nullptr;
    decltype(&CryptMsgUpdate) cryptMsgUpdate = nullptr;

    bool versionUsable() const;
    bool crypt32Usable() const;
};

// Looks both libraries up from the system directory into `libraries`.
void loadFileIdentityLibraries(FileIdentityLibraries& libraries);

// The process's one set, loaded at the first call and kept until the process
// ends; later calls look nothing up again.
const FileIdentityLibraries& fileIdentityLibraries();

// GetSystemMetrics of user32.dll, loaded from the system directory at the
// first call. user32 is a KnownDLL on Windows; Wine's imports version.dll,
// which the loader would look for beside the program while it resolves the
// program's imports, before the search path is narrowed. 0 when missing.
int getSystemMetrics(int index);

// --- the signature's store, message and certificate, closed through crypt32
// as loaded above (they exist only when it was) ---
struct CertStoreTraits {
    using Type = HCERTSTORE;
    static Type invalid() { return nullptr; }
    static void close(Type store) { fileIdentityLibraries().certCloseStore(store, 0); }
};

struct CryptMsgTraits {
    using Type = HCRYPTMSG;
    static Type invalid() { return nullptr; }
    static void close(Type message) { fileIdentityLibraries().cryptMsgClose(message); }
};

struct CertContextTraits {
    using Type = PCCERT_CONTEXT;
    static Type invalid() { return nullptr; }
    static void close(Type context) { fileIdentityLibraries().certFreeCertificateContext(context); }
};

using UniqueCertStore = Unique<CertStoreTraits>;
using UniqueCryptMsg = Unique<CryptMsgTraits>;
using UniqueCertContext = Unique<CertContextTraits>;

}  // namespace baseline::win32
