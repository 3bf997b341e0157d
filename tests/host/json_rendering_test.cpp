// Rendering of one block: the JSON library's layout at its default settings,
// with raw UTF-8 and upper-case \u escapes for the control bytes that remain.
#include <gtest/gtest.h>

#include <string>

#include "document/json_rendering.h"

namespace baseline {
namespace {

struct EscapeCase {
    const char* proves;
    std::u16string text;
    std::string written;  // between the quotes
};

class StringEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(StringEscapes, AreExactlyThoseOfTheDocument) {
    Json::Value block(Json::objectValue);
    block["k"] = jsonText(GetParam().text);
    EXPECT_EQ(renderBlock(block), "{\n\t\"k\" : \"" + GetParam().written + "\"\n}") << GetParam().proves;
}

INSTANTIATE_TEST_SUITE_P(
    Rendering, StringEscapes,
    ::testing::Values(
        EscapeCase{"plain ASCII", u"Example Ltd", "Example Ltd"},
        EscapeCase{"double quote", u"a\"b", "a\\\"b"},
        EscapeCase{"backslash", u"C:\\Tools\\", "C:\\\\Tools\\\\"},
        EscapeCase{"slash is not escaped", u"a/b", "a/b"},
        EscapeCase{"the short escapes", u"\b\f\n\r\t", "\\b\\f\\n\\r\\t"},
        EscapeCase{"0x1F in upper case", u"\x1F", "\\u001F"},
        EscapeCase{"0x01 and 0x1B", u"\x01\x1B", "\\u0001\\u001B"},
        EscapeCase{"a NUL ends the text", std::u16string(u"ab\0cd", 5), "ab"},
        EscapeCase{"a NUL first leaves nothing", std::u16string(1, u'\0'), ""},
        EscapeCase{"DEL stays raw", u"\x7F", "\x7F"},
        EscapeCase{"Latin letters as raw UTF-8", u"Caf\u00E9", "Caf\xC3\xA9"},
        EscapeCase{"CJK as raw UTF-8", u"\u6F22\u5B57", "\xE6\xBC\xA2\xE5\xAD\x97"},
        EscapeCase{"beyond the BMP as four bytes", u"\U0001F600", "\xF0\x9F\x98\x80"},
        EscapeCase{"unpaired surrogate as U+FFFD", std::u16string(1, char16_t(0xD800)), "\xEF\xBF\xBD"},
        EscapeCase{"a literal backslash-u stays lower case", u"\\u00ab", "\\\\u00ab"},
        EscapeCase{"escape after a literal backslash-u", u"\\u00ab\x1F", "\\\\u00ab\\u001F"}));

TEST(Rendering, IntegersBooleansAndKeyOrder) {
    Json::Value block(Json::objectValue);
    block["zeta"] = Json::Value(static_cast<Json::Int>(-1));
    block["alpha"] = Json::Value(static_cast<Json::Int64>(4102444800LL));
    block["mid"] = Json::Value(true);
    EXPECT_EQ(renderBlock(block), "{\n\t\"alpha\" : 4102444800,\n\t\"mid\" : true,\n\t\"zeta\" : -1\n}");
}

TEST(Rendering, UpperCasingLeavesEverythingButEscapeDigitsAlone) {
    EXPECT_EQ(upperCaseUnicodeEscapes("\"\\u00ab\" abcdef"), "\"\\u00AB\" abcdef");
    EXPECT_EQ(upperCaseUnicodeEscapes("\\\\u00ab"), "\\\\u00ab");
    EXPECT_EQ(upperCaseUnicodeEscapes("\\u00"), "\\u00");  // cut short: nothing to read past
    EXPECT_EQ(upperCaseUnicodeEscapes(""), "");
}

TEST(BlockRenderer, OneRendererGivesEveryBlockTheBytesOfAFreshOne) {
    Json::Value nested(Json::objectValue);
    nested["list"].append(Json::Value(1));
    nested["list"].append(Json::Value(Json::objectValue));
    nested["list"][1]["inner"] = jsonText(u"x\u001fy");
    Json::Value flat(Json::objectValue);
    flat["b"] = true;
    flat["a"] = jsonText(u"caf\u00e9 \"q\"");
    Json::Value empty(Json::objectValue);
    BlockRenderer renderer;
    // Text already in the buffer is neither rewritten nor upper-cased.
    std::string out = "\\u00ab";
    std::string expected = out;
    for (const Json::Value* block : {&nested, &flat, &empty, &nested, &flat}) {
        renderer.appendTo(*block, out);
        expected += renderBlock(*block);
    }
    EXPECT_EQ(out, expected);
    EXPECT_NE(out.find("\\u001F"), std::string::npos);
}

TEST(BlockRenderer, TextInABufferIsTheTextOfAValue) {
    std::string buffer = "left over from a longer text";
    for (const std::u16string text : {std::u16string(u"C:\\Tools\\"), std::u16string(u""),
                                      std::u16string(u"cut\0here", 8), std::u16string(u"\u20ac\U0001F600")}) {
        Json::Value owned(Json::objectValue), pointing(Json::objectValue);
        owned["k"] = jsonText(text);
        pointing["k"] = jsonTextIn(buffer, text);
        EXPECT_EQ(renderBlock(pointing), renderBlock(owned));
    }
}

}  // namespace
}  // namespace baseline
