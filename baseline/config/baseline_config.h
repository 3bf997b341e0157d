// The baseline configuration a run works from. Provisional: only the record,
// so that the discovery engine can hold its copy; the configuration subsystem
// brings the loader and replaces this header.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace baseline {

struct BaselineConfig {
    std::string discoveryMode;
    std::vector<std::u16string> customDiscoveryPaths;
    std::set<std::u16string> excludedPaths;
    std::vector<std::u16string> allowedPublishers;
    std::vector<std::u16string> allowedDirectories;
    std::set<std::u16string> allowedFirstLevelSubdirectories;
    std::vector<std::u16string> immutableDirectories;
    std::vector<std::u16string> nonStrictPublisherDirectories;
    bool globalAllowAppIfPublisherAllowed = false;
    bool immutableForSystemDirectory = true;
    bool defaultMutable = true;
};

}  // namespace baseline
