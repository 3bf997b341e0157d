// The discovery engine's creation, its time texts, the publisher table's
// order and the built-in publisher names, and the normal form of paths.
#include <gtest/gtest.h>

#include "discovery/built_in_publishers.h"
#include "discovery/discovery_engine.h"
#include "platform/path_form.h"
#include "discovery/time_text.h"
#include "memory_platform.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

TEST(Engine, CopiesItsInputsAndStartsEmpty) {
    MemoryPlatform platform;
    BaselineConfig config;
    config.allowedPublishers = {u"A"};
    config.globalAllowAppIfPublisherAllowed = true;
    std::u16string title = u"Title";
    DiscoveryEngine engine(platform, title, u"Description", config);
    title = u"changed";
    config.allowedPublishers.clear();
    EXPECT_EQ(engine.title, u"Title");
    EXPECT_EQ(engine.description, u"Description");
    EXPECT_EQ(engine.config.allowedPublishers, std::vector<std::u16string>{u"A"});
    EXPECT_TRUE(engine.config.globalAllowAppIfPublisherAllowed);
    EXPECT_EQ(engine.statusCode, 0);
    EXPECT_EQ(engine.outputPath, u"");
    EXPECT_EQ(engine.counters.starttime, "");
    EXPECT_EQ(engine.counters.endtime, "");
    EXPECT_EQ(engine.counters.dircnt + engine.counters.filecnt + engine.counters.alloweddircnt +
                  engine.counters.allowedpubcnt + engine.counters.supportedfilecnt,
              0u);
    EXPECT_EQ(engine.counters.allowedfilecnt, 0);
    EXPECT_FALSE(engine.counters.status);
    EXPECT_TRUE(engine.publisherTable.empty());
    EXPECT_TRUE(engine.knownPublishers.empty());
    EXPECT_TRUE(engine.allowedDirectories.empty());
}

struct TimeCase {
    const char* proves;
    std::int64_t clock;
    std::int64_t zoneOffset;
    std::string text;
};

class TimeText : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeText, IsCtimeOfTheSystemClockWithoutItsLineFeed) {
    MemoryPlatform platform;
    platform.clockSeconds = GetParam().clock;
    platform.timeZoneOffsetSeconds = GetParam().zoneOffset;
    EXPECT_EQ(timeText(platform), GetParam().text) << GetParam().proves;
    EXPECT_TRUE(platform.called("GetSystemTimeAsFileTime"));
    EXPECT_TRUE(platform.called("_ctime64_s:30"));
}

INSTANTIATE_TEST_SUITE_P(
    Engine, TimeText,
    ::testing::Values(TimeCase{"two blanks before day 8", 1765186425, 0, "Mon Dec  8 09:33:45 2025"},
                      TimeCase{"two-digit day", 1765186425 + 2 * 86400, 0, "Wed Dec 10 09:33:45 2025"},
                      TimeCase{"local time", 1765186425, -10 * 3600, "Sun Dec  7 23:33:45 2025"},
                      TimeCase{"the epoch", 0, 0, "Thu Jan  1 00:00:00 1970"}));

TEST(Engine, StartAndEndTimesAreRecordedSeparately) {
    MemoryPlatform platform;
    DiscoveryEngine engine(platform, u"T", u"D", BaselineConfig{});
    engine.recordStartTime();
    EXPECT_EQ(engine.counters.starttime, "Mon Dec  8 09:33:45 2025");
    EXPECT_EQ(engine.counters.endtime, "");
    platform.clockSeconds += 437;
    engine.recordEndTime();
    EXPECT_EQ(engine.counters.starttime, "Mon Dec  8 09:33:45 2025");
    EXPECT_EQ(engine.counters.endtime, "Mon Dec  8 09:41:02 2025");
    platform.ctimeFails = true;
    engine.recordEndTime();
    EXPECT_EQ(engine.counters.endtime, "");
}

TEST(Publishers, TheTableKeepsInsertionOrderAndComparesNamesExactly) {
    PublisherTable table;
    table[u"Example Ltd"].allowState = 1;
    table[u"EXAMPLE LTD"].allowState = 2;
    table[u"Another"].allowState = 3;
    table[u"Example Ltd"].type = 5;
    ASSERT_EQ(table.size(), 3u);
    std::vector<std::u16string> names;
    for (const auto& [name, entry] : table) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Example Ltd", u"EXAMPLE LTD", u"Another"}));
    ASSERT_NE(table.find(u"Example Ltd"), nullptr);
    EXPECT_EQ(table.find(u"Example Ltd")->type, 5);
    EXPECT_EQ(table.find(u"example ltd"), nullptr);
    // Replacing an entry wholesale keeps its place.
    table[u"EXAMPLE LTD"] = PublisherEntry{{}, 9, 9, true, true};
    EXPECT_EQ(table.begin()[1].first, u"EXAMPLE LTD");
    EXPECT_EQ(table.begin()[1].second.allowState, 9);
}

TEST(Publishers, TheFiveBuiltInNamesInTheirOrder) {
    const std::vector<std::u16string> names(std::begin(kBuiltInPublisherNames),
                                            std::end(kBuiltInPublisherNames));
    EXPECT_EQ(names, (std::vector<std::u16string>{
                         u"Morvane Technologies (Pvt) Ltd.", u"Morvane Technologies Private Limited",
                         u"Morvane Technologies Limited", u"Morvane Technologies (P) Ltd.",
                         u"Pellworth, LLC"}));
}

TEST(NormalForm, LowersOnlyAsciiLettersAndDropsOneTrailingBackslash) {
    EXPECT_EQ(normalizePath(u"C:\\Program Files\\App\\"), u"c:\\program files\\app");
    // Runs of separators after the first two units count as one, wherever
    // they stand; a UNC path keeps its leading pair.
    EXPECT_EQ(normalizePath(u"C:\\A\\\\"), u"c:\\a");
    EXPECT_EQ(normalizePath(u"D:\\\\Temp\\\\\\X"), u"d:\\temp\\x");
    EXPECT_EQ(normalizePath(u"D:\\\\"), u"d:");
    EXPECT_EQ(normalizePath(u"\\\\Server\\\\Share"), u"\\\\server\\share");
    EXPECT_EQ(normalizePath(u"C:/A//B"), u"c:/a//b");  // only backslashes are separators here
    EXPECT_EQ(normalizePath(u"\u00C9\u0100Z@[`{"), u"\u00C9\u0100z@[`{");
    EXPECT_EQ(normalizePath(u"\\"), u"");
    EXPECT_EQ(normalizePath(u""), u"");
    EXPECT_EQ(lowerAscii(u"Example LTD\\"), u"example ltd\\");
}

}  // namespace
}  // namespace baseline
