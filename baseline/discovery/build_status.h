// Status codes of the build run itself, kept for diagnosis and never printed.
// The run also keeps the codes of the steps it calls: the document's
// (document/document_status.h), the host inventory's and the file records'.
#pragma once

#include <cstdint>

namespace baseline {

constexpr std::int32_t kStatusUnknownDiscoveryMode = 14012;
// Ctrl+C, Ctrl+Break or a close of the console stopped the walk.
constexpr std::int32_t kStatusInterrupted = 14021;

}  // namespace baseline
