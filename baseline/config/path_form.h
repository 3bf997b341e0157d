// The two steps every configured path goes through: environment expansion and
// the path normal form (ASCII capitals lowered, one trailing backslash gone).
#pragma once

#include <string>

namespace baseline {

class Platform;

// ExpandEnvironmentStringsW into 260 units first; when the result needs more,
// asked again with the size reported, so a path is never cut. False when the
// call fails (returns 0).
bool expandEnvironmentFully(Platform& platform, const std::u16string& source, std::u16string& expanded);

// Every unit from 'A' to 'Z' lowered (nothing else changes case), then one
// trailing backslash removed.
std::u16string normalisePath(std::u16string path);

// ASCII-only case folding.
std::u16string lowerAscii(std::u16string text);

}  // namespace baseline
