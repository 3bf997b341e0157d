// The run driver around the configuration: the 14013 line when it does not
// load, the built-in publishers when it does, and the interim 14011 end.
#include <gtest/gtest.h>

#include "config/baseline_config.h"
#include "config_fixtures.h"
#include "console/dialogue.h"
#include "console/entry_point.h"
#include "console/run_driver.h"
#include "discovery/builtin_publishers.h"

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

TEST(RunDriver, AConfigurationThatDoesNotLoadEndsWith14013) {
    const std::u16string expected = kAfterDialogue + u"ERROR: Failed to read baseline configuration.\r\n";
    for (const std::string json : {"[]", "{\"AllowAppIfPublisherAllowed\": \"yes\"}", "not JSON"}) {
        EXPECT_EQ(runWith(&json), expected) << json;
    }
    EXPECT_EQ(runWith(nullptr), expected);
}

TEST(RunDriver, ALoadedConfigurationGoesOnToTheBuildRunWhichDoesNotExistYet) {
    const std::string json = "{}";
    EXPECT_EQ(runWith(&json), kAfterDialogue + u"ERROR: Failed to discover and create allowlist file.\r\n");
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
