// The CSV export. Administrators filter and sign off an allowlist in a
// spreadsheet, so the file must open the same everywhere (RFC 4180, UTF-8
// with a byte order mark for Excel) and a name chosen on the scanned machine
// must neither hide what it is nor become a formula.
//
// Hidden characters are written as the text outputs show them (\u202E and the
// like), never raw: a spreadsheet cell draws a right-to-left override as
// faithfully as a terminal does, and the row would read as something else.
// The "Hidden characters" column says which rows were escaped, so they can be
// filtered and looked at in the document itself.
#include "export.h"

#include <array>
#include <ostream>
#include <vector>

#include "platform/visible_text.h"
#include "summary.h"

namespace baseline::doc {

namespace {

struct TableName {
    const char* name;
    CsvTable table;
};

constexpr TableName kTables[] = {
    {"executables", CsvTable::executables},
    {"directories", CsvTable::directories},
    {"publishers", CsvTable::publishers},
    {"allowed-directories", CsvTable::allowedDirectories},
};

// Excel and LibreOffice start a formula with any of these; a tab or a
// carriage return in front can hide one. Our escapes already turn tab and CR
// into \u0009 and \u000D, but the guard does not lean on that.
bool startsFormula(std::string_view field) {
    if (field.empty()) return false;
    switch (field.front()) {
        case '=': case '+': case '-': case '@': case '\t': case '\r': return true;
        default: return false;
    }
}

std::string quotedField(std::string_view field) {
    std::string out;
    out.reserve(field.size() + 2);
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
    return out;
}

// One record: its fields in order, and whether any text needed an escape,
// which becomes the last column.
class Record {
public:
    Record& text(std::string_view value) {
        fields_.push_back(csvTextField(value, hidden_));
        return *this;
    }
    // Numbers are the tool's own digits, never the document's text, so a
    // minus sign in front is a negative number and stays one.
    Record& number(std::int64_t value) {
        fields_.push_back(quotedField(std::to_string(value)));
        return *this;
    }
    Record& flag(bool value) {
        fields_.push_back(quotedField(value ? "yes" : "no"));
        return *this;
    }
    Record& time(std::int64_t seconds) {
        fields_.push_back(quotedField(isoUtc(seconds)));
        return *this;
    }
    Record& blank() {
        fields_.push_back("\"\"");
        return *this;
    }
    void writeTo(std::ostream& out) {
        flag(hidden_);
        for (std::size_t i = 0; i < fields_.size(); ++i) out << (i == 0 ? "" : ",") << fields_[i];
        out << "\r\n";
    }

private:
    std::vector<std::string> fields_;
    bool hidden_ = false;
};

template <std::size_t N>
void writeHeader(const std::array<const char*, N>& titles, std::ostream& out) {
    for (const char* title : titles) out << quotedField(title) << ",";
    out << quotedField("Hidden characters") << "\r\n";
}

constexpr std::array kExecutableColumns = {
    "Path", "Publisher", "Signed", "Issuer", "Serial number", "File version", "Product", "Product version",
    "Company", "Original file name", "Internal name", "Modified (UTC)", "Allowed", "Mutable", "Default",
    "Attributes", "System drive", "Parent directory", "Id", "Parent id"};

void writeExecutables(const Document& document, std::ostream& out) {
    writeHeader(kExecutableColumns, out);
    for (const FileEntry& f : document.files) {
        if (f.isDirectory) continue;
        Record r;
        r.text(f.path()).text(f.pubname).flag(f.hasSigner).text(f.issuer).text(f.serialno);
        r.text(f.fver).text(f.prodname).text(f.prodver).text(f.cname).text(f.ofname).text(f.ifname);
        r.time(f.mtime).flag(f.allowstate != 0).flag(f.isMutable).flag(f.isDefault).number(f.attr);
        r.flag(f.osdrive != 0).text(f.fpath).number(f.id).number(f.pid);
        r.writeTo(out);
    }
}

constexpr std::array kDirectoryColumns = {"Path", "Allowed", "Mutable", "Default", "Attributes", "System drive",
                                          "Modified (UTC)", "Parent directory", "Id", "Parent id"};

void writeDirectories(const Document& document, std::ostream& out) {
    writeHeader(kDirectoryColumns, out);
    for (const FileEntry& f : document.files) {
        if (!f.isDirectory) continue;
        Record r;
        r.text(f.path()).flag(f.allowstate != 0).flag(f.isMutable).flag(f.isDefault).number(f.attr);
        r.flag(f.osdrive != 0).time(f.mtime).text(f.fpath).number(f.id).number(f.pid);
        r.writeTo(out);
    }
}

constexpr std::array kPublisherColumns = {"Publisher", "In the publishers list", "Allowed", "Mutable", "Type",
                                          "Executables", "Certificates", "Issuer", "Serial number"};

void writePublishers(const Document& document, std::ostream& out) {
    writeHeader(kPublisherColumns, out);
    for (const PublisherCount& p : tally(document).publishers) {
        Record r;
        r.text(p.name).flag(p.listed != nullptr);
        if (p.listed != nullptr) {
            r.flag(p.listed->allowstate != 0).flag(p.listed->isMutable).number(p.listed->type);
        } else {
            // A signer of executables that the publishers list leaves out has
            // no state of its own.
            r.blank().blank().blank();
        }
        r.number(static_cast<std::int64_t>(p.executables));
        // Several certificates share one cell, in the document's order, the
        // k-th issuer beside the k-th serial number.
        std::string issuers, serials;
        const std::size_t count = p.listed != nullptr ? p.listed->certificates.size() : 0;
        for (std::size_t i = 0; i < count; ++i) {
            const Certificate& c = p.listed->certificates[i];
            issuers.append(i == 0 ? "" : "; ").append(c.issuer);
            serials.append(i == 0 ? "" : "; ").append(c.serialno);
        }
        r.number(static_cast<std::int64_t>(count)).text(issuers).text(serials);
        r.writeTo(out);
    }
}

constexpr std::array kAllowedDirectoryColumns = {"Directory", "Allowed", "Mutable", "Strict publisher", "Default",
                                                 "Type"};

void writeAllowedDirectories(const Document& document, std::ostream& out) {
    writeHeader(kAllowedDirectoryColumns, out);
    for (const AllowedDirectory& d : document.directories) {
        Record r;
        r.text(d.dirpath).flag(d.allowstate != 0).flag(d.isMutable).flag(d.strictpub).flag(d.isDefault).number(d.type);
        r.writeTo(out);
    }
}

}  // namespace

bool csvTableNamed(std::string_view name, CsvTable& table) {
    for (const TableName& t : kTables) {
        if (name == t.name) {
            table = t.table;
            return true;
        }
    }
    return false;
}

std::string csvTextField(std::string_view text, bool& hidden) {
    std::string visible = visibleUtf8(std::string(text));
    if (visible != text) hidden = true;
    if (startsFormula(visible)) visible.insert(0, 1, '\'');
    return quotedField(visible);
}

std::string isoUtc(std::int64_t seconds) {
    // utcText gives "YYYY-MM-DD HH:MM:SS UTC" (a year may have more digits).
    std::string text = utcText(seconds);
    text.resize(text.size() - 4);
    text[text.rfind(' ')] = 'T';
    return text + "Z";
}

void writeCsv(const Document& document, CsvTable table, std::ostream& out) {
    out << "\xEF\xBB\xBF";
    switch (table) {
        case CsvTable::executables: writeExecutables(document, out); break;
        case CsvTable::directories: writeDirectories(document, out); break;
        case CsvTable::publishers: writePublishers(document, out); break;
        case CsvTable::allowedDirectories: writeAllowedDirectories(document, out); break;
    }
}

}  // namespace baseline::doc
