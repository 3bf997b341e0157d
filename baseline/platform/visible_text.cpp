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

namespace {

// Walks `text`: `keep(unit)` for each unit shown as it is, `mark(unit)` for
// each hidden character and each lone surrogate.
template <typename Keep, typename Mark>
void walk(const std::u16string& text, Keep keep, Mark mark) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            keep(unit);
            keep(text[++i]);
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit) || isHiddenCharacter(unit)) {
            mark(unit);
        } else {
            keep(unit);
        }
    }
}

}  // namespace

std::u16string visibleText(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    walk(text, [&](char16_t unit) { out.push_back(unit); }, [&](char16_t unit) { appendEscape(out, unit); });
    return out;
}

std::vector<VisiblePiece> visiblePieces(std::string_view text) {
    std::vector<VisiblePiece> pieces;
    std::u16string run;
    const auto endRun = [&] {
        if (run.empty()) return;
        pieces.push_back({encodeUtf8(run), false, 0});
        run.clear();
    };
    walk(
        decodeUtf8Replacing(std::string(text)), [&](char16_t unit) { run.push_back(unit); },
        [&](char16_t unit) {
            endRun();
            pieces.push_back({std::string(), true, unit});
        });
    endRun();
    return pieces;
}

namespace {
// Printable ASCII is shown as it is; most names are nothing else.
bool plainAscii(std::string_view text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}
}  // namespace

std::string visibleUtf8(std::string_view text) {
    if (plainAscii(text)) return std::string(text);
    return encodeUtf8(visibleText(decodeUtf8Replacing(std::string(text))));
}

bool holdsHiddenCharacters(std::string_view text) { return !plainAscii(text) && visibleUtf8(text) != text; }

}  // namespace baseline
