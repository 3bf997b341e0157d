// Blowfish over the tables generated from the digits of pi.
#include "config/blowfish.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "config/blowfish_tables.h"

namespace baseline {
namespace {

std::uint32_t readBigEndian(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

void writeBigEndian(std::uint32_t word, std::uint8_t* bytes) {
    bytes[0] = static_cast<std::uint8_t>(word >> 24);
    bytes[1] = static_cast<std::uint8_t>(word >> 16);
    bytes[2] = static_cast<std::uint8_t>(word >> 8);
    bytes[3] = static_cast<std::uint8_t>(word);
}

// The one block loop: each block is read as two big-endian halves.
template <typename Step>
void eachBlock(std::uint8_t* bytes, std::size_t length, Step step) {
    for (std::size_t block = 0; block + 8 <= length; block += 8) {
        std::uint32_t left = readBigEndian(bytes + block);
        std::uint32_t right = readBigEndian(bytes + block + 4);
        step(left, right);
        writeBigEndian(left, bytes + block);
        writeBigEndian(right, bytes + block + 4);
    }
}

}  // namespace

void BlowfishCipher::encryptBlocks(std::uint8_t* bytes, std::size_t length) const {
    eachBlock(bytes, length, [this](std::uint32_t& l, std::uint32_t& r) { encryptBlock(l, r); });
}

void BlowfishCipher::decryptBlocks(std::uint8_t* bytes, std::size_t length) const {
    eachBlock(bytes, length, [this](std::uint32_t& l, std::uint32_t& r) { decryptBlock(l, r); });
}

std::uint32_t BlowfishCipher::round(std::uint32_t half) const {
    return ((s_[0][half >> 24] + s_[1][(half >> 16) & 0xFF]) ^ s_[2][(half >> 8) & 0xFF]) +
           s_[3][half & 0xFF];
}

void BlowfishCipher::encryptBlock(std::uint32_t& left, std::uint32_t& right) const {
    for (int i = 0; i < 16; ++i) {
        left ^= p_[i];
        right ^= round(left);
        std::swap(left, right);
    }
    std::swap(left, right);
    right ^= p_[16];
    left ^= p_[17];
}

void BlowfishCipher::decryptBlock(std::uint32_t& left, std::uint32_t& right) const {
    for (int i = 17; i > 1; --i) {
        left ^= p_[i];
        right ^= round(left);
        std::swap(left, right);
    }
    std::swap(left, right);
    right ^= p_[1];
    left ^= p_[0];
}

void BlowfishCipher::setKey(const std::uint8_t* key, std::size_t length) {
    using namespace blowfish_tables;
    std::copy(std::begin(kInitialP), std::end(kInitialP), p_);
    std::copy(std::begin(kInitialS0), std::end(kInitialS0), s_[0]);
    std::copy(std::begin(kInitialS1), std::end(kInitialS1), s_[1]);
    std::copy(std::begin(kInitialS2), std::end(kInitialS2), s_[2]);
    std::copy(std::begin(kInitialS3), std::end(kInitialS3), s_[3]);
    if (length > 0) {
        std::size_t position = 0;
        for (auto& word : p_) {
            std::uint32_t keyWord = 0;
            for (int k = 0; k < 4; ++k) {
                keyWord = (keyWord << 8) | key[position];
                position = (position + 1) % length;
            }
            word ^= keyWord;
        }
    }
    std::uint32_t left = 0, right = 0;
    for (int i = 0; i < 18; i += 2) {
        encryptBlock(left, right);
        p_[i] = left;
        p_[i + 1] = right;
    }
    for (auto& box : s_) {
        for (int i = 0; i < 256; i += 2) {
            encryptBlock(left, right);
            box[i] = left;
            box[i + 1] = right;
        }
    }
}

}  // namespace baseline
