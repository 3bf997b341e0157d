// Base64 decoding of the configuration file's one line of text.
#include "config/base64.h"

namespace baseline {

bool isBase64Alphabet(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

std::uint8_t base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return static_cast<std::uint8_t>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<std::uint8_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;  // '=' and every byte outside the alphabet
}

std::size_t base64Decode(const char* text, std::size_t count, std::uint8_t* out) {
    if (count == 0) return 0;
    std::size_t written = 0;
    for (std::size_t group = 0; group < count; group += 4) {
        char c[4];
        for (std::size_t k = 0; k < 4; ++k) c[k] = group + k < count ? text[group + k] : 'A';
        const unsigned v0 = base64Value(c[0]), v1 = base64Value(c[1]), v2 = base64Value(c[2]),
                       v3 = base64Value(c[3]);
        out[written++] = static_cast<std::uint8_t>((v0 << 2) | (v1 >> 4));
        if (c[2] != '=') out[written++] = static_cast<std::uint8_t>(((v1 << 4) | (v2 >> 2)) & 0xFF);
        if (c[3] != '=') out[written++] = static_cast<std::uint8_t>(((v2 << 6) | v3) & 0xFF);
    }
    return written;
}

}  // namespace baseline
