// The workbook export. A spreadsheet that opens a CSV guesses each cell's
// type and turns "1.10" into 1.1 and "0012345" into 12345; here every cell of
// document text is a string cell, numbers are written only where the
// document holds a number, and times become real dates beside the number.
//
// libxlsxwriter runs in its constant-memory mode: each row goes to a
// temporary file as it is written, so a sheet's rows are written in order and
// only once. The workbook's own dates are the document's: the properties'
// creation time is the document's time, and the library stamps every zip
// entry with 1980-01-01 whatever the clock says.
#include "workbook.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "export.h"
#include "platform/visible_text.h"
#include "summary.h"
#include "tool_files.h"

namespace baseline::doc {

namespace {

// A spreadsheet's limit of UTF-16 units in a cell.
constexpr std::size_t kMaxCellUnits = 32767;
// A double holds every integer up to 2^53; a larger one is written as its
// digits, so that no cell shows a number the document does not hold.
constexpr std::int64_t kExactLimit = std::int64_t{1} << 53;
// The dates a spreadsheet shows: 1900-03-01 (past the serial numbers of its
// false 1900-02-29) to 9999-12-31. Outside them the date cell stays empty
// and the number beside it tells.
constexpr std::int64_t kFirstDate = -2203891200, kLastDate = 253402300799;
constexpr std::int64_t kUnixEpochSerial = 25569;  // 1970-01-01 as a date serial number
// Column widths follow the longest cell, within these.
constexpr std::size_t kMinWidth = 8, kMaxWidth = 60;

// Thrown where the workbook cannot be completed; nothing is published then.
struct Refusal : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void check(lxw_error result) {
    if (result == LXW_NO_ERROR) return;
    if (result == LXW_ERROR_MEMORY_MALLOC_FAILED) throw std::bad_alloc();
    throw Refusal(lxw_strerror(result));
}

std::size_t utf16Units(std::string_view utf8) {
    std::size_t units = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80) ++units;  // a character starts here
        if (c >= 0xF0) ++units;           // and needs a surrogate pair
    }
    return units;
}

bool isHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool startsEscape(std::string_view text, std::size_t at) {
    if (text.size() - at < 7 || text[at] != '_' || (text[at + 1] != 'x' && text[at + 1] != 'X')) return false;
    return isHex(text[at + 2]) && isHex(text[at + 3]) && isHex(text[at + 4]) && isHex(text[at + 5]) &&
           text[at + 6] == '_';
}

struct Formats {
    lxw_format* header;
    lxw_format* date;
};

// One sheet, written row by row through the tables' sink. The last column
// says whether any text of the row needed an escape.
class Sheet : public RowSink {
public:
    Sheet(lxw_workbook* book, const char* name, const Formats& formats, lxw_row_t maxRows)
        : sheet_(workbook_add_worksheet(book, name)), name_(name), formats_(formats), maxRows_(maxRows) {
        if (sheet_ == nullptr) throw Refusal(std::string("cannot add the sheet ") + name);
    }

    void header(const Column* columns, std::size_t count) override {
        for (std::size_t i = 0; i < count; ++i) {
            title(columns[i].title);
            if (columns[i].rawTitle != nullptr) title(columns[i].rawTitle);
        }
        title("Hidden characters");
        columns_ = col_;
        endLine();
    }
    void text(std::string_view value) override {
        const std::string cell = cellText(value, hidden_);
        const std::size_t units = utf16Units(cell);
        if (units > kMaxCellUnits) {
            throw Refusal("row " + std::to_string(row_ + 1) + " of sheet " + name_ + " would hold a cell of " +
                          std::to_string(units) + " characters (a spreadsheet holds at most 32767)");
        }
        string(cell, units);
    }
    void number(std::int64_t value) override {
        if (value > kExactLimit || value < -kExactLimit) {
            const std::string digits = std::to_string(value);
            string(digits, digits.size());
            return;
        }
        const lxw_col_t at = next(std::to_string(value).size());
        check(worksheet_write_number(sheet_, row_, at, static_cast<double>(value), nullptr));
    }
    void flag(bool value) override { string(value ? "yes" : "no", 3); }
    void time(std::int64_t seconds) override {
        date(seconds);
        number(seconds);
    }
    void blank() override { next(0); }
    void endRow() override {
        flag(hidden_);
        hidden_ = false;
        endLine();
    }

    // A date cell only (the Summary sheet puts the number first).
    void date(std::int64_t seconds) {
        if (seconds < kFirstDate || seconds > kLastDate) {
            next(0);
            return;
        }
        const lxw_col_t at = next(19);
        check(worksheet_write_number(sheet_, row_, at, dateSerial(seconds), formats_.date));
    }

