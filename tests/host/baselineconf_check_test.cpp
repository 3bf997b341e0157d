// baselineconf's check: the verdict is the creator's, and each finding names
// the place it concerns.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "check.h"
#include "config/baseline_config.h"
#include "config/baseline_file.h"
#include "config_fixtures.h"

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
        {"a custom path missing here is a warning, not an error", "{\"paths_to_discover\": [\"C:\\\\Gone\"]}", true,
         "warning 1:24 \"paths_to_discover\" entry 1 is not an existing, accessible directory on this machine; the "
         "creator cannot load it where that holds\n",
         true},
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

TEST(CheckJson, FindingsComeInFileOrder) {
    const Checked checked = checkJson("{\"b\": 1,\n \"allowed_publishers\": [1],\n \"a\": 2}");
    EXPECT_EQ(checked.text(),
              "warning 1:7 unknown key \"b\" is ignored\n"
              "warning 2:25 \"allowed_publishers\" entry 1 is a number; it is read as the text \"1\"\n"
              "warning 3:7 unknown key \"a\" is ignored\n");
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
         "error 1:" + std::to_string(good.size() + 1) + " the file ends with a line break; baselineconf.dat must be one line with no line break, not "
         "even at the end (editors often add one)\n"},
        {"a trailing CR LF reads as LF", good + "\r\n", false, "error 0:0 the Base64 text decodes to 19 bytes"},
        {"a byte outside the alphabet", good.substr(0, 5) + "*" + good.substr(6), false,
         "error 1:6 byte 0x2A ('*') is not Base64\n"},
        {"'=' before more text", good.substr(0, 4) + "=" + good.substr(5), false,
         "error 1:5 '=' padding is followed by more Base64 text\n"},
        {"not Base64 at all", "{\"paths_to_discover\": \"all\"}", false, "is not Base64"},
        {"a wrong key or damage shows as a bad pad byte", tool::base64Encode("12345678abcdefgh"), false,
         "not a pad length from 1 to 8: the file was made with another key, or is damaged\n"},
        {"a payload that is not JSON", tool::encryptBaselineText("hello"), false,
         "error 1:1 (json) Syntax error: value, object or array expected.\n"},
        {"pad bytes that differ still load", testing::encipherRaw("{}abcde\x03"), true,
         "warning 0:0 the pad bytes differ from each other; baselineconf did not write this file\n"},
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
