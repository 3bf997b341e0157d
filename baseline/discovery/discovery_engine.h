// The state of one build run, from its creation by the run driver to the
// printed summary: title, description, status code, output path, counters,
// the publisher and directory collections, and the run's copy of the
// configuration. Operations of other subsystems that work on this state are
// members too; each is defined in its own subsystem's folder.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "config/baseline_config.h"
#include "discovery/discovery_records.h"

namespace baseline {

class Platform;
struct HostInventory;

class DiscoveryEngine {
public:
    // Copies all three; every counter, collection and text starts empty.
    DiscoveryEngine(Platform& platform, std::u16string title, std::u16string description,
                    BaselineConfig config);

    // Sets `starttime` or `endtime` of the counters to the current time text.
    void recordStartTime();
    void recordEndTime();

    // Fills `inventory` for the document header (hostinfo/host_inventory.cpp).
    // False with status 14006 when the system cannot be identified.
    bool fillHostInventory(HostInventory& inventory);

    // Sets the output path next to the program (document/output_path.cpp).
    // False with status 14001 when a file or directory of that name exists.
    bool buildOutputPath();

    Platform& platform() { return platform_; }

    std::u16string title;
    std::u16string description;
    std::int32_t statusCode = 0;  // cause of the last failure; 0 after a successful run
    std::u16string outputPath;
    DiscoveryCounters counters;
    PublisherTable publisherTable;
    std::set<std::u16string> knownPublishers;  // ASCII letters lowered
    std::vector<AllowedDirectoryEntry> allowedDirectories;
    BaselineConfig config;

private:
    Platform& platform_;
};

}  // namespace baseline
