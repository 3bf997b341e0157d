// Run driver. The build run does not exist yet: a run whose configuration
// loads ends, for now, as a failed build run would (status 14011), since no
// allowlist can be created.
#include "console/run_driver.h"

#include <algorithm>
#include <string>

#include "config/baseline_config.h"
#include "console/console_status.h"
#include "console/dialogue.h"
#include "discovery/builtin_publishers.h"
#include "platform/platform.h"

namespace baseline {

void addBuiltInPublishers(BaselineConfig& config) {
    auto& publishers = config.allowedPublishers;
    for (const std::u16string_view name : kBuiltInPublisherNames) {
        if (std::find(publishers.begin(), publishers.end(), name) == publishers.end()) {
            publishers.emplace_back(name);
        }
    }
}

bool runDriver(Platform& platform) {
    std::u16string title;
    std::u16string description;
    BaselineConfig config;
    if (const ConsoleStatus failed = acceptTitleAndDescription(platform, title, description)) {
        printStatus(platform, failed);
        return false;
    }
    platform.writeOutput(u"Please wait while the allowlist is being created...\r\n\r\n");
    if (!config.loadBaselineConfig(platform)) {
        printStatus(platform, status::kConfigNotRead);
        return false;
    }
    addBuiltInPublishers(config);
    // Until the build run exists, no allowlist file can be created.
    printStatus(platform, status::kBuildFailed);
    return false;
}

}  // namespace baseline
