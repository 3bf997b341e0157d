// A hash for tables whose keys come from outside: names from a document, a
// configuration or a scanned file's certificate. SipHash-2-4 under a key drawn
// once per process from the system's random source, so nobody can compute
// names that share one bucket ahead of the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace baseline {

// SipHash-2-4 of `size` bytes under the process's key.
std::uint64_t keyedHash(const void* data, std::size_t size);

// The same, fed a piece at a time: for keys that are not one run of bytes.
class KeyedHasher {
public:
    KeyedHasher();
    void add(unsigned char byte);
    void add(const void* data, std::size_t size);
    std::uint64_t finish();

private:
    void compress(std::uint64_t word);
    std::uint64_t v_[4];
    std::uint64_t pending_ = 0;  // bytes not yet a whole word, little-endian
    std::uint64_t length_ = 0;
};

// For unordered containers of text or numbers from untrusted input.
struct KeyedHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return static_cast<std::size_t>(keyedHash(text.data(), text.size()));
    }
    std::size_t operator()(std::u16string_view text) const {
        return static_cast<std::size_t>(keyedHash(text.data(), text.size() * sizeof(char16_t)));
    }
    std::size_t operator()(std::int64_t number) const {
        return static_cast<std::size_t>(keyedHash(&number, sizeof number));
    }
};

}  // namespace baseline
