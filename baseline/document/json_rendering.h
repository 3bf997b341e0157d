// Renders one object block of the allowlist document with JsonCpp's stream
// writer at its default settings, except that text comes out as raw UTF-8 and
// the remaining \u escapes (control bytes) use upper-case hexadecimal.
#pragma once

#include <json/json.h>

#include <string>

namespace baseline {

// The block as it goes into the file: LF line breaks, TAB indentation, no
// final line break.
std::string renderBlock(const Json::Value& block);

// A JSON string value holding the UTF-8 form of `text` up to its first NUL.
Json::Value jsonText(const std::u16string& text);

// Upper-cases the four hexadecimal digits of every \u escape in rendered JSON,
// leaving an escaped backslash followed by u alone.
std::string upperCaseUnicodeEscapes(std::string rendered);

}  // namespace baseline
