// Messages about a configuration file, shared by the creator and baselineconf.
#include "config/config_diagnosis.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "config/base64.h"

namespace baseline {

namespace {

constexpr char kMakeAgain[] = "make the file again with baselineconf encode";

// The bytes an editor adds around text, as a message names them.
struct BlankName {
    char byte;
    const char* name;
};
constexpr BlankName kBlanks[] = {
    {'\n', "a line break (LF)"}, {'\r', "a line break (CR)"}, {' ', "a blank (0x20)"},
    {'\t', "a tab (0x09)"},      {'\v', "a vertical tab (0x0B)"}, {'\f', "a form feed (0x0C)"},
};

const char* blankName(char byte) {
    for (const BlankName& blank : kBlanks) {
        if (blank.byte == byte) return blank.name;
    }
    return nullptr;
}

bool isBlank(char byte) { return blankName(byte) != nullptr; }

// UTF-16 by its byte order mark, or by a zero in every second byte (what
// Notepad's "Unicode" makes of ASCII text). `narrowed` gets the other bytes.
bool looksLikeUtf16(const std::string& bytes, std::string& narrowed) {
    if (bytes.size() < 2) return false;
    const bool markLe = bytes.rfind("\xFF\xFE", 0) == 0, markBe = bytes.rfind("\xFE\xFF", 0) == 0;
    bool zeroOdd = true, zeroEven = true, anyNonZero = false;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        zeroEven = zeroEven && bytes[i] == '\0';
        zeroOdd = zeroOdd && bytes[i + 1] == '\0';
        anyNonZero = anyNonZero || bytes[i] != '\0' || bytes[i + 1] != '\0';
    }
    if (!markLe && !markBe && !(anyNonZero && (zeroOdd || zeroEven))) return false;
    const bool littleEndian = markLe || (!markBe && zeroOdd);
    for (std::size_t i = markLe || markBe ? 2 : 0; i + 1 < bytes.size(); i += 2) {
        narrowed.push_back(bytes[littleEndian ? i : i + 1]);
    }
    return true;
}

// JSON by its first character after blanks: an object or an array, or a
// comment before one. A comment's slash is also a Base64 character, so the
// text must also hold what Base64 never does.
bool looksLikeJson(const std::string& text) {
    std::size_t first = 0;
    while (first < text.size() && isBlank(text[first])) ++first;
    if (first == text.size()) return false;
    if (text[first] == '{' || text[first] == '[') return true;
    if (text[first] != '/' || first + 1 == text.size() || (text[first + 1] != '/' && text[first + 1] != '*')) {
        return false;
    }
    return std::any_of(text.begin(), text.end(), [](char c) { return !isBase64Alphabet(c) && c != '=' && !isBlank(c); });
}

std::string at(std::size_t offset) { return " at offset " + std::to_string(offset); }

DatFormMistake blankMistake(const std::string& bytes, std::size_t offset) {
    const bool crLf = bytes[offset] == '\r' && offset + 1 < bytes.size() && bytes[offset + 1] == '\n';
    std::string phrase = crLf ? "a line break (CR LF)" : blankName(bytes[offset]);
    const bool after = std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.end(), isBlank);
    if (after) {
        phrase += " after the text" + at(offset) +
                  ": an encoded configuration ends at its last Base64 character; remove what follows it, or " +
                  kMakeAgain;
    } else {
        phrase += std::string(offset == 0 ? " before the text" : " inside the text") + at(offset) +
                  ": an encoded configuration is one line of Base64 with no line break or blank in it; remove it, "
                  "or " + kMakeAgain;
    }
    return {DatForm::whitespace, offset, std::move(phrase)};
}

}  // namespace

DatFormMistake datFormMistake(const std::string& bytes) {
    const bool utf8Mark = bytes.rfind("\xEF\xBB\xBF", 0) == 0;
    std::string narrowed;
    const bool utf16 = !utf8Mark && looksLikeUtf16(bytes, narrowed);
    if (looksLikeJson(utf16 ? narrowed : bytes.substr(utf8Mark ? 3 : 0))) {
        return {DatForm::jsonFile, std::string::npos,
                std::string("this is a JSON file; encode it with baselineconf encode") +
                    (utf16 ? ", after saving it as UTF-8 (it is UTF-16 text, Notepad's \"Unicode\")" : "")};
    }
    if (utf16) {
        return {DatForm::utf16, std::string::npos,
                "this is UTF-16 text (Notepad's \"Unicode\"), not the one line of Base64 an encoded configuration "
                "is: save it as UTF-8 without a byte order mark, or " + std::string(kMakeAgain)};
    }
    if (utf8Mark) {
        return {DatForm::byteOrderMark, std::string::npos,
                "a UTF-8 byte order mark (EF BB BF) stands before the text: save the file as UTF-8 without the "
                "mark (\"UTF-8\", not \"UTF-8 with BOM\"), or " + std::string(kMakeAgain)};
    }
    const auto blank = std::find_if(bytes.begin(), bytes.end(), isBlank);
    if (blank != bytes.end()) return blankMistake(bytes, static_cast<std::size_t>(blank - bytes.begin()));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (isBase64Alphabet(c)) continue;
        if (c != '=') {
            return {DatForm::notBase64, i,
                    "byte " + hexByte(c) + at(i) +
                        " is not a Base64 character: the file is damaged, or is not an encoded configuration"};
        }
        // Padding is one or two '=' that end the text.
        if (bytes.find_first_not_of('=', i) != std::string::npos || bytes.size() - i > 2) {
            return {DatForm::misplacedPad, i,
                    "'='" + at(i) + " pads where Base64 allows no padding (only the last one or two characters "
                    "may be '='): the file is damaged, or two were joined"};
        }
        break;
    }
    return {};
}

