// The document's path: next to the program, named from the title and the
// local date and time, refused when the name is taken.
#include <gtest/gtest.h>

#include "discovery/discovery_engine.h"
#include "document/document_status.h"
#include "memory_platform.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

// 2025-12-08 09:33:45 UTC.
constexpr std::int64_t kDecember8 = 1765186425;

struct PathCase {
    const char* proves;
    std::optional<std::u16string> module;
    std::int64_t clock;
    std::int64_t zoneOffset;
    std::u16string title;
    std::u16string expected;
};

class OutputPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(OutputPath, IsTheProgramsDirectoryTitleAndLocalMinute) {
    const PathCase& c = GetParam();
    MemoryPlatform platform;
    platform.moduleFileName = c.module;
    platform.clockSeconds = c.clock;
    platform.timeZoneOffsetSeconds = c.zoneOffset;
    DiscoveryEngine engine(platform, c.title, u"d", BaselineConfig{});
    engine.statusCode = 99;
    EXPECT_TRUE(engine.buildOutputPath()) << c.proves;
    EXPECT_EQ(engine.outputPath, c.expected);
    EXPECT_EQ(engine.statusCode, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Document, OutputPath,
    ::testing::Values(
        PathCase{"the example", u"D:\\Deploy\\baseline.exe", kDecember8, 0, u"Finance",
                 u"D:\\Deploy\\Finance_allowlist_08122025_0933.json"},
        PathCase{"blanks kept", u"C:\\a b\\baseline.exe", kDecember8, 0, u"My list",
                 u"C:\\a b\\My list_allowlist_08122025_0933.json"},
        PathCase{"local time, not UTC", u"C:\\x.exe", kDecember8, 15 * 3600, u"T",
                 u"C:\\T_allowlist_09122025_0033.json"},
        PathCase{"seconds are not part of it", u"C:\\x.exe", kDecember8 + 14, 0, u"T",
                 u"C:\\T_allowlist_08122025_0933.json"},
        PathCase{"next minute", u"C:\\x.exe", kDecember8 + 15, 0, u"T",
                 u"C:\\T_allowlist_08122025_0934.json"},
        PathCase{"no module path: the working directory", std::nullopt, kDecember8, 0, u"T",
                 u"T_allowlist_08122025_0933.json"},
        PathCase{"a module path of 259 units still fits",
                 u"C:\\" + std::u16string(248, u'd') + u"\\a.exe", kDecember8, 0, u"T",
                 u"C:\\" + std::u16string(248, u'd') + u"\\T_allowlist_08122025_0933.json"},
        PathCase{"a cut module path: the working directory",
                 u"C:\\" + std::u16string(300, u'd') + u"\\a.exe", kDecember8, 0, u"T",
                 u"T_allowlist_08122025_0933.json"},
        PathCase{"a module path without backslash stays whole", u"baseline.exe", kDecember8, 0, u"T",
                 u"baseline.exeT_allowlist_08122025_0933.json"}));

TEST(OutputPathRefusal, ATakenNameFailsAndIsLeftAlone) {
    MemoryPlatform platform;
    platform.moduleFileName = u"D:\\Deploy\\baseline.exe";
    const std::u16string taken = u"D:\\Deploy\\Finance_allowlist_08122025_0933.json";
    platform.files[taken] = "first run";
    DiscoveryEngine engine(platform, u"Finance", u"d", BaselineConfig{});
    EXPECT_FALSE(engine.buildOutputPath());
    EXPECT_EQ(engine.statusCode, kStatusOutputNameTaken);
    EXPECT_EQ(engine.outputPath, taken);
    EXPECT_EQ(platform.files[taken], "first run");
    EXPECT_TRUE(platform.called("_waccess:0"));
    // A minute later the name is free again.
    platform.clockSeconds += 60;
    EXPECT_TRUE(engine.buildOutputPath());
    EXPECT_EQ(engine.outputPath, u"D:\\Deploy\\Finance_allowlist_08122025_0934.json");
}

TEST(OutputPathRefusal, ADirectoryOfThatNameCountsAsTaken) {
    MemoryPlatform platform;
    platform.moduleFileName = u"D:\\Deploy\\baseline.exe";
    platform.fileAttributes[u"D:\\Deploy\\Finance_allowlist_08122025_0933.json"] = kFileAttributeDirectory;
    DiscoveryEngine engine(platform, u"Finance", u"d", BaselineConfig{});
    EXPECT_FALSE(engine.buildOutputPath());
    EXPECT_EQ(engine.statusCode, kStatusOutputNameTaken);
}

TEST(OutputPathRefusal, WithoutALocalTimeNoPathIsMade) {
    MemoryPlatform platform;
    platform.localTimeFails = true;
    DiscoveryEngine engine(platform, u"Finance", u"d", BaselineConfig{});
    EXPECT_FALSE(engine.buildOutputPath());
    EXPECT_EQ(engine.statusCode, kStatusOutputNameTaken);
    EXPECT_EQ(engine.outputPath, u"");
}

}  // namespace
}  // namespace baseline
