// Paths of 260 UTF-16 units and more fail in the plain Win32 file calls. The
// win32 layer hands such paths to the system in the extended-length form
// instead, while everything the program records keeps the path as it was built.
#pragma once

#include <string>

namespace baseline {

// Paths at or above this length (terminator not counted) need the extended form.
constexpr std::size_t kLongPathThreshold = 260 - 1;

// The `\\?\` form of an absolute drive or UNC path, with the normalisation the
// plain calls would have done and the extended form does not: forward slashes
// become backslashes, repeated separators collapse, "." and ".." components are
// resolved. Other paths (relative ones, and those already in a `\\?\` or `\\.\`
// form) come back unchanged.
std::u16string extendedLengthPath(const std::u16string& path);

// The path to pass to a file call: unchanged when short, extended when long.
std::u16string systemPath(const std::u16string& path);
// The same without a copy of a short path: `path` itself, or its extended
// form kept in `longForm`.
const std::u16string& systemPath(const std::u16string& path, std::u16string& longForm);

}  // namespace baseline
