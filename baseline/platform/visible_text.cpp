// Visible escapes for hidden characters, over UTF-16 code units.
#include "platform/visible_text.h"

#include "platform/utf.h"

namespace baseline {
namespace {

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

void appendEscape(std::u16string& out, char16_t unit) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    out += u"\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
}

}  // namespace

bool isHiddenCharacter(char32_t c) {
    struct Range {
        char32_t first;
        char32_t last;
    };
    static constexpr Range kHidden[] = {
        {0x0000, 0x001F}, {0x007F, 0x009F}, {0x061C, 0x061C}, {0x200B, 0x200F}, {0x2028, 0x202E},
        {0x2060, 0x2060}, {0x2066, 0x2069}, {0xFEFF, 0xFEFF},
    };
    for (const auto& range : kHidden) {
        if (c >= range.first && c <= range.last) return true;
    }
    return false;
}

std::u16string visibleText(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            out.push_back(unit);
            out.push_back(text[++i]);
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit) || isHiddenCharacter(unit)) {
            appendEscape(out, unit);
        } else {
            out.push_back(unit);
        }
    }
    return out;
}

std::string visibleUtf8(const std::string& text) { return encodeUtf8(visibleText(decodeUtf8Replacing(text))); }

}  // namespace baseline
