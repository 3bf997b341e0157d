// The progress line (throttle, shortening, what the console is left with) and
// the interruption of a build run (the walk asks between entries, the document
// is finished as failed, the console names it), over the in-memory platform.
#include <gtest/gtest.h>

#include <json/json.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "config_fixtures.h"
#include "console/dialogue.h"
#include "console/entry_point.h"
#include "console/progress_line.h"
#include "discovery/build_status.h"
#include "discovery/discovery_engine.h"
#include "memory_platform.h"
#include "platform/utf.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

// What a console shows after `output`: CR returns to the line's start, LF
// goes down, everything else overwrites; blanks at line ends are invisible.
std::vector<std::u16string> screen(const std::u16string& output) {
    std::vector<std::u16string> lines(1);
    std::size_t column = 0;
    for (const char16_t unit : output) {
        if (unit == u'\r') {
            column = 0;
        } else if (unit == u'\n') {
            lines.emplace_back();
            column = 0;
        } else {
            auto& line = lines.back();
            if (line.size() <= column) line.resize(column + 1, u' ');
            line[column++] = unit;
        }
    }
    for (auto& line : lines) line.erase(line.find_last_not_of(u' ') + 1);
    return lines;
}

std::size_t count(const std::u16string& text, const std::u16string& what) {
    std::size_t found = 0;
    for (auto at = text.find(what); at != std::u16string::npos; at = text.find(what, at + 1)) ++found;
    return found;
}

// --- the throttle ---

struct ThrottleCase {
    const char* name;
    std::uint64_t stepMilliseconds;  // the clock's advance between two entries
    int entries;
    int drawings;
};

class Throttle : public ::testing::TestWithParam<ThrottleCase> {};

TEST_P(Throttle, DrawsOnlyWhenAQuarterSecondHasPassed) {
    const auto& c = GetParam();
    MemoryPlatform platform;
    platform.console = ConsoleScreenInfo{80};
    platform.tickStep = c.stepMilliseconds;
    ProgressLine line(platform);
    DiscoveryCounters counters;
    for (int i = 0; i < c.entries; ++i) {
        ++counters.filecnt;
        line.walking(counters, u"C:\\Windows");
    }
    EXPECT_EQ(count(platform.output, u"\r"), static_cast<std::size_t>(c.drawings));
    EXPECT_EQ(platform.clockReadings, c.entries);
}

