// What the walk could not see: directories whose listing failed, or failed
// part-way, are told after the summary (or after a failure's lines), the first
// twenty with the system's reason; the run, its document and its exit value
// are as they would be without them.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "config_fixtures.h"
#include "console/entry_point.h"
#include "memory_platform.h"
#include "platform/utf.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

struct ProgramRun {
    int exitValue = 0;
    std::u16string output;
    std::string document;
};

// A tree of C:\Tree with an application in every directory, walked by the
// whole program with redirected output.
ProgramRun runOver(const std::function<void(MemoryPlatform&)>& setup) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    testing::placeConfig(platform, "{\"paths_to_discover\": [\"C:\\\\Tree\"]}");
    platform.addFile(u"C:\\Tree\\open\\seen.exe");
    platform.addFile(u"C:\\Tree\\locked\\inner\\hidden.exe");
    platform.addFile(u"C:\\Tree\\share\\a.exe");
    platform.addFile(u"C:\\Tree\\share\\b.exe");
    setup(platform);
    platform.typeLine("Title");
    platform.typeLine("Description");
    ProgramRun run;
    run.exitValue = runEntryPoint(platform);
    run.output = platform.output;
    run.document = platform.files[u"C:\\Deploy\\Title_allowlist_08122025_0933.json"];
    return run;
}

// What follows the summary's last line.
std::u16string afterSummary(const std::u16string& output) {
    const std::u16string location = u"Allowlist file has been created successfully at location ";
    const auto at = output.find(location);
    if (at == std::u16string::npos) return u"<no summary>";
    const auto end = output.find(u"\r\n\r\n", at);
    return output.substr(end + 4);
}

TEST(UnlistedDirectories, EachReasonIsToldAfterTheSummaryAndTheRunStaysAsItIs) {
    struct Case {
        const char* proves;
        std::function<void(MemoryPlatform&)> setup;
        std::u16string told;
    };
    const Case cases[] = {
        {"every directory listed: the output is as it always was", [](MemoryPlatform&) {},
         u"Press any key to Exit..\r\n"},
        {"access denied", [](MemoryPlatform& p) { p.unlistable.insert(u"c:\\tree\\locked"); },
         u"Directories that could not be listed: 1\r\n"
         u"\tC:\\Tree\\locked: Access is denied. (Windows error 5)\r\n\r\n"
         u"Press any key to Exit..\r\n"},
        {"a directory that vanished while the walk ran",
         [](MemoryPlatform& p) { p.listingErrors[u"c:\\tree\\locked"] = 3; },
         u"Directories that could not be listed: 1\r\n"
         u"\tC:\\Tree\\locked: The system cannot find the path specified. (Windows error 3)\r\n\r\n"
         u"Press any key to Exit..\r\n"},
        {"a listing that fails part-way",
         [](MemoryPlatform& p) { p.listingsCutShort[u"c:\\tree\\share"] = {3, 59}; },
         u"Directories that could not be listed: 1\r\n"
         u"\tC:\\Tree\\share: An unexpected network error occurred. (Windows error 59)\r\n\r\n"
         u"Press any key to Exit..\r\n"},
        {"a reason the system has no words for",
         [](MemoryPlatform& p) { p.listingErrors[u"c:\\tree\\locked"] = 1392; },
         u"Directories that could not be listed: 1\r\n"
         u"\tC:\\Tree\\locked: (Windows error 1392)\r\n\r\n"
         u"Press any key to Exit..\r\n"},
        {"the root itself", [](MemoryPlatform& p) { p.unlistable.insert(u"c:\\tree"); },
         u"Directories that could not be listed: 1\r\n"
         u"\tC:\\Tree: Access is denied. (Windows error 5)\r\n\r\n"
         u"Press any key to Exit..\r\n"},
    };
    const ProgramRun plain = runOver([](MemoryPlatform&) {});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        const ProgramRun run = runOver(c.setup);
        EXPECT_EQ(run.exitValue, 0);
        EXPECT_EQ(afterSummary(run.output), c.told) << encodeUtf8(run.output);
        // Up to the summary's last line nothing changes but the counts.
        EXPECT_NE(run.output.find(u"Allowlist file has been created successfully"), std::u16string::npos);
    }
    EXPECT_EQ(plain.output.find(u"could not be listed"), std::u16string::npos);
    EXPECT_NE(plain.document.find("hidden.exe"), std::string::npos);
}

