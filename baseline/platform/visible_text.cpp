// Visible escapes for hidden characters, over UTF-16 code units; which code
// points are hidden is the generated table's business.
#include "platform/visible_text.h"

#include <algorithm>

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
    const HiddenRange* end = kHiddenRanges + kHiddenRangeCount;
    // The first range that ends at or past `c`; `c` is hidden when it starts there too.
    const HiddenRange* at =
        std::lower_bound(kHiddenRanges, end, c, [](const HiddenRange& r, char32_t v) { return r.last < v; });
    return at != end && at->first <= c;
}

namespace {

// Walks `text` a character at a time: `keep(units, count)` for one shown as
// it is, `mark(units, count, code)` for a hidden one or a lone surrogate.
template <typename Keep, typename Mark>
void walk(const std::u16string& text, Keep keep, Mark mark) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            const char32_t code = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00);
            if (isHiddenCharacter(code)) {
                mark(&text[i], 2, code);
            } else {
                keep(&text[i], 2);
            }
            ++i;
        } else if (isHiddenCharacter(unit)) {  // the table holds every surrogate, so a lone one too
            mark(&text[i], 1, unit);
        } else {
            keep(&text[i], 1);
        }
    }
}

}  // namespace

std::u16string visibleText(const std::u16string& text) {
    std::u16string out;
    out.reserve(text.size());
    walk(
        text, [&](const char16_t* units, std::size_t count) { out.append(units, count); },
        [&](const char16_t* units, std::size_t count, char32_t) {
            for (std::size_t i = 0; i < count; ++i) appendEscape(out, units[i]);
        });
    return out;
}

std::vector<VisiblePiece> visiblePieces(std::string_view text) {
    std::vector<VisiblePiece> pieces;
    std::u16string run;
    const auto endRun = [&] {
        if (run.empty()) return;
        pieces.push_back({encodeUtf8(run), {}});
        run.clear();
    };
    walk(
        decodeUtf8Replacing(std::string(text)),
        [&](const char16_t* units, std::size_t count) { run.append(units, count); },
        [&](const char16_t*, std::size_t, char32_t code) {
            endRun();
            if (pieces.empty() || pieces.back().hidden.empty()) pieces.push_back({});
            pieces.back().hidden.push_back(code);
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

std::string visibleJson(std::string_view text) {
    if (plainAscii(text)) return std::string(text);
    const std::u16string units = decodeUtf8Replacing(std::string(text));
    std::u16string out;
    out.reserve(units.size());
    std::size_t at = 0;  // where the character walk() hands over begins
    walk(
        units,
        [&](const char16_t* u, std::size_t count) {
            out.append(u, count);
            at += count;
        },
        [&](const char16_t* u, std::size_t count, char32_t code) {
            const bool lineEnd = code == u'\r' && at + 1 < units.size() && units[at + 1] == u'\n';
            if (code == u'\t' || code == u'\n' || lineEnd) {
                out.push_back(u[0]);
            } else {
                for (std::size_t i = 0; i < count; ++i) appendEscape(out, u[i]);
            }
            at += count;
        });
    return encodeUtf8(out);
}

bool holdsHiddenCharacters(std::string_view text) { return !plainAscii(text) && visibleUtf8(text) != text; }

}  // namespace baseline
