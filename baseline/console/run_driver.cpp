// Run driver: the dialogue, the configuration, the built-in publishers, the
// build run, and the result summary printed from the engine's counters.
#include "console/run_driver.h"

#include <algorithm>
#include <optional>
#include <string>

#include "config/baseline_config.h"
#include "console/console_status.h"
#include "console/dialogue.h"
#include "console/progress_line.h"
#include "discovery/build_status.h"
#include "discovery/built_in_publishers.h"
#include "discovery/discovery_engine.h"
#include "document/document_records.h"
#include "platform/failure_cause.h"
#include "platform/utf.h"
#include "platform/visible_text.h"
#include "platform/platform.h"

namespace baseline {

void addBuiltInPublishers(BaselineConfig& config) {
    auto& publishers = config.allowedPublishers;
    for (const std::u16string_view name : kBuiltInPublisherNames) {
        if (std::find(publishers.begin(), publishers.end(), name) == publishers.end()) {
            publishers.emplace_back(name);
        }
    }
}

void printSummary(Platform& platform, const DiscoveryCounters& counters, const std::u16string& outputPath) {
    const auto number = [](auto value) { return widenAscii(std::to_string(value)); };
    // The time texts are ASCII, written byte by byte.
    platform.writeOutput(u"Allowlist result summary: \r\n"
                         u"\tStart time: " + widenAscii(counters.starttime) + u"\r\n"
                         u"\tFinished time: " + widenAscii(counters.endtime) + u"\r\n"
                         u"\tDiscovered total directories: " + number(counters.dircnt) + u"\r\n"
                         u"\tDiscovered total files: " + number(counters.filecnt) + u"\r\n"
                         u"\tDiscovered total supported files: " + number(counters.supportedfilecnt) + u"\r\n"
                         u"\tAllowed total directories: " + number(counters.alloweddircnt) + u"\r\n"
                         u"\tAllowed total files: " + number(counters.allowedfilecnt) + u"\r\n"
                         u"\tAllowed total publishers: " + number(counters.allowedpubcnt) + u"\r\n"
                         u"\r\n"
                         u"Allowlist file has been created successfully at location " + outputPath + u"\r\n"
                         u"\r\n");
}

void printUnlisted(Platform& platform, const DiscoveryEngine& engine, bool thenBlankLine) {
    if (engine.unlistedCount == 0) return;
    const auto number = [](auto value) { return widenAscii(std::to_string(value)); };
    std::u16string text = u"Directories that could not be listed: " + number(engine.unlistedCount) + u"\r\n";
    for (const auto& directory : engine.unlistedDirectories) {
        const std::u16string reason = platform.formatMessage(directory.error);
        // A path found on the machine may hold anything: shown, never obeyed.
        text += u"\t" + visibleText(directory.path) + u": " + (reason.empty() ? u"" : reason + u" ") +
                u"(Windows error " + number(directory.error) + u")\r\n";
    }
    if (engine.unlistedCount > engine.unlistedDirectories.size()) {
        text += u"\t... and " + number(engine.unlistedCount - engine.unlistedDirectories.size()) + u" more\r\n";
    }
    if (thenBlankLine) text += u"\r\n";
    platform.writeOutput(text);
}

void printInterrupted(Platform& platform, const std::u16string& outputPath) {
    platform.writeOutput(u"ERROR: Allowlist creation was interrupted; the allowlist file marked as failed is at location " +
                         outputPath + u"\r\n");
}

bool runDriver(Platform& platform) {
    std::u16string title;
    std::u16string description;
    BaselineConfig config;
    if (const ConsoleStatus failed = acceptTitleAndDescription(platform, title, description)) {
        printStatus(platform, failed);
        return false;
    }
    platform.writeOutput(u"Please wait while the allowlist is being created...\r\n\r\n");
    FailureCause cause;
    if (!config.loadBaselineConfig(platform, &cause)) {
        printStatus(platform, status::kConfigNotRead);
        printCause(platform, cause);
        return false;
    }
    addBuiltInPublishers(config);
    DiscoveryEngine engine(platform, title, description, config);
    // The progress line is for a console only: redirected output stays as it is.
    std::optional<ProgressLine> progress;
    if (ConsoleScreenInfo screen; platform.getConsoleScreenBufferInfo(screen)) {
        engine.progress = &progress.emplace(platform);
    }
    const bool built = engine.runBuild();
    if (progress) progress->clear();
    // The interrupted line points at a failed but whole document; one cut
    // short on its way out is no allowlist of any kind.
    if (!built && engine.statusCode == kStatusInterrupted && engine.documentFinished) {
        printInterrupted(platform, engine.outputPath);
        printCause(platform, engine.cause);
        printUnlisted(platform, engine, false);
        return false;
    }
    if (!built) {
        printStatus(platform, status::kBuildFailed);
        printCause(platform, engine.cause);
        printUnlisted(platform, engine, false);
        return false;
    }
    // The document is complete: an interruption while the summary prints
    // must not tell a script that the run failed.
    platform.endOnConsoleCtrl(0);
    printSummary(platform, engine.counters, engine.outputPath);
    printUnlisted(platform, engine, true);
    return true;
}

}  // namespace baseline