INSTANTIATE_TEST_SUITE_P(
    Clocks, Throttle,
    ::testing::Values(ThrottleCase{"StoppedClockDrawsOnce", 0, 20, 1},
                      ThrottleCase{"TenthsOfASecondDrawEveryThird", 100, 20, 7},
                      ThrottleCase{"JustUnderTheIntervalDrawsEverySecondEntry", 249, 20, 10},
                      ThrottleCase{"ExactlyTheIntervalDrawsEveryEntry", 250, 20, 20},
                      ThrottleCase{"AFastClockGivesFourASecond", 1, 10000, 40}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgressLine, NoDrawingIsEverLessThanAQuarterSecondAfterTheLast) {
    MemoryPlatform platform;
    platform.console = ConsoleScreenInfo{80};
    ProgressLine line(platform);
    DiscoveryCounters counters;
    // An irregular clock: bursts of entries, then pauses.
    std::vector<std::uint64_t> drawnAt;
    for (int i = 0; i < 5000; ++i) {
        platform.tickStep = (i % 97 == 0) ? 180 : (i % 7);
        const std::uint64_t now = platform.tickCount;
        const std::size_t before = platform.output.size();
        line.walking(counters, u"C:\\Windows");
        if (platform.output.size() != before) drawnAt.push_back(now);
    }
    ASSERT_GT(drawnAt.size(), 10u);
    for (std::size_t i = 1; i < drawnAt.size(); ++i) {
        EXPECT_GE(drawnAt[i] - drawnAt[i - 1], kProgressIntervalMilliseconds) << i;
    }
}

// --- the shortening ---

struct ShortenCase {
    const char* name;
    std::u16string text;
    std::size_t width;
    std::u16string expected;
};

class Shorten : public ::testing::TestWithParam<ShortenCase> {};

TEST_P(Shorten, CutsTheMiddle) {
    const auto& c = GetParam();
    EXPECT_EQ(shortenMiddle(c.text, c.width), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, Shorten,
    ::testing::Values(
        ShortenCase{"FittingExactlyIsUnchanged", u"C:\\Windows", 10, u"C:\\Windows"},
        ShortenCase{"OneTooLongLosesTheMiddle", u"C:\\Windows", 9, u"C:\\...ows"},
        ShortenCase{"TheHeadGetsTheOddUnit", u"C:\\Windows\\System32\\drivers", 16, u"C:\\Wind...rivers"},
        ShortenCase{"ThreeUnitsAreOnlyTheDots", u"C:\\Windows", 3, u"..."},
        ShortenCase{"TwoUnitsAreTwoDots", u"C:\\Windows", 2, u".."},
        ShortenCase{"NoRoomIsEmpty", u"C:\\Windows", 0, u""},
        // U+1F600 is the pair D83D DE00: neither half is left alone.
        ShortenCase{"AHighSurrogateAtTheHeadsEndGoes", u"ab\U0001F600cdefghij", 8, u"ab...ij"},
        ShortenCase{"ALowSurrogateAtTheTailsStartGoes", u"abcdefgh\U0001F600yz", 9, u"abc...yz"},
        ShortenCase{"AWholePairIsKept", u"\U0001F600bcdefghijk\U0001F600", 9, u"\U0001F600b...k\U0001F600"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShortenMiddle, NeverLongerThanTheWidthAndKeepsBothEnds) {
    const std::u16string path = u"C:\\Program Files\\Example Software\\Application\\bin\\x64";
    for (std::size_t width = 0; width <= path.size() + 2; ++width) {
        SCOPED_TRACE(width);
        const std::u16string shortened = shortenMiddle(path, width);
        EXPECT_LE(shortened.size(), width);
        if (width > 8 && width < path.size()) {
            EXPECT_EQ(shortened.front(), u'C');
            EXPECT_EQ(shortened.back(), u'4');
            EXPECT_EQ(shortened.size(), width);
        }
    }
}

TEST(ProgressText, ShowsTheCountsAndShortensOnlyThePath) {
    DiscoveryCounters counters;
    counters.dircnt = 1234;
    counters.filecnt = 56789;
    counters.supportedfilecnt = 42;
    const std::u16string directory = u"C:\\Windows\\WinSxS\\amd64_microsoft-windows-servicingstack";
    EXPECT_EQ(progressText(counters, directory, 200),
              u"Found 1234 directories, 56789 files, 42 executables; listing " + directory);
    const std::u16string narrow = progressText(counters, directory, 79);
    EXPECT_EQ(narrow.size(), 79u);
    EXPECT_EQ(narrow.rfind(u"Found 1234 directories, 56789 files, 42 executables; listing C:\\", 0), 0u);
    EXPECT_NE(narrow.find(u"..."), std::u16string::npos);
    EXPECT_EQ(narrow.substr(narrow.size() - 7), u"ngstack");
    // A window too narrow even for the counts still gets no more than it holds.
    EXPECT_LE(progressText(counters, directory, 20).size(), 20u);
    // A scanned name cannot move the cursor, clear the screen or turn text round.
    EXPECT_EQ(progressText(counters, u"C:\\x\u001b[2J\u202e", 200),
              u"Found 1234 directories, 56789 files, 42 executables; listing C:\\x\\u001B[2J\\u202E");
}

// --- the line on the console ---

TEST(ProgressLine, ALongerLineIsCoveredByBlanksAndTheClearedLineIsEmpty) {
    MemoryPlatform platform;
    platform.console = ConsoleScreenInfo{100};
    platform.tickStep = 250;
    ProgressLine line(platform);
    DiscoveryCounters counters;
    line.walking(counters, u"C:\\A directory with a long name");
    line.walking(counters, u"C:\\B");
    const auto shown = screen(platform.output);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], u"Found 0 directories, 0 files, 0 executables; listing C:\\B");
    line.clear();
    EXPECT_EQ(screen(platform.output), std::vector<std::u16string>{u""});
    // The cursor is back at the start: what follows lands where it would have.
    platform.output += u"Allowlist result summary: \r\n";
    EXPECT_EQ(screen(platform.output)[0], u"Allowlist result summary:");
    // Nothing drawn, nothing to clear.
    const std::u16string before = platform.output;
    line.clear();
    EXPECT_EQ(platform.output, before);
}

TEST(ProgressLine, NeverReachesTheLastColumnOfANarrowedWindow) {
    MemoryPlatform platform;
    platform.console = ConsoleScreenInfo{120};
    platform.tickStep = 300;
    ProgressLine line(platform);
    DiscoveryCounters counters;
    const std::u16string deep = u"C:\\" + std::u16string(200, u'x');
    line.walking(counters, deep);
    const std::size_t wide = platform.output.size();
    platform.console = ConsoleScreenInfo{60};  // the operator narrows the window
    line.walking(counters, deep);
    // Each drawing is a CR and at most one unit less than the window is wide,
    // blanks for the longer line before included.
    EXPECT_EQ(wide, 1u + 119u);
    EXPECT_EQ(platform.output.size() - wide, 1u + 59u);
}

// --- interruption of the build run ---

// One custom root holding three executables: the walk asks before the root
// (1), before "." (2) and ".." (3), and before each executable (4 to 6).
class Interrupted : public ::testing::Test {
protected:
    Interrupted() {
        testing::scriptWorkstation(platform, 6, 1, 7601, true);  // 32-bit program on 64-bit Windows
        platform.environment = {{u"SystemDrive", u"C:"}, {u"ProgramFiles", u"C:\\Program Files"}};
        for (const char16_t* name : {u"a.exe", u"b.exe", u"c.exe"}) platform.addFile(u"C:\\Tree\\" + std::u16string(name));
        config.discoveryMode = "custom";
        config.customDiscoveryPaths = {u"C:\\Tree"};
    }

    bool run() {
        engine = std::make_unique<DiscoveryEngine>(platform, u"Title", u"Description", config);
        const bool ok = engine->runBuild();
        const std::string& text = platform.files[engine->outputPath];
        std::string errors;
        const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
        documentIsJson = reader->parse(text.data(), text.data() + text.size(), &document, &errors);
        return ok;
    }

    int entriesOfType(const char* type) const {
        int n = 0;
        for (const auto& e : document["inventory"]["files"]) n += e["ftype"].asString() == type;
        return n;
    }

    MemoryPlatform platform;
    BaselineConfig config;
    std::unique_ptr<DiscoveryEngine> engine;
    Json::Value document;
    bool documentIsJson = false;
};

struct StopCase {
    int atCheck;
    int directories;   // recorded
    int applications;  // recorded
    std::uint32_t dircnt;
};

TEST_F(Interrupted, TheWalkStopsAtTheNextEntryAndTheDocumentIsFinishedAsFailed) {
    for (const StopCase c : {StopCase{1, 0, 0, 0}, StopCase{2, 1, 0, 1}, StopCase{3, 1, 0, 2},
                             StopCase{4, 1, 0, 3}, StopCase{5, 1, 1, 3}, StopCase{6, 1, 2, 3}}) {
        SCOPED_TRACE(c.atCheck);
        platform.files.clear();
        platform.ctrlEventChecks = 0;
        platform.ctrlEventAtCheck = c.atCheck;
        EXPECT_FALSE(run());
        EXPECT_EQ(engine->statusCode, kStatusInterrupted);
        ASSERT_TRUE(documentIsJson);
        const Json::Value& summary = document["inventory"]["discoverysummary"];
        EXPECT_EQ(summary["status"].asString(), "failed");
        EXPECT_FALSE(summary["endtime"].asString().empty());
        EXPECT_TRUE(document["inventory"].isMember("misc"));
        EXPECT_FALSE(document["inventory"].isMember("publishers"));
        EXPECT_EQ(entriesOfType("directory"), c.directories);
        EXPECT_EQ(entriesOfType("application"), c.applications);
        EXPECT_EQ(summary["dircnt"].asUInt(), c.dircnt);
        EXPECT_EQ(summary["filecnt"].asInt(), c.applications);
        EXPECT_EQ(summary["supportedfilecnt"].asInt(), c.applications);
        EXPECT_EQ(summary["allowedfilecnt"].asInt(), c.applications);
        // Stopped inside a listing: the search is closed, redirection is back.
        EXPECT_EQ(platform.openSearches, 0);
        EXPECT_EQ(platform.redirectionDisabled, 0);
        EXPECT_FALSE(platform.ctrlHandlerInstalled);
        EXPECT_EQ(platform.ctrlEventChecks, c.atCheck);
    }
}

TEST_F(Interrupted, AnyWalkFailureLeavesADocumentThatIsStillJson) {
    // The root's own facts cannot be read natively: the walk stops before
    // it writes an entry it knows nothing of, and the document is still JSON.
    platform.wow64DisableFails = true;
    EXPECT_FALSE(run());
    ASSERT_TRUE(documentIsJson);
    EXPECT_EQ(document["inventory"]["files"].size(), 0u);
    EXPECT_EQ(document["inventory"]["discoverysummary"]["status"].asString(), "failed");
}

TEST_F(Interrupted, AnEventAfterTheLastEntryLetsTheRunSucceed) {
    platform.ctrlEventAtCheck = 7;
    EXPECT_TRUE(run());
    EXPECT_EQ(document["inventory"]["discoverysummary"]["status"].asString(), "succeed");
    EXPECT_EQ(platform.ctrlEventChecks, 6);
}

TEST_F(Interrupted, TheHandlerGuardsTheOpenDocumentOnlyAndIsRemovedAfterItIsClosed) {
    platform.ctrlEventAtCheck = 5;
    EXPECT_FALSE(run());
    const auto& calls = platform.calls;
    const auto at = [&](const char* name) { return std::find(calls.begin(), calls.end(), name) - calls.begin(); };
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetConsoleCtrlHandler:add"), 1);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "SetConsoleCtrlHandler:remove"), 1);
    EXPECT_LT(at("SetConsoleCtrlHandler:add"), at("createNewTextFile"));
    EXPECT_GT(at("SetConsoleCtrlHandler:remove"), at("fclose"));
    EXPECT_EQ(calls.back(), "SetConsoleCtrlHandler:remove");
}

// --- the whole program on the console ---

struct ConsoleRun {
    int exitValue = 0;
    MemoryPlatform platform;
};

void runProgram(ConsoleRun& r, bool console, int ctrlEventAtCheck) {
    MemoryPlatform& platform = r.platform;
    testing::scriptWindowsEnvironment(platform);
    testing::placeConfig(platform, "{\"paths_to_discover\": [\"C:\\\\Tree\"]}");
    platform.addDirectory(u"C:\\Tree");
    for (int d = 0; d < 20; ++d) {
        const std::u16string directory = u"C:\\Tree\\dir" + widenAscii(std::to_string(d));
        for (int f = 0; f < 10; ++f) platform.addFile(directory + u"\\f" + widenAscii(std::to_string(f)) + u".exe");
    }
    if (console) platform.console = ConsoleScreenInfo{90};
    platform.tickStep = 100;
    platform.ctrlEventAtCheck = ctrlEventAtCheck;
    platform.typeLine("Title");
    platform.typeLine("Description");
    r.exitValue = runEntryPoint(platform);
}

TEST(ProgramOnAConsole, TheFinishedScreenIsTheRedirectedOutputAndRedirectedOutputHasNoLine) {
    ConsoleRun onConsole;
    runProgram(onConsole, true, 0);
    ConsoleRun redirected;
    runProgram(redirected, false, 0);
    EXPECT_EQ(onConsole.exitValue, 0);
    EXPECT_EQ(redirected.exitValue, 0);
    // The line was there while the walk ran...
    EXPECT_GT(count(onConsole.platform.output, u"Found "), 5u);
    // ...and left nothing: the screen reads as the redirected output does.
    EXPECT_EQ(screen(onConsole.platform.output), screen(redirected.platform.output));
    // Redirected, nothing of it is written and the clock is never read.
    EXPECT_EQ(count(redirected.platform.output, u"Found "), 0u);
    EXPECT_EQ(redirected.platform.clockReadings, 0);
    EXPECT_EQ(count(redirected.platform.output, u"\r"), count(redirected.platform.output, u"\r\n"));
}

TEST(ProgramOnAConsole, AnInterruptedRunNamesItsDocumentOnTheLastLineAndEndsWith1) {
    for (const bool console : {true, false}) {
        SCOPED_TRACE(console);
        ConsoleRun r;
        runProgram(r, console, 100);
        EXPECT_EQ(r.exitValue, 1);
        const std::u16string path = u"C:\\Deploy\\Title_allowlist_08122025_0933.json";
        const std::u16string last =
            u"ERROR: Allowlist creation was interrupted; the allowlist file marked as failed is at location " + path;
        auto lines = screen(r.platform.output);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[lines.size() - 1], u"");
        EXPECT_EQ(lines[lines.size() - 2].substr(0, 99),
                  u"Cause: the run was interrupted (Ctrl+C, Ctrl+Break or a close of the console) while listing "
                  u"C:\\Tree");
        EXPECT_EQ(lines[lines.size() - 3], last);
        EXPECT_EQ(lines[lines.size() - 4], u"");
        EXPECT_EQ(lines[lines.size() - 5], u"Please wait while the allowlist is being created...");
        EXPECT_EQ(r.platform.keyWaits, 1);
        const std::string& text = r.platform.files[path];
        Json::Value document;
        std::string errors;
        const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
        ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &document, &errors)) << errors;
        EXPECT_EQ(document["inventory"]["discoverysummary"]["status"].asString(), "failed");
        EXPECT_EQ(document["inventory"]["discoverysummary"]["supportedfilecnt"].asInt(),
                  static_cast<int>(document["inventory"]["files"].size()) -
                      static_cast<int>(std::count_if(document["inventory"]["files"].begin(),
                                                     document["inventory"]["files"].end(), [](const Json::Value& e) {
                                                         return e["ftype"].asString() == "directory";
                                                     })));
    }
}

