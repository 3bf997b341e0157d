// A stand-in for a DLL an attacker plants beside a program under the name of
// version.dll or crypt32.dll. Loading it leaves a marker file beside it that
// names the program; its exports, the functions the programs used to import,
// do nothing and fail, so a program that loaded it could not misread it as
// the real one.
#include <cstdint>

// <windows.h> would declare the real version.dll and crypt32.dll functions,
// which this file defines with other types; the few kernel32 calls it makes
// are declared here instead.
#define WINAPI __stdcall
using A = std::uintptr_t;
using Handle = void*;
extern "C" {
__declspec(dllimport) unsigned long WINAPI GetModuleFileNameW(Handle, wchar_t*, unsigned long);
__declspec(dllimport) Handle WINAPI CreateFileW(const wchar_t*, unsigned long, unsigned long, void*,
                                                unsigned long, unsigned long, Handle);
__declspec(dllimport) unsigned long WINAPI SetFilePointer(Handle, long, long*, unsigned long);
__declspec(dllimport) int WINAPI WriteFile(Handle, const void*, unsigned long, unsigned long*, void*);
__declspec(dllimport) int WINAPI CloseHandle(Handle);
}
constexpr unsigned long kMaxPath = 260;
constexpr unsigned long kGenericWrite = 0x40000000;
constexpr unsigned long kFileShareRead = 1;
constexpr unsigned long kOpenAlways = 4;
constexpr unsigned long kFileAttributeNormal = 0x80;
constexpr unsigned long kFileEnd = 2;
constexpr unsigned long kDllProcessAttach = 1;
const Handle kInvalidHandle = reinterpret_cast<Handle>(static_cast<std::intptr_t>(-1));

namespace {

void leaveMarker(Handle self) {
    wchar_t marker[kMaxPath + 16];
    const unsigned long length = GetModuleFileNameW(self, marker, kMaxPath);
    if (length == 0 || length >= kMaxPath) return;
    const wchar_t suffix[] = L".loaded";
    for (unsigned long i = 0; i < sizeof suffix / sizeof suffix[0]; ++i) marker[length + i] = suffix[i];
    const Handle file = CreateFileW(marker, kGenericWrite, kFileShareRead, nullptr, kOpenAlways,
                                    kFileAttributeNormal, nullptr);
    if (file == kInvalidHandle) return;
    SetFilePointer(file, 0, nullptr, kFileEnd);
    wchar_t program[kMaxPath + 2];
    unsigned long units = GetModuleFileNameW(nullptr, program, kMaxPath);
    if (units >= kMaxPath) units = 0;
    program[units++] = L'\n';
    unsigned long written = 0;
    WriteFile(file, program, units * sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" int WINAPI DllMain(Handle self, unsigned long reason, void*) {
    if (reason == kDllProcessAttach) leaveMarker(self);
    return 1;
}

// Each export takes as many pointer-sized arguments as the real function, so
// that a 32-bit caller's stack is cleaned up as it expects (stdcall).
#define PLANTED(name, ...) \
    extern "C" __declspec(dllexport) A WINAPI name(__VA_ARGS__) { return 0; }

// version.dll
PLANTED(GetFileVersionInfoSizeW, A, A)
PLANTED(GetFileVersionInfoW, A, A, A, A)
PLANTED(VerQueryValueW, A, A, A, A)
// crypt32.dll
PLANTED(CryptQueryObject, A, A, A, A, A, A, A, A, A, A, A)
PLANTED(CryptMsgGetParam, A, A, A, A, A)
PLANTED(CryptMsgClose, A)
PLANTED(CertFindCertificateInStore, A, A, A, A, A, A)
PLANTED(CertGetNameStringW, A, A, A, A, A, A)
PLANTED(CertFreeCertificateContext, A)
PLANTED(CertCloseStore, A, A)
