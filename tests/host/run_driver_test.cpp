// The run driver: the 14013 line when the configuration does not load, the
// built-in publishers when it does, the summary after a build run, and the
// 14011 line when the build run fails.
#include <gtest/gtest.h>

#include <algorithm>

#include "config/baseline_config.h"
#include "config_fixtures.h"
#include "console/dialogue.h"
#include "console/entry_point.h"
#include "console/run_driver.h"
#include "discovery/built_in_publishers.h"
#include "document/document_records.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

const std::u16string kAfterDialogue = u"Please provide allowlist title: Please provide allowlist description: \r\n"
                                      u"Please wait while the allowlist is being created...\r\n\r\n";

std::u16string runWith(const std::string* json) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    if (json) testing::placeConfig(platform, *json);
    platform.typeLine("Title");
    platform.typeLine("Description");
    EXPECT_EQ(runEntryPoint(platform), 1);
    EXPECT_EQ(platform.keyWaits, 1);
    return platform.output.substr(bannerText().size());
}

TEST(RunDriver, AConfigurationThatDoesNotLoadEndsWith14013AndItsCause) {
    const std::u16string expected = kAfterDialogue + u"ERROR: Failed to read baseline configuration.\r\nCause: ";
    for (const std::string json : {"[]", "{\"AllowAppIfPublisherAllowed\": \"yes\"}", "not JSON"}) {
        const std::u16string output = runWith(&json);
        EXPECT_EQ(output.substr(0, expected.size()), expected) << json;
        EXPECT_EQ(std::count(output.begin(), output.end(), u'\n'), 5) << "one cause line";
    }
    EXPECT_EQ(runWith(nullptr).substr(0, expected.size()), expected);
}

// C: with one signed application under Program Files.
void scriptInstalledApplication(MemoryPlatform& platform) {
    platform.addFile(u"C:\\Program Files\\App\\app.exe");
    platform.signers[u"C:\\Program Files\\App\\app.exe"] = {0, SignerInfo{u"App Maker", u"App CA", u"0102"}};
}

TEST(RunDriver, ASuccessfulRunPrintsTheSummaryAndTheDocumentsPath) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    testing::placeConfig(platform, "{}");
    scriptInstalledApplication(platform);
    platform.typeLine("Title");
    platform.typeLine("Description");
    bool zeroBeforeSummary = false;
    platform.outputHook = [&](const std::u16string& written) {
        if (written.find(u"Allowlist result summary") != std::u16string::npos) {
            zeroBeforeSummary = platform.called("endOnConsoleCtrl:0");
        }
    };
    EXPECT_EQ(runEntryPoint(platform), 0);
    // C:, Program Files, its "." and "..", App, its "." and "..": 7 directories;
    // the five default allowed directories and App; App Maker and the five built-in names.
    const std::u16string expected =
        kAfterDialogue +
        u"Allowlist result summary: \r\n"
        u"\tStart time: Mon Dec  8 09:33:45 2025\r\n"
        u"\tFinished time: Mon Dec  8 09:33:45 2025\r\n"
        u"\tDiscovered total directories: 7\r\n"
        u"\tDiscovered total files: 1\r\n"
        u"\tDiscovered total supported files: 1\r\n"
        u"\tAllowed total directories: 6\r\n"
        u"\tAllowed total files: 1\r\n"
        u"\tAllowed total publishers: 6\r\n"
        u"\r\n"
        u"Allowlist file has been created successfully at location "
        u"C:\\Deploy\\Title_allowlist_08122025_0933.json\r\n"
        u"\r\n"
        u"Press any key to Exit..\r\n";
    EXPECT_EQ(platform.output.substr(bannerText().size()), expected);
    EXPECT_EQ(platform.keyWaits, 1);
    EXPECT_TRUE(platform.files.count(u"C:\\Deploy\\Title_allowlist_08122025_0933.json"));
    // Ctrl+C at the final key wait is that key: the success stays 0.
    const auto wait = std::find(platform.calls.begin(), platform.calls.end(), "waitForKeyPress");
    ASSERT_NE(wait, platform.calls.begin());
    EXPECT_EQ(*(wait - 1), "endOnConsoleCtrl:0");
    EXPECT_TRUE(zeroBeforeSummary) << "an interruption during the summary would say the run failed";
}

