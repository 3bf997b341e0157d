// Making a baselineconf.dat: the reverse of the creator's decryption, over the
// same cipher and key.
#pragma once

#include <cstdint>
#include <string>

namespace baseline::tool {

// Standard Base64 with '=' padding, on one line.
std::string base64Encode(const std::string& bytes);

// Pads the text with 1 to 8 bytes, each holding the pad length, enciphers it
// in ECB mode with the configuration key and returns the Base64 text (no line
// break).
std::string encryptBaselineText(const std::string& json);

}  // namespace baseline::tool
