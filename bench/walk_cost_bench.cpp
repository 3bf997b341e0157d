// Our own cost per entry, without Wine: the build run (walk, rules, records and
// document writer) over the in-memory platform, on a generated machine of about
// a million listed entries, against a bare breadth-first listing of the same tree.
// The calls the walk makes per entry are answered from flat tables and the
// document's bytes are only hashed, so the time is nearly all the creator's
// code; allocations made inside platform calls are not counted.
// With --signers FILE every executable is signed, each by the next name of
// FILE (one a line, UTF-16LE in hexadecimal), for what chosen signer names cost.
// With --latency MICROSECONDS it measures instead the walk's pool of workers:
// a tree of 2,000 executables whose listing and identity calls each take that
// long, walked with 1, 2, 4, 8 and 16 workers (the documents must be equal).
//   walk_cost_bench [--entries N] [--system wow64|32|64] [--repeat N] [--signers FILE]
//   walk_cost_bench --latency MICROSECONDS [--repeat N]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include <json/value.h>

#include "config/config_schema.h"
#include "discovery/built_in_publishers.h"
#include "discovery/discovery_engine.h"
#include "memory_platform.h"
#include "platform/file_time.h"
#include "platform/utf.h"

// --- allocation counter: every malloc of the process, outside platform calls ---

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
}

namespace {
bool gCounting = false;
int gPlatformDepth = 0;
std::uint64_t gAllocations = 0;
std::uint64_t gAllocatedBytes = 0;

inline void noteAllocation(std::size_t size) {
    if (gCounting && gPlatformDepth == 0) {
        ++gAllocations;
        gAllocatedBytes += size;
    }
}
}  // namespace

extern "C" {
void* malloc(std::size_t size) {
    noteAllocation(size);
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    noteAllocation(count * size);
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
    noteAllocation(size);
    return __libc_realloc(pointer, size);
}
void free(void* pointer) { __libc_free(pointer); }
}

namespace baseline {
namespace {

using testing::MemoryPlatform;

// What runs inside a platform call is the system's cost, not ours.
struct PlatformCall {
    PlatformCall() { ++gPlatformDepth; }
    ~PlatformCall() { --gPlatformDepth; }
};

std::uint64_t fnv1a(std::uint64_t hash, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    return hash;
}

// A deterministic machine: directories listed as the walk asks for them,
// "directory\*" exactly as it writes the pattern.
struct Tree {
    std::vector<std::vector<FindData>> listings;
    std::unordered_map<std::u16string, std::uint32_t> byPattern;
    std::uint64_t listed = 0, directories = 0, files = 0, executables = 0;
};

class Generator {
public:
    explicit Generator(std::uint64_t target) : target_(target) {}

    Tree make() {
        // The drive root lists no "." and "..".
        const std::uint32_t root = newListing(u"C:", false);
        struct Pending {
            std::u16string path;
            std::uint32_t listing;
            int depth;
        };
        std::deque<Pending> queue;
        for (const char16_t* top : {u"Windows", u"Program Files", u"Program Files (x86)", u"ProgramData", u"Users"}) {
            const std::u16string path = std::u16string(u"C:\\") + top;
            add(root, FindData{kFileAttributeDirectory, top});
            queue.push_back({path, newListing(path, true), 0});
        }
        add(root, FindData{0x26, u"pagefile.sys"});
        add(root, FindData{0x20, u"bootmgr"});
        while (!queue.empty()) {
            Pending directory = std::move(queue.front());
            queue.pop_front();
            if (tree_.listed >= target_) continue;  // the rest stay empty but for "." and ".."
            const int files = 4 + static_cast<int>(next() % 24);
            // Wide near the top, then one to three levels of branching until
            // the directories already queued would reach the target.
            const bool room = tree_.listed + queue.size() * 18 < target_;
            const int subdirectories = !room ? 0 : directory.depth < 2 ? 6 + static_cast<int>(next() % 6)
                                                                        : static_cast<int>(next() % 4);
            for (int i = 0; i < files; ++i) {
                const std::uint32_t kind = next() % 100;
                const std::u16string stem = name(u"module", next() % 100000);
                if (kind < 3) {
                    // Executables, now and then in capitals.
                    add(directory.listing, FindData{0x20, stem + (kind == 0 ? u".EXE" : u".exe")});
                    ++tree_.executables;
                } else {
                    add(directory.listing, FindData{0x20, stem + (kind < 50 ? u".dll" : kind < 80 ? u".dat" : u".txt")});
                }
                ++tree_.files;
            }
            for (int i = 0; i < subdirectories; ++i) {
                const std::u16string child = name(u"Component ", next() % 10000) + u"_" + name(u"", i);
                // Now and then a directory with the system attribute.
                const std::uint32_t attributes = next() % 200 == 0 ? 0x14u : kFileAttributeDirectory;
                add(directory.listing, FindData{attributes, child});
                const std::u16string path = directory.path + u"\\" + child;
                queue.push_back({path, newListing(path, true), directory.depth + 1});
            }
        }
        for (const auto& listing : tree_.listings) {
            for (const auto& entry : listing) {
                if ((entry.attributes & kFileAttributeDirectory) && entry.fileName != u"." && entry.fileName != u"..") {
                    ++tree_.directories;
                }
            }
        }
        return std::move(tree_);
    }

private:
    std::uint32_t next() {
        state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<std::uint32_t>(state_ >> 33);
    }
    static std::u16string name(const char16_t* stem, std::uint32_t number) {
        std::u16string text(stem);
        const std::string digits = std::to_string(number);
        text.append(digits.begin(), digits.end());
        return text;
    }
    std::uint32_t newListing(const std::u16string& path, bool dots) {
        const auto index = static_cast<std::uint32_t>(tree_.listings.size());
        tree_.listings.emplace_back();
        tree_.byPattern[path + u"\\*"] = index;
        if (dots) {
            add(index, FindData{kFileAttributeDirectory, u"."});
            add(index, FindData{kFileAttributeDirectory, u".."});
        }
        return index;
    }
    void add(std::uint32_t listing, FindData entry) {
        tree_.listings[listing].push_back(std::move(entry));
        ++tree_.listed;
    }

