// The one comparable form of paths and publisher names: ASCII letters lowered,
// nothing else folded, and for paths one trailing backslash removed.
#pragma once

#include <string>

namespace baseline {

// A to Z become a to z; every other UTF-16 unit stays as it is.
std::u16string lowerAscii(std::u16string text);

// lowerAscii, then one trailing backslash removed.
std::u16string normalizePath(const std::u16string& path);

}  // namespace baseline
