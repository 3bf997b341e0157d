// The run's start and end times as text: the C runtime's ctime form in local
// time, without its line feed, for example "Tue Dec  8 03:30:21 2026".
#pragma once

#include <cstdint>
#include <string>

namespace baseline {

class Platform;

constexpr std::size_t kTimeTextBufferSize = 30;

// The current time as text; empty when the C runtime cannot convert it. The
// day of the month is right-aligned in two places, with a blank before 1 to 9.
std::string timeText(Platform& platform);

}  // namespace baseline
