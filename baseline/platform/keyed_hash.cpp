// SipHash-2-4 (Aumasson and Bernstein), keyed once per process from
// std::random_device: the system's random source on Linux, and RtlGenRandom
// through the C runtime's rand_s in the Windows build.
#include "platform/keyed_hash.h"

#include <chrono>
#include <cstring>
#include <random>

namespace baseline {
namespace {

struct Key {
    std::uint64_t k0, k1;
};

Key drawKey() {
    try {
        std::random_device source;
        const auto word = [&] { return (std::uint64_t{source()} << 32) | source(); };
        return {word(), word()};
    } catch (...) {
        // No random source: still no key anyone could know before the run.
        const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        const auto here = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(&now));
        return {now * 0x9E3779B97F4A7C15ull ^ here, here * 0xC2B2AE3D27D4EB4Full ^ now};
    }
}

const Key& processKey() {
    static const Key key = drawKey();
    return key;
}

std::uint64_t rotate(std::uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

void round(std::uint64_t* v) {
    v[0] += v[1]; v[1] = rotate(v[1], 13); v[1] ^= v[0]; v[0] = rotate(v[0], 32);
    v[2] += v[3]; v[3] = rotate(v[3], 16); v[3] ^= v[2];
    v[0] += v[3]; v[3] = rotate(v[3], 21); v[3] ^= v[0];
    v[2] += v[1]; v[1] = rotate(v[1], 17); v[1] ^= v[2]; v[2] = rotate(v[2], 32);
}

}  // namespace

KeyedHasher::KeyedHasher() {
    const Key& key = processKey();
    v_[0] = key.k0 ^ 0x736f6d6570736575ull;
    v_[1] = key.k1 ^ 0x646f72616e646f6dull;
    v_[2] = key.k0 ^ 0x6c7967656e657261ull;
    v_[3] = key.k1 ^ 0x7465646279746573ull;
}

void KeyedHasher::compress(std::uint64_t word) {
    v_[3] ^= word;
    round(v_);
    round(v_);
    v_[0] ^= word;
}

void KeyedHasher::add(unsigned char byte) {
    pending_ |= std::uint64_t{byte} << (8 * (length_ % 8));
    if (++length_ % 8 == 0) {
        compress(pending_);
        pending_ = 0;
    }
}

void KeyedHasher::add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t i = 0;
    for (; i < size && length_ % 8 != 0; ++i) add(bytes[i]);
    for (; i + 8 <= size; i += 8) {
        std::uint64_t word = 0;
        for (int b = 7; b >= 0; --b) word = (word << 8) | bytes[i + b];  // little-endian on every host
        compress(word);
        length_ += 8;
    }
    for (; i < size; ++i) add(bytes[i]);
}

std::uint64_t KeyedHasher::finish() {
    compress(pending_ | (length_ << 56));
    v_[2] ^= 0xff;
    for (int i = 0; i < 4; ++i) round(v_);
    return v_[0] ^ v_[1] ^ v_[2] ^ v_[3];
}

std::uint64_t keyedHash(const void* data, std::size_t size) {
    KeyedHasher hasher;
    hasher.add(data, size);
    return hasher.finish();
}

}  // namespace baseline
