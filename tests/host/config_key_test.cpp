// The configuration key: 15 printable ASCII characters, the same each time.
#include <gtest/gtest.h>

#include "config/config_key.h"

namespace baseline {
namespace {

TEST(ConfigKey, FifteenPrintableAsciiCharactersEveryTime) {
    const BaselineConfigKey key = baselineConfigKey();
    EXPECT_EQ(key.size(), 15u);
    for (const std::uint8_t byte : key) {
        EXPECT_GE(byte, 0x21);
        EXPECT_LE(byte, 0x7E);
    }
    EXPECT_EQ(baselineConfigKey(), key);
}

}  // namespace
}  // namespace baseline