    // The header row stays in view and filters every column.
    void finish() {
        for (lxw_col_t c = 0; c < columns_; ++c) {
            const std::size_t width = std::clamp(widths_[c] + 2, kMinWidth, kMaxWidth);
            check(worksheet_set_column(sheet_, c, c, static_cast<double>(width), nullptr));
        }
        worksheet_freeze_panes(sheet_, 1, 0);
        if (columns_ > 0) check(worksheet_autofilter(sheet_, 0, 0, row_ - 1, columns_ - 1));
    }

private:
    lxw_col_t next(std::size_t width) {
        if (col_ == 0 && row_ == maxRows_) {
            throw Refusal(std::string("sheet ") + name_ + " would have more than " + std::to_string(maxRows_ - 1) +
                          " rows below its header, more than a spreadsheet holds");
        }
        if (widths_.size() <= col_) widths_.resize(col_ + 1, 0);
        widths_[col_] = std::max(widths_[col_], width);
        return col_++;
    }
    void string(const std::string& value, std::size_t units) {
        const lxw_col_t at = next(units);
        // An empty cell is left out: the library would write nothing either.
        if (!value.empty()) check(worksheet_write_string(sheet_, row_, at, value.c_str(), nullptr));
    }
    void title(const char* value) {
        const lxw_col_t at = next(std::string_view(value).size());
        check(worksheet_write_string(sheet_, row_, at, value, formats_.header));
    }
    void endLine() {
        ++row_;
        col_ = 0;
    }

    lxw_worksheet* sheet_;
    std::string name_;
    Formats formats_;
    lxw_row_t maxRows_;
    lxw_row_t row_ = 0;
    lxw_col_t col_ = 0, columns_ = 0;
    std::vector<std::size_t> widths_;
    bool hidden_ = false;
};

// Item, value, and a date beside a time, one row each; the counters as
// numbers, then what the summary names as risky.
void writeSummary(const Document& document, const Tally& t, Sheet& sheet) {
    const Header& h = document.header;
    const Summary& s = document.summary;
    static constexpr Column kColumns[] = {{"Item"}, {"Value"}, {"Date (UTC)"}};
    sheet.header(kColumns, 3);
    const auto text = [&](const char* item, Text value) {
        sheet.text(item), sheet.text(value), sheet.blank(), sheet.endRow();
    };
    const auto count = [&](const char* item, std::int64_t value) {
        sheet.text(item), sheet.number(value), sheet.blank(), sheet.endRow();
    };
    text("Title", h.title);
    text("Description", h.desc);
    text("Machine", h.hostname);
    text("Operating system", h.osname);
    text("Version", h.osver);
    text("Platform", h.platform);
    text("System drive", h.osdrive);
    sheet.text("Created"), sheet.number(h.cdate), sheet.date(h.cdate), sheet.endRow();
    text("Run started", s.starttime);
    text("Run ended", s.endtime);
    text("Status", s.status);
    count("Directories discovered", s.dircnt);
    count("Files discovered", s.filecnt);
    count("Supported files", s.supportedfilecnt);
    count("Directories allowed", s.alloweddircnt);
    count("Files allowed", s.allowedfilecnt);
    count("Publishers allowed", s.allowedpubcnt);
    count("Directory entries listed", static_cast<std::int64_t>(t.directories));
    count("Executables listed", static_cast<std::int64_t>(t.executables));
    count("Unsigned executables", static_cast<std::int64_t>(t.unsigned_));
    count("Publishers listed", static_cast<std::int64_t>(document.publishers.size()));
    count("Allowed directories listed", static_cast<std::int64_t>(document.directories.size()));
    count("Names with hidden characters", static_cast<std::int64_t>(t.hiddenNames));
    for (const RiskyNames& kind : riskiest(document)) {
        count(kind.title, static_cast<std::int64_t>(kind.count));
        for (const std::string& name : kind.names) text(kind.title, name);
        if (kind.count > kind.names.size()) {
            text(kind.title, "... and " + std::to_string(kind.count - kind.names.size()) + " more");
        }
    }
}

// One row per certificate: those of the publishers list, then each signed
// executable's own, so that an issuer is never separated from its serial.
void writeCertificates(const Document& document, Sheet& sheet) {
    static constexpr Column kColumns[] = {{"Source"}, {"Path"},   {"Publisher"},
                                          {"Certificate"}, {"Issuer"}, {"Serial number"}};
    sheet.header(kColumns, 6);
    for (const Publisher& p : document.publishers) {
        for (std::size_t i = 0; i < p.certificates.size(); ++i) {
            sheet.text("publishers list"), sheet.blank(), sheet.text(p.pubname);
            sheet.number(static_cast<std::int64_t>(i + 1));
            sheet.text(p.certificates[i].issuer), sheet.text(p.certificates[i].serialno), sheet.endRow();
        }
    }
    for (const FileEntry& f : document.files) {
        if (f.isDirectory || !f.hasSigner) continue;
        sheet.text("executable"), sheet.text(f.path()), sheet.text(f.pubname), sheet.number(1);
        sheet.text(f.issuer), sheet.text(f.serialno), sheet.endRow();
    }
}

// The document's time as the workbook's creation time. The library takes 0
// for "now", and the C runtimes convert only some times, so any other value
// becomes 1980-01-01, the date of the zip entries.
time_t creationTime(std::int64_t seconds) {
    constexpr std::int64_t kLastConvertible = 32503679999;  // 3000-12-31 23:59:59
    return static_cast<time_t>(seconds > 0 && seconds <= kLastConvertible ? seconds : 315532800);
}

