// The progress line shown on the console while the walk runs: what was found
// so far and the directory being listed, rewritten in place at most four
// times a second and removed before anything else is printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "discovery/walk_progress.h"

namespace baseline {

class Platform;

// The shortest time between two drawings of the line.
constexpr std::uint64_t kProgressIntervalMilliseconds = 250;

// `text` cut to at most `width` UTF-16 units by replacing its middle with
// "...", keeping as much of both ends as fits (the drive and the directory's
// own name are what the operator reads). A surrogate pair is never split.
std::u16string shortenMiddle(const std::u16string& text, std::size_t width);

// The line for the counters and directory, at most `width` units long.
std::u16string progressText(const DiscoveryCounters& counters, const std::u16string& directory,
                            std::size_t width);

class ProgressLine final : public WalkProgress {
public:
    // Use only when standard output is a console: the line is made of
    // carriage returns that a file would keep.
    explicit ProgressLine(Platform& platform) : platform_(platform) {}

    // Redraws the line when the last drawing is at least the interval old;
    // otherwise costs one clock reading.
    void walking(const DiscoveryCounters& counters, const std::u16string& directory) override;
    // Blanks the line and puts the cursor back at its start, so that what
    // follows is printed where it would have been without the line.
    void clear();

private:
    Platform& platform_;
    bool drawn_ = false;
    std::uint64_t lastDrawn_ = 0;
    std::size_t shown_ = 0;  // units on the line now
};

}  // namespace baseline