    std::uint64_t target_;
    std::uint64_t state_ = 0x2545F4914F6CDD1Dull;
    Tree tree_;
};

// The in-memory platform with the walk's per-entry calls answered from the
// tree, counted, and kept out of the allocation count.
class BenchPlatform : public MemoryPlatform {
public:
    explicit BenchPlatform(const Tree& tree) : tree_(tree) {}

    SearchHandle findFirstFile(const std::u16string& pattern, FindData& data) override {
        PlatformCall call;
        const auto found = tree_.byPattern.find(pattern);
        if (found == tree_.byPattern.end() || tree_.listings[found->second].empty()) {
            lastError_ = kErrorFileNotFound;
            return 0;
        }
        listing_ = found->second;
        cursor_ = 1;
        data = tree_.listings[listing_].front();
        return listing_ + 1;
    }
    bool findNextFile(SearchHandle, FindData& data) override {
        PlatformCall call;
        const auto& entries = tree_.listings[listing_];
        if (cursor_ >= entries.size()) {
            lastError_ = kErrorNoMoreFiles;
            return false;
        }
        data = entries[cursor_++];
        return true;
    }
    bool findClose(SearchHandle) override { return true; }
    std::uint32_t getLastError() override { return lastError_; }

    bool getFileLastWriteTime(const std::u16string& path, std::uint64_t& fileTime) override {
        PlatformCall call;
        ++stats;
        fileTime = kUnixEpochAsFileTime + (1700000000ull + path.size() * 86400ull) * 10000000ull;
        return true;
    }
    bool readSignerInfo(const std::u16string& path, SignerInfo& signer, std::int32_t& status) override {
        PlatformCall call;
        if (!signers.empty()) {
            // A certificate of its own, or only the first name would be collected.
            signer.publisherName = signers[signed_ % signers.size()];
            signer.issuerName = u"Bench Code Signing CA";
            signer.serialNumber = u"5e" + widen(static_cast<unsigned>(signed_++));
            status = 0;
            return true;
        }
        const std::uint64_t h = fnv1a(14695981039346656037ull, path.data(), path.size() * 2);
        if (h % 3 != 0) {
            status = 13002;
            return false;
        }
        const auto publisher = static_cast<unsigned>((h / 3) % 20);
        const auto certificate = static_cast<unsigned>((h / 60) % 3);
        signer.publisherName = u"Bench Publisher " + widen(publisher);
        signer.issuerName = u"Bench Code Signing CA " + widen(publisher % 4);
        signer.serialNumber = u"5e" + widen(publisher * 10 + certificate) + u"0a1b2c3d4e5f6071";
        status = 0;
        return true;
    }
    bool readVersionStrings(const std::u16string& path, FileVersionStrings& strings, std::int32_t& status) override {
        PlatformCall call;
        if (path.size() % 3 == 2) {
            status = 13003;
            return false;
        }
        strings.companyName = u"Bench Software Ltd";
        strings.fileVersion = u"10.0.19041.1";
        strings.internalName = path.substr(path.rfind(u'\\') + 1);
        strings.originalFilename = strings.internalName;
        strings.productName = u"Bench Product";
        strings.productVersion = u"10.0";
        status = 0;
        return true;
    }
    bool fwrite(FileStream, const std::string& bytes) override {
        PlatformCall call;
        ++writes;
        documentBytes += bytes.size();
        documentHash = fnv1a(documentHash, bytes.data(), bytes.size());
        return true;
    }
    bool fflush(FileStream) override {
        ++flushes;
        return true;
    }
    bool wow64DisableWow64FsRedirection(std::uintptr_t& oldValue) override {
        ++redirectionSwitches;
        oldValue = 1;
        return true;
    }
    bool wow64RevertWow64FsRedirection(std::uintptr_t) override { return true; }
    ModuleHandle getModuleHandle(const std::u16string& moduleName) override {
        PlatformCall call;
        ++moduleLookups;
        return MemoryPlatform::getModuleHandle(moduleName);
    }
    ProcAddress getProcAddress(ModuleHandle module, const char* procName) override {
        PlatformCall call;
        return MemoryPlatform::getProcAddress(module, procName);
    }
    std::uint16_t callGetNativeSystemInfo(ProcAddress proc) override {
        PlatformCall call;
        ++nativeInfoQueries;
        return MemoryPlatform::callGetNativeSystemInfo(proc);
    }
    std::uint32_t expandEnvironmentStrings(const std::u16string& source, std::u16string& expanded,
                                           std::uint32_t bufferLength) override {
        PlatformCall call;
        ++expansionCalls;
        return MemoryPlatform::expandEnvironmentStrings(source, expanded, bufferLength);
    }

