// The state of one build run, from its creation by the run driver to the
// printed summary: title, description, status code, output path, counters,
// the publisher and directory collections, and the run's copy of the
// configuration. Steps that other subsystems own (naming the document,
// identifying the host) are their operations; the engine calls them.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "config/baseline_config.h"
#include "discovery/discovery_paths.h"
#include "document/document_records.h"
#include "discovery/walk_entry.h"
#include "discovery/walk_progress.h"
#include "platform/failure_cause.h"
#include "platform/native_paths.h"

namespace baseline {

class AllowlistWriter;
class ExecutableFileRecord;
struct FileFacts;
class Platform;
struct HostInventory;

// Every allowed directory of a run, configured or found under a first-level
// parent, is a type 1, allowed, default entry.
AllowedDirectoryEntry allowedDirectory(std::u16string dirPath, bool isMutable, bool strictPublisher);

class DiscoveryEngine {
public:
    // Copies all three; every counter, collection and text starts empty.
    DiscoveryEngine(Platform& platform, std::u16string title, std::u16string description,
                    BaselineConfig config);
    // Its path lookups hold a reference into its own configuration.
    DiscoveryEngine(const DiscoveryEngine&) = delete;
    DiscoveryEngine& operator=(const DiscoveryEngine&) = delete;

    // Sets `starttime` or `endtime` of the counters to the current time text.
    void recordStartTime();
    void recordEndTime();

    // Fills `inventory` for the document header. False with status 14006
    // when the system cannot be identified.
    bool fillHostInventory(HostInventory& inventory);

    // Sets the output path next to the program. False with status 14001 when
    // a file or directory of that name exists.
    bool buildOutputPath();

    // The whole build run: names and opens the document, writes the header,
    // lists the configured allowed directories, walks, settles the publishers,
    // writes the sections and closes the document, as failed on any error once
    // it is open (discovery/build_run.cpp). True when the document is complete.
    bool runBuild();

    // The breadth-first walk over the roots (discovery/directory_walk.cpp).
    // Needs the open document writer of the build run.
    bool walkDirectories();
    // Records one root, directory or file and writes it into the document.
    bool recordDiscoveredItem(const WalkEntry& entry);

    std::u16string title;
    std::u16string description;
    std::int32_t statusCode = 0;  // cause of the last failure; 0 after a successful run
    // The same failure in words, for the console's cause line.
    FailureCause cause;
    std::u16string outputPath;
    // The document was closed whole, with its "misc" and summary, whether the
    // run succeeded or was finished as failed.
    bool documentFinished = false;
    DiscoveryCounters counters;
    PublisherTable publisherTable;
    std::set<std::u16string> knownPublishers;  // ASCII letters lowered
    std::vector<AllowedDirectoryEntry> allowedDirectories;
    BaselineConfig config;
    // Directories the walk could not list, or not to the end: the run goes on
    // without them, and the operator is told. The first few are kept whole,
    // the rest only counted, so a machine of unreadable folders costs nothing.
    struct UnlistedDirectory {
        std::u16string path;
        std::uint32_t error = 0;
    };
    static constexpr std::size_t kUnlistedKept = 20;
    std::vector<UnlistedDirectory> unlistedDirectories;  // the first kUnlistedKept
    std::uint64_t unlistedCount = 0;
    // Told of the walk's progress when set; the engine does not own it.
    WalkProgress* progress = nullptr;

private:
    struct Walk;
    bool listDirectory(Walk& walk, const WalkEntry& directory);
    bool listReadAhead(Walk& walk, const WalkEntry& directory);
    bool listingNotOpened(const WalkEntry& directory, const FailureCause* redirection, std::uint32_t error);
    void listingEnded(const WalkEntry& directory, std::uint32_t ended);
    bool takeEntry(Walk& walk, const WalkEntry& directory, const FindData& found, std::size_t index);
    // With `facts` read ahead, the record takes them instead of reading.
    bool recordDiscoveredItem(const WalkEntry& entry, const FileFacts* facts);
    bool keepWalking(const std::u16string& directory);
    // Whether the operator interrupted the run; if so, the walk's failure is set.
    bool interrupted(const std::u16string& directory);
    void noteUnlisted(const std::u16string& path, std::uint32_t error);
    bool isImmutable(const WalkEntry& parent, const WalkEntry& child);
    std::int32_t classifyAllowed(const WalkEntry& parent, const WalkEntry& child);
    void collectPublisher(ExecutableFileRecord& record, bool itemMutable);
    bool buildDocument(AllowlistWriter& writer);
    bool listConfiguredDirectories();
    void settleAllowedPublishers();

    Platform& platform_;
    // What the walk and the configured directories read of a path, the
    // system's own facts in either program.
    NativePaths native_;
    DiscoveryPaths paths_;
    AllowlistWriter* writer_ = nullptr;  // the build run's, while it runs
    // Certificate serial numbers already collected, across all publishers.
    std::set<std::u16string> processedSerials_;
};

}  // namespace baseline
