// Renders one object block of the allowlist document with JsonCpp's stream
// writer at its default settings, except that text comes out as raw UTF-8 and
// the remaining \u escapes (control bytes) use upper-case hexadecimal.
#pragma once

#include <json/json.h>

#include <cstddef>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>

namespace baseline {

// The block as it goes into the file: LF line breaks, TAB indentation, no
// final line break.
std::string renderBlock(const Json::Value& block);

// Renders block after block with one stream writer, made once, straight into
// the caller's buffer: a run of many blocks builds no writer, stream or
// intermediate string per block. The bytes are those of renderBlock.
class BlockRenderer {
public:
    BlockRenderer();
    BlockRenderer(const BlockRenderer&) = delete;
    BlockRenderer& operator=(const BlockRenderer&) = delete;

    // Appends the rendered block to `out`. Throws what the library or the
    // buffer throws; the renderer stays usable for the next block.
    void appendTo(const Json::Value& block, std::string& out);

private:
    // Appends whatever is written to the string it is pointed at.
    class AppendBuffer : public std::streambuf {
    public:
        std::string* target = nullptr;

    protected:
        std::streamsize xsputn(const char* bytes, std::streamsize count) override;
        int_type overflow(int_type c) override;
    };

    std::unique_ptr<Json::StreamWriter> writer_;
    AppendBuffer buffer_;
    std::ostream stream_;
};

// A JSON string value holding the UTF-8 form of `text` up to its first NUL.
Json::Value jsonText(const std::u16string& text);

// The same text written into `buffer`, as a value that points into the
// buffer rather than owning a copy: valid until the buffer next changes.
Json::StaticString jsonTextIn(std::string& buffer, const std::u16string& text);

// Upper-cases the four hexadecimal digits of every \u escape in rendered JSON,
// leaving an escaped backslash followed by u alone.
std::string upperCaseUnicodeEscapes(std::string rendered);
// The same in place, for the text from `from` on.
void upperCaseUnicodeEscapesIn(std::string& rendered, std::size_t from);

}  // namespace baseline