    std::uint64_t stats = 0, writes = 0, flushes = 0, redirectionSwitches = 0;
    std::uint64_t moduleLookups = 0, nativeInfoQueries = 0, expansionCalls = 0;
    std::uint64_t documentBytes = 0;
    std::uint64_t documentHash = 14695981039346656037ull;
    std::vector<std::u16string> signers;
    std::size_t signed_ = 0;

private:
    static std::u16string widen(unsigned number) {
        const std::string digits = std::to_string(number);
        return std::u16string(digits.begin(), digits.end());
    }

    const Tree& tree_;
    std::uint32_t listing_ = 0;
    std::size_t cursor_ = 0;
    std::uint32_t lastError_ = 0;
};

enum class System { Wow64, Bits32, Bits64 };

void scriptMachine(testing::MemoryPlatform& platform, System system) {
    testing::scriptWorkstation(platform, 10, 0, 19045, system != System::Bits32);
    platform.nativeProgram = system == System::Bits64;
    platform.environment = {{u"SystemDrive", u"C:"},
                            {u"WINDIR", u"C:\\Windows"},
                            {u"TEMP", u"C:\\Users\\bench\\AppData\\Local\\Temp"}};
    if (system == System::Bits32) {
        platform.environment[u"ProgramFiles"] = u"C:\\Program Files";
    } else {
        platform.environment[u"ProgramFiles"] =
            system == System::Wow64 ? u"C:\\Program Files (x86)" : u"C:\\Program Files";
        platform.environment[u"ProgramW6432"] = u"C:\\Program Files";
        platform.environment[u"ProgramFiles(x86)"] = u"C:\\Program Files (x86)";
    }
}

struct Run {
    double seconds = 0;
    std::uint64_t allocations = 0, allocatedBytes = 0;
    std::uint64_t recorded = 0, writes = 0, flushes = 0, switches = 0, modules = 0, nativeInfo = 0, expansions = 0;
    std::uint64_t bytes = 0, hash = 0;
    bool succeeded = false;
};

std::vector<std::u16string> gSigners;

Run creatorRun(const Tree& tree, System system) {
    BenchPlatform platform(tree);
    platform.signers = gSigners;
    scriptMachine(platform, system);
    // The configuration of an empty {}: every default, as most machines run.
    BaselineConfig config;
    PlatformConfigEnvironment environment(platform);
    if (!applyBaselineJson(Json::Value(Json::objectValue), environment, config, nullptr)) {
        std::fprintf(stderr, "the default configuration did not apply\n");
        std::exit(1);
    }
    for (const auto name : kBuiltInPublisherNames) config.allowedPublishers.emplace_back(name);
    DiscoveryEngine engine(platform, u"Bench", u"Walk cost", config);
    platform.moduleLookups = platform.nativeInfoQueries = platform.expansionCalls = 0;

    Run run;
    gAllocations = gAllocatedBytes = 0;
    gCounting = true;
    const auto start = std::chrono::steady_clock::now();
    run.succeeded = engine.runBuild();
    const auto end = std::chrono::steady_clock::now();
    gCounting = false;
    run.seconds = std::chrono::duration<double>(end - start).count();
    run.allocations = gAllocations;
    run.allocatedBytes = gAllocatedBytes;
    run.recorded = platform.stats;
    run.writes = platform.writes;
    run.flushes = platform.flushes;
    run.switches = platform.redirectionSwitches;
    run.modules = platform.moduleLookups;
    run.nativeInfo = platform.nativeInfoQueries;
    run.expansions = platform.expansionCalls;
    run.bytes = platform.documentBytes;
    run.hash = platform.documentHash;
    return run;
}

// The yardstick: list every directory, build every entry's path, nothing else.
double bareRun(const Tree& tree, std::uint64_t& listed) {
    BenchPlatform platform(tree);
    const auto start = std::chrono::steady_clock::now();
    std::deque<std::u16string> queue{u"C:"};
    listed = 0;
    while (!queue.empty()) {
        const std::u16string directory = std::move(queue.front());
        queue.pop_front();
        FindData found;
        const SearchHandle search = platform.findFirstFile(directory + u"\\*", found);
        if (search == 0) continue;
        do {
            ++listed;
            const std::u16string path = directory + u"\\" + found.fileName;
            if ((found.attributes & kFileAttributeDirectory) && found.fileName != u"." && found.fileName != u"..") {
                queue.push_back(path);
            }
        } while (platform.findNextFile(search, found));
        platform.findClose(search);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

template <typename T>
T median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The pool's scaling where every call waits: what a slow disk or a share
// looks like to the walk, on any host.
int latencyScaling(std::chrono::microseconds latency, int repeat) {
    testing::MemoryPlatform machine;
    scriptMachine(machine, System::Wow64);
    for (int folder = 0; folder < 80; ++folder) {
        const std::u16string path = u"C:\\Apps\\app" + widenAscii(std::to_string(folder));
        for (int file = 0; file < 25; ++file) {
            const std::u16string exe = path + u"\\tool" + widenAscii(std::to_string(file)) + u".exe";
            machine.addFile(exe);
            machine.signers[exe] = {0, SignerInfo{u"Maker " + widenAscii(std::to_string(folder % 9)), u"Bench CA",
                                                  widenAscii(std::to_string(folder * 25 + file))}};
        }
    }
    machine.listingLatency = machine.identityLatency = latency;
    BaselineConfig config;
    config.discoveryMode = "custom";
    config.customDiscoveryPaths = {u"C:\\Apps"};
    std::printf("pool of workers: 80 folders, 2,000 signed executables, %lld us a listing or identity call\n",
                static_cast<long long>(latency.count()));
    std::string first;
    double single = 0;
    for (const int workers : {1, 2, 4, 8, 16}) {
        std::vector<double> seconds;
        for (int i = 0; i < repeat; ++i) {
            testing::MemoryPlatform platform = machine;
            platform.environment[u"BASELINE_THREADS"] = widenAscii(std::to_string(workers));
            DiscoveryEngine engine(platform, u"Bench", u"Pool scaling", config);
            const auto start = std::chrono::steady_clock::now();
            const bool ok = engine.runBuild();
            seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            const std::string& document = platform.files[engine.outputPath];
            if (first.empty()) first = document;
            if (!ok || document != first) {
                std::fprintf(stderr, "%d workers: %s\n", workers, ok ? "another document" : "the build run failed");
                return 1;
            }
        }
        const double time = median(seconds);
        if (workers == 1) single = time;
        std::printf("  %2d workers  %8.1f ms  %5.2f times as fast as one\n", workers, time * 1e3, single / time);
    }
    return 0;
}

}  // namespace
}  // namespace baseline

int main(int argc, char** argv) {
    using namespace baseline;
    std::uint64_t entries = 1000000;
    System system = System::Wow64;
    int repeat = 3;
    long long latency = -1;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--latency") latency = std::atoll(value.c_str());
        else if (option == "--entries") entries = std::strtoull(value.c_str(), nullptr, 10);
        else if (option == "--repeat") repeat = std::max(1, std::atoi(value.c_str()));
        else if (option == "--system" && value == "32") system = System::Bits32;
        else if (option == "--system" && value == "64") system = System::Bits64;
        else if (option == "--system" && value == "wow64") system = System::Wow64;
        else if (option == "--signers") {
            std::FILE* file = std::fopen(value.c_str(), "r");
            char line[4096];
            while (file != nullptr && std::fgets(line, sizeof line, file) != nullptr) {
                std::u16string name;
                for (std::size_t at = 0; line[at] && line[at + 1] && line[at] != '\n' && line[at + 2] && line[at + 3];
                     at += 4) {
                    const auto byte = [&](std::size_t i) { return static_cast<char16_t>(std::stoul(std::string(line + i, 2), nullptr, 16)); };
                    name.push_back(static_cast<char16_t>(byte(at) | (byte(at + 2) << 8)));
                }
                if (!name.empty()) gSigners.push_back(name);
            }
            if (file == nullptr || gSigners.empty()) {
                std::fprintf(stderr, "walk_cost_bench: %s names no signers\n", value.c_str());
                return 2;
            }
            std::fclose(file);
        } else {
            std::fprintf(stderr, "usage: walk_cost_bench [--entries N] [--system wow64|32|64] [--repeat N]\n");
            return 2;
        }
    }
    if (latency >= 0) return latencyScaling(std::chrono::microseconds(latency), repeat);
    const char* systemName = system == System::Wow64  ? "the 32-bit program on 64-bit Windows"
                             : system == System::Bits32 ? "32-bit Windows"
                                                        : "the 64-bit program on 64-bit Windows";
    const Tree tree = Generator(entries).make();
    std::printf("machine: %s; %llu listed entries (%llu directories, %llu files of which %llu .exe)\n", systemName,
                static_cast<unsigned long long>(tree.listed), static_cast<unsigned long long>(tree.directories),
                static_cast<unsigned long long>(tree.files), static_cast<unsigned long long>(tree.executables));

