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

// One record at a time: its fields in order, and whether any text needed an
// escape, which becomes the last column.
class CsvSink : public RowSink {
public:
    explicit CsvSink(std::ostream& out) : out_(out) {}
    void header(const Column* columns, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i) out_ << quotedField(columns[i].title) << ",";
        out_ << quotedField("Hidden characters") << "\r\n";
    }
    void text(std::string_view value) override { fields_.push_back(csvTextField(value, hidden_)); }
    // Numbers are the tool's own digits, never the document's text, so a
    // minus sign in front is a negative number and stays one.
    void number(std::int64_t value) override { fields_.push_back(quotedField(std::to_string(value))); }
    void flag(bool value) override { fields_.push_back(quotedField(value ? "yes" : "no")); }
    void time(std::int64_t seconds) override { fields_.push_back(quotedField(isoUtc(seconds))); }
    void blank() override { fields_.push_back("\"\""); }
    void endRow() override {
        flag(hidden_);
        for (std::size_t i = 0; i < fields_.size(); ++i) out_ << (i == 0 ? "" : ",") << fields_[i];
        out_ << "\r\n";
        fields_.clear();
        hidden_ = false;
    }

private:
    std::ostream& out_;
    std::vector<std::string> fields_;
    bool hidden_ = false;
};

template <std::size_t N>
void header(const std::array<Column, N>& columns, RowSink& sink) {
    sink.header(columns.data(), columns.size());
}

constexpr std::array<Column, 20> kExecutableColumns = {{
    {"Path"}, {"Publisher"}, {"Signed"}, {"Issuer"}, {"Serial number"}, {"File version"}, {"Product"},
    {"Product version"}, {"Company"}, {"Original file name"}, {"Internal name"}, {"Modified (UTC)", "Modified (seconds since 1970)"},
    {"Allowed"}, {"Mutable"}, {"Default"}, {"Attributes"}, {"System drive"}, {"Parent directory"}, {"Id"},
    {"Parent id"}}};

void writeExecutables(const Document& document, RowSink& r) {
    header(kExecutableColumns, r);
    for (const FileEntry& f : document.files) {
        if (f.isDirectory) continue;
        r.text(f.path()), r.text(f.pubname), r.flag(f.hasSigner), r.text(f.issuer), r.text(f.serialno);
        r.text(f.fver), r.text(f.prodname), r.text(f.prodver), r.text(f.cname), r.text(f.ofname), r.text(f.ifname);
        r.time(f.mtime), r.flag(f.allowstate != 0), r.flag(f.isMutable), r.flag(f.isDefault), r.number(f.attr);
        r.flag(f.osdrive != 0), r.text(f.fpath), r.number(f.id), r.number(f.pid);
        r.endRow();
    }
}

constexpr std::array<Column, 10> kDirectoryColumns = {{{"Path"}, {"Allowed"}, {"Mutable"}, {"Default"},
                                                       {"Attributes"}, {"System drive"}, {"Modified (UTC)", "Modified (seconds since 1970)"},
                                                       {"Parent directory"}, {"Id"}, {"Parent id"}}};

void writeDirectories(const Document& document, RowSink& r) {
    header(kDirectoryColumns, r);
    for (const FileEntry& f : document.files) {
        if (!f.isDirectory) continue;
        r.text(f.path()), r.flag(f.allowstate != 0), r.flag(f.isMutable), r.flag(f.isDefault), r.number(f.attr);
        r.flag(f.osdrive != 0), r.time(f.mtime), r.text(f.fpath), r.number(f.id), r.number(f.pid);
        r.endRow();
    }
}

constexpr std::array<Column, 9> kPublisherColumns = {{{"Publisher"}, {"In the publishers list"}, {"Allowed"},
                                                      {"Mutable"}, {"Type"}, {"Executables"}, {"Certificates"},
                                                      {"Issuer"}, {"Serial number"}}};

void writePublishers(const Tally& counts, RowSink& r) {
    header(kPublisherColumns, r);
    for (const PublisherCount& p : counts.publishers) {
        r.text(p.name), r.flag(p.listed != nullptr);
        if (p.listed != nullptr) {
            r.flag(p.listed->allowstate != 0), r.flag(p.listed->isMutable), r.number(p.listed->type);
        } else {
            // A signer of executables that the publishers list leaves out has
            // no state of its own.
            r.blank(), r.blank(), r.blank();
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
        r.number(static_cast<std::int64_t>(count)), r.text(issuers), r.text(serials);
        r.endRow();
    }
}

constexpr std::array<Column, 6> kAllowedDirectoryColumns = {
    {{"Directory"}, {"Allowed"}, {"Mutable"}, {"Strict publisher"}, {"Default"}, {"Type"}}};

void writeAllowedDirectories(const Document& document, RowSink& r) {
    header(kAllowedDirectoryColumns, r);
    for (const AllowedDirectory& d : document.directories) {
        r.text(d.dirpath), r.flag(d.allowstate != 0), r.flag(d.isMutable), r.flag(d.strictpub), r.flag(d.isDefault);
        r.number(d.type);
        r.endRow();
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

void writeTable(const Document& document, const Tally& counts, CsvTable table, RowSink& sink) {
    switch (table) {
        case CsvTable::executables: writeExecutables(document, sink); break;
        case CsvTable::directories: writeDirectories(document, sink); break;
        case CsvTable::publishers: writePublishers(counts, sink); break;
        case CsvTable::allowedDirectories: writeAllowedDirectories(document, sink); break;
    }
}

void writeCsv(const Document& document, CsvTable table, std::ostream& out) {
    out << "\xEF\xBB\xBF";
    CsvSink sink(out);
    // Only the publishers table needs the tally, and it is a walk of every entry.
    writeTable(document, table == CsvTable::publishers ? tally(document) : Tally(), table, sink);
}

}  // namespace baseline::doc
