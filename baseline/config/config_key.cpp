// The key lives in the program as three masked pieces in shuffled order, and
// is put together only when it is needed, so no 15 bytes of the file ever
// spell it. Changing a piece makes every deployed baselineconf.dat unreadable.
#include "config/config_key.h"

#include <cstddef>

namespace baseline {
namespace {

template <std::size_t N>
struct MaskedPiece {
    std::uint8_t mask;
    std::size_t offset;  // where the piece goes in the key
    std::uint8_t bytes[N];
};

template <std::size_t N>
constexpr MaskedPiece<N - 1> mask(const char (&text)[N], std::uint8_t maskByte, std::size_t offset) {
    MaskedPiece<N - 1> piece{maskByte, offset, {}};
    for (std::size_t i = 0; i + 1 < N; ++i) {
        piece.bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(text[i]) ^ maskByte ^ (i * 29));
    }
    return piece;
}

// Volatile so that the compiler cannot fold the pieces back into one constant.
constexpr auto kTail = mask("Lk9#Pz", 0xA7, 9);
constexpr auto kHead = mask("q7Vx", 0x3C, 0);
constexpr auto kMiddle = mask("!Rn2@", 0x5E, 4);
const volatile MaskedPiece<6> gTail = kTail;
const volatile MaskedPiece<4> gHead = kHead;
const volatile MaskedPiece<5> gMiddle = kMiddle;

template <std::size_t N>
void unmaskInto(const volatile MaskedPiece<N>& piece, BaselineConfigKey& key) {
    for (std::size_t i = 0; i < N; ++i) {
        key[piece.offset + i] = static_cast<std::uint8_t>(piece.bytes[i] ^ piece.mask ^ (i * 29));
    }
}

static_assert(kHead.offset + 4 == kMiddle.offset && kMiddle.offset + 5 == kTail.offset &&
              kTail.offset + 6 == std::tuple_size_v<BaselineConfigKey>);

}  // namespace

BaselineConfigKey baselineConfigKey() {
    BaselineConfigKey key{};
    unmaskInto(gMiddle, key);
    unmaskInto(gTail, key);
    unmaskInto(gHead, key);
    return key;
}

BlowfishCipher configCipher() {
    BlowfishCipher cipher;
    const BaselineConfigKey key = baselineConfigKey();
    cipher.setKey(key.data(), key.size());
    return cipher;
}

}  // namespace baseline