    std::vector<double> bare;
    std::vector<Run> runs;
    std::uint64_t listed = 0;
    for (int i = 0; i < repeat; ++i) {
        bare.push_back(bareRun(tree, listed));
        runs.push_back(creatorRun(tree, system));
        if (!runs.back().succeeded) {
            std::fprintf(stderr, "the build run failed\n");
            return 1;
        }
        if (runs.back().hash != runs.front().hash) {
            std::fprintf(stderr, "two runs wrote different documents\n");
            return 1;
        }
    }
    std::vector<double> seconds;
    for (const auto& run : runs) seconds.push_back(run.seconds);
    const double bareSeconds = median(bare);
    const double creatorSeconds = median(seconds);
    const Run& run = runs.front();
    const double recorded = static_cast<double>(run.recorded);
    const double perListed = 1e9 / static_cast<double>(listed);
    std::printf("median of %d runs, -O2, no sanitizers:\n", repeat);
    std::printf("  bare listing              %8.1f ms  %7.1f ns per listed entry\n", bareSeconds * 1e3,
                bareSeconds * perListed);
    std::printf("  build run                 %8.1f ms  %7.1f ns per listed entry, %7.0f ns per recorded entry\n",
                creatorSeconds * 1e3, creatorSeconds * perListed, creatorSeconds * 1e9 / recorded);
    std::printf("  ours beyond the listing   %8.1f ms  %7.1f ns per listed entry\n", (creatorSeconds - bareSeconds) * 1e3,
                (creatorSeconds - bareSeconds) * perListed);
    std::printf("  recorded entries          %llu\n", static_cast<unsigned long long>(run.recorded));
    std::printf("  allocations               %.2f per recorded entry (%.0f bytes)\n", run.allocations / recorded,
                run.allocatedBytes / recorded);
    std::printf("  per recorded entry        %.2f fwrite, %.2f fflush, %.2f last-write time, %.2f redirection off\n",
                run.writes / recorded, run.flushes / recorded, 1.0, run.switches / recorded);
    std::printf("  machine facts asked       %llu module lookups, %llu native system queries, %llu expansions\n",
                static_cast<unsigned long long>(run.modules), static_cast<unsigned long long>(run.nativeInfo),
                static_cast<unsigned long long>(run.expansions));
    if (!gSigners.empty()) {
        std::printf("signers: %zu names, %llu signed executables, build run %.3f s\n", gSigners.size(),
                    static_cast<unsigned long long>(tree.executables), creatorSeconds);
    }
    std::printf("  document                  %llu bytes, FNV-1a %016llx\n", static_cast<unsigned long long>(run.bytes),
                static_cast<unsigned long long>(run.hash));
    return 0;
}
