// Status codes of the document writer and of naming the document, kept for
// diagnosis. They are never printed: the console only says that discovery and
// creation failed.
#pragma once

#include <cstdint>

namespace baseline {

constexpr std::int32_t kStatusOutputNameTaken = 14001;  // the document's name exists
constexpr std::int32_t kStatusNoInventory = 14002;      // header asked for without a record
constexpr std::int32_t kStatusWriteFailed = 14003;      // stream or any other failure
constexpr std::int32_t kStatusJsonFailed = 14004;       // the JSON library raised an error

}  // namespace baseline
