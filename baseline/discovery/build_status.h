// Status codes a build run keeps for diagnosis. They are never printed: the
// console only says that discovery and creation failed.
#pragma once

#include <cstdint>

namespace baseline {

constexpr std::int32_t kStatusOutputNameTaken = 14001;      // the document's name exists
constexpr std::int32_t kStatusNoInventory = 14002;          // header asked for without a record
constexpr std::int32_t kStatusWriteFailed = 14003;          // stream or any other failure
constexpr std::int32_t kStatusJsonFailed = 14004;           // the JSON library raised an error
constexpr std::int32_t kStatusHostInventoryFailed = 14006;
constexpr std::int32_t kStatusUnknownDiscoveryMode = 14012;

}  // namespace baseline