std::string datDecodeFailure(const std::string& bytes, DecryptOutcome outcome, const DecryptFacts& facts) {
    // Text mode can read a file as empty that is not: one that starts with Ctrl-Z.
    if (bytes.empty() || outcome == DecryptOutcome::noMemory) return decryptFailure(outcome, facts);
    DatFormMistake mistake = datFormMistake(bytes);
    if (mistake.form != DatForm::base64) return std::move(mistake.phrase);
    if (outcome == DecryptOutcome::badLength && bytes.size() % 4 != 0) {
        return "the Base64 text has " + std::to_string(bytes.size()) +
               " characters, not whole groups of 4: the file is truncated or damaged";
    }
    return decryptFailure(outcome, facts);
}

std::size_t firstInvalidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t value = 0, lowest = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2, value = byte & 0x1F, lowest = 0x80;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3, value = byte & 0x0F, lowest = 0x800;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4, value = byte & 0x07, lowest = 0x10000;
        } else {
            return i;
        }
        if (i + length > text.size()) return i;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return i;
            value = (value << 6) | (next & 0x3F);
        }
        if (value < lowest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return i;
        i += length;
    }
    return std::string::npos;
}

std::size_t firstNonText(const std::string& text) {
    std::size_t control = std::string::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte < 0x20 && byte != '\t' && byte != '\r' && byte != '\n') || byte == 0x7F) {
            control = i;
            break;
        }
    }
    return std::min(control, firstInvalidUtf8(text));
}

std::string hexByte(char byte) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(byte));
    return hex;
}

std::string decryptFailure(DecryptOutcome outcome, const DecryptFacts& facts) {
    switch (outcome) {
        case DecryptOutcome::empty: return "the file is empty";
        case DecryptOutcome::badLength:
            return "the Base64 text decodes to " + std::to_string(facts.decodedLength) +
                   " bytes, not a whole number of 8-byte cipher blocks: the file is truncated or damaged";
        case DecryptOutcome::badPadding: {
            return "the last deciphered byte is " + hexByte(facts.plaintext.back()) +
                   ", not a pad length from 1 to 8: the file was made with another key, or is damaged";
        }
        case DecryptOutcome::noMemory: return "out of memory while deciphering";
        case DecryptOutcome::ok: break;
    }
    return "";
}

TextPlace placeOf(const std::string& text, std::size_t offset) {
    std::size_t line = 1, lineStart = 0;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return {line, offset - lineStart + 1};
}

std::string decodedJsonPlace(const TextPlace& place) {
    return "the decoded JSON text, line " + std::to_string(place.line) + ", column " + std::to_string(place.column);
}

std::vector<ParseError> parseErrors(const std::string& messages) {
    std::vector<ParseError> errors;
    std::size_t start = 0;
    while (start < messages.size()) {
        std::size_t end = messages.find('\n', start);
        if (end == std::string::npos) end = messages.size();
        const std::string line = messages.substr(start, end - start);
        start = end + 1;
        unsigned lineNumber = 0, column = 0;
        if (std::sscanf(line.c_str(), "* Line %u, Column %u", &lineNumber, &column) == 2) {
            errors.push_back({{lineNumber, column}, {}, {}});
        } else if (std::sscanf(line.c_str(), "See Line %u, Column %u", &lineNumber, &column) == 2) {
            if (!errors.empty()) errors.back().seeAlso = {lineNumber, column};
        } else if (!errors.empty() && !line.empty()) {
            auto& message = errors.back().message;
            const std::size_t text = line.find_first_not_of(' ');
            if (!message.empty()) message.push_back(' ');
            message.append(line, text == std::string::npos ? line.size() : text);
        }
    }
    return errors;
}

ParseError firstParseError(const std::string& messages) {
    std::vector<ParseError> errors = parseErrors(messages);
    if (errors.empty()) return {{}, messages, {}};
    return std::move(errors.front());
}

}  // namespace baseline
