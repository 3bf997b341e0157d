// The yardsticks for the discovery benchmark: what the system calls alone cost
// on the same tree, without the creator's classification and document.
//   bare_walk walk DIR       breadth-first FindFirstFileW/FindNextFileW walk
//   bare_walk identity DIR   CryptQueryObject and GetFileVersionInfoW on every .exe
// Prints the entries seen and the seconds taken, as JSON on one line.
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace {

double seconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

bool isExe(const std::wstring& name) {
    return name.size() >= 4 && _wcsicmp(name.c_str() + name.size() - 4, L".exe") == 0;
}

// Walks `root` breadth-first; `onFile` sees every file's full path.
template <typename OnFile>
unsigned long walk(const std::wstring& root, OnFile onFile) {
    unsigned long entries = 0;
    std::deque<std::wstring> queue{root};
    while (!queue.empty()) {
        const std::wstring directory = queue.front();
        queue.pop_front();
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &data);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            ++entries;
            const std::wstring name = data.cFileName;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (name != L"." && name != L"..") queue.push_back(directory + L"\\" + name);
            } else {
                onFile(directory + L"\\" + name);
            }
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    return entries;
}

void readIdentity(const std::wstring& path) {
    HCERTSTORE store = nullptr;
    HCRYPTMSG message = nullptr;
    DWORD encoding = 0, content = 0, format = 0;
    if (CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                         CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content, &format, &store, &message,
                         nullptr)) {
        CryptMsgClose(message);
        CertCloseStore(store, 0);
    }
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    if (size != 0) {
        std::vector<unsigned char> buffer(size);
        GetFileVersionInfoW(path.c_str(), 0, size, buffer.data());
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bare_walk walk|identity DIR\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    const double start = seconds();
    unsigned long executables = 0;
    unsigned long entries = 0;
    if (mode == L"walk") {
        entries = walk(argv[2], [](const std::wstring&) {});
    } else {
        entries = walk(argv[2], [&](const std::wstring& path) {
            if (!isExe(path)) return;
            ++executables;
            readIdentity(path);
        });
    }
    std::printf("{\"entries\": %lu, \"executables\": %lu, \"seconds\": %.4f}\n", entries, executables,
                seconds() - start);
    return 0;
}
