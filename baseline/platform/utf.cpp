// Plain-C++ UTF-8 codec: the program's own copy so that host tests and the
// Windows build convert console text identically.
#include "platform/utf.h"

#include <cstdint>

namespace baseline {
namespace {

void appendUtf16(std::uint32_t codePoint, std::u16string& out) {
    if (codePoint >= 0x10000) {
        codePoint -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(codePoint));
    }
}

}  // namespace

bool decodeUtf8(const std::string& bytes, std::u16string& out) {
    std::u16string result;
    result.reserve(bytes.size());
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::uint32_t codePoint = 0;
        std::size_t length = 0;
        std::uint32_t minimum = 0;
        if (lead < 0x80) {
            result.push_back(static_cast<char16_t>(lead));
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            codePoint = lead & 0x1F; length = 2; minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            codePoint = lead & 0x0F; length = 3; minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            codePoint = lead & 0x07; length = 4; minimum = 0x10000;
        } else {
            return false;
        }
        if (i + length > n) return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (codePoint < minimum || codePoint > 0x10FFFF ||
            (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
            return false;
        }
        appendUtf16(codePoint, result);
        i += length;
    }
    out = std::move(result);
    return true;
}

std::u16string decodeUtf8Replacing(const std::string& bytes) {
    std::u16string result;
    result.reserve(bytes.size());
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto lead = static_cast<unsigned char>(bytes[i++]);
        if (lead < 0x80) {
            result.push_back(static_cast<char16_t>(lead));
            continue;
        }
        std::size_t length = 0;
        std::uint32_t codePoint = 0;
        unsigned char low = 0x80, high = 0xBF;  // range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2; codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3; codePoint = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;   // no overlong forms
            if (lead == 0xED) high = 0x9F;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4; codePoint = lead & 0x07;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
        } else {
            result.push_back(u'\uFFFD');
            continue;
        }
        std::size_t k = 1;
        for (; k < length && i < n; ++k, ++i) {
            const auto next = static_cast<unsigned char>(bytes[i]);
            if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) break;
            codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (k < length) {
            result.push_back(u'\uFFFD');  // the valid prefix counts as one
            continue;
        }
        appendUtf16(codePoint, result);
    }
    return result;
}

std::string encodeUtf8(const std::u16string& text) {
    std::string out;
    appendUtf8(out, text);
    return out;
}

void appendUtf8(std::string& out, std::u16string_view text) {
    out.reserve(out.size() + text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

std::u16string widenAscii(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace baseline
