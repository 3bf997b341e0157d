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

DecryptOutcome decipher(const std::string& content, std::string& json, DecryptFacts* facts);

}  // namespace

bool readBaselineFile(Platform& platform, std::string& content) {
    return platform.readTextModeFile(u".\\baselineconf.dat", content);
}

bool readBaselineFileBytes(Platform& platform, std::string& bytes) {
    return platform.readBinaryModeFile(u".\\baselineconf.dat", bytes);
}

namespace {

DecryptOutcome decipher(const std::string& content, std::string& json, DecryptFacts* facts) {
    const std::size_t n = content.size();
    if (n == 0) return DecryptOutcome::empty;
    std::vector<std::uint8_t> decoded(base64DecodedCapacity(n));
    const std::size_t m = base64Decode(content.data(), n, decoded.data());
    if (facts) facts->decodedLength = m;

    const BlowfishCipher cipher = configCipher();
    if (m == 0 || m % 8 != 0 || m > n) return DecryptOutcome::badLength;

    std::vector<std::uint8_t> plain(decoded.begin(), decoded.begin() + static_cast<std::ptrdiff_t>(m));
    cipher.decryptBlocks(plain.data(), m);
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
