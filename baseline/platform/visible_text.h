// The one rule for showing text that came from a configuration, a document or
// a scanned machine: every character that could hide, reorder or forge what
// a reader sees becomes a visible escape.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace baseline {

// The hidden code points as sorted, inclusive, disjoint ranges, generated
// from the Unicode Character Database (hidden_table.cpp): controls, format
// characters, surrogates, line and paragraph separators, every space but
// U+0020, every default-ignorable code point, U+2800 and the Hangul fillers.
struct HiddenRange {
    char32_t first;
    char32_t last;
};
extern const HiddenRange kHiddenRanges[];
extern const std::size_t kHiddenRangeCount;

// Whether `c` (a code point, or a surrogate standing alone) is in the table.
bool isHiddenCharacter(char32_t c);

// Each hidden character and each lone surrogate as \uXXXX (upper-case
// hexadecimal; one escape per UTF-16 unit, so a hidden character past U+FFFF
// is two); everything else unchanged.
std::u16string visibleText(const std::u16string& text);

// The same for UTF-8 text; bytes that are no UTF-8 are shown as U+FFFD.
std::string visibleUtf8(std::string_view text);

// JSON text for a terminal: every hidden character but tab, line feed and
// a carriage return before a line feed (JSON's own white space) as \uXXXX,
// which inside a string is the same value; bytes that are no UTF-8 as U+FFFD.
std::string visibleJson(std::string_view text);

// The same rule for a page that draws its own marks: `text` cut into runs
// shown as they are (UTF-8 `text`, `hidden` empty) and runs of hidden
// characters (`hidden`: their code points, a lone surrogate as its unit).
struct VisiblePiece {
    std::string text;
    std::u32string hidden;
};
std::vector<VisiblePiece> visiblePieces(std::string_view text);

// Whether visibleUtf8 shows `text` other than as it is: it holds a hidden
// character or bytes that are no UTF-8. What a filter of "names that hide
// something" asks.
bool holdsHiddenCharacters(std::string_view text);

}  // namespace baseline