struct TableSheet {
    const char* name;
    CsvTable table;
};

constexpr TableSheet kTableSheets[] = {
    {"Executables", CsvTable::executables},
    {"Directories", CsvTable::directories},
    {"Publishers", CsvTable::publishers},
    {"Allowed directories", CsvTable::allowedDirectories},
};

}  // namespace

// A second is no binary fraction of a day, and the 32-bit build's x87
// arithmetic rounds a quotient otherwise than SSE does: the day's fraction is
// taken in integers, and the sum is exact in any arithmetic.
double dateSerial(std::int64_t seconds) {
    constexpr std::int64_t kDay = 86400, kSteps = std::int64_t{1} << 30;
    std::int64_t days = seconds / kDay, rest = seconds % kDay;
    if (rest < 0) {  // a time before 1970: the day before, and the rest forward
        rest += kDay;
        --days;
    }
    const std::int64_t steps = (rest * kSteps + kDay / 2) / kDay;
    return static_cast<double>(kUnixEpochSerial + days) + static_cast<double>(steps) / static_cast<double>(kSteps);
}

std::string cellText(std::string_view text, bool& hidden) {
    const std::string visible = visibleUtf8(text);
    if (visible != text) hidden = true;
    std::string cell;
    cell.reserve(visible.size());
    for (std::size_t i = 0; i < visible.size(); ++i) {
        // U+FFFE and U+FFFF are EF BF BE and EF BF BF.
        if (visible.compare(i, 2, "\xEF\xBF") == 0 && i + 2 < visible.size() &&
            (visible[i + 2] == '\xBE' || visible[i + 2] == '\xBF')) {
            cell += visible[i + 2] == '\xBE' ? "\\uFFFE" : "\\uFFFF";
            hidden = true;
            i += 2;
            continue;
        }
        if (startsEscape(visible, i)) {
            cell += "_x005F_";  // the underscore itself, escaped
            continue;
        }
        cell += visible[i];
    }
    return cell;
}

namespace {

// The library opens its file with the C runtime's narrow fopen, which on
// Windows reads a name in the ANSI code page, not UTF-8: a folder such as
// C:\Users\José could not be named. So the workbook is written from within
// its folder, by the file's own name, which is ASCII (".NAME.NNNNNN.tmp").
class InFolderOf {
public:
    explicit InFolderOf(const std::filesystem::path& file) {
        std::error_code code;
        before_ = std::filesystem::current_path(code);
        if (!code && file.has_parent_path()) std::filesystem::current_path(file.parent_path(), code);
        entered_ = !code;
    }
    InFolderOf(const InFolderOf&) = delete;
    InFolderOf& operator=(const InFolderOf&) = delete;
    ~InFolderOf() {
        std::error_code code;
        if (entered_) std::filesystem::current_path(before_, code);
    }
    bool entered() const { return entered_; }

private:
    std::filesystem::path before_;
    bool entered_ = false;
};

}  // namespace

bool writeWorkbook(const Document& document, const std::string& path, std::string& error, std::uint32_t maxRows) {
    const std::filesystem::path file = tool::pathOfUtf8(path);
    const InFolderOf folder(file);
    if (!folder.entered()) {
        error = "cannot enter the output's folder";
        return false;
    }
    const std::string name = file.filename().string();
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    std::unique_ptr<lxw_workbook, void (*)(lxw_workbook*)> book(workbook_new_opt(name.c_str(), &options),
                                                                 lxw_workbook_free);
    if (!book) {
        error = "cannot start a workbook (not enough memory or no temporary files)";
        return false;
    }
    try {
        bool unused = false;
        std::string title = cellText(document.header.title, unused);
        lxw_doc_properties properties = {};
        properties.title = title.data();
        properties.created = creationTime(document.header.cdate);
        check(workbook_set_properties(book.get(), &properties));
        Formats formats{workbook_add_format(book.get()), workbook_add_format(book.get())};
        if (formats.header == nullptr || formats.date == nullptr) throw std::bad_alloc();
        format_set_bold(formats.header);
        format_set_num_format(formats.date, "yyyy-mm-dd hh:mm:ss");

        const Tally counts = tally(document);
        Sheet summary(book.get(), "Summary", formats, maxRows);
        writeSummary(document, counts, summary);
        summary.finish();
        for (const TableSheet& t : kTableSheets) {
            Sheet sheet(book.get(), t.name, formats, maxRows);
            writeTable(document, counts, t.table, sheet);
            sheet.finish();
        }
        Sheet certificates(book.get(), "Certificates", formats, maxRows);
        writeCertificates(document, certificates);
        certificates.finish();
    } catch (const Refusal& refusal) {
        error = refusal.what();
        return false;
    }
    // workbook_close writes the file and frees the workbook, whatever it returns.
    const lxw_error closed = workbook_close(book.release());
    if (closed == LXW_ERROR_MEMORY_MALLOC_FAILED) throw std::bad_alloc();
    if (closed != LXW_NO_ERROR) {
        error = std::string("cannot write the workbook: ") + lxw_strerror(closed);
        return false;
    }
    return true;
}

}  // namespace baseline::doc
