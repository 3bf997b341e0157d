// Commands of baselinedoc. Documents are read whole, in binary, and never
// written: the only files the tool creates are a report and an export, and
// only where no file of that name exists unless --force is given.
#include "cli.h"

#include <new>
#include <stdexcept>
#include <ostream>
#include <sstream>
#include <system_error>
#include <thread>

#include "diff.h"
#include "document.h"
#include "export.h"
#include "report.h"
#include "summary.h"
#include "platform/visible_text.h"
#include "line_ends.h"
#include "tool_files.h"
#include "workbook.h"

namespace baseline::doc {

const char* const kUsage =
    "Usage:\n"
    "  baselinedoc check DOC\n"
    "      Tells whether DOC is a complete allowlist document, as the allowlist creator\n"
    "      writes one, and where it falls short. Exit value 0 when complete, 1 when not.\n"
    "  baselinedoc summary DOC\n"
    "      The header, the counters and the status; the publishers with the executables\n"
    "      each signed; the unsigned executables; the allowed items that are mutable,\n"
    "      and the riskiest of them by name (the first 20 of each kind).\n"
    "  baselinedoc diff [--json] OLD NEW\n"
    "      What changed between two documents, files matched by path without regard to\n"
    "      letter case. Exit value 0 when they are the same but for the run's times,\n"
    "      1 when they differ, 2 on trouble.\n"
    "  baselinedoc report DOC -o REPORT.html [--force]\n"
    "      One self-contained HTML page with the header, the counters and tables of\n"
    "      publishers, directories and executables to sort, search and filter. An\n"
    "      existing REPORT.html is replaced only with --force.\n"
    "  baselinedoc export DOC -o FILE.csv [--table TABLE] [--force]\n"
    "      One table of DOC as CSV for a spreadsheet, one row per item: TABLE is\n"
    "      executables (the default), directories, publishers or allowed-directories.\n"
    "      UTF-8 with a byte order mark, every field quoted; a field that would start a\n"
    "      formula gets a leading apostrophe. Only a complete document is exported. An\n"
    "      existing FILE.csv is replaced only with --force.\n"
    "  baselinedoc export DOC -o FILE.xlsx [--format xlsx] [--force]\n"
    "      Every table of DOC in one workbook (a name ending in .xlsx, or --format xlsx):\n"
    "      sheets Summary, Executables, Directories, Publishers, Allowed directories and\n"
    "      Certificates (one row per certificate). The document's text stays text in\n"
    "      every cell, whatever it looks like; times are dates beside their number.\n"
    "  baselinedoc help, -h or --help (as the first argument)\n"
    "      Shows this text.\n"
    "\n"
    "After \"--\" every argument is a file name, so that a file named -h.json can be named.\n"
    "Names and values from a document are shown with control, bidirectional and invisible\n"
    "characters as \\uXXXX escapes (U+XXXX marks in the report).\n"
    "\n"
    "baselinedoc only reads allowlist documents; it never changes one.\n";

namespace {

bool readFile(const std::string& name, std::string& bytes, std::ostream& err) {
    return tool::readWholeFile("baselinedoc", name, bytes, err);
}

bool load(const std::string& name, Document& document, std::ostream& err) {
    // Also on the second thread of diff, where an exception would end the
    // process: running out of memory is told here, for the document at fault.
    try {
        std::string bytes;
        if (!readFile(name, bytes, err)) return false;
        readDocument(std::move(bytes), document);
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    err << "baselinedoc: " << visibleUtf8(name) << ": not enough memory to read it\n";
    return false;
}

// The reader lists a bounded number of each kind of finding and counts the rest.
void printFindings(const std::string& name, const Document& document, std::ostream& to) {
    for (const Finding& f : document.findings) {
        to << visibleUtf8(name) << ": error: " << visibleUtf8(f.where) << ": " << visibleUtf8(f.what) << "\n";
    }
}

int check(const std::string& name, std::ostream& out, std::ostream& err) {
    Document document;
    if (!load(name, document, err)) return 1;
    printFindings(name, document, out);
    std::size_t directories = 0;
    for (const FileEntry& f : document.files) directories += f.isDirectory ? 1 : 0;
    const std::string counts = std::to_string(directories) + " directory entries, " +
                               std::to_string(document.files.size() - directories) + " executables, " +
                               std::to_string(document.publishers.size()) + " publishers, " +
                               std::to_string(document.directories.size()) + " allowed directories";
    if (document.complete()) {
        out << visibleUtf8(name) << ": a complete allowlist document (" << counts << ")\n";
        return 0;
    }
    out << visibleUtf8(name) << ": not a complete allowlist document (" << document.findingCount << " finding"
        << (document.findingCount == 1 ? "" : "s") << "; read: " << counts << ")\n";
    return 1;
}

int summary(const std::string& name, std::ostream& out, std::ostream& err) {
    Document document;
    if (!load(name, document, err)) return 1;
    printSummary(name, document, out);
    return 0;
}

int diff(const std::string& oldName, const std::string& newName, bool json, std::ostream& out, std::ostream& err) {
    // The two documents are read side by side; each has its own messages.
    Document before, after;
    std::ostringstream oldErrors, newErrors;
    bool oldRead = false, newRead = false;
    std::thread other;
    try {
        other = std::thread([&] { newRead = load(newName, after, newErrors); });
    } catch (const std::system_error&) {
        // A process near its limits may get no second thread: one after the other then.
    }
    oldRead = load(oldName, before, oldErrors);
    if (other.joinable()) {
        other.join();
    } else {
        newRead = load(newName, after, newErrors);
    }
    err << oldErrors.str() << newErrors.str();
    if (!oldRead || !newRead) return 2;
    // Comparing what could not be read whole would report its missing part as
    // removed: that is trouble, not a difference.
    bool trouble = false;
    for (const auto* d : {&before, &after}) {
        if (d->complete()) continue;
        const std::string& name = d == &before ? oldName : newName;
        printFindings(name, *d, err);
        err << "baselinedoc: " << visibleUtf8(name) << ": not a complete allowlist document; not compared\n";
        trouble = true;
    }
    if (trouble) return 2;
    const DocumentDiff result = compareDocuments(before, after);
    if (json) {
        tool::passBytesThrough(out);  // JSON is data: a script reads it as it is
        printDiffJson(oldName, newName, result, out);
    } else {
        printDiff(oldName, newName, result, out);
    }
    out.flush();
    if (!out) return 2;
    return result.same() ? 0 : 1;
}

// Exit 1 of diff means "different": memory that runs out while comparing is
// trouble, and whatever was printed before it is no answer.
int guardedDiff(const std::string& oldName, const std::string& newName, bool json, std::ostream& out,
                std::ostream& err) {
    try {
        return diff(oldName, newName, json, out, err);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    out.flush();
    err << "\nbaselinedoc: not enough memory to compare the documents; nothing printed above is the answer\n";
    return 2;
}

int report(const std::string& name, const std::string& output, bool force, std::ostream& out, std::ostream& err) {
    Document document;
    if (!load(name, document, err)) return 1;
    std::ostringstream page;
    writeReport(name, document, page);
    if (!tool::writeOutputFile("baselinedoc", {name}, output, tool::wholeText(page), force, err)) return 1;
    if (!document.complete()) {
        err << "baselinedoc: " << visibleUtf8(name) << ": not a complete allowlist document ("
            << document.findingCount << " findings, listed at the top of the report)\n";
    }
    out << visibleUtf8(output) << ": written (" << document.files.size() << " entries)\n";
    return 0;
}

// A file name ending in ".xlsx", in any letter case.
bool namesWorkbook(const std::string& output) {
    constexpr std::string_view kExtension = ".xlsx";
    if (output.size() < kExtension.size()) return false;
    return lowerAscii(std::string_view(output).substr(output.size() - kExtension.size())) == kExtension;
}

// A spreadsheet has no place for a document's findings, and a table signed
// off as the whole allowlist must be the whole: an incomplete document is
// not exported.
int exportTable(const std::string& name, const std::string& output, const CsvTable* table, bool force,
                std::ostream& out, std::ostream& err) {
    Document document;
    if (!load(name, document, err)) return 1;
    if (!document.complete()) {
        printFindings(name, document, err);
        err << "baselinedoc: " << visibleUtf8(name) << ": not a complete allowlist document; not exported\n";
        return 1;
    }
    if (table == nullptr) {
        const auto produce = [&](const std::string& scratch, std::string& error) {
            return writeWorkbook(document, scratch, error);
        };
        if (!tool::writeOutputFileFrom("baselinedoc", {name}, output, produce, force, err)) return 1;
        out << visibleUtf8(output) << ": written\n";
        return 0;
    }
    std::ostringstream csv;
    writeCsv(document, *table, csv);
    if (!tool::writeOutputFile("baselinedoc", {name}, output, tool::wholeText(csv), force, err)) return 1;
    out << visibleUtf8(output) << ": written\n";
    return 0;
}

int usageError(const std::string& message, std::ostream& err) {
    err << "baselinedoc: " << visibleUtf8(message) << "\n\n" << kUsage;
    return 2;
}

}  // namespace

int runBaselinedoc(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    tool::ToolArguments parsed;
    std::string error;
    if (!tool::parseToolArguments(arguments, {"--force", "--json"}, parsed, error, {"--table", "--format"})) {
        return usageError(error, err);
    }
    if (parsed.help) {
        out << kUsage;
        return 0;
    }
    if (arguments.empty()) return usageError("no command given", err);
    const std::string& command = parsed.command;
    const std::vector<std::string>& files = parsed.files;
    const std::string& output = parsed.output;
    const bool force = parsed.has("--force"), json = parsed.has("--json"), outputGiven = parsed.outputGiven;
    const std::string* tableName = parsed.value("--table");
    const std::string* format = parsed.value("--format");
    if (tableName != nullptr && command != "export") return usageError("--table belongs to export", err);
    if (format != nullptr && command != "export") return usageError("--format belongs to export", err);
    if (command == "check" || command == "summary") {
        if (files.size() != 1 || outputGiven || force || json) return usageError(command + " takes one document and no options", err);
        return command == "check" ? check(files[0], out, err) : summary(files[0], out, err);
    }
    if (command == "diff") {
        if (files.size() != 2 || outputGiven || force) return usageError("diff takes OLD and NEW, and --json", err);
        return guardedDiff(files[0], files[1], json, out, err);
    }
    if (command == "report") {
        if (files.size() != 1 || output.empty() || json) return usageError("report needs DOC and -o REPORT.html", err);
        return report(files[0], output, force, out, err);
    }
    if (command == "export") {
        if (files.size() != 1 || output.empty() || json) {
            return usageError("export needs DOC and -o FILE.csv or -o FILE.xlsx", err);
        }
        if (format != nullptr && *format != "csv" && *format != "xlsx") {
            return usageError("unknown format " + *format + " (csv or xlsx)", err);
        }
        if (format != nullptr ? *format == "xlsx" : namesWorkbook(output)) {
            if (tableName != nullptr) return usageError("--table belongs to the CSV export: a workbook holds every table", err);
            return exportTable(files[0], output, nullptr, force, out, err);
        }
        CsvTable table = CsvTable::executables;
        if (tableName != nullptr && !csvTableNamed(*tableName, table)) {
            return usageError("unknown table " + *tableName +
                                  " (executables, directories, publishers or allowed-directories)",
                              err);
        }
        return exportTable(files[0], output, &table, force, out, err);
    }
    return usageError("unknown command " + command, err);
}

}  // namespace baseline::doc
