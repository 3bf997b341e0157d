// The one rule for showing text that came from a configuration, a document or
// a scanned machine: every character that could hide, reorder or forge what
// a reader sees becomes a visible escape.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace baseline {

// True for C0 and C1 controls, DEL, the bidirectional controls (U+061C,
// U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069), the zero-width and
// invisible characters (U+200B to U+200D, U+2060, U+FEFF) and the line and
// paragraph separators U+2028 and U+2029.
bool isHiddenCharacter(char32_t c);

// Each hidden character and each lone surrogate as \uXXXX (upper-case
// hexadecimal); everything else unchanged.
std::u16string visibleText(const std::u16string& text);

// The same for UTF-8 text; bytes that are no UTF-8 are shown as U+FFFD.
std::string visibleUtf8(std::string_view text);

// The same rule for a page that draws its own marks: `text` cut into runs
// shown as they are (UTF-8 `text`) and single hidden characters or lone
// surrogates (`hidden`, with the UTF-16 `unit`).
struct VisiblePiece {
    std::string text;
    bool hidden = false;
    char16_t unit = 0;
};
std::vector<VisiblePiece> visiblePieces(std::string_view text);

// Whether visibleUtf8 shows `text` other than as it is: it holds a hidden
// character or bytes that are no UTF-8. What a filter of "names that hide
// something" asks.
bool holdsHiddenCharacters(std::string_view text);

}  // namespace baseline
