// What the walk tells whoever shows its progress: the counters reached and the
// directory being listed, before each entry. Discovery never prints; the
// console front end decides whether and how often to show it.
#pragma once

#include <string>

#include "document/document_records.h"

namespace baseline {

class WalkProgress {
public:
    virtual ~WalkProgress() = default;
    // Called before every entry of every listing and before every root, so
    // it must be cheap when it shows nothing.
    virtual void walking(const DiscoveryCounters& counters, const std::u16string& directory) = 0;
};

}  // namespace baseline
