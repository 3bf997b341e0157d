// Base64 decoding: the RFC 4648 vectors, then each rule that a strict decoder
// would not follow (nothing skipped, 'A' completion, the '=' rule, values of
// bytes outside the alphabet), and the tool's encoder as the inverse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/base64.h"
#include "encode.h"

namespace baseline {
namespace {

std::string decode(const std::string& text) {
    std::vector<std::uint8_t> out(base64DecodedCapacity(text.size()) + 1, 0xEE);
    const std::size_t written = base64Decode(text.data(), text.size(), out.data());
    EXPECT_LE(written, base64DecodedCapacity(text.size()));
    EXPECT_EQ(out[base64DecodedCapacity(text.size())], 0xEE) << "wrote past the capacity";
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(written));
}

TEST(Base64, Rfc4648Vectors) {
    const std::pair<const char*, const char*> vectors[] = {
        {"Zg==", "f"},         {"Zm8=", "fo"},         {"Zm9v", "foo"},
        {"Zm9vYg==", "foob"}, {"Zm9vYmE=", "fooba"}, {"Zm9vYmFy", "foobar"},
    };
    for (const auto& [text, bytes] : vectors) {
        EXPECT_EQ(decode(text), bytes) << text;
        EXPECT_EQ(tool::base64Encode(bytes), text);
    }
}

TEST(Base64, EmptyInputIsTheOnlyFailure) {
    std::uint8_t out[3] = {};
    EXPECT_EQ(base64Decode("", 0, out), 0u);
    EXPECT_EQ(tool::base64Encode(""), "");
}

TEST(Base64, Quirks) {
    struct Case {
        const char* proves;
        std::string text;
        std::string bytes;
    };
    const Case cases[] = {
        {"a group without '=' yields three bytes", "AAEC", std::string("\x00\x01\x02", 3)},
        {"one '=' at the end yields two bytes", "AAE=", std::string("\x00\x01", 2)},
        {"two '=' yield one byte", "AA==", std::string("\x00", 1)},
        {"a final group of two is completed with 'A'", "Zm", std::string("f`\x00", 3)},
        {"a final group of three is completed with 'A'", "Zm9", std::string("fo@", 3)},
        {"one character is completed too", "Z", std::string("\x64\x00\x00", 3)},
        {"length 5 opens a second group", "Zm9vY", std::string("foo`\x00\x00", 6)},
        {"a byte outside the alphabet counts as 'A' and keeps its place", "Z!9v", decode("ZA9v")},
        {"a line feed is not skipped", "Zm9v\n", std::string("foo\x00\x00\x00", 6)},
        {"a blank is not skipped", "Zm 9v", decode("ZmA9v")},
        {"'=' before a non-'=' counts as 'A' and withholds only its own byte", "Zg=v",
         std::string("\x66\x2F", 2)},
        {"'=' in the first places withholds nothing", "==Zm", std::string("\x00\x06\x66", 3)},
        {"'====' still yields the first byte", "====", std::string("\x00", 1)},
        {"'=' in the middle of the text", "Zg==Zm9v", std::string("ffoo", 4)},
        {"the last values of the alphabet", "+/09az", std::string("\xFB\xFD\x3D\x6B\x30\x00", 6)},
        {"high bytes are outside the alphabet", "\xFFZm9", decode("AZm9")},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decode(c.text), c.bytes) << c.proves;
    }
}

TEST(Base64, ValuesAndAlphabet) {
    EXPECT_EQ(base64Value('A'), 0);
    EXPECT_EQ(base64Value('Z'), 25);
    EXPECT_EQ(base64Value('a'), 26);
    EXPECT_EQ(base64Value('z'), 51);
    EXPECT_EQ(base64Value('0'), 52);
    EXPECT_EQ(base64Value('9'), 61);
    EXPECT_EQ(base64Value('+'), 62);
    EXPECT_EQ(base64Value('/'), 63);
    EXPECT_EQ(base64Value('='), 0);
    EXPECT_EQ(base64Value('-'), 0);
    EXPECT_EQ(base64Value('\0'), 0);
    EXPECT_TRUE(isBase64Alphabet('+'));
    EXPECT_FALSE(isBase64Alphabet('='));
    EXPECT_FALSE(isBase64Alphabet('_'));
}

TEST(Base64, EncodeThenDecodeIsTheIdentityForEveryLength) {
    std::string bytes;
    for (int length = 0; length < 40; ++length) {
        EXPECT_EQ(decode(tool::base64Encode(bytes)), bytes.empty() ? "" : bytes) << length;
        bytes.push_back(static_cast<char>(length * 37 + 11));
    }
}

}  // namespace
}  // namespace baseline
