// Making baselineconf.dat contents for tests: well-formed ones through the
// tool's encoder, malformed plaintexts (any pad) through the same cipher.
#pragma once

#include <string>

#include "config/blowfish.h"
#include "config/config_key.h"
#include "encode.h"
#include "memory_platform.h"

namespace baseline::testing {

// Base64 of the ECB encryption of `plain`, whose length must be a multiple of 8.
inline std::string encipherRaw(const std::string& plain) {
    BlowfishCipher cipher;
    const auto key = baselineConfigKey();
    cipher.setKey(key.data(), key.size());
    std::string out(plain.size(), '\0');
    for (std::size_t block = 0; block + 8 <= plain.size(); block += 8) {
        std::uint32_t half[2] = {0, 0};
        for (int k = 0; k < 8; ++k) half[k / 4] = (half[k / 4] << 8) | static_cast<std::uint8_t>(plain[block + k]);
        cipher.encryptBlock(half[0], half[1]);
        for (int k = 0; k < 8; ++k) out[block + k] = static_cast<char>(half[k / 4] >> (24 - 8 * (k % 4)));
    }
    return tool::base64Encode(out);
}

// Places a configuration file, made from `json` by the tool's encoder, where
// the creator looks for it.
inline void placeConfig(MemoryPlatform& platform, const std::string& json) {
    platform.files[u".\\baselineconf.dat"] = tool::encryptBaselineText(json);
}

// The variables and directories of a Windows 7 32-bit machine.
inline void scriptWindowsEnvironment(MemoryPlatform& platform) {
    platform.environment = {
        {u"SYSTEMDRIVE", u"C:"},
        {u"PROGRAMFILES", u"C:\\Program Files"},
        {u"WINDIR", u"C:\\Windows"},
        {u"TEMP", u"C:\\Users\\Admin\\AppData\\Local\\Temp"},
    };
    for (const char16_t* directory : {u"C:\\", u"C:\\Windows", u"C:\\Program Files", u"C:\\Tools", u"D:\\Data"}) {
        platform.fileAttributes[directory] = kFileAttributeDirectory;
    }
    platform.fileAttributes[u"C:\\Windows\\notepad.exe"] = 0x20;  // FILE_ATTRIBUTE_ARCHIVE
}

}  // namespace baseline::testing
