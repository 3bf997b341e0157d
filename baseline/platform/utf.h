// UTF-8 <-> UTF-16 conversion that behaves the same on every host, for the
// console text the program reads and writes.
#pragma once

#include <string>
#include <string_view>

namespace baseline {

// Strict decoding: false (and `out` untouched) when `bytes` is not well-formed
// UTF-8 (overlong forms, surrogates and values above U+10FFFF are refused).
bool decodeUtf8(const std::string& bytes, std::u16string& out);

// Lenient decoding, as MultiByteToWideChar does with CP_UTF8 and no flags:
// each maximal ill-formed subsequence becomes one U+FFFD. Zero bytes are kept.
std::u16string decodeUtf8Replacing(const std::string& bytes);

// Encodes UTF-16 as UTF-8; an unpaired surrogate becomes U+FFFD, as
// WideCharToMultiByte does with CP_UTF8.
std::string encodeUtf8(const std::u16string& text);
// The same, appended to `out`.
void appendUtf8(std::string& out, std::u16string_view text);

// Widens ASCII text (the program's own fixed strings).
std::u16string widenAscii(const std::string& ascii);

}  // namespace baseline
