// The cause line of every failure path, whole: the program's own output after
// the fixed status line, and the engine's cause for the build run's steps.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "config/baseline_config.h"
#include "config_fixtures.h"
#include "console/entry_point.h"
#include "console/run_driver.h"
#include "discovery/discovery_engine.h"
#include "memory_platform.h"
#include "platform/utf.h"
#include "platform/visible_text.h"

namespace baseline {
namespace {

using testing::FileStatus;
using testing::MemoryPlatform;

const std::u16string kDocument = u"C:\\Deploy\\Title_allowlist_08122025_0933.json";
const std::u16string kConfigNotRead = u"ERROR: Failed to read baseline configuration.";
const std::u16string kBuildFailed = u"ERROR: Failed to discover and create allowlist file.";
constexpr char kTree[] = "{\"paths_to_discover\": [\"C:\\\\Tree\"]}";

// The lines the program printed after "Please wait ...".
std::vector<std::u16string> linesAfterPleaseWait(const std::u16string& output) {
    const std::u16string wait = u"Please wait while the allowlist is being created...\r\n\r\n";
    const auto at = output.find(wait);
    std::vector<std::u16string> lines;
    if (at == std::u16string::npos) return lines;
    std::u16string rest = output.substr(at + wait.size());
    for (std::size_t start = 0; start < rest.size();) {
        const auto end = rest.find(u"\r\n", start);
        lines.push_back(rest.substr(start, end - start));
        if (end == std::u16string::npos) break;
        start = end + 2;
    }
    return lines;
}

struct ProgramCase {
    const char* proves;
    std::function<void(MemoryPlatform&)> setup;
    std::u16string fixedLine;
    std::u16string causeLine;
};

TEST(CauseLine, EveryFailureOfARunSaysWhyAfterItsFixedLine) {
    const ProgramCase cases[] = {
        {"no configuration file", [](MemoryPlatform& p) { p.files.erase(u".\\baselineconf.dat"); }, kConfigNotRead,
         u"Cause: baselineconf.dat was not found in C:\\Deploy (Windows error 2: The system cannot find the file "
         u"specified.)"},
        {"a file that cannot be read", [](MemoryPlatform& p) { p.unreadableFiles.insert(u".\\baselineconf.dat"); },
         kConfigNotRead,
         u"Cause: baselineconf.dat in C:\\Deploy could not be read (Windows error 30: The system cannot read from the "
         u"specified device.)"},
        {"an empty file", [](MemoryPlatform& p) { p.files[u".\\baselineconf.dat"] = ""; }, kConfigNotRead,
         u"Cause: baselineconf.dat: the file is empty"},
        {"no Base64 of whole cipher blocks", [](MemoryPlatform& p) { p.files[u".\\baselineconf.dat"] = "AAAAAAA="; },
         kConfigNotRead,
         u"Cause: baselineconf.dat: the Base64 text decodes to 5 bytes, not a whole number of 8-byte cipher blocks: "
         u"the file is truncated or damaged"},
        {"a wrong pad", [](MemoryPlatform& p) { p.files[u".\\baselineconf.dat"] = testing::encipherRaw("{}xxxxx\x09"); },
         kConfigNotRead,
         u"Cause: baselineconf.dat: the last deciphered byte is 0x09, not a pad length from 1 to 8: the file was "
         u"made with another key, or is damaged"},
        {"deciphered bytes that are no text",
         [](MemoryPlatform& p) {
             p.files[u".\\baselineconf.dat"] = testing::encipherRaw(std::string("{\"a\xff\x01\":1") + std::string(8, '\x08'));
         },
         kConfigNotRead,
         u"Cause: baselineconf.dat is damaged or was made with another key: its deciphered content is not text "
         u"(baselineconf check baselineconf.dat lists every finding)"},
        {"a syntax error, with its line and column",
         [](MemoryPlatform& p) {
             testing::placeConfig(p, "{\n  \"allowed_publishers\": [\n    \"A\" \"B\"\n  ]\n}");
         },
         kConfigNotRead,
         u"Cause: baselineconf.dat: the decoded JSON text, line 3, column 9: Missing ',' or ']' in array declaration (baselineconf check "
         u"baselineconf.dat lists every finding)"},
        {"a value of the wrong type, with its key",
         [](MemoryPlatform& p) { testing::placeConfig(p, "{\"AllowAppIfPublisherAllowed\": \"yes\"}"); }, kConfigNotRead,
         u"Cause: baselineconf.dat: the decoded JSON text, line 1, column 32: \"AllowAppIfPublisherAllowed\" is a string; it must be true "
         u"or false (baselineconf check baselineconf.dat lists every finding)"},
        {"a custom root that does not exist, with its path",
         [](MemoryPlatform& p) { testing::placeConfig(p, "{\"paths_to_discover\": [\"C:\\\\Gone\"]}"); },
         kConfigNotRead,
         u"Cause: baselineconf.dat: the decoded JSON text, line 1, column 24: \"paths_to_discover\" entry 1 \"C:\\Gone\" is not an existing, "
         u"accessible directory (baselineconf check baselineconf.dat lists every finding)"},
        {"a custom root that does not expand",
         [](MemoryPlatform& p) {
             testing::placeConfig(p, "{\"paths_to_discover\": [\"%NOPE%\\\\x\"]}");
             p.failingExpansions.insert(u"%NOPE%\\x");
         },
         kConfigNotRead,
         u"Cause: baselineconf.dat: the decoded JSON text, line 1, column 24: \"paths_to_discover\" entry 1 \"%NOPE%\\x\": its environment "
         u"variables cannot be expanded (baselineconf check baselineconf.dat lists every finding)"},
        {"a custom root that cannot be looked at natively",
         [](MemoryPlatform& p) {
             testing::scriptWorkstation(p, 10, 0, 19045, true);
             p.wow64DisableFails = true;
         },
         kConfigNotRead,
         u"Cause: WOW64 file-system redirection could not be turned off to read C:\\Tree (Windows error 1: "
         u"Incorrect function.)"},
        {"a configured path cannot forge the console",
         [](MemoryPlatform& p) { testing::placeConfig(p, "{\"paths_to_discover\": [\"C:\\\\x\\u001b[2J\\u202e\"]}"); },
         kConfigNotRead,
         u"Cause: baselineconf.dat: the decoded JSON text, line 1, column 24: \"paths_to_discover\" entry 1 \"C:\\x\\u001B[2J\\u202E\" is not "
         u"an existing, accessible directory (baselineconf check baselineconf.dat lists every finding)"},
        {"a taken document name", [](MemoryPlatform& p) { p.files[kDocument] = "an older document"; }, kBuildFailed,
         u"Cause: " + kDocument + u" already exists (Windows error 80: The file exists.); it was not touched"},
        {"a document that cannot be created", [](MemoryPlatform& p) { p.failCreate = true; }, kBuildFailed,
         u"Cause: " + kDocument + u" could not be created (Windows error 5: Access is denied.)"},
        {"the header cannot be written", [](MemoryPlatform& p) { p.failWriteCall = 2; }, kBuildFailed,
         u"Cause: writing " + kDocument + u" failed: There is not enough space on the disk. (Windows error 112)"},
        {"an entry cannot be flushed", [](MemoryPlatform& p) { p.failFlushCall = 3; }, kBuildFailed,
         u"Cause: writing " + kDocument + u" failed: There is not enough space on the disk. (Windows error 112)"},
        {"a write the system gave no reason for",
         [](MemoryPlatform& p) {
             p.failFlushCall = 3;
             p.writeFailureError = 0;
         },
         kBuildFailed,
         u"Cause: writing " + kDocument +
             u" failed, and the system gave no reason (a full disk is the usual one)"},
        {"the document cannot be closed", [](MemoryPlatform& p) { p.failClose = true; }, kBuildFailed,
         u"Cause: closing " + kDocument + u" failed: There is not enough space on the disk. (Windows error 112)"},
        {"an exception in the walk, in its own words",
         [](MemoryPlatform& p) {
             p.signerReadHook = [](const std::u16string&) { throw std::runtime_error("the disk went away"); };
         },
         kBuildFailed, u"Cause: the run stopped on an unexpected error: the disk went away"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        MemoryPlatform platform;
        testing::scriptWindowsEnvironment(platform);
        platform.addFile(u"C:\\Tree\\app.exe");
        testing::placeConfig(platform, kTree);
        c.setup(platform);
        const std::string before = platform.files.count(kDocument) ? platform.files[kDocument] : "";
        platform.typeLine("Title");
        platform.typeLine("Description");
        EXPECT_EQ(runEntryPoint(platform), 1);
        const auto lines = linesAfterPleaseWait(platform.output);
        ASSERT_EQ(lines.size(), 2u) << encodeUtf8(platform.output);
        EXPECT_EQ(lines[0], c.fixedLine);
        EXPECT_EQ(lines[1], c.causeLine) << encodeUtf8(lines[1]);
        if (!before.empty()) EXPECT_EQ(platform.files[kDocument], before) << "the taken name's file is untouched";
    }
}

TEST(CauseLine, ARefusedTitleIsStillOneLine) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    platform.typeLine("1Title");
    platform.typeLine("Description");
    EXPECT_EQ(runEntryPoint(platform), 1);
    EXPECT_EQ(platform.output.find(u"Cause:"), std::u16string::npos);
    EXPECT_NE(platform.output.find(u"ERROR: Title should start with character.\r\n"), std::u16string::npos);
}

// The steps that a configuration loaded through the file cannot reach.
struct EngineCase {
    const char* proves;
    std::function<void(MemoryPlatform&, BaselineConfig&)> setup;
    std::u16string cause;
};

TEST(CauseLine, TheBuildRunsOwnStepsKeepTheirCause) {
    const EngineCase cases[] = {
        {"the system drive does not expand",
         [](MemoryPlatform& p, BaselineConfig&) { p.failingExpansions.insert(u"%SYSTEMDRIVE%"); },
         u"%SYSTEMDRIVE% could not be expanded (Windows error 203: The system could not find the environment option "
         u"that was entered.)"},
        {"a root that does not expand",
         [](MemoryPlatform& p, BaselineConfig& c) {
             c.customDiscoveryPaths = {u"%GONE%\\Apps"};
             p.failingExpansions.insert(u"%GONE%\\Apps");
         },
         u"the root %GONE%\\Apps could not be expanded (Windows error 203: The system could not find the environment "
         u"option that was entered.)"},
        {"an allowed directory that does not expand",
         [](MemoryPlatform& p, BaselineConfig& c) {
             c.allowedDirectories = {u"%GONE%\\Allowed"};
             p.failingExpansions.insert(u"%GONE%\\Allowed");
         },
         u"the allowed directory %GONE%\\Allowed could not be expanded (Windows error 203: The system could not find "
         u"the environment option that was entered.)"},
        {"the file identity libraries cannot be loaded",
         [](MemoryPlatform& p, BaselineConfig&) { p.fileIdentityLibrariesMissing = true; },
         u"version.dll or crypt32.dll, or a function of theirs, could not be loaded from the system directory"},
        {"an unknown mode", [](MemoryPlatform&, BaselineConfig& c) { c.discoveryMode = "Custom"; },
         u"\"paths_to_discover\" is \"Custom\", none of \"osdrive\", \"all\" and \"custom\""},
        {"redirection that cannot be turned off",
         [](MemoryPlatform& p, BaselineConfig&) {
             testing::scriptWorkstation(p, 10, 0, 19045, true);
             p.wow64DisableFails = true;
         },
         u"WOW64 file-system redirection could not be turned off to read C:\\Tree (Windows error 1: Incorrect "
         u"function.)"},
        {"an interruption, with where the walk was",
         [](MemoryPlatform& p, BaselineConfig&) { p.ctrlEventAtCheck = 2; },
         u"the run was interrupted (Ctrl+C, Ctrl+Break or a close of the console) while listing C:\\Tree"},
        {"an interruption whose document cannot be finished",
         [](MemoryPlatform& p, BaselineConfig&) {
             p.ctrlEventAtCheck = 2;
             p.failClose = true;
         },
         u"the run was interrupted (Ctrl+C, Ctrl+Break or a close of the console) while listing C:\\Tree, and then "
         u"closing C:\\Deploy\\Title_allowlist_08122025_0933.json failed: There is not enough space on the disk. "
         u"(Windows error 112)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        MemoryPlatform platform;
        testing::scriptWindowsEnvironment(platform);
        platform.addFile(u"C:\\Tree\\app.exe");
        BaselineConfig config;
        config.discoveryMode = "custom";
        config.customDiscoveryPaths = {u"C:\\Tree"};
        c.setup(platform, config);
        DiscoveryEngine engine(platform, u"Title", u"Description", config);
        EXPECT_FALSE(engine.runBuild());
        EXPECT_EQ(engine.cause.text, c.cause);
    }
}

TEST(VisibleText, HiddenCharactersBecomeEscapesAndNothingElseChanges) {
    struct Case {
        std::u16string text;
        std::u16string shown;
    };
    const Case cases[] = {
        {u"C:\\Program Files\\App", u"C:\\Program Files\\App"},
        {u"caf\u00E9 \u65E5\u672C", u"caf\u00E9 \u65E5\u672C"},
        {u"a\tb\r\nc", u"a\\u0009b\\u000D\\u000Ac"},
        {u"\u001B[2J\u007F\u0085\u009F", u"\\u001B[2J\\u007F\\u0085\\u009F"},
        {u"invoice\u202Egpj.exe", u"invoice\\u202Egpj.exe"},
        {u"\u061C\u200B\u200C\u200D\u200E\u200F\u2028\u2029\u202A\u2060\u2066\u2069\uFEFF",
         u"\\u061C\\u200B\\u200C\\u200D\\u200E\\u200F\\u2028\\u2029\\u202A\\u2060\\u2066\\u2069\\uFEFF"},
        {u"\u2027\u2030\u2070\u00AC\u00AE", u"\u2027\u2030\u2070\u00AC\u00AE"},  // neighbours of the ranges stay
        {u"Northwind Tools\u00AD\u2064", u"Northwind Tools\\u00AD\\u2064"},
        {u"\u00A0\u3000\u3164\u2800", u"\\u00A0\\u3000\\u3164\\u2800"},
        {u"tag\U000E0041", u"tag\\uDB40\\uDC41"},  // one escape per unit past U+FFFF
        {std::u16string{u'a', char16_t(0xD800)}, u"a\\uD800"},
        {std::u16string{char16_t(0xDC00), u'b'}, u"\\uDC00b"},
        {std::u16string{char16_t(0xD83D), char16_t(0xDE00)}, std::u16string{char16_t(0xD83D), char16_t(0xDE00)}},
        {std::u16string(1, u'\0'), u"\\u0000"},
    };
    for (const auto& c : cases) EXPECT_EQ(visibleText(c.text), c.shown) << encodeUtf8(c.shown);
}

// Every range of the generated table, at both ends and just outside them:
// the binary search finds each, and the escapes cover a whole character.
TEST(VisibleText, EveryGeneratedRangeIsHiddenAtBothEndsAndNotBeyond) {
    ASSERT_GT(kHiddenRangeCount, 0u);
    const auto units = [](char32_t c) {
        if (c < 0x10000) return std::u16string(1, char16_t(c));
        return std::u16string{char16_t(0xD800 + ((c - 0x10000) >> 10)), char16_t(0xDC00 + ((c - 0x10000) & 0x3FF))};
    };
    for (std::size_t i = 0; i < kHiddenRangeCount; ++i) {
        const HiddenRange r = kHiddenRanges[i];
        SCOPED_TRACE(::testing::Message() << std::hex << "range " << unsigned(r.first) << "-" << unsigned(r.last));
        if (i > 0) {
            EXPECT_GT(r.first, kHiddenRanges[i - 1].last + 1);  // sorted, disjoint, merged
        }
        for (const char32_t c : {r.first, char32_t(r.first + (r.last - r.first) / 2), r.last}) {
            EXPECT_TRUE(isHiddenCharacter(c));
            const std::u16string shown = visibleText(u"a" + units(c) + u"b");
            EXPECT_EQ(shown.size(), 2 + 6 * units(c).size()) << encodeUtf8(shown);
            if (c >= 0x80 && (c < 0xD800 || c > 0xDFFF)) {
                EXPECT_TRUE(holdsHiddenCharacters(encodeUtf8(units(c))));
            }
        }
        if (r.first > 0) {
            EXPECT_FALSE(isHiddenCharacter(r.first - 1));
        }
        EXPECT_FALSE(isHiddenCharacter(r.last + 1));
        if (r.last + 1 < 0xD800 || (r.last + 1 > 0xDFFF && r.last + 1 <= 0x10FFFF)) {
            EXPECT_EQ(visibleText(units(r.last + 1)), units(r.last + 1));
        }
    }
    EXPECT_FALSE(isHiddenCharacter(U' '));
    EXPECT_TRUE(isHiddenCharacter(0xDFFF));  // a lone surrogate, from the table's Cs
}

TEST(VisibleText, Utf8TextTakesTheSameRule) {
    EXPECT_EQ(visibleUtf8("key \x1b[2J \xe2\x80\xae caf\xc3\xa9"), "key \\u001B[2J \\u202E caf\xc3\xa9");
    EXPECT_EQ(visibleUtf8("bad \xff byte"), "bad \xef\xbf\xbd byte");
    EXPECT_EQ(visibleUtf8(std::string("nul\0in", 6)), "nul\\u0000in");
    // JSON keeps its own white space; a lone carriage return could rewrite a line.
    EXPECT_EQ(visibleJson("{\r\n\t\"a\xc2\x85\xe2\x80\xae\": 1\r}\n"), "{\r\n\t\"a\\u0085\\u202E\": 1\\u000D}\n");
}

TEST(VisibleText, HiddenCharactersAreFoundWhereverTheEscapeWouldShow) {
    struct Case {
        std::string text;
        bool holds;
    };
    const Case cases[] = {
        {"", false},
        {"plain name.exe", false},
        {"caf\xc3\xa9 \xe6\x97\xa5", false},                 // letters of any script are shown as they are
        {"tab\there", true},
        {"\x7f", true},
        {"invoice\xe2\x80\xaegpj.exe", true},                 // U+202E
        {"zero\xe2\x80\x8bwidth", true},                       // U+200B
        {"\xef\xbb\xbfbom", true},                             // U+FEFF
        {"\xc2\x85", true},                                     // U+0085, a C1 control
        {"\xff", true},                                          // no UTF-8: shown as U+FFFD
        {"\xe2\x80\xaf", true},                                // U+202F, a space other than U+0020
        {"\xe2\x80\xb0", false},                               // U+2030 is a sign one can see
    };
    for (const auto& c : cases) {
        EXPECT_EQ(holdsHiddenCharacters(c.text), c.holds) << visibleUtf8(c.text);
        EXPECT_EQ(holdsHiddenCharacters(c.text), visibleUtf8(c.text) != c.text) << visibleUtf8(c.text);
    }
}

}  // namespace
}  // namespace baseline
