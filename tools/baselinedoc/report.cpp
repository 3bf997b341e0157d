// The report: the page's fixed HTML, CSS and script, with the document's data
// in one <script type="application/json"> element. The rows are built by the
// page's script as they scroll into view, so a large document opens at once.
#include "report.h"

#include <cstdio>
#include <ostream>

#include "platform/utf.h"
#include "platform/visible_text.h"
#include "report_page.h"
#include "summary.h"

namespace baseline::doc {

namespace {

void appendUnit(std::string& out, unsigned unit) {
    static const char* digits = "0123456789ABCDEF";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += digits[(unit >> shift) & 15];
}

}  // namespace

void appendScriptSafeJson(std::string& out, std::string_view text) {
    bool ascii = true;
    for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    std::string wellFormed;
    if (!ascii) {
        std::u16string units;
        if (!decodeUtf8(std::string(text), units)) {
            wellFormed = encodeUtf8(decodeUtf8Replacing(std::string(text)));
            text = wellFormed;
        }
    }
    out += '"';
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '<': case '>': case '&': appendUnit(out, c); break;
            default:
                if (c < 0x20) {
                    appendUnit(out, c);
                } else if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                           (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
                    appendUnit(out, static_cast<unsigned char>(text[i + 2]) == 0xA8 ? 0x2028 : 0x2029);
                    i += 2;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

namespace {

class Emitter {
public:
    explicit Emitter(std::string& out) : out_(out) {}
    // Text of the document. One that holds hidden characters goes out as a
    // one-element array: its text, with each run of hidden characters as one
    // mark, their code points in hexadecimal between backquotes ("`AD 2064`"),
    // and a backquote of its own doubled. The page draws a U+XXXX mark for
    // each code point. So the page never holds such a character raw, a
    // hidden character costs at most twice what it costs in the document,
    // and the rule for what is hidden stays in one place.
    Emitter& text(std::string_view value) {
        separate();
        if (!holdsHiddenCharacters(value)) {
            appendScriptSafeJson(out_, value);
            return *this;
        }
        std::string marked;
        marked.reserve(value.size() + 8);
        for (const VisiblePiece& piece : visiblePieces(value)) {
            if (piece.hidden.empty()) {
                for (const char c : piece.text) marked += c == '`' ? "``" : std::string_view(&c, 1);
                continue;
            }
            marked += '`';
            for (std::size_t i = 0; i < piece.hidden.size(); ++i) {
                char digits[12];
                std::snprintf(digits, sizeof digits, i == 0 ? "%X" : " %X", static_cast<unsigned>(piece.hidden[i]));
                marked += digits;
            }
            marked += '`';
        }
        out_ += '[';
        appendScriptSafeJson(out_, marked);
        out_ += ']';
        return *this;
    }
    Emitter& number(std::int64_t value) {
        separate();
        out_ += std::to_string(value);
        return *this;
    }
    Emitter& null() {
        separate();
        out_ += "null";
        return *this;
    }
    Emitter& flag(bool value) {
        separate();
        out_ += value ? "true" : "false";
        return *this;
    }
    Emitter& key(std::string_view name) {
        separate();
        appendScriptSafeJson(out_, name);
        out_ += ':';
        first_ = true;
        return *this;
    }
    Emitter& open(char bracket) {
        separate();
        out_ += bracket;
        first_ = true;
        return *this;
    }
    Emitter& close(char bracket) {
        out_ += bracket;
        first_ = false;
        return *this;
    }

private:
    void separate() {
        if (!first_) out_ += ',';
        first_ = false;
    }
    std::string& out_;
    bool first_ = true;
};

std::string reportData(const std::string& name, const Document& document) {
    std::string out;
    out.reserve(document.bytes.size() / 2 + 4096);
    Emitter e(out);
    const Header& h = document.header;
    const Summary& s = document.summary;
    const Tally t = tally(document);
    e.open('{');
    e.key("file").text(name);
    e.key("header").open('{');
    e.key("title").text(h.title).key("desc").text(h.desc).key("hostname").text(h.hostname);
    e.key("osname").text(h.osname).key("os").text(h.os).key("osver").text(h.osver);
    e.key("buildnumber").number(h.buildnumber).key("platform").text(h.platform).key("osdrive").text(h.osdrive);
    e.key("osid").number(h.osid).key("suite").number(h.suite).key("cdate").text(utcText(h.cdate));
    e.close('}');
    e.key("summary").open('{');
    e.key("present").flag(document.hasSummary);
    e.key("status").text(s.status).key("starttime").text(s.starttime).key("endtime").text(s.endtime);
    e.key("dircnt").number(s.dircnt).key("filecnt").number(s.filecnt).key("supportedfilecnt").number(s.supportedfilecnt);
    e.key("alloweddircnt").number(s.alloweddircnt).key("allowedfilecnt").number(s.allowedfilecnt);
    e.key("allowedpubcnt").number(s.allowedpubcnt).key("globalstrictpub").flag(document.globalstrictpub);
    e.key("unsigned").number(static_cast<std::int64_t>(t.unsigned_));
    e.key("mutableExecutables").number(static_cast<std::int64_t>(t.mutableAllowedExecutables));
    e.key("mutableDirectories").number(static_cast<std::int64_t>(t.mutableAllowedDirectories));
    e.key("hiddenNames").number(static_cast<std::int64_t>(t.hiddenNames));
    e.close('}');
    e.key("findings").open('[');
    for (const Finding& f : document.findings) e.open('[').text(f.where).text(f.what).close(']');
    e.close(']');
    // Publishers: name, allowed, mutable, type, executables signed, certificates.
    e.key("publishers").open('[');
    for (const PublisherCount& p : t.publishers) {
        e.open('[').text(p.name);
        if (p.listed != nullptr) {
            e.number(p.listed->allowstate).flag(p.listed->isMutable).number(p.listed->type);
        } else {
            e.number(-1).flag(false).number(-1);
        }
        e.number(static_cast<std::int64_t>(p.executables));
        std::string certificates;
        if (p.listed != nullptr) {
            for (const Certificate& c : p.listed->certificates) {
                if (!certificates.empty()) certificates += "; ";
                certificates.append(c.issuer).append(" / ").append(c.serialno);
            }
        }
        e.text(certificates).close(']');
    }
    e.close(']');
    // Allowed directories: path, allowed, mutable, strict publisher, default.
    e.key("allowed").open('[');
    for (const AllowedDirectory& d : document.directories) {
        e.open('[').text(d.dirpath).number(d.allowstate).flag(d.isMutable).flag(d.strictpub).flag(d.isDefault).close(']');
    }
    e.close(']');
    // Directory entries: path, allowed, mutable, attributes, id, parent id.
    e.key("directories").open('[');
    for (const FileEntry& f : document.files) {
        if (!f.isDirectory) continue;
        e.open('[').text(f.path()).number(f.allowstate).flag(f.isMutable).number(f.attr).number(f.id).number(f.pid).close(']');
    }
    e.close(']');
    // Executables: path, publisher (null when unsigned), issuer, file version,
    // product, product version, company, mtime, allowed, mutable, id.
    e.key("executables").open('[');
    for (const FileEntry& f : document.files) {
        if (f.isDirectory) continue;
        e.open('[').text(f.path());
        if (f.hasSigner) {
            e.text(f.pubname).text(f.issuer);
        } else {
            e.null().null();
        }
        e.text(f.fver).text(f.prodname).text(f.prodver).text(f.cname).number(f.mtime).number(f.allowstate).flag(f.isMutable).number(f.id).close(']');
    }
    e.close(']');
    e.close('}');
    return out;
}

}  // namespace

void writeReport(const std::string& name, const Document& document, std::ostream& out) {
    const std::string page = kReportPage;
    const std::string marker = "@DATA@";
    const std::size_t at = page.find(marker);
    out << page.substr(0, at) << reportData(name, document) << page.substr(at + marker.size());
}

}  // namespace baseline::doc
