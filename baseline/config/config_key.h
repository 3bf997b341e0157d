// The 15-byte Blowfish key of baselineconf.dat, shared by the allowlist
// creator and the baselineconf tool.
#pragma once

#include <array>
#include <cstdint>

#include "config/blowfish.h"

namespace baseline {

using BaselineConfigKey = std::array<std::uint8_t, 15>;

// Assembles the key from its pieces; the whole key is never stored.
BaselineConfigKey baselineConfigKey();

// A cipher keyed for baselineconf.dat.
BlowfishCipher configCipher();

}  // namespace baseline
