// Extended-length path conversion; pure string work, shared by the win32
// layer and its host tests.
#include "platform/long_path.h"

#include <vector>

namespace baseline {
namespace {

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool isDriveLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// Joins the components of `rest`, resolving "." and ".."; ".." never climbs
// above the first `keep` components (the drive, or server and share).
std::u16string joinComponents(const std::u16string& rest, std::size_t keep) {
    std::vector<std::u16string> parts;
    std::u16string part;
    auto flush = [&] {
        if (part.empty() || part == u".") {
        } else if (part == u"..") {
            if (parts.size() > keep) parts.pop_back();
        } else {
            parts.push_back(part);
        }
        part.clear();
    };
    for (char16_t c : rest) {
        if (isSeparator(c)) {
            flush();
        } else {
            part.push_back(c);
        }
    }
    flush();
    std::u16string joined;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) joined.push_back(u'\\');
        joined += parts[i];
    }
    // A trailing separator is meaningful in a search pattern such as "C:\".
    if (!rest.empty() && isSeparator(rest.back())) joined.push_back(u'\\');
    return joined;
}

}  // namespace

std::u16string extendedLengthPath(const std::u16string& path) {
    if (path.size() >= 4 && path[0] == u'\\' && path[1] == u'\\' &&
        (path[2] == u'?' || path[2] == u'.') && path[3] == u'\\') {
        return path;
    }
    if (path.size() >= 3 && isDriveLetter(path[0]) && path[1] == u':' && isSeparator(path[2])) {
        return u"\\\\?\\" + joinComponents(path, 1);
    }
    if (path.size() >= 3 && isSeparator(path[0]) && isSeparator(path[1]) && !isSeparator(path[2])) {
        return u"\\\\?\\UNC\\" + joinComponents(path.substr(2), 2);
    }
    return path;
}

std::u16string systemPath(const std::u16string& path) {
    return path.size() >= kLongPathThreshold ? extendedLengthPath(path) : path;
}

const std::u16string& systemPath(const std::u16string& path, std::u16string& longForm) {
    if (path.size() < kLongPathThreshold) return path;
    longForm = extendedLengthPath(path);
    return longForm;
}

}  // namespace baseline
