// Streams the allowlist document section by section while the build run
// proceeds: header, one entry per discovered item, publishers, allowed
// directories, misc, summary. Each object block is rendered on its own; the
// punctuation between sections is written here, and the stream is flushed at
// the points where an interrupted run must find its work on disk.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "document/document_records.h"
#include "platform/failure_cause.h"
#include "platform/platform.h"

namespace Json {
class Value;
}

namespace baseline {

class ExecutableFileRecord;
struct HostInventory;

class AllowlistWriter {
public:
    explicit AllowlistWriter(Platform& platform);
    AllowlistWriter(const AllowlistWriter&) = delete;
    AllowlistWriter& operator=(const AllowlistWriter&) = delete;
    // A document never closed is still released, without its final brace.
    ~AllowlistWriter();

    // Creates the document; it must not exist yet. False when it cannot be
    // created, with status 14001 when the name is taken (nothing is written and
    // the existing file is left alone); any other failure leaves status alone.
    bool open(const std::u16string& path);
    // False with 14002 and nothing written when `inventory` is null.
    bool writeHeader(const HostInventory* inventory);
    bool writeFileEntry(ExecutableFileRecord& record);
    bool writePublishers(const PublisherTable& publishers);
    bool writeDirectories(const std::vector<AllowedDirectoryEntry>& directories);
    bool writeMisc(bool globalAllowAppIfPublisherAllowed);
    bool writeDiscoverySummary(const DiscoveryCounters& counters);
    // The final brace, then the file is closed. False when either fails;
    // status is left alone.
    bool close();

    bool isOpen() const { return out_ != 0; }

    bool entryWritten = false;
    std::int32_t status = 0;
    // Why the last failed operation failed: the document's path and the
    // system's reason.
    FailureCause cause;

private:
    template <typename Body>
    bool guarded(Body&& body);
    // One block of the other sections, by the run's one stream writer.
    std::string render(const Json::Value& block);
    // Writes bytes to the document; throws when the stream does not take them.
    void emit(const std::string& bytes);
    void flush();

    // The stream writer and the file entry blocks, made once for the run.
    struct Blocks;
    Platform& platform_;
    std::unique_ptr<Blocks> blocks_;
    FileStream out_ = 0;
    std::u16string path_;
    bool filesOpen_ = false;  // the header opened the files array and nothing closed it
};

}  // namespace baseline
