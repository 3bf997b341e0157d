// Reading and deciphering baselineconf.dat: the file read, and each way the
// container can be wrong.
#include <gtest/gtest.h>

#include "config/baseline_file.h"
#include "config_fixtures.h"

namespace baseline {
namespace {

using testing::encipherRaw;
using testing::MemoryPlatform;

TEST(ReadBaselineFile, ReadsDotBackslashBaselineconfDatInTextMode) {
    MemoryPlatform platform;
    platform.files[u".\\baselineconf.dat"] = "abc\r\ndef\r\n";
    std::string content = "untouched";
    ASSERT_TRUE(readBaselineFile(platform, content));
    EXPECT_EQ(content, "abc\ndef\n");
    EXPECT_TRUE(platform.called("_wfopen:r"));
}

TEST(ReadBaselineFile, FailsWhenMissingOrUnreadable) {
    MemoryPlatform platform;
    std::string content = "untouched";
    EXPECT_FALSE(readBaselineFile(platform, content));
    platform.files[u"baselineconf.dat"] = "abcd";  // not the name the creator opens
    EXPECT_FALSE(readBaselineFile(platform, content));
    platform.files[u".\\baselineconf.dat"] = "abcd";
    platform.unreadableFiles.insert(u".\\baselineconf.dat");
    EXPECT_FALSE(readBaselineFile(platform, content));
    EXPECT_EQ(content, "untouched");
}

TEST(DecryptBaselineText, ReturnsTheTextTheToolEncrypted) {
    for (const std::string json : {"{}", "", "1234567", "12345678", "{\"allowed_publishers\": [\"\xC3\xA9\"]}"}) {
        std::string out = "untouched";
        ASSERT_TRUE(decryptBaselineText(tool::encryptBaselineText(json), out)) << json;
        EXPECT_EQ(out, json);
    }
}

TEST(DecryptBaselineText, Failures) {
    const std::string good = tool::encryptBaselineText("{}");
    struct Case {
        const char* proves;
        std::string content;
        DecryptOutcome outcome;
    };
    const Case cases[] = {
        {"empty file", "", DecryptOutcome::empty},
        {"a trailing line feed adds a group of three bytes", good + "\n", DecryptOutcome::badLength},
        {"a trailing blank too", good + " ", DecryptOutcome::badLength},
        {"a short text decodes to less than a block", "QUJD", DecryptOutcome::badLength},
        {"decodes to 7 bytes", tool::base64Encode("1234567"), DecryptOutcome::badLength},
        {"last byte 0", encipherRaw(std::string("{}\0\0\0\0\0\0", 8)), DecryptOutcome::badPadding},
        {"last byte 9", encipherRaw("{}\t\t\t\t\t\t\t\t\t\t\t\t\t\t"), DecryptOutcome::badPadding},
        {"last byte 255", encipherRaw("{}xxxxx\xFF"), DecryptOutcome::badPadding},
        {"a plaintext that is not ours (wrong key)", tool::base64Encode("12345678"), DecryptOutcome::badPadding},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        std::string out = "untouched";
        EXPECT_EQ(decryptBaselineTextDetailed(c.content, out, nullptr), c.outcome);
        EXPECT_FALSE(decryptBaselineText(c.content, out));
        EXPECT_EQ(out, "untouched");
    }
}

TEST(DecryptBaselineText, ThePadRuleReadsOnlyTheLastByte) {
    struct Case {
        const char* proves;
        std::string plain;
        std::string json;
    };
    const Case cases[] = {
        {"pad of 1", "1234567\x01", "1234567"},
        {"pad of 8 loses a whole block", std::string("{\"a\":1}x\x08\x08\x08\x08\x08\x08\x08\x08"), "{\"a\":1}x"},
        {"pad 8 may hold anything before the last byte", "{}abcdef" "12345678"
                                                          "xxxxxxx\x08",
         "{}abcdef12345678"},
        {"a zero byte ends the text early", std::string("{}\0{\"x\"\x01", 8), "{}"},
        {"a zero byte inside the pad is pad", std::string("{}12\0\0\0\x04", 8), "{}12"},
        {"pad 3 with other bytes in the pad", "{}123zz\x03", "{}123"},
        {"the whole plaintext can be pad", "\x08\x08\x08\x08\x08\x08\x08\x08", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        std::string out = "untouched";
        ASSERT_TRUE(decryptBaselineText(encipherRaw(c.plain), out));
        EXPECT_EQ(out, c.json);
    }
}

TEST(DecryptBaselineText, LengthRuleCountsTheTextAsRead) {
    // A Base64 text whose length is not a multiple of four: its last group is
    // completed with 'A'. Cutting the final '=' of a one-'=' group leaves a
    // three-character group that now yields three bytes: one block too many.
    const std::string good = tool::encryptBaselineText("{}");
    ASSERT_EQ(good.back(), '=');
    std::string out;
    DecryptFacts facts;
    EXPECT_EQ(decryptBaselineTextDetailed(good.substr(0, good.size() - 1), out, &facts), DecryptOutcome::badLength);
    EXPECT_EQ(facts.decodedLength, 9u);
}

}  // namespace
}  // namespace baseline
