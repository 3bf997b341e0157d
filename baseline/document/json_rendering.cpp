// Block rendering over JsonCpp. The library's default writer escapes every
// non-ASCII character and writes lower-case \u escapes; the document wants raw
// UTF-8 and upper-case digits, so the writer is told to emit UTF-8 and its
// escapes are fixed up afterwards.
#include "document/json_rendering.h"

#include <memory>
#include <sstream>

#include "platform/utf.h"

namespace baseline {

std::string upperCaseUnicodeEscapes(std::string rendered) {
    // Backslashes occur only inside strings, always as the start of an escape,
    // so stepping over each escape as a whole keeps \\u (an escaped backslash,
    // then a letter u) from being taken for one.
    for (std::size_t i = 0; i + 1 < rendered.size(); ++i) {
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
    return rendered;
}

std::string renderBlock(const Json::Value& block) {
    Json::StreamWriterBuilder builder;
    builder["emitUTF8"] = true;
    const std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
    std::ostringstream out;
    writer->write(block, &out);
    return upperCaseUnicodeEscapes(out.str());
}

Json::Value jsonText(const std::u16string& text) {
    // The document's strings are C strings: they end at their first NUL.
    return Json::Value(encodeUtf8(text.substr(0, text.find(u'\0'))));
}

}  // namespace baseline
