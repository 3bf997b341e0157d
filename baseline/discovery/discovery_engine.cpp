// Creation of the discovery engine, the recording of its time texts, and the
// steps it hands to the document and host identification with its own state.
#include "discovery/discovery_engine.h"

#include <utility>

#include "discovery/time_text.h"
#include "document/output_path.h"
#include "hostinfo/host_inventory.h"

namespace baseline {

AllowedDirectoryEntry allowedDirectory(std::u16string dirPath, bool isMutable, bool strictPublisher) {
    AllowedDirectoryEntry entry;
    entry.type = 1;
    entry.allowState = 1;
    entry.isDefault = true;
    entry.isMutable = isMutable;
    entry.strictPublisher = strictPublisher;
    entry.dirPath = std::move(dirPath);
    return entry;
}

DiscoveryEngine::DiscoveryEngine(Platform& platform, std::u16string title,
                                 std::u16string description, BaselineConfig config)
    : title(std::move(title)),
      description(std::move(description)),
      config(std::move(config)),
      platform_(platform),
      native_(platform),
      paths_(platform, this->config) {}

void DiscoveryEngine::recordStartTime() { counters.starttime = timeText(platform_); }

void DiscoveryEngine::recordEndTime() { counters.endtime = timeText(platform_); }

bool DiscoveryEngine::fillHostInventory(HostInventory& inventory) {
    if (baseline::fillHostInventory(platform_, title, description, inventory, statusCode)) return true;
    cause.text = u"the operating system could not be identified for the document's header";
    return false;
}

bool DiscoveryEngine::buildOutputPath() {
    return baseline::buildOutputPath(platform_, title, outputPath, statusCode, cause);
}

}  // namespace baseline
