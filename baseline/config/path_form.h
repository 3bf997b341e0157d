// The two steps every configured or discovered path goes through before it is
// compared: environment expansion and the path normal form (ASCII capitals
// lowered, one trailing backslash gone). Shared by configuration and discovery.
#pragma once

#include <string>

namespace baseline {

class Platform;

// ExpandEnvironmentStringsW into 260 units first; when the result needs more,
// asked again with the size reported, so a path is never cut. False when the
// call fails (returns 0).
bool expandPath(Platform& platform, const std::u16string& source, std::u16string& expanded);

// Every unit from 'A' to 'Z' lowered (nothing else changes case), then one
// trailing backslash removed.
std::u16string normalizePath(std::u16string path);

// ASCII-only case folding.
std::u16string lowerAscii(std::u16string text);

}  // namespace baseline
