// baselineconf's check: the verdict is the creator's, and each finding names
// the place it concerns.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "check.h"
#include "cli.h"
#include "config/baseline_config.h"
#include "config/baseline_file.h"
#include "config_fixtures.h"
#include "platform/failure_cause.h"
#include "platform/utf.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

struct Checked {
    tool::CheckResult result;
    std::string text() const {
        std::string all;
        for (const auto& f : result.findings) {
            all += (f.isError ? "error " : "warning ") + std::to_string(f.line) + ":" + std::to_string(f.column) +
                   (f.inDecryptedJson ? " (json) " : " ") + f.message + "\n";
        }
        return all;
    }
};

Checked checkJson(const std::string& json) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    PlatformConfigEnvironment environment(platform);
    return {tool::checkJsonText(json, environment)};
}

Checked checkDat(const std::string& bytes) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    PlatformConfigEnvironment environment(platform);
    return {tool::checkDatFile(bytes, environment)};
}

bool creatorLoads(const std::string& json) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    testing::placeConfig(platform, json);
    BaselineConfig config;
    return config.loadBaselineConfig(platform);
}

struct Case {
    const char* proves;
    std::string json;
    bool loads;
    std::string finding;  // a line the findings must hold, "" for none at all
    bool onThisMachineOnly = false;  // the creator here decides otherwise
};

