// Messages about a configuration file, shared by the creator and baselineconf.
#include "config/config_diagnosis.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace baseline {

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
                   " bytes, not a whole number of 8-byte cipher blocks";
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
