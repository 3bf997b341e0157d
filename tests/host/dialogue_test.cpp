// Trimming, the special-character set, how input lines become UTF-16, and the
// order of the title and description checks.
#include <gtest/gtest.h>

#include "console/dialogue.h"
#include "platform/product_version.h"
#include "memory_platform.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

TEST(Trim, RemovesBlanksAndTabsFromBothEndsOnly) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"", u""},
        {u"abc", u"abc"},
        {u"  abc", u"abc"},
        {u"abc \t", u"abc"},
        {u"\t a b \t", u"a b"},
        {u"   ", u"   "},        // only trim characters: left as it is
        {u"\t \t", u"\t \t"},
        {u"\r\nabc\r\n", u"\r\nabc\r\n"},  // CR and LF are not trimmed
        {u"\u00A0abc\u00A0", u"\u00A0abc\u00A0"},  // nor is the no-break space
        {u" x", u"x"},
    };
    for (const auto& [in, expected] : cases) {
        std::u16string text = in;
        trim(text);
        EXPECT_EQ(text, expected);
    }
}

TEST(SpecialCharacters, ThePunctuationAndTheControlCharactersCount) {
    int special = 0;
    for (char16_t c = 0; c < 0x180; ++c) {
        const bool punctuation = (c >= 0x21 && c <= 0x2F) || (c >= 0x3A && c <= 0x40) ||
                                 (c >= 0x5B && c <= 0x5E) || c == 0x60 || (c >= 0x7B && c <= 0x7E);
        const bool control = c <= 0x1F || c == 0x7F;
        const bool found = findSpecialCharacter(std::u16string(1, c)) == 0;
        EXPECT_EQ(found, punctuation || control) << "code unit " << static_cast<int>(c);
        special += found;
    }
    EXPECT_EQ(special, 31 + 33);
    for (char16_t c : {u'_', u' ', u'a', u'Z', u'5', u'\u0080', u'\u00E9', u'\uFFE9', u'\uFF01'}) {
        EXPECT_EQ(findSpecialCharacter(std::u16string(3, c)), kNoSpecialCharacter);
    }
}

TEST(SpecialCharacters, ReportsTheFirstPosition) {
    EXPECT_EQ(findSpecialCharacter(u"ab-c.d"), 2u);
    EXPECT_EQ(findSpecialCharacter(u"a_b c"), kNoSpecialCharacter);
    EXPECT_EQ(findSpecialCharacter(u""), kNoSpecialCharacter);
    EXPECT_EQ(findSpecialCharacter(std::u16string(u"ab\0c", 4)), 2u);
    EXPECT_EQ(findSpecialCharacter(u"ab\tc-"), 2u);
}

TEST(OperatorLine, ConsoleTextIsTakenAsTyped) {
    MemoryPlatform platform;
    platform.typeConsoleLine(u"Caf\u00E9 \u6F22");
    EXPECT_EQ(readOperatorLine(platform), u"Caf\u00E9 \u6F22");
}

TEST(OperatorLine, CtrlZAtTheStartOfAConsoleLineIsEndOfInput) {
    MemoryPlatform platform;
    platform.typeConsoleLine(u"\x1A");
    platform.typeConsoleLine(u"\x1A" u"after");
    platform.typeConsoleLine(u"before\x1A");
    EXPECT_EQ(readOperatorLine(platform), u"");
    EXPECT_EQ(readOperatorLine(platform), u"");
    // Anywhere else it is a character of the line (and a special one in a title).
    EXPECT_EQ(readOperatorLine(platform), u"before\x1A");

    MemoryPlatform typed;
    typed.typeConsoleLine(u"\x1A");
    std::u16string title;
    std::u16string description;
    EXPECT_EQ(acceptTitleAndDescription(typed, title, description), 14010);
    EXPECT_EQ(typed.output.find(u"Please provide allowlist description: "), std::u16string::npos);
}

TEST(OperatorLine, RedirectedInputIsUtf8OrElseTheFallbackCodePage) {
    MemoryPlatform platform;
    platform.typeLine("Caf\xC3\xA9");   // UTF-8
    platform.typeLine("Caf\xE9");       // code page 1252
    platform.typeLine("\xF0\x9F\x98\x80");  // outside the BMP: a surrogate pair
    EXPECT_EQ(readOperatorLine(platform), u"Caf\u00E9");
    EXPECT_FALSE(platform.called("MultiByteToWideChar:1252"));
    EXPECT_EQ(readOperatorLine(platform), u"Caf\u00E9");
    EXPECT_TRUE(platform.called("MultiByteToWideChar:1252"));
    EXPECT_EQ(readOperatorLine(platform), u"\U0001F600");
    EXPECT_EQ(readOperatorLine(platform), u"");  // end of input
}

struct CheckCase {
    const char* proves;
    std::vector<std::string> lines;  // redirected input, one entry per line
    ConsoleStatus expected;
    std::u16string title;            // after trimming, when accepted
    bool descriptionPromptShown;
};

std::string repeat(char c, std::size_t n) { return std::string(n, c); }

