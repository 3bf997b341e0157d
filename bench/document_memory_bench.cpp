// Memory of a long document: writes 100,000 file entries through the real
// platform, each application entry reading a signed, versioned program's
// signer and version resource, and prints the process's peak working set
// after 10,000 and after 100,000 entries. Streaming must keep it flat.
//   document_memory_bench.exe FIXTURE.exe OUTPUT.json
#include <chrono>
#include <cstdio>
#include <string>

#include "document/allowlist_writer.h"
#include "fileidentity/executable_file_record.h"
#include "platform/native_paths.h"
#include "hostinfo/host_inventory.h"
#include "platform/win32/win32_platform.h"

namespace {

std::u16string widen(const char* text) {
    std::u16string wide;
    for (; *text; ++text) wide.push_back(static_cast<unsigned char>(*text));
    return wide;
}

double mebibytes(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: document_memory_bench FIXTURE.exe OUTPUT.json\n");
        return 2;
    }
    const std::u16string fixture = widen(argv[1]);
    const std::u16string output = widen(argv[2]);
    baseline::Win32Platform platform;
    baseline::AllowlistWriter writer(platform);
    if (!writer.open(output)) {
        std::fprintf(stderr, "cannot create %s (it must not exist)\n", argv[2]);
        return 1;
    }
    baseline::HostInventory inventory;
    inventory.title = u"Benchmark";
    writer.writeHeader(&inventory);

    const auto started = std::chrono::steady_clock::now();
    std::uint64_t peakAt10000 = 0;
    constexpr int kEntries = 100000;
    baseline::NativePaths native(platform);
    for (int id = 0; id < kEntries; ++id) {
        baseline::ExecutableFileRecord record(native);
        const bool directory = id % 10 == 0;
        record.setPath(fixture);
        record.setProperties(32, id, id - 1, 0, 1, true, true,
                             directory ? baseline::kKindDirectory : baseline::kKindApplication);
        if (!writer.writeFileEntry(record)) {
            std::fprintf(stderr, "entry %d failed with status %d\n", id, writer.status);
            return 1;
        }
        if (id + 1 == 10000) {
            baseline::ProcessMemoryCounters counters;
            platform.getProcessMemoryInfo(counters);
            peakAt10000 = counters.peakWorkingSetSize;
            std::printf("entries  10000: peak working set %10llu bytes (%.2f MiB)\n",
                        static_cast<unsigned long long>(peakAt10000), mebibytes(peakAt10000));
            std::fflush(stdout);
        }
    }
    baseline::ProcessMemoryCounters counters;
    platform.getProcessMemoryInfo(counters);
    const std::uint64_t peakAt100000 = counters.peakWorkingSetSize;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    writer.writePublishers({});
    writer.writeDirectories({});
    writer.writeMisc(false);
    writer.writeDiscoverySummary({});
    writer.close();

    const double growth = mebibytes(peakAt100000 - peakAt10000);
    std::printf("entries 100000: peak working set %10llu bytes (%.2f MiB)\n",
                static_cast<unsigned long long>(peakAt100000), mebibytes(peakAt100000));
    std::printf("growth from 10000 to 100000 entries: %.3f MiB (target: under 2 MiB)\n", growth);
    std::printf("time for %d entries: %.1f s\n", kEntries, seconds);
    return 0;
}
