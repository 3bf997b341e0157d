// Reading and deciphering baselineconf.dat. Every failure is silent: the
// caller learns only true or false (the checking tool also learns why).
#include "config/baseline_file.h"

#include <new>
#include <vector>

#include "config/base64.h"
#include "config/blowfish.h"
#include "config/config_key.h"
#include "platform/platform.h"

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

DecryptOutcome decipher(const std::string& content, std::string& json, DecryptFacts* facts);

}  // namespace

bool readBaselineFile(Platform& platform, std::string& content) {
    return platform.readTextModeFile(u".\\baselineconf.dat", content);
}

namespace {

DecryptOutcome decipher(const std::string& content, std::string& json, DecryptFacts* facts) {
    const std::size_t n = content.size();
    if (n == 0) return DecryptOutcome::empty;
    std::vector<std::uint8_t> decoded(base64DecodedCapacity(n));
    const std::size_t m = base64Decode(content.data(), n, decoded.data());
    if (facts) facts->decodedLength = m;

    BlowfishCipher cipher;
    const BaselineConfigKey key = baselineConfigKey();
    cipher.setKey(key.data(), key.size());
    if (m == 0 || m % 8 != 0 || m > n) return DecryptOutcome::badLength;

    std::vector<std::uint8_t> plain(m);
    for (std::size_t block = 0; block < m; block += 8) {
        std::uint32_t left = readBigEndian(&decoded[block]);
        std::uint32_t right = readBigEndian(&decoded[block + 4]);
        cipher.decryptBlock(left, right);
        writeBigEndian(left, &plain[block]);
        writeBigEndian(right, &plain[block + 4]);
    }
    if (facts) facts->plaintext.assign(plain.begin(), plain.end());

    const std::uint8_t padLength = plain[m - 1];
    if (padLength < 1 || padLength > 8) return DecryptOutcome::badPadding;
    std::size_t end = 0;
    while (end < m - padLength && plain[end] != 0) ++end;
    json.assign(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(end));
    return DecryptOutcome::ok;
}

}  // namespace

DecryptOutcome decryptBaselineTextDetailed(const std::string& content, std::string& json,
                                           DecryptFacts* facts) {
    try {
        return decipher(content, json, facts);
    } catch (const std::bad_alloc&) {
        return DecryptOutcome::noMemory;
    }
}

bool decryptBaselineText(const std::string& content, std::string& json) {
    return decryptBaselineTextDetailed(content, json, nullptr) == DecryptOutcome::ok;
}

}  // namespace baseline
