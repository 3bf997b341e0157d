// file_publish over Win32: a fresh file made with CreateFileW CREATE_NEW and
// flushed with FlushFileBuffers, then MoveFileExW with
// MOVEFILE_REPLACE_EXISTING and MOVEFILE_WRITE_THROUGH, so that the call
// returns once the new name is on the disk. Without replacement the name is
// first claimed with CREATE_NEW.
#include "platform/file_publish.h"
#include "platform/win32/file_publish_win32.h"

#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/utf.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide.h"

namespace baseline::fileops {
namespace {

std::u16string wide(const std::string& utf8) { return decodeUtf8Replacing(utf8); }

std::size_t lastSeparator(const std::string& path) { return path.find_last_of("\\/:"); }

std::string systemError(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = "system error " + std::to_string(code);
    if (length != 0 && text) {
        std::u16string words(reinterpret_cast<const char16_t*>(text), length);
        while (!words.empty() && (words.back() == u'\n' || words.back() == u'\r' || words.back() == u'.')) {
            words.pop_back();
        }
        message = encodeUtf8(words) + " (" + message + ")";
    }
    if (text) LocalFree(text);
    return message;
}

// The handle of an open file, or nothing; CreateFileW's failure value is
// INVALID_HANDLE_VALUE, not the null handle that UniqueHandle expects.
win32::UniqueHandle openFile(const std::string& path, DWORD access, DWORD disposition, DWORD flags) {
    HANDLE handle = CreateFileW(asWide(wide(path)), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, disposition, flags, nullptr);
    return win32::UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace

namespace {

// The temporary file being written, for the console control handler, which
// runs on a thread of its own: guarded, and held while the name is taken or
// given up so that the handler never removes a file already published.
CRITICAL_SECTION* guard() {
    static CRITICAL_SECTION section;
    static const bool ready = (InitializeCriticalSection(&section), true);
    (void)ready;
    return &section;
}
std::u16string gTemporary;
bool gTemporarySet = false;

class Guarded {
public:
    Guarded() { EnterCriticalSection(guard()); }
    ~Guarded() { LeaveCriticalSection(guard()); }
};

void watch(const std::string& temporary) {
    static const bool installed = SetConsoleCtrlHandler(removeTemporaryOnCtrl, TRUE) != FALSE;
    (void)installed;
    gTemporary = wide(temporary);
    gTemporarySet = true;
}

}  // namespace

BOOL WINAPI removeTemporaryOnCtrl(DWORD) {
    const Guarded guarded;
    // Opened with FILE_SHARE_DELETE, the file goes even while the writer has it open.
    if (gTemporarySet) DeleteFileW(asWide(gTemporary));
    gTemporarySet = false;
    return FALSE;  // on to the next handler, in the end the system's: the process ends
}

PathKind pathKind(const std::string& path) {
    // The entry itself, not what it points to: a link that points nowhere is
    // opened as a link although nothing can be read through it.
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    if (const auto link = openFile(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS)) {
        BY_HANDLE_FILE_INFORMATION information;
        if (GetFileInformationByHandle(link.get(), &information)) attributes = information.dwFileAttributes;
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        WIN32_FIND_DATAW entry;
        const win32::UniqueFind find(FindFirstFileW(asWide(wide(path)), &entry));
        attributes = find ? entry.dwFileAttributes : GetFileAttributesW(asWide(wide(path)));
    }
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        // Wine shows a POSIX link that points nowhere as no file at all, yet
        // the name is taken: a name that cannot be seen and cannot be created
        // is such a link. The probe's file, if made, goes again at once.
        const auto probe = openFile(path, GENERIC_WRITE, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE);
        if (!probe && GetLastError() == ERROR_FILE_EXISTS) return PathKind::symbolicLink;
        return PathKind::missing;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::symbolicLink;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::directory;
    return PathKind::file;
}

bool sameFile(const std::string& first, const std::string& second) {
    const auto a = openFile(first, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    const auto b = openFile(second, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    if (!a || !b) return false;
    BY_HANDLE_FILE_INFORMATION x, y;
    if (!GetFileInformationByHandle(a.get(), &x) || !GetFileInformationByHandle(b.get(), &y)) return false;
    return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

bool writeBeside(const std::string& path, const std::string& bytes, std::string& temporary, std::string& error) {
    const std::size_t separator = lastSeparator(path);
    const std::string folder = separator == std::string::npos ? "" : path.substr(0, separator + 1);
    const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
    win32::UniqueHandle file;
    DWORD failure = ERROR_FILE_EXISTS;
    const DWORD seed = GetCurrentProcessId() * 7919u + GetTickCount();
    for (DWORD attempt = 0; attempt < 100 && !file && failure == ERROR_FILE_EXISTS; ++attempt) {
        temporary = folder + "." + name + "." + std::to_string((seed + attempt) % 1000000) + ".tmp";
        const Guarded guarded;
        file = openFile(temporary, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (!file) failure = GetLastError();
        else watch(temporary);
    }
    if (!file) {
        error = "cannot create a temporary file in its folder: " + systemError(failure);
        return false;
    }
    std::size_t done = 0;
    failure = 0;
    while (done < bytes.size() && failure == 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            failure = GetLastError();
            if (failure == 0) failure = ERROR_WRITE_FAULT;
        }
        done += written;
    }
    if (failure == 0 && !FlushFileBuffers(file.get())) failure = GetLastError();
    if (!CloseHandle(file.release()) && failure == 0) failure = GetLastError();
    if (failure != 0) {
        removeQuietly(temporary);
        error = "cannot be written: " + systemError(failure);
        return false;
    }
    return true;
}

bool publish(const std::string& temporary, const std::string& path, bool replace, bool& existed,
             std::string& error) {
    existed = false;
    const Guarded guarded;
    if (!replace) {
        // The name is claimed with CREATE_NEW, which fails for any existing
        // entry, a link that points nowhere included (MoveFileExW's own test
        // follows the link under Wine), and only then replaced by the new file.
        const auto claim = openFile(path, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (!claim) {
            const DWORD failure = GetLastError();
            existed = failure == ERROR_ALREADY_EXISTS || failure == ERROR_FILE_EXISTS;
            error = "cannot be created: " + systemError(failure);
            return false;
        }
    }
    if (!MoveFileExW(asWide(wide(temporary)), asWide(wide(path)), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD failure = GetLastError();
        if (!replace) DeleteFileW(asWide(wide(path)));  // the empty file that claimed the name
        error = std::string(replace ? "cannot be replaced: " : "cannot be created: ") + systemError(failure);
        return false;
    }
    gTemporarySet = false;
    return true;
}

void removeQuietly(const std::string& path) {
    const Guarded guarded;
    DeleteFileW(asWide(wide(path)));
    gTemporarySet = false;
}

}  // namespace baseline::fileops
