// The run driver: one call collects the operator's answers, loads the
// configuration and runs the build, reporting any failure with one status line.
#pragma once

#include <string>

namespace baseline {

class DiscoveryEngine;
class Platform;
struct BaselineConfig;
struct DiscoveryCounters;

// True when the allowlist was written and the summary printed.
bool runDriver(Platform& platform);

// Appends each built-in publisher name that the configuration's allowed
// publishers do not already hold, spelled exactly, in the table's order.
void addBuiltInPublishers(BaselineConfig& config);

// The twelve lines of the result summary, the document's path among them.
void printSummary(Platform& platform, const DiscoveryCounters& counters, const std::u16string& outputPath);

// When the walk could not list some directories: their count, the first of
// them with the system's reason, and how many more; nothing when it listed
// them all. A blank line follows when `thenBlankLine`, as after the summary.
void printUnlisted(Platform& platform, const DiscoveryEngine& engine, bool thenBlankLine);

// The one line after a build run that Ctrl+C, Ctrl+Break or a close of the
// console stopped: it names the document, which is finished as failed.
void printInterrupted(Platform& platform, const std::u16string& outputPath);

}  // namespace baseline