TEST(UnlistedDirectories, AnEmptyDirectoryIsNoFailure) {
    const ProgramRun run = runOver([](MemoryPlatform& p) { p.addDirectory(u"C:\\Tree\\empty\\inner"); });
    // "inner" lists only "." and ".."; a drive-root-like empty listing is
    // ERROR_FILE_NOT_FOUND, which means empty too.
    EXPECT_EQ(afterSummary(run.output), u"Press any key to Exit..\r\n");
    const ProgramRun rootless = runOver([](MemoryPlatform& p) { p.listingErrors[u"c:\\tree\\open"] = 2; });
    EXPECT_EQ(afterSummary(rootless.output), u"Press any key to Exit..\r\n");
    const ProgramRun noMore = runOver([](MemoryPlatform& p) { p.listingErrors[u"c:\\tree\\open"] = 18; });
    EXPECT_EQ(afterSummary(noMore.output), u"Press any key to Exit..\r\n");
}

TEST(UnlistedDirectories, TheFirstTwentyAreNamedAndTheRestCounted) {
    const ProgramRun run = runOver([](MemoryPlatform& p) {
        for (int i = 0; i < 23; ++i) {
            const std::u16string name = u"C:\\Tree\\d" + widenAscii(std::to_string(10 + i));
            p.addDirectory(name);
            p.unlistable.insert(MemoryPlatform::modelKey(name));
        }
    });
    const std::u16string told = afterSummary(run.output);
    EXPECT_EQ(told.find(u"Directories that could not be listed: 23\r\n\tC:\\Tree\\d10: Access is denied."), 0u);
    EXPECT_NE(told.find(u"\tC:\\Tree\\d29: "), std::u16string::npos);
    EXPECT_EQ(told.find(u"\tC:\\Tree\\d30: "), std::u16string::npos);
    EXPECT_NE(told.find(u"\t... and 3 more\r\n\r\nPress any key to Exit.."), std::u16string::npos);
    EXPECT_EQ(run.exitValue, 0);
}

TEST(UnlistedDirectories, AFailedRunTellsThemAfterItsCause) {
    const ProgramRun run = runOver([](MemoryPlatform& p) {
        p.unlistable.insert(u"c:\\tree\\locked");
        p.failClose = true;
    });
    EXPECT_EQ(run.exitValue, 1);
    const auto at = run.output.find(u"ERROR: Failed to discover and create allowlist file.\r\nCause: closing ");
    ASSERT_NE(at, std::u16string::npos);
    const std::u16string rest = run.output.substr(at);
    const auto cause = rest.find(u"\r\n", rest.find(u"Cause: "));
    EXPECT_EQ(rest.substr(cause + 2),
              u"Directories that could not be listed: 1\r\n\tC:\\Tree\\locked: Access is denied. (Windows error 5)\r\n");
}

TEST(UnlistedDirectories, ANameFromTheMachineIsShownNotObeyed) {
    const ProgramRun run = runOver([](MemoryPlatform& p) {
        p.addDirectory(u"C:\\Tree\\x\u001b[2J\u202e");
        p.unlistable.insert(MemoryPlatform::modelKey(u"C:\\Tree\\x\u001b[2J\u202e"));
    });
    EXPECT_NE(afterSummary(run.output).find(u"\tC:\\Tree\\x\\u001B[2J\\u202E: Access is denied."), std::u16string::npos);
    EXPECT_EQ(run.output.find(u'\u001b'), std::u16string::npos);
}

}  // namespace
}  // namespace baseline
