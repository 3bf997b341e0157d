// The words of the configuration's own failures, shared by the allowlist
// creator (its one cause line) and baselineconf (its findings): what the
// deciphering found, where a byte of text lies, which bytes are no text, and
// the first message of JsonCpp's parse.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "config/baseline_file.h"

namespace baseline {

// The offset of the first byte that is not well-formed UTF-8 (overlong forms,
// surrogates and values above U+10FFFF included), or npos.
std::size_t firstInvalidUtf8(const std::string& text);

// The same, or the first control character other than tab, CR and LF: the
// first byte that no configuration text holds.
std::size_t firstNonText(const std::string& text);

// "0x2A": a byte as messages name it.
std::string hexByte(char byte);

// What a decryption that did not succeed found, in one phrase.
std::string decryptFailure(DecryptOutcome outcome, const DecryptFacts& facts);

// Line and column, both from 1 (the column in bytes), of a byte offset.
struct TextPlace {
    std::size_t line = 0;
    std::size_t column = 0;
};
TextPlace placeOf(const std::string& text, std::size_t offset);

// The errors of JsonCpp's formatted messages ("* Line L, Column C\n
// message\n[See Line L, Column C for detail.\n]"), each with its lines joined.
struct ParseError {
    TextPlace place;
    std::string message;
    TextPlace seeAlso;  // line 0 when none is named
};
std::vector<ParseError> parseErrors(const std::string& messages);
// The first of them; all the text, at line 0, when the messages name no place.
ParseError firstParseError(const std::string& messages);

}  // namespace baseline