TEST(RunDriver, EachSummaryLineShowsItsOwnCounter) {
    // Every counter a value of its own, so that two swapped lines show.
    DiscoveryCounters counters;
    counters.starttime = "Mon Dec  8 09:33:45 2025";
    counters.endtime = "Mon Dec  8 10:02:07 2025";
    counters.dircnt = 101;
    counters.filecnt = 202;
    counters.supportedfilecnt = 303;
    counters.alloweddircnt = 404;
    counters.allowedfilecnt = 505;
    counters.allowedpubcnt = 606;
    MemoryPlatform platform;
    printSummary(platform, counters, u"D:\\Out\\T_allowlist_08122025_1002.json");
    EXPECT_EQ(platform.output,
              u"Allowlist result summary: \r\n"
              u"\tStart time: Mon Dec  8 09:33:45 2025\r\n"
              u"\tFinished time: Mon Dec  8 10:02:07 2025\r\n"
              u"\tDiscovered total directories: 101\r\n"
              u"\tDiscovered total files: 202\r\n"
              u"\tDiscovered total supported files: 303\r\n"
              u"\tAllowed total directories: 404\r\n"
              u"\tAllowed total files: 505\r\n"
              u"\tAllowed total publishers: 606\r\n"
              u"\r\n"
              u"Allowlist file has been created successfully at location D:\\Out\\T_allowlist_08122025_1002.json\r\n"
              u"\r\n");
}

TEST(RunDriver, AFailedBuildRunPrints14011AndNoSummary) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    testing::placeConfig(platform, "{\"paths_to_discover\": \"everything\"}");
    platform.typeLine("Title");
    platform.typeLine("Description");
    EXPECT_EQ(runEntryPoint(platform), 1);
    EXPECT_EQ(platform.output.substr(bannerText().size()),
              kAfterDialogue + u"ERROR: Failed to discover and create allowlist file.\r\n"
                               u"Cause: \"paths_to_discover\" is \"everything\", none of \"osdrive\", \"all\" and "
                               u"\"custom\"\r\n");
}

TEST(RunDriver, ASecondRunInTheSameMinuteFindsTheNameTaken) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    testing::placeConfig(platform, "{}");
    for (int run = 0; run < 2; ++run) {
        platform.typeLine("Title");
        platform.typeLine("Description");
    }
    EXPECT_EQ(runEntryPoint(platform), 0);
    const std::string first = platform.files[u"C:\\Deploy\\Title_allowlist_08122025_0933.json"];
    platform.output.clear();
    EXPECT_EQ(runEntryPoint(platform), 1);
    EXPECT_NE(platform.output.find(u"ERROR: Failed to discover and create allowlist file.\r\n"),
              std::u16string::npos);
    EXPECT_EQ(platform.output.find(u"Allowlist result summary"), std::u16string::npos);
    EXPECT_EQ(platform.files[u"C:\\Deploy\\Title_allowlist_08122025_0933.json"], first);
}

TEST(RunDriver, TheConfigurationIsNotReadBeforeTheDialogueSucceeds) {
    MemoryPlatform platform;
    testing::placeConfig(platform, "{}");
    platform.typeLine("1Title");
    platform.typeLine("Description");
    EXPECT_EQ(runEntryPoint(platform), 1);
    EXPECT_FALSE(platform.called("_wfopen:r"));
}

std::vector<std::u16string> builtIns() {
    return std::vector<std::u16string>(std::begin(kBuiltInPublisherNames), std::end(kBuiltInPublisherNames));
}

TEST(AddBuiltInPublishers, NoPublishersEndWithTheFiveInTableOrder) {
    BaselineConfig config;
    addBuiltInPublishers(config);
    EXPECT_EQ(config.allowedPublishers, builtIns());
    EXPECT_EQ(config.allowedPublishers.front(), u"Morvane Technologies (Pvt) Ltd.");
    EXPECT_EQ(config.allowedPublishers.back(), u"Pellworth, LLC");
}

TEST(AddBuiltInPublishers, AllFiveAlreadyThereLeaveTheListUnchanged) {
    BaselineConfig config;
    config.allowedPublishers = {u"Pellworth, LLC", u"Other"};
    for (const auto name : kBuiltInPublisherNames) config.allowedPublishers.emplace_back(name);
    const auto before = config.allowedPublishers;
    addBuiltInPublishers(config);
    EXPECT_EQ(config.allowedPublishers, before);
}

TEST(AddBuiltInPublishers, MatchingIsExactSoADifferentCaseIsAppendedAgain) {
    BaselineConfig config;
    config.allowedPublishers = {u"pellworth, llc", u"Morvane Technologies Limited", u"A"};
    addBuiltInPublishers(config);
    EXPECT_EQ(config.allowedPublishers,
              (std::vector<std::u16string>{u"pellworth, llc", u"Morvane Technologies Limited", u"A",
                                           u"Morvane Technologies (Pvt) Ltd.", u"Morvane Technologies Private Limited",
                                           u"Morvane Technologies (P) Ltd.", u"Pellworth, LLC"}));
}

}  // namespace
}  // namespace baseline
