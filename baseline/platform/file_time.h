// FILETIME (100-nanosecond units since 1601 UTC) as seconds since 1970 UTC,
// the one rule for the clock and for files' times alike.
#pragma once

#include <cstdint>

namespace baseline {

// FILETIME of 1970-01-01 00:00 UTC.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

// Signed, so that a time before 1970 is a negative number rather than a
// wrapped one; the whole second the time falls in, so that half a second
// before 1970 is -1 and not the epoch itself.
constexpr std::int64_t fileTimeToUnixSeconds(std::uint64_t fileTime) {
    const std::int64_t ticks = static_cast<std::int64_t>(fileTime) - static_cast<std::int64_t>(kUnixEpochAsFileTime);
    return ticks >= 0 ? ticks / 10000000 : -((-ticks + 9999999) / 10000000);
}

}  // namespace baseline
