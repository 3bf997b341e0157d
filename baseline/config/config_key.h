// The 15-byte Blowfish key of baselineconf.dat, shared by the allowlist
// creator and the baselineconf tool.
#pragma once

#include <array>
#include <cstdint>

namespace baseline {

using BaselineConfigKey = std::array<std::uint8_t, 15>;

// Assembles the key from its pieces; the whole key is never stored.
BaselineConfigKey baselineConfigKey();

}  // namespace baseline
