// Status codes of the build run itself, kept for diagnosis and never printed.
// The run also keeps the codes of the steps it calls: the document's
// (document/document_status.h), the host inventory's and the file records'.
#pragma once

#include <cstdint>

namespace baseline {

constexpr std::int32_t kStatusUnknownDiscoveryMode = 14012;

}  // namespace baseline
