// baselineconf.dat: Base64 of a Blowfish-ECB ciphertext whose plaintext is the
// configuration's UTF-8 JSON text followed by 1 to 8 pad bytes, the last of
// which gives their number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace baseline {

class Platform;

// Reads ".\baselineconf.dat" from the working directory, whole, in the C
// runtime's text mode. False when it cannot be opened or read.
bool readBaselineFile(Platform& platform, std::string& content);

// The same file's bytes as they lie on disk (binary mode), read only after a
// failed load, to name what is wrong with them.
bool readBaselineFileBytes(Platform& platform, std::string& bytes);

// Why a file's content did or did not decrypt to a JSON text.
enum class DecryptOutcome {
    ok,
    empty,            // no characters at all
    badLength,        // decoded length 0, not a multiple of 8, or larger than the text
    badPadding,       // the last deciphered byte is not a pad length from 1 to 8
    noMemory,         // a work buffer could not be had
};

// What decryptBaselineTextDetailed saw on the way, for the checking tool.
struct DecryptFacts {
    std::size_t decodedLength = 0;
    std::string plaintext;  // all deciphered bytes, pad included (when the length was right)
};

// Base64-decodes, deciphers with the configuration key and removes the pad.
// On success `json` receives the text up to the pad or to its first zero byte;
// otherwise `json` is untouched.
bool decryptBaselineText(const std::string& content, std::string& json);
DecryptOutcome decryptBaselineTextDetailed(const std::string& content, std::string& json,
                                           DecryptFacts* facts);

}  // namespace baseline
