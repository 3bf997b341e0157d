// The kind of Wine prefix a win32 test runs in, as the test registration
// names it: BASELINE_PREFIX_KIND is win64 for the 64-bit prefix of the 32-bit
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

}  // namespace baseline
