// Block rendering over JsonCpp. The library's default writer escapes every
// non-ASCII character and writes lower-case \u escapes; the document wants raw
// UTF-8 and upper-case digits, so the writer is told to emit UTF-8 and its
// escapes are fixed up afterwards.
#include "document/json_rendering.h"

#include <ios>

#include "platform/utf.h"

namespace baseline {
namespace {

Json::StreamWriter* newBlockWriter() {
    Json::StreamWriterBuilder builder;
    builder["emitUTF8"] = true;
    return builder.newStreamWriter();
}

}  // namespace

void upperCaseUnicodeEscapesIn(std::string& rendered, std::size_t from) {
    // Backslashes occur only inside strings, always as the start of an escape,
    // so stepping over each escape as a whole keeps \\u (an escaped backslash,
    // then a letter u) from being taken for one.
    for (std::size_t i = from; i + 1 < rendered.size(); ++i) {
        if (rendered[i] != '\\') continue;
        if (rendered[i + 1] == 'u') {
            for (std::size_t digit = i + 2; digit < i + 6 && digit < rendered.size(); ++digit) {
                char& c = rendered[digit];
                if (c >= 'a' && c <= 'f') c = static_cast<char>(c - 'a' + 'A');
            }
            i += 5;
        } else {
            ++i;
        }
    }
}

std::string upperCaseUnicodeEscapes(std::string rendered) {
    upperCaseUnicodeEscapesIn(rendered, 0);
    return rendered;
}

std::streamsize BlockRenderer::AppendBuffer::xsputn(const char* bytes, std::streamsize count) {
    target->append(bytes, static_cast<std::size_t>(count));
    return count;
}

BlockRenderer::AppendBuffer::int_type BlockRenderer::AppendBuffer::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) target->push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

BlockRenderer::BlockRenderer() : writer_(newBlockWriter()), stream_(&buffer_) {
    // A buffer that cannot grow throws; the stream passes that on rather than
    // going quietly bad for every later block.
    stream_.exceptions(std::ios::badbit);
}

void BlockRenderer::appendTo(const Json::Value& block, std::string& out) {
    stream_.clear();
    buffer_.target = &out;
    const std::size_t from = out.size();
    writer_->write(block, &stream_);
    upperCaseUnicodeEscapesIn(out, from);
}

std::string renderBlock(const Json::Value& block) {
    BlockRenderer renderer;
    std::string rendered;
    renderer.appendTo(block, rendered);
    return rendered;
}

Json::Value jsonText(const std::u16string& text) {
    std::string utf8;
    jsonTextIn(utf8, text);
    return Json::Value(utf8);
}

Json::StaticString jsonTextIn(std::string& buffer, const std::u16string& text) {
    // The document's strings are C strings: they end at their first NUL.
    buffer.clear();
    appendUtf8(buffer, std::u16string_view(text).substr(0, text.find(u'\0')));
    return Json::StaticString(buffer.c_str());
}

}  // namespace baseline
