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
inline std::string encipherRaw(std::string plain) {
    configCipher().encryptBlocks(reinterpret_cast<std::uint8_t*>(plain.data()), plain.size());
    return tool::base64Encode(plain);
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