class Checks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(Checks, ReportTheFirstFailureInOrder) {
    const CheckCase& c = GetParam();
    MemoryPlatform platform;
    for (const auto& line : c.lines) platform.typeLine(line);
    std::u16string title;
    std::u16string description;
    EXPECT_EQ(acceptTitleAndDescription(platform, title, description), c.expected);
    if (c.expected == 0) {
        EXPECT_EQ(title, c.title);
    }
    EXPECT_EQ(platform.output.find(u"Please provide allowlist description: ") != std::u16string::npos,
              c.descriptionPromptShown);
}

const CheckCase kCheckCases[] = {
    {"title of 50 accepted", {repeat('a', 50), "d"}, 0, std::u16string(50, u'a'), true},
    {"title of 51 refused", {repeat('a', 51), "d"}, 14015, u"", true},
    {"length counted before trimming", {"   " + repeat('a', 48), "d"}, 14015, u"", true},
    {"description of 110 accepted", {"t", repeat('d', 110)}, 0, u"t", true},
    {"description of 111 refused", {"t", repeat('d', 111)}, 14016, u"", true},
    {"empty title skips the description", {""}, 14010, u"", false},
    {"end of input at the title", {}, 14010, u"", false},
    {"empty description", {"title", ""}, 14010, u"", true},
    {"end of input at the description", {"title"}, 14010, u"", true},
    {"blanks-only title passes untouched", {"   ", "d"}, 0, u"   ", true},
    {"a tab inside the title is a control character", {"a\tb", "d"}, 14018, u"", true},
    {"a NUL inside the title is refused", {std::string("ab\0cd", 5), "d"}, 14018, u"", true},
    {"DEL inside the title is refused", {"ab\x7F", "d"}, 14018, u"", true},
    {"an escape character is refused", {"\x1B[31mred", "d"}, 14018, u"", true},
    {"control characters in the description are kept", {"ok", "a\tb"}, 0, u"ok", true},
    {"digit after a blank is refused", {" 1abc", "d"}, 14017, u"", true},
    {"digit at the end is fine", {"abc1", "d"}, 0, u"abc1", true},
    {"underscore and inner blank accepted", {"my_list one", "d"}, 0, u"my_list one", true},
    {"hyphen refused", {"my-list", "d"}, 14018, u"", true},
    {"full stop refused", {"my.list", "d"}, 14018, u"", true},
    {"ampersand refused", {"this&that", "d"}, 14018, u"", true},
    {"too long wins over special", {repeat('-', 51), "d"}, 14015, u"", true},
    {"digit wins over special", {"1-2", "d"}, 14017, u"", true},
    {"title length wins over description length", {repeat('a', 51), repeat('d', 111)}, 14015, u"", true},
    {"description may hold anything", {"ok", "1 <>?!\"'\\`"}, 0, u"ok", true},
    {"trailing blanks trimmed", {"  name\t", "d"}, 0, u"name", true},
    {"non-ASCII is a letter", {"Caf\xC3\xA9", "d"}, 0, u"Caf\u00E9", true},
    {"a two-byte letter counts once", {repeat('a', 49) + "\xC3\xA9", "d"}, 0,
     std::u16string(49, u'a') + u"\u00E9", true},
    {"limit counts UTF-16 units", {repeat('a', 50) + "\xC3\xA9", "d"}, 14015, u"", true},
    {"a full-width digit is not a digit", {"\xEF\xBC\x91x", "d"}, 0, u"\uFF11x", true},
};

INSTANTIATE_TEST_SUITE_P(TitleAndDescription, Checks, ::testing::ValuesIn(kCheckCases),
                         [](const ::testing::TestParamInfo<CheckCase>& info) {
                             std::string name;
                             for (const char* p = info.param.proves; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(Dialogue, ShowsBannerPromptsAndOneEmptyLineInOrder) {
    MemoryPlatform platform;
    platform.typeLine("Title");
    platform.typeLine("  Description ");
    std::u16string title;
    std::u16string description;
    ASSERT_EQ(acceptTitleAndDescription(platform, title, description), 0u);
    EXPECT_EQ(description, u"Description");
    EXPECT_EQ(platform.output,
              bannerText() + u"Please provide allowlist title: Please provide allowlist description: \r\n");
    EXPECT_EQ(bannerText().substr(0, 31), u"Varnel Allowlist Creator v8.2\r\n");
    EXPECT_NE(bannerText().find(u"\r\n\r\nThis command line application discovers all installed "
                                u"applications and creates the allowlist file.\r\n\r\n"),
              std::u16string::npos);
}

// The banner is made from the version header the programs' version resources
// are made from; what the operator sees must not move with it.
TEST(Dialogue, BannerIsByteForByteWhatOperatorsKnow) {
    EXPECT_EQ(bannerText(),
              u"Varnel Allowlist Creator v8.2\r\n"
              u"Copyright (c) 2026 Varnel. All rights reserved.\r\n"
              u"\r\n"
              u"This command line application discovers all installed applications and creates the "
              u"allowlist file.\r\n"
              u"\r\n");
    EXPECT_STREQ(BASELINE_VERSION_TEXT, "8.2");
    EXPECT_STREQ(BASELINE_FILE_VERSION_TEXT, "8.2.0.0");
    EXPECT_STREQ(BASELINE_PRODUCT_NAME " v" BASELINE_VERSION_TEXT, "Varnel Allowlist Creator v8.2");
}

}  // namespace
}  // namespace baseline