TEST(ProgramOnAConsole, AnInterruptedRunWhoseFinishFailsSaysTheRunFailed) {
    // How many writes an interrupted run makes, so that each of the last
    // ones (the failed document's "misc", summary and last brace) can fail.
    ConsoleRun counted;
    runProgram(counted, false, 100);
    const int writes = counted.platform.writeCalls;
    ASSERT_GT(writes, 3);
    struct Fault {
        const char* proves;
        int failWriteCall;
        bool failClose;
    };
    const Fault faults[] = {
        {"the last write fails", writes, false},
        {"the one before it fails", writes - 1, false},
        {"the close fails", 0, true},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.proves);
        ConsoleRun r;
        r.platform.failWriteCall = fault.failWriteCall;
        r.platform.failClose = fault.failClose;
        runProgram(r, false, 100);
        EXPECT_EQ(r.exitValue, 1);
        const auto lines = screen(r.platform.output);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[lines.size() - 3], u"ERROR: Failed to discover and create allowlist file.");
        EXPECT_EQ(lines[lines.size() - 2].find(u"Cause: the run was interrupted"), 0u);
        EXPECT_NE(lines[lines.size() - 2].find(u", and then "), std::u16string::npos);
        EXPECT_EQ(count(r.platform.output, u"marked as failed"), 0u);
    }
}

TEST(ProgramOnAConsole, AtThePromptsNoHandlerIsInstalled) {
    ConsoleRun r;
    runProgram(r, true, 1);
    const auto& calls = r.platform.calls;
    const auto add = std::find(calls.begin(), calls.end(), "SetConsoleCtrlHandler:add");
    ASSERT_NE(add, calls.end());
    // Both answers were read before: an event at the prompts ends the program
    // as the system's default handler does, leaving nothing behind.
    EXPECT_EQ(std::count(add, calls.end(), "readInputLine"), 0);
    EXPECT_EQ(std::count(calls.begin(), add, "readInputLine"), 2);
    EXPECT_FALSE(r.platform.ctrlHandlerInstalled);
}

}  // namespace
}  // namespace baseline