TEST(CheckJson, FindingsAndVerdicts) {
    const Case cases[] = {
        {"a clean configuration", "{}", true, ""},
        {"a syntax error with its line and column", "{\n  \"paths_to_discover\": ,\n}", false,
         "error 2:24 Syntax error: value, object or array expected.\n"},
        {"a root array", "[]", false, "error 1:1 the configuration is an array; it must be a JSON object\n"},
        {"a value of a refused type", "{\"immutable_for_system_directory\": \"no\"}", false,
         "error 1:36 \"immutable_for_system_directory\" is a string; it must be true or false\n"},
        {"an allowed_directories entry that is not an object", "{\"allowed_directories\": [{}, 7]}", false,
         "error 1:30 \"allowed_directories\" entry 2 is a number; each entry must be an object\n"},
        {"an unknown key", "{\n\"path_to_discover\": \"all\"}", true,
         "warning 2:21 unknown key \"path_to_discover\" is ignored\n"},
        {"an unknown entry member",
         "{\"allowed_directories\": [{\"allowed_dir\": \"C:\\\\A\", \"mutabel\": true}]}", true,
         "warning 1:62 \"allowed_directories\" entry 1: unknown member \"mutabel\" is ignored\n"},
        {"AllowAppIfPublisherAllowed", "{\"AllowAppIfPublisherAllowed\": true}", true,
         "warning 1:32 \"AllowAppIfPublisherAllowed\" has no effect: \"global_allow_app_if_publisher_allowed\" "
         "always sets the same switch afterwards\n"},
        {"a string AllowAppIfPublisherAllowed is an error only", "{\"AllowAppIfPublisherAllowed\": \"y\"}", false,
         "error 1:32 \"AllowAppIfPublisherAllowed\" is a string; it must be true or false\n"},
        {"a mode name that is none of the three", "{\"paths_to_discover\": \"everything\"}", true,
         "warning 1:23 \"paths_to_discover\" \"everything\" is none of \"osdrive\", \"all\" and \"custom\"; the "
         "configuration loads, but the run will discover nothing and fail\n"},
        {"a custom path missing on the Windows machine is the creator's error",
         "{\"paths_to_discover\": [\"C:\\\\Gone\"]}", false,
         "error 1:24 \"paths_to_discover\" entry 1 \"C:\\Gone\" is not an existing, accessible directory\n"},
        {"an empty custom path fails everywhere", "{\"paths_to_discover\": [\"\"]}", false,
         "error 1:24 \"paths_to_discover\" entry 1 is empty; it must name a directory\n"},
        {"a number read as text", "{\"allowed_publishers\": [42]}", true,
         "warning 1:25 \"allowed_publishers\" entry 1 is a number; it is read as the text \"42\"\n"},
        {"a duplicate key", "{\"paths_to_discover\": \"all\",\n \"paths_to_discover\": \"osdrive\"}", true,
         "warning 2:2 the creator takes the last of the values: Duplicate key: 'paths_to_discover'\n"},
        {"a zero byte ends the text", std::string("{}\0garbage", 10), true,
         "warning 1:3 a zero byte ends the text here; the creator ignores everything after it\n"},
        {"a scalar allowed_directories", "{\"allowed_directories\": \"C:\\\\A\"}", true,
         "warning 1:25 \"allowed_directories\" is a string, not an array or object; no directory is allowed, not "
         "even the defaults\n"},
        {"places count after a byte order mark", "\xEF\xBB\xBF{\"x\": 1}", true,
         "warning 1:10 unknown key \"x\" is ignored\n"},
        {"nesting past the parser's limit is an error, not a crash", std::string(2000, '[') + std::string(2000, ']'),
         false, "error 0:0 the JSON text cannot be parsed: Exceeded stackLimit"},
        {"deep nesting inside a member", "{\"allowed_publishers\": " + std::string(1500, '[') + "]}", false,
         "error 0:0 the JSON text cannot be parsed"},
        {"text after the root value", "{}\n{\"paths_to_discover\": \"all\"}", true,
         "warning 2:1 the creator ignores the rest of the text: Extra non-whitespace after JSON value.\n"},
        {"ANSI text is not UTF-8", "{\"allowed_publishers\": [\"Soci\xe9t\xe9\"]}", true,
         "warning 1:30 byte 0xE9 is not UTF-8 (a file saved as ANSI?)"},
        {"an overlong form is not UTF-8", "{\"allowed_publishers\": [\"\xc0\xaf\"]}", true,
         "warning 1:26 byte 0xC0 is not UTF-8"},
        {"a tab in a path: C:\\temp", "{\"paths_excluded_from_discovery\": [\"C:\\temp\"]}", true,
         "warning 1:36 \"paths_excluded_from_discovery\" entry 1 holds a tab at byte 3; a backslash in JSON starts "
         "an escape (\\t is a tab, \\n a line feed): write \\\\ for each backslash of a path\n"},
        {"a line feed in an allowed_dir: C:\\new",
         "{\"allowed_directories\": [{\"allowed_dir\": \"C:\\new\", \"mutable\": true}]}", true,
         "warning 1:42 \"allowed_directories\" entry 1 \"allowed_dir\" holds a line feed at byte 3"},
        {"a control character in a first-level parent",
         "{\"allowed_first_level_subdirectories\": [\"C:\\u0001x\"]}", true,
         "holds a control character 1 at byte 3"},
        {"a custom path with a form feed", "{\"paths_to_discover\": [\"C:\\f\"]}", false,
         "warning 1:24 \"paths_to_discover\" entry 1 holds a form feed at byte 3"},
        {"\"custom\" as a string walks nothing", "{\"paths_to_discover\": \"custom\"}", true,
         "warning 1:23 \"paths_to_discover\" \"custom\" given as a string names no directory, so the run walks "
         "nothing; give the directories as an array of strings\n"},
        {"an empty allowed_dir has no effect", "{\"allowed_directories\": [{\"allowed_dir\": \"\"}]}", true,
         "warning 1:42 \"allowed_directories\" entry 1 \"allowed_dir\" is empty; an entry without a path has no "
         "effect\n"},
        {"a null allowed_dir has no effect", "{\"allowed_directories\": [{\"allowed_dir\": null}]}", true,
         "warning 1:26 \"allowed_directories\" entry 1 has no \"allowed_dir\"; an entry without a path has no "
         "effect\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        const Checked checked = checkJson(c.json);
        EXPECT_EQ(checked.result.loads, c.loads);
        EXPECT_EQ(creatorLoads(c.json), c.loads != c.onThisMachineOnly) << "the verdict is the creator's";
        if (c.finding.empty()) {
            EXPECT_EQ(checked.text(), "");
        } else {
            EXPECT_NE(checked.text().find(c.finding), std::string::npos) << checked.text();
        }
    }
}

// On Windows the tool answers for the machine it runs on; on a host that
// cannot look at Windows paths the same facts are warnings that say so.
TEST(CheckJson, FactsOfTheMachineAreErrorsOnlyWhereWindowsPathsCanBeSeen) {
    struct HostLike final : ConfigEnvironment {
        std::u16string toUtf16(const std::string& utf8) override { return std::u16string(utf8.begin(), utf8.end()); }
        bool expand(const std::u16string& path, std::u16string& expanded) override {
            expanded = path;
            return path.find(u'%') == std::u16string::npos;
        }
        bool isAccessibleDirectory(const std::u16string&) override { return false; }
        bool seesWindowsPaths() const override { return false; }
    };
    const std::string missing = "{\"paths_to_discover\": [\"C:\\\\Gone\"]}";
    const std::string unexpandable = "{\"paths_excluded_from_discovery\": [\"%NOWHERE%\"]}";

    HostLike host;
    Checked onLinux{tool::checkJsonText(missing, host)};
    EXPECT_TRUE(onLinux.result.loads);
    EXPECT_NE(onLinux.text().find("warning 1:24 \"paths_to_discover\" entry 1 \"C:\\Gone\" is not an existing, accessible "
                                  "directory here; Windows paths cannot be looked at on this system, and the creator "
                                  "refuses the file on a machine where that holds\n"),
              std::string::npos)
        << onLinux.text();
    onLinux = {tool::checkJsonText(unexpandable, host)};
    EXPECT_TRUE(onLinux.result.loads);
    EXPECT_NE(onLinux.text().find("warning 1:36 \"paths_excluded_from_discovery\" entry 1 \"%NOWHERE%\": its environment "
                                  "variables cannot be expanded here; Windows paths cannot be looked at"), std::string::npos)
        << onLinux.text();

    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    platform.failingExpansions.insert(u"%NOWHERE%");
    PlatformConfigEnvironment windows(platform);
    const Checked onWindows{tool::checkJsonText(unexpandable, windows)};
    EXPECT_FALSE(onWindows.result.loads);
    EXPECT_NE(onWindows.text().find("error 1:36 \"paths_excluded_from_discovery\" entry 1 \"%NOWHERE%\": its environment "
                                    "variables cannot be expanded\n"), std::string::npos)
        << onWindows.text();
    testing::placeConfig(platform, unexpandable);
    BaselineConfig config;
    EXPECT_FALSE(config.loadBaselineConfig(platform)) << "the verdict is the creator's";
}

TEST(CheckJson, Utf8Boundaries) {
    struct Utf8Case {
        const char* proves;
        std::string text;
        std::size_t invalidAt;
        std::size_t nonTextAt;
    };
    const auto none = std::string::npos;
    const Utf8Case cases[] = {
        {"ASCII", "abc", none, none},
        {"tab, CR and LF are text", "a\tb\r\n", none, none},
        {"two, three and four bytes", "\xc3\xa9\xe6\xbc\xa2\xf0\x9f\x98\x80", none, none},
        {"the highest code point", "\xf4\x8f\xbf\xbf", none, none},
        {"above U+10FFFF", "a\xf4\x90\x80\x80", 1, 1},
        {"an overlong slash", "ab\xc0\xaf", 2, 2},
        {"an overlong three-byte form", "\xe0\x80\xaf", 0, 0},
        {"a surrogate", "x\xed\xa0\x80", 1, 1},
        {"a sequence cut short at the end", "ab\xe6\xbc", 2, 2},
        {"a lone continuation byte", "\x80", 0, 0},
        {"a zero byte is no text", std::string("ab\0c", 4), none, 2},
        {"DEL is no text", "ab\x7f", none, 2},
        {"escape is no text", "\x1b[", none, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        EXPECT_EQ(tool::firstInvalidUtf8(c.text), c.invalidAt);
        EXPECT_EQ(tool::firstNonText(c.text), c.nonTextAt);
    }
}

TEST(CheckJson, FindingsComeInFileOrder) {
    const Checked checked = checkJson("{\"b\": 1,\n \"allowed_publishers\": [1],\n \"a\": 2}");
    EXPECT_EQ(checked.text(),
              "warning 1:7 unknown key \"b\" is ignored\n"
              "warning 2:25 \"allowed_publishers\" entry 1 is a number; it is read as the text \"1\"\n"
              "warning 3:7 unknown key \"a\" is ignored\n");
}

// A configuration of a few blocks with one Base64 character in its middle
// changed: the block it falls in deciphers to noise.
std::string damagedInTheMiddle() {
    std::string dat = tool::encryptBaselineText(
        "{\n  \"allowed_publishers\": [\"First Maker\", \"Second Maker\", \"Third Maker\"],\n"
        "  \"paths_to_discover\": \"osdrive\"\n}\n");
    char& middle = dat[dat.size() / 2];
    middle = middle == 'A' ? 'B' : 'A';
    return dat;
}

TEST(CheckDat, ContainerFindings) {
    const std::string good = tool::encryptBaselineText("{\"x\": 1}");
    struct DatCase {
        const char* proves;
        std::string bytes;
        bool loads;
        std::string finding;
    };
    const DatCase cases[] = {
        {"what encode wrote", tool::encryptBaselineText("{}"), true, ""},
        {"JSON findings inside point into the decrypted text", good, true,
         "warning 1:7 (json) unknown key \"x\" is ignored\n"},
        {"an empty file", "", false, "error 0:0 the file is empty\n"},
        {"a trailing line break", good + "\n", false,
         "error 1:" + std::to_string(good.size() + 1) + " a line break (LF) after the text at offset " +
             std::to_string(good.size()) + ": an encoded configuration ends at its last Base64 character"},
        {"a trailing CR LF is named as it lies on disk", good + "\r\n", false,
         "error 1:" + std::to_string(good.size() + 1) + " a line break (CR LF) after the text"},
        {"a byte outside the alphabet", good.substr(0, 5) + "*" + good.substr(6), false,
         "error 1:6 byte 0x2A ('*') is not Base64\n"},
        {"'=' before more text", good.substr(0, 4) + "=" + good.substr(5), false,
         "error 1:5 '=' padding is followed by more Base64 text\n"},
        {"not Base64 at all", "{\"paths_to_discover\": \"all\"}", false,
         "error 0:0 this is a JSON file; encode it with baselineconf encode\n"},
        {"a wrong key or damage shows as a bad pad byte", tool::base64Encode("12345678abcdefgh"), false,
         "not a pad length from 1 to 8: the file was made with another key, or is damaged\n"},
        {"a payload that is not JSON", tool::encryptBaselineText("hello"), false,
         "error 1:1 (json) Syntax error: value, object or array expected.\n"},
        {"pad bytes that differ still load", testing::encipherRaw("{}abcde\x03"), true,
         "warning 0:0 the pad bytes differ from each other; baselineconf did not write this file\n"},
        {"one Base64 character changed in the middle", damagedInTheMiddle(), false,
         "error 0:0 the file is damaged or was made with another key: the deciphered text holds byte "},
        {"another key whose last byte is a pad length", testing::encipherRaw(std::string("\x93\xfa{}\x11\xc4\x08\x02", 8)),
         false, "error 0:0 the file is damaged or was made with another key"},
        {"damage inside a string still loads, and is told",
         testing::encipherRaw(std::string("{\"allowed_publishers\": [\"\x01\x02\"]}\x02\x02", 32)), true,
         "warning 0:0 the file is damaged or was made with another key: the deciphered text holds byte 0x01 at offset "
         "25, which is no UTF-8 text (the creator would still load what it reads)\n"},
        {"a deep .dat is an error, not a crash", tool::encryptBaselineText(std::string(2000, '[')), false,
         "error 0:0 (json) the JSON text cannot be parsed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        const Checked checked = checkDat(c.bytes);
        EXPECT_EQ(checked.result.loads, c.loads);
        MemoryPlatform platform;
        testing::scriptWindowsEnvironment(platform);
        platform.files[u".\\baselineconf.dat"] = c.bytes;
        BaselineConfig config;
        EXPECT_EQ(config.loadBaselineConfig(platform), c.loads) << "the verdict is the creator's";
        if (c.finding.empty()) {
            EXPECT_EQ(checked.text(), "");
        } else {
            EXPECT_NE(checked.text().find(c.finding), std::string::npos) << checked.text();
        }
    }
}

// UTF-16 of `text`, little-endian with Notepad's mark or big-endian without.
std::string utf16(const std::string& text, bool bigEndian) {
    std::string out = bigEndian ? "" : "\xFF\xFE";
    for (const char c : text) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}

// The likely mistakes in a baselineconf.dat and the cause each is given, the
// same by the creator's cause line and by check's first finding, from the
// bytes on disk past the creator's text mode. The creator still refuses each.
TEST(ConfigMistakes, TheCreatorAndCheckNameTheSameCause) {
    const std::string good = tool::encryptBaselineText("{\"x\": 1}"), end = std::to_string(good.size());
    const std::string json = "this is a JSON file; encode it with baselineconf encode";
    const struct {
        const char* proves;
        std::string bytes;
        std::string cause;      // in the creator's cause line
        std::string checkSays;  // in check's findings; "" for the cause itself, at its place
    } cases[] = {
        {"a JSON file saved as the .dat", "{\"paths_to_discover\": \"all\"}\r\n", json, ""},
        {"JSON after a byte order mark and blanks", "\xEF\xBB\xBF \r\n[]", json, ""},
        {"JSON saved as UTF-16", utf16("{}", false), json + ", after saving it as UTF-8 (it is UTF-16 text", ""},
        {"a .dat saved as Notepad's Unicode", utf16(good, false), "this is UTF-16 text (Notepad's \"Unicode\"), not "
         "the one line of Base64 an encoded configuration is: save it as UTF-8 without a byte order mark, or make", ""},
        {"UTF-16 big-endian without a mark", utf16(good, true), "this is UTF-16 text", ""},
        {"a byte order mark before the text", "\xEF\xBB\xBF" + good,
         "a UTF-8 byte order mark (EF BB BF) stands before the text: save the file as UTF-8 without the mark", ""},
        {"a LF after the text", good + "\n", "a line break (LF) after the text at offset " + end + ": an encoded "
         "configuration ends at its last Base64 character; remove what follows it, or make the file again with", ""},
        {"a CR LF, which text mode reads as LF", good + "\r\n", "a line break (CR LF) after the text at offset " + end, ""},
        {"a line break inside the text", good.substr(0, 8) + "\r\n" + good.substr(8), "a line break (CR LF) inside "
         "the text at offset 8: an encoded configuration is one line of Base64 with no line break or blank in it", ""},
        {"a stray byte that still deciphers, to noise", good.substr(0, 5) + "*" + good.substr(6), "byte 0x2A at offset "
         "5 is not a Base64 character: the file is damaged, or is not", "error 1:6 byte 0x2A ('*') is not Base64\n"},
        {"an escape is shown in hex, never raw", good.substr(0, 3) + "\x1b[2J" + good.substr(3),
         "byte 0x1B at offset 3 is not", ""},
        {"a Ctrl-Z that text mode stops at", "\x1A" + good, "byte 0x1A at offset 0 is not", ""},
        {"'=' inside the text", good.substr(0, 4) + "=" + good.substr(5),
         "'=' at offset 4 pads where Base64 allows no padding", "error 1:5 '=' padding is followed by more"},
        {"a truncated file", good.substr(0, 21), "the Base64 text has 21 characters, not whole groups of 4: the file is "
         "truncated or damaged", ""},
        {"a file cut at a group's end", good.substr(0, 12), "decodes to 9 bytes, not a whole number of 8-byte cipher "
         "blocks: the file is truncated or damaged", ""},
        {"another key", tool::base64Encode("12345678abcdefgh"), "the file was made with another key, or is damaged", ""},
        {"a JSON error inside a good file, placed in the decoded text",
         tool::encryptBaselineText("{\n  \"allowed_publishers\": [\n    \"A\" \"B\"\n  ]\n}"),
         "the decoded JSON text, line 3, column 9: Missing ',' or ']' in array declaration (baselineconf check",
         "error 3:9 (json) Missing ',' or ']' in array declaration\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        MemoryPlatform platform;
        testing::scriptWindowsEnvironment(platform);
        platform.files[u".\\baselineconf.dat"] = c.bytes;
        BaselineConfig config;
        FailureCause cause;
        EXPECT_FALSE(config.loadBaselineConfig(platform, &cause)) << "still refused";
        const std::string said = encodeUtf8(cause.text);
        EXPECT_EQ(said.rfind("baselineconf.dat: ", 0), 0u) << said;
        EXPECT_NE(said.find(c.cause), std::string::npos) << said;
        const Checked checked = checkDat(c.bytes);
        EXPECT_FALSE(checked.result.loads);
        ASSERT_FALSE(checked.result.findings.empty());
        if (!c.checkSays.empty()) {
            EXPECT_NE(checked.text().find(c.checkSays), std::string::npos) << checked.text();
        } else {
            EXPECT_TRUE(checked.result.findings.front().isError);
            EXPECT_EQ("baselineconf.dat: " + checked.result.findings.front().message, said) << checked.text();
        }
    }
}

TEST(CheckDat, TheJsonTextIsWhatTheCreatorParses) {
    const std::string json = "{\"allowed_publishers\": [\"A\"]}";
    const Checked checked = checkDat(tool::encryptBaselineText(json));
    EXPECT_EQ(checked.result.json, json);
}

// The configurations in tests/configs: each is encoded, checked and read back.
TEST(RoundTrip, ExampleConfigurationsEncodeDecodeAndCheck) {
    for (const char* name : {"empty.json", "example.json", "everything.json", "unicode.json"}) {
        SCOPED_TRACE(name);
        std::ifstream in(std::string(BASELINE_TEST_CONFIGS) + "/" + name, std::ios::binary);
        ASSERT_TRUE(in) << name;
        std::ostringstream text;
        text << in.rdbuf();
        const std::string json = text.str();
        const std::string dat = tool::encryptBaselineText(json);
        EXPECT_EQ(dat.find_first_of("\r\n"), std::string::npos);
        std::string back;
        ASSERT_TRUE(decryptBaselineText(dat, back));
        EXPECT_EQ(back, json);
        const Checked checked = checkDat(dat);
        EXPECT_TRUE(checked.result.loads) << checked.text();
        EXPECT_TRUE(checkJson(json).result.loads);
    }
}

}  // namespace
}  // namespace baseline

namespace baseline {
namespace {

// The command line without files: what is a usage error (2), what is help (0).
TEST(CommandLine, ArgumentsMeanWhatTheySay) {
    struct ArgumentCase {
        const char* proves;
        std::vector<std::string> arguments;
        int exitValue;
        const char* said;  // in the standard output or error
    };
    const ArgumentCase cases[] = {
        {"nothing", {}, 2, "no command given"},
        {"help as the first argument", {"help"}, 0, "Exit values:\n  0  check: the allowlist creator can load"},
        {"-h as the first argument", {"-h"}, 0, "  2  usage error\n"},
        {"--help as the first argument", {"--help", "check"}, 0, "Usage:"},
        {"--help later is an unknown option", {"check", "x.json", "--help"}, 2, "unknown option --help"},
        {"-o twice", {"encode", "x.json", "-o", "a.dat", "-o", "b.dat"}, 2, "the output is given twice (-o)"},
        {"-o and --output", {"encode", "x.json", "-o", "a.dat", "--output", "b.dat"}, 2, "given twice (--output)"},
        {"--force twice", {"encode", "x.json", "-o", "a.dat", "--force", "--force"}, 2, "--force is given twice"},
        {"--no-check twice", {"encode", "x.json", "-o", "a", "--no-check", "--no-check"}, 2, "given twice"},
        {"-o without a name", {"encode", "x.json", "-o"}, 2, "-o needs a file name"},
        {"-o with an empty name", {"encode", "x.json", "-o", ""}, 2, "-o needs a file name"},
        {"encode without -o", {"encode", "x.json"}, 2, "encode needs CONFIG.json and -o OUTPUT"},
        {"decode --force without -o", {"decode", "x.dat", "--force"}, 2, "decode --force writes only to a file"},
        {"decode --no-check", {"decode", "x.dat", "--no-check"}, 2, "decode takes one file"},
        {"check with an option", {"check", "x.json", "-o", "y"}, 2, "check takes one file and no options"},
        {"two files", {"check", "a.json", "b.json"}, 2, "check takes one file"},
        {"an unknown command", {"frobnicate"}, 2, "unknown command frobnicate"},
        {"after -- a dash is a name", {"check", "--", "-no-such-file"}, 1, "-no-such-file: cannot be opened"},
        {"a file named help is checked", {"check", "help"}, 1, "help: cannot be opened"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        MemoryPlatform platform;
        PlatformConfigEnvironment environment(platform);
        std::ostringstream out, err;
        EXPECT_EQ(tool::runBaselineconf(c.arguments, environment, out, err), c.exitValue);
        EXPECT_NE((out.str() + err.str()).find(c.said), std::string::npos) << out.str() << err.str();
    }
}

}  // namespace
}  // namespace baseline
