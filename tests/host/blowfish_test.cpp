// Blowfish against Eric Young's published test vectors: the variable-key set
// (64-bit keys) and the set_key set (keys of 1 to 24 bytes, which also proves
// the cyclic use of short keys that our 15-byte key relies on).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "config/blowfish.h"

namespace baseline {
namespace {

std::vector<std::uint8_t> fromHex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

std::uint64_t blockOf(const std::string& hex) { return std::stoull(hex, nullptr, 16); }

std::uint64_t run(const BlowfishCipher& cipher, std::uint64_t block, bool encrypt) {
    auto left = static_cast<std::uint32_t>(block >> 32);
    auto right = static_cast<std::uint32_t>(block);
    if (encrypt) {
        cipher.encryptBlock(left, right);
    } else {
        cipher.decryptBlock(left, right);
    }
    return (std::uint64_t{left} << 32) | right;
}

struct Vector {
    const char* key;
    const char* plain;
    const char* cipher;
};

constexpr Vector kVariableKey[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// The first n bytes of this key, n = 1 to 24, encipher FEDCBA9876543210.
constexpr const char* kSetKeyKey = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
constexpr const char* kSetKeyCiphers[] = {
    "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
    "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
    "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
    "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
    "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
};

TEST(Blowfish, VariableKeyVectorsInBothDirections) {
    for (const auto& v : kVariableKey) {
        SCOPED_TRACE(std::string(v.key) + " " + v.plain);
        BlowfishCipher cipher;
        const auto key = fromHex(v.key);
        cipher.setKey(key.data(), key.size());
        EXPECT_EQ(run(cipher, blockOf(v.plain), true), blockOf(v.cipher));
        EXPECT_EQ(run(cipher, blockOf(v.cipher), false), blockOf(v.plain));
    }
}

TEST(Blowfish, SetKeyVectorsForKeysOfOneTo24Bytes) {
    const auto fullKey = fromHex(kSetKeyKey);
    for (std::size_t length = 1; length <= 24; ++length) {
        SCOPED_TRACE(length);
        BlowfishCipher cipher;
        cipher.setKey(fullKey.data(), length);
        EXPECT_EQ(run(cipher, blockOf("FEDCBA9876543210"), true), blockOf(kSetKeyCiphers[length - 1]));
        EXPECT_EQ(run(cipher, blockOf(kSetKeyCiphers[length - 1]), false), blockOf("FEDCBA9876543210"));
    }
}

TEST(Blowfish, SetKeyStartsAgainFromTheInitialTables) {
    const auto first = fromHex("0123456789ABCDEF");
    const auto second = fromHex("0000000000000000");
    BlowfishCipher cipher;
    cipher.setKey(first.data(), first.size());
    cipher.setKey(second.data(), second.size());
    EXPECT_EQ(run(cipher, 0, true), blockOf("4EF997456198DD78"));
}

TEST(Blowfish, BlocksInTurnAreBigEndianHalvesAndTheRestStays) {
    const auto key = fromHex("0000000000000000");
    BlowfishCipher cipher;
    cipher.setKey(key.data(), key.size());
    // Two zero blocks, then three bytes that make no block.
    std::vector<std::uint8_t> bytes(19, 0);
    bytes[16] = 1, bytes[17] = 2, bytes[18] = 3;
    cipher.encryptBlocks(bytes.data(), bytes.size());
    const auto expected = fromHex("4EF997456198DD78");
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin()));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin() + 8));
    EXPECT_EQ(bytes[16] + bytes[17] * 10 + bytes[18] * 100, 321);
    cipher.decryptBlocks(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3}));
}

}  // namespace
}  // namespace baseline
