// The yardsticks for the discovery benchmark: what the system calls alone cost
// on the same tree, without the creator's classification and document.
//   bare_walk walk DIR [THREADS]       breadth-first FindFirstFileW/FindNextFileW walk
//   bare_walk identity DIR [THREADS]   the same walk, and CryptQueryObject and
//                                      GetFileVersionInfoW on every .exe
// THREADS workers share the queue of directories not yet listed, each reading
// the identities of the executables in the directories it lists; without it,
// as many as the processors, at most 16 (what the creator takes by default).
// Prints the entries seen, the threads and the seconds taken, as JSON on one line.
#include <windows.h>
#include <wincrypt.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cwchar>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr unsigned kMostThreads = 16;

double seconds() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

unsigned defaultThreads() {
    SYSTEM_INFO information{};
    GetSystemInfo(&information);
    const unsigned processors = information.dwNumberOfProcessors;
    return processors == 0 ? 1 : processors < kMostThreads ? processors : kMostThreads;
}

bool isExe(const std::wstring& name) {
    return name.size() >= 4 && _wcsicmp(name.c_str() + name.size() - 4, L".exe") == 0;
}

// Lists one directory: its subdirectories go to `subdirectories`, every file's
// full path to `onFile`. Returns the entries listed.
template <typename OnFile>
unsigned long list(const std::wstring& directory, std::vector<std::wstring>& subdirectories, OnFile& onFile) {
    unsigned long entries = 0;
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((directory + L"\\*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        ++entries;
        const std::wstring name = data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (name != L"." && name != L"..") subdirectories.push_back(directory + L"\\" + name);
        } else {
            onFile(directory + L"\\" + name);
        }
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return entries;
}

// Walks `root` breadth-first with `threads` workers taking directories from one
// queue; `onFile` sees every file's full path, on the worker that listed it.
// A worker queues the subdirectories it found once its listing is complete, so
// one worker walks in exactly the single-threaded order.
template <typename OnFile>
unsigned long walk(const std::wstring& root, unsigned threads, OnFile onFile) {
    std::mutex lock;
    std::condition_variable changed;
    std::deque<std::wstring> queue{root};
    unsigned listing = 0;  // workers in a listing, which may yet queue more
    std::atomic<unsigned long> entries{0};
    auto worker = [&] {
        std::vector<std::wstring> found;
        unsigned long seen = 0;
        std::unique_lock<std::mutex> hold(lock);
        for (;;) {
            changed.wait(hold, [&] { return !queue.empty() || listing == 0; });
            if (queue.empty()) break;  // and nobody listing: the walk is over
            const std::wstring directory = std::move(queue.front());
            queue.pop_front();
            ++listing;
            hold.unlock();
            seen += list(directory, found, onFile);
            hold.lock();
            --listing;
            for (std::wstring& subdirectory : found) queue.push_back(std::move(subdirectory));
            if (!found.empty() || listing == 0) changed.notify_all();
            found.clear();
        }
        entries += seen;
    };
    std::vector<std::thread> pool;
    for (unsigned n = 1; n < threads; ++n) pool.emplace_back(worker);
    worker();
    for (std::thread& thread : pool) thread.join();
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
    const std::wstring mode = argc >= 3 ? argv[1] : L"";
    unsigned threads = defaultThreads();
    if (argc == 4) {
        wchar_t* end = nullptr;
        const unsigned long asked = std::wcstoul(argv[3], &end, 10);
        threads = (*end == L'\0' && asked >= 1 && asked <= 256) ? unsigned(asked) : 0;
    }
    if ((mode != L"walk" && mode != L"identity") || argc > 4 || threads == 0) {
        std::fprintf(stderr, "usage: bare_walk walk|identity DIR [THREADS (1 to 256)]\n");
        return 2;
    }
    const double start = seconds();
    std::atomic<unsigned long> executables{0};
    unsigned long entries = 0;
    if (mode == L"walk") {
        entries = walk(argv[2], threads, [](const std::wstring&) {});
    } else {
        entries = walk(argv[2], threads, [&](const std::wstring& path) {
            if (!isExe(path)) return;
            ++executables;
            readIdentity(path);
        });
    }
    std::printf("{\"entries\": %lu, \"executables\": %lu, \"threads\": %u, \"seconds\": %.4f}\n", entries,
                executables.load(), threads, seconds() - start);
    return 0;
}
