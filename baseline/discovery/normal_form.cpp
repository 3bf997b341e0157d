// ASCII-only case folding: Windows paths compare the same whatever the code
// page, and non-ASCII letters are left exactly as they were found.
#include "discovery/normal_form.h"

namespace baseline {

std::u16string lowerAscii(std::u16string text) {
    for (char16_t& unit : text) {
        if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit + (u'a' - u'A'));
    }
    return text;
}

std::u16string normalizePath(const std::u16string& path) {
    std::u16string normal = lowerAscii(path);
    if (!normal.empty() && normal.back() == u'\\') normal.pop_back();
    return normal;
}

}  // namespace baseline
