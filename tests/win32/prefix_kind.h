// The kind of Wine prefix a win32 test runs in, as the test registration
// names it, and where its fixtures lie: BASELINE_PREFIX_KIND is win64 for the 64-bit prefix of the 32-bit
// build; every prefix of the 64-bit build is a 64-bit system.
#pragma once

#include <cstdlib>
#include <string>

namespace baseline {

inline bool in64BitPrefix() {
    if (sizeof(void*) == 8) return true;
    const char* kind = std::getenv("BASELINE_PREFIX_KIND");
    return kind != nullptr && std::string(kind) == "win64";
}

// A 32-bit program on a 64-bit system: the only one that WOW64 redirects.
inline bool underWow64() { return sizeof(void*) == 4 && in64BitPrefix(); }

// A fixture the build made, by name. The fixture directory is a Unix path;
// Wine shows the Unix root as drive Z:.
inline std::u16string fixture(const char* name) {
    const char* directory = std::getenv("BASELINE_FIXTURES");
    std::u16string path = u"Z:";
    for (const char* c = directory ? directory : "/nonexistent"; *c; ++c) {
        path.push_back(*c == '/' ? u'\\' : static_cast<char16_t>(*c));
    }
    path += u"\\";
    for (const char* c = name; *c; ++c) path.push_back(static_cast<char16_t>(*c));
    return path;
}

}  // namespace baseline
