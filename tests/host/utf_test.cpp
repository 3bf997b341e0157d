// The UTF-8 codec at its boundaries: what is refused, and round trips.
#include <gtest/gtest.h>

#include "platform/utf.h"

namespace baseline {
namespace {

TEST(Utf8, DecodesWellFormedTextAtEveryLengthBoundary) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"", u""},
        {"\x7F", u"\u007F"},
        {"\xC2\x80", u"\u0080"},
        {"\xDF\xBF", u"\u07FF"},
        {"\xE0\xA0\x80", u"\u0800"},
        {"\xED\x9F\xBF", u"\uD7FF"},
        {"\xEE\x80\x80", u"\uE000"},
        {"\xEF\xBF\xBF", u"\uFFFF"},
        {"\xF0\x90\x80\x80", u"\U00010000"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    };
    for (const auto& [bytes, expected] : cases) {
        std::u16string out;
        ASSERT_TRUE(decodeUtf8(bytes, out)) << bytes;
        EXPECT_EQ(out, expected);
        EXPECT_EQ(encodeUtf8(out), bytes);
    }
}

TEST(Utf8, RefusesMalformedTextAndLeavesTheOutputAlone) {
    const std::string cases[] = {
        "\x80",                 // lone continuation byte
        "\xC0\xAF",             // overlong
        "\xC1\xBF",             // overlong
        "\xE0\x80\xAF",         // overlong
        "\xED\xA0\x80",         // surrogate
        "\xF4\x90\x80\x80",     // above U+10FFFF
        "\xF5\x80\x80\x80",
        "\xC3",                 // truncated
        "abc\xE9",              // Latin-1
        "\xE2\x82",             // truncated three-byte form
        "\xC3\x28",             // bad continuation
    };
    for (const auto& bytes : cases) {
        std::u16string out = u"kept";
        EXPECT_FALSE(decodeUtf8(bytes, out));
        EXPECT_EQ(out, u"kept");
    }
}

TEST(Utf8, UnpairedSurrogatesEncodeAsReplacementCharacter) {
    EXPECT_EQ(encodeUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(encodeUtf8(std::u16string{char16_t(0xDC00), u'a'}), "\xEF\xBF\xBD" "a");
}

TEST(Utf8Replacing, EachMaximalIllFormedSubsequenceBecomesOneReplacement) {
    const std::pair<std::string, std::u16string> cases[] = {
        {"Caf\xC3\xA9", u"Caf\u00E9"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"\xFF", u"\uFFFD"},
        {"\x80\x80", u"\uFFFD\uFFFD"},
        {"\xC3", u"\uFFFD"},
        {"\xC3x", u"\uFFFDx"},
        {"\xE2\x82", u"\uFFFD"},
        {"\xE2\x82\xACx", u"\u20ACx"},
        {"\xC0\xAF", u"\uFFFD\uFFFD"},          // overlong: C0 never starts a sequence
        {"\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},  // overlong: 80 cannot follow E0
        {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // a surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF0\x9F\x98", u"\uFFFD"},
    };
    for (const auto& [bytes, expected] : cases) {
        EXPECT_EQ(decodeUtf8Replacing(bytes), expected) << bytes;
    }
}

}  // namespace
}  // namespace baseline
