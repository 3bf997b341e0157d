// Padding, Blowfish encryption and Base64 encoding of a configuration text.
#include "encode.h"

#include "config/blowfish.h"
#include "config/config_key.h"

namespace baseline::tool {

std::string base64Encode(const std::string& bytes) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        std::uint32_t group = std::uint32_t{static_cast<std::uint8_t>(bytes[i])} << 16;
        if (left > 1) group |= std::uint32_t{static_cast<std::uint8_t>(bytes[i + 1])} << 8;
        if (left > 2) group |= static_cast<std::uint8_t>(bytes[i + 2]);
        out.push_back(kAlphabet[(group >> 18) & 63]);
        out.push_back(kAlphabet[(group >> 12) & 63]);
        out.push_back(left > 1 ? kAlphabet[(group >> 6) & 63] : '=');
        out.push_back(left > 2 ? kAlphabet[group & 63] : '=');
    }
    return out;
}

std::string encryptBaselineText(const std::string& json) {
    std::string plain = json;
    const auto padLength = static_cast<char>(8 - plain.size() % 8);  // 1 to 8
    plain.append(static_cast<std::size_t>(padLength), padLength);

    configCipher().encryptBlocks(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size());
    return base64Encode(plain);
}

}  // namespace baseline::tool
