// The two steps every configured or discovered path goes through before it is
// compared: environment expansion and the path normal form. Shared by
// configuration, discovery, the document and host identification.
#pragma once

#include <string>

namespace baseline {

class Platform;

// A configured path expanded as a native process would expand it: on 64-bit
// Windows %PROGRAMFILES% and %COMMONPROGRAMFILES% are the native folders in
// the 32-bit program too, as %PROGRAMW6432% and %COMMONPROGRAMW6432% name
// them. ExpandEnvironmentStringsW into 260 units first; when the result
// needs more, asked again with the size reported, so a path is never cut.
// False when the call fails (returns 0).
bool expandPath(Platform& platform, const std::u16string& source, std::u16string& expanded);

// The form in which paths are compared: every unit from 'A' to 'Z' lowered
// (nothing else changes case), every run of backslashes after the first two
// units collapsed to one, then one trailing backslash removed. A root
// written as D:\ gives its children a doubled separator (D:\\Temp); they
// must still meet the rules written for D:\Temp. The first two units keep a
// UNC path's leading pair.
std::u16string normalizePath(std::u16string path);

// Every run of backslashes after the first two units as one backslash.
std::u16string collapseSeparators(std::u16string path);

// ASCII-only case folding.
std::u16string lowerAscii(std::u16string text);

}  // namespace baseline
