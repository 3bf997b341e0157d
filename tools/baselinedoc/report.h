// `baselinedoc report`: one self-contained HTML page for a document. Every
// value from the document travels as JSON text inside the page and reaches
// the screen through textContent only, so hostile file names stay text.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "document.h"

namespace baseline::doc {

void writeReport(const std::string& name, const Document& document, std::ostream& out);

// `text` as a JSON string literal that is safe inside an HTML <script>
// element: <, > and & as \u escapes, and U+2028 and U+2029 too, since some
// script parsers end a line there. Ill-formed UTF-8 becomes U+FFFD.
void appendScriptSafeJson(std::string& out, std::string_view text);

}  // namespace baseline::doc
