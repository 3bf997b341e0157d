// Blowfish (16 rounds, 64-bit blocks) with the standard key schedule. The
// configuration file is deciphered with it; encryption serves the key schedule
// and the administrator's tool.
#pragma once

#include <cstddef>
#include <cstdint>

namespace baseline {

class BlowfishCipher {
public:
    // Loads the initial tables, then mixes in the key (1 byte or more, used
    // cyclically) and runs the 521 encryptions of the schedule.
    void setKey(const std::uint8_t* key, std::size_t length);
    // One block as its two big-endian halves, changed in place.
    void encryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    void decryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    // Every whole 8-byte block of `bytes` in turn (ECB), in place; a shorter
    // rest is left as it is.
    void encryptBlocks(std::uint8_t* bytes, std::size_t length) const;
    void decryptBlocks(std::uint8_t* bytes, std::size_t length) const;

private:
    std::uint32_t round(std::uint32_t half) const;

    std::uint32_t p_[18] = {};
    std::uint32_t s_[4][256] = {};
};

}  // namespace baseline
