// Creation of the discovery engine and the recording of its time texts.
#include "discovery/discovery_engine.h"

#include <utility>

#include "discovery/time_text.h"

namespace baseline {

DiscoveryEngine::DiscoveryEngine(Platform& platform, std::u16string title,
                                 std::u16string description, BaselineConfig config)
    : title(std::move(title)),
      description(std::move(description)),
      config(std::move(config)),
      platform_(platform),
      paths_(platform, this->config) {}

void DiscoveryEngine::recordStartTime() { counters.starttime = timeText(platform_); }

void DiscoveryEngine::recordEndTime() { counters.endtime = timeText(platform_); }

}  // namespace baseline
