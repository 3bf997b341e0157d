// The run's start and end times as text: the C runtime's ctime form in local
// time, without its line feed, for example "Tue Dec  8 03:30:21 2026".
#pragma once

#include <cstdint>
#include <string>

namespace baseline {

class Platform;

// FILETIME of 1970-01-01 00:00 UTC.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;
constexpr std::size_t kTimeTextBufferSize = 30;

// The current time as text; empty when the C runtime cannot convert it.
std::string timeText(Platform& platform);

}  // namespace baseline
