// Expansion and normal form of configured paths.
#include "platform/path_form.h"

#include <algorithm>
#include <cstdint>

#include "platform/platform.h"

namespace baseline {

bool expandPath(Platform& platform, const std::u16string& source, std::u16string& expanded) {
    std::uint32_t bufferLength = 260;  // MAX_PATH, terminator included
    // The environment cannot grow between the calls of this single-threaded
    // program, but a bounded retry costs nothing and never loops forever.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::uint32_t needed = platform.expandEnvironmentStrings(source, expanded, bufferLength);
        if (needed == 0) return false;
        if (needed <= bufferLength) return true;
        bufferLength = needed;
    }
    return false;
}

std::u16string lowerAscii(std::u16string text) {
    for (auto& c : text) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return text;
}

std::u16string collapseSeparators(std::u16string path) {
    std::size_t kept = std::min<std::size_t>(path.size(), 2);
    for (std::size_t i = kept; i < path.size(); ++i) {
        if (path[i] == u'\\' && i > 2 && path[i - 1] == u'\\') continue;
        path[kept++] = path[i];
    }
    path.resize(kept);
    return path;
}

std::u16string normalizePath(std::u16string path) {
    path = lowerAscii(collapseSeparators(std::move(path)));
    if (!path.empty() && path.back() == u'\\') path.pop_back();
    return path;
}

}  // namespace baseline
