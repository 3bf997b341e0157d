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

// How the bytes of a baselineconf.dat, as they lie on disk, differ from the
// one line of Base64 it must be: the first of these that applies, the likely
// editor's mistakes before plain damage.
enum class DatForm {
    base64,         // one line of Base64 with '=' only at its end: nothing to say
    jsonFile,       // a JSON configuration that was never encoded
    utf16,          // saved as UTF-16 text
    byteOrderMark,  // a UTF-8 byte order mark before the text
    whitespace,     // a line break, blank or tab before, inside or after the text
    notBase64,      // a byte outside the Base64 alphabet
    misplacedPad,   // '=' where no padding may stand
};
struct DatFormMistake {
    DatForm form = DatForm::base64;
    std::size_t offset = std::string::npos;  // of the byte it concerns, from 0; npos: the whole file
    std::string phrase;                      // empty for DatForm::base64; file bytes only as hex
};
DatFormMistake datFormMistake(const std::string& bytes);

// Why a baselineconf.dat whose deciphering failed does not load, in one
// phrase: the first mistake of its form (`bytes` as on disk), or else what
// the deciphering of its text-mode content found.
std::string datDecodeFailure(const std::string& bytes, DecryptOutcome outcome, const DecryptFacts& facts);

// Line and column, both from 1 (the column in bytes), of a byte offset.
struct TextPlace {
    std::size_t line = 0;
    std::size_t column = 0;
};
TextPlace placeOf(const std::string& text, std::size_t offset);

// "the decoded JSON text, line 4, column 3": a place in the text inside a
// .dat, which is no place an editor shows in the file itself.
std::string decodedJsonPlace(const TextPlace& place);

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
