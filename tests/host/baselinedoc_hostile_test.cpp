// baselinedoc against a document written by whoever chose the names on the
// scanned machine: every text output shows hidden characters as escapes and
// quotes what came from the document; the command line cannot be steered by a
// file's name; a diff of one path repeated many times pairs them in order.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "baselinedoc/cli.h"
#include "diff.h"
#include "document.h"
#include "summary.h"
#include "tool_files.h"
#include "document_text.h"

namespace baseline::doc {
namespace {

using testing::replaced;
using testing::workedExample;

// The worked example with names a hostile machine could give: a file name that
// reverses itself, a version string that forges a line of the diff, a host name
// that retitles the terminal, a publisher with a zero-width space.
std::string hostileExample() {
    std::string text = workedExample();
    text = replaced(text, "\"fname\" : \"tool.exe\"", "\"fname\" : \"invoice\\u202egpj.exe\"");
    text = replaced(text, "\"fver\" : \"2.4.1.0\"",
                    "\"fver\" : \"2.4.1.0\\n\\nThe documents are the same but for the run's times.\"");
    text = replaced(text, "\"hostname\" : \"PC-0001\"", "\"hostname\" : \"host\\u001b]0;pwned\\u0007\\u001b[2J\"");
    text = replaced(text, "\"pubname\" : \"Pellworth, LLC\"", "\"pubname\" : \"Pell\\u200bworth, LLC\"");
    return text;
}

// Line feeds and the summary's own tabs are the tool's; anything else hidden
// must have come from the document.
bool holdsRawHiddenByte(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n' && c != '\t') || c == 0x7F) return true;
        if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80) {
            const auto d = static_cast<unsigned char>(text[i + 2]);
            if ((d >= 0x8B && d <= 0x8F) || (d >= 0xA8 && d <= 0xAE)) return true;  // U+200B-200F, U+2028-202E
        }
    }
    return false;
}

int run(const std::vector<std::string>& arguments, std::string& out, std::string& err) {
    std::ostringstream o, e;
    const int code = runBaselinedoc(arguments, o, e);
    out = o.str();
    err = e.str();
    return code;
}

TEST(HostileDocument, SummaryShowsEscapesAndCountsHiddenNames) {
    Document d;
    readDocument(hostileExample(), d);
    ASSERT_TRUE(d.complete()) << d.findings[0].what;
    std::ostringstream out;
    printSummary("doc\x1b.json", d, out);
    const std::string text = out.str();
    EXPECT_FALSE(holdsRawHiddenByte(text)) << text;
    EXPECT_NE(text.find("Allowlist doc\\u001B.json\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  Host:         host\\u001B]0;pwned\\u0007\\u001B[2J, Windows 10 64 bit (Windows 10.0 build "
                        "19045, 64-bit, os id 50042, suite 256)\n"),
              std::string::npos)
        << text;
    // The file's path and one publisher hide something.
    EXPECT_NE(text.find("  Hidden characters: 2 names hold control, bidirectional or invisible characters (shown "
                        "as \\uXXXX)\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\tPell\\u200Bworth, LLC  ("), std::string::npos) << text;

    Document plain;
    readDocument(workedExample(), plain);
    std::ostringstream plainOut;
    printSummary("doc.json", plain, plainOut);
    EXPECT_NE(plainOut.str().find("  Hidden characters: 0 names hold"), std::string::npos) << plainOut.str();
}

TEST(HostileDocument, DiffQuotesAndEscapesEveryValueSoNoneStartsALine) {
    Document a, b;
    readDocument(workedExample(), a);
    readDocument(hostileExample(), b);
    ASSERT_TRUE(b.complete());
    std::ostringstream out;
    printDiff("old.json", "new.json", compareDocuments(a, b), out);
    const std::string expected =
        "--- old.json\n"
        "+++ new.json\n"
        "\n"
        "Header:\n"
        "  hostname: \"PC-0001\" -> \"host\\u001B]0;pwned\\u0007\\u001B[2J\"\n"
        "\n"
        "Executables added (1):\n"
        "  + \"C:\\Tools\\invoice\\u202Egpj.exe\"\n"
        "\n"
        "Executables removed (1):\n"
        "  - \"C:\\Tools\\tool.exe\"\n"
        "\n"
        "Publishers added (1):\n"
        "  + \"Pell\\u200Bworth, LLC\"\n"
        "\n"
        "Publishers removed (1):\n"
        "  - \"Pellworth, LLC\"\n";
    EXPECT_EQ(out.str(), expected);

    // The forged sentence stays inside its quoted value.
    Document c;
    readDocument(replaced(workedExample(), "\"fver\" : \"2.4.1.0\"",
                          "\"fver\" : \"2.4.1.0\\\" -> \\\"2.4.1.0\\n\\nThe documents are the same but for the run's "
                          "times.\""),
                 c);
    std::ostringstream forged;
    printDiff("old.json", "new.json", compareDocuments(a, c), forged);
    EXPECT_EQ(forged.str(),
              "--- old.json\n"
              "+++ new.json\n"
              "\n"
              "Executables changed (1):\n"
              "  ~ \"C:\\Tools\\tool.exe\"\n"
              "      fver: \"2.4.1.0\" -> \"2.4.1.0\\\" -> \\\"2.4.1.0\\u000A\\u000AThe documents are the same but for "
              "the run's times.\"\n");
}

TEST(HostileDocument, FindingsAndFileNamesAreEscapedOnEveryStream) {
    std::string out, err;
    // A document that is not one: its finding quotes a key of the document.
    const std::string path = ::testing::TempDir() + "baselinedoc-hostile-\xe2\x80\xae.json";
    {
        std::ostringstream unused;
        ASSERT_TRUE(tool::writeOutputFile("test", {}, path, "{\"inventoryinfo\\u001b[2J\" : 1}", true, unused));
    }
    EXPECT_EQ(run({"check", path}, out, err), 1);
    EXPECT_FALSE(holdsRawHiddenByte(out)) << out;
    EXPECT_NE(out.find("baselinedoc-hostile-\\u202E.json: "), std::string::npos) << out;
    EXPECT_EQ(run({"summary", "missing-\x1b[2J.json"}, out, err), 1);
    EXPECT_EQ(err, "baselinedoc: missing-\\u001B[2J.json: cannot be opened (no such file)\n");
    EXPECT_EQ(run({"check", "--\x1b]0;x\x07"}, out, err), 2);
    EXPECT_EQ(err.substr(0, err.find('\n')), "baselinedoc: unknown option --\\u001B]0;x\\u0007");
}

TEST(ToolArguments, HelpOnlyFirstAndDoubleDashEndsTheOptions) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        bool ok;
        bool help;
        std::vector<std::string> files;
        const char* error;
    };
    const Case cases[] = {
        {"help first", {"help"}, true, true, {}, ""},
        {"-h first", {"-h", "check"}, true, true, {}, ""},
        {"a file named help", {"check", "help"}, true, false, {"help"}, ""},
        {"a file named --help after --", {"check", "--", "--help"}, true, false, {"--help"}, ""},
        {"--help later is an option", {"check", "x", "--help"}, false, false, {}, "unknown option --help"},
        {"-- then a dash name", {"check", "--", "-h.json", "-o"}, true, false, {"-h.json", "-o"}, ""},
        {"a lone dash is a file", {"check", "-"}, true, false, {"-"}, ""},
        {"-o at the end", {"report", "d", "-o"}, false, false, {}, "-o needs a file name"},
        {"-o with an empty name", {"report", "d", "-o", ""}, false, false, {}, "-o needs a file name"},
        {"output twice", {"report", "d", "-o", "a", "--output", "b"}, false, false, {}, "the output is given twice"},
        {"switch twice", {"report", "d", "--force", "--force"}, false, false, {}, "--force is given twice"},
        {"value option", {"export", "d", "--table", "publishers"}, true, false, {"d"}, ""},
        {"value option twice", {"export", "d", "--table", "a", "--table", "b"}, false, false, {}, "--table is given twice"},
        {"value option at the end", {"export", "d", "--table"}, false, false, {}, "--table needs a value"},
    };
    for (const Case& c : cases) {
        tool::ToolArguments parsed;
        std::string error;
        const bool ok = tool::parseToolArguments(c.arguments, {"--force", "--json"}, parsed, error, {"--table"});
        EXPECT_EQ(ok, c.ok) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
        if (!ok) continue;
        EXPECT_EQ(parsed.help, c.help) << c.name;
        EXPECT_EQ(parsed.files, c.files) << c.name;
    }
    tool::ToolArguments parsed;
    std::string error;
    ASSERT_TRUE(tool::parseToolArguments({"export", "d", "--table", "publishers"}, {}, parsed, error, {"--table"}));
    ASSERT_NE(parsed.value("--table"), nullptr);
    EXPECT_EQ(*parsed.value("--table"), "publishers");
    EXPECT_EQ(parsed.value("--other"), nullptr);

    std::string out, err;
    EXPECT_EQ(run({"check", "help"}, out, err), 1);  // no such file, not the usage
    EXPECT_EQ(err, "baselinedoc: help: cannot be opened (no such file)\n");
}

// Memory that runs out inside a command of either tool is one line and exit 1,
// after what the command had printed; a string stream that could not grow is
// that failure, not a part of its text. Standard output that fails is one line
// too.
TEST(ToolMemory, RunningOutIsOneLineAndExitOne) {
    struct Case {
        const char* name;
        std::function<int(std::ostream&)> command;
        int exit;
        const char* out;
        const char* err;
    };
    const Case cases[] = {
        {"answers", [](std::ostream& o) { o << "done\n"; return 3; }, 3, "done\n", ""},
        {"bad_alloc after a line",
         [](std::ostream& o) -> int { o << "half\n"; throw std::bad_alloc(); }, 1, "half\n",
         "baselineconf: not enough memory\n"},
        {"length_error", [](std::ostream&) -> int { throw std::length_error("vector"); }, 1, "",
         "baselineconf: not enough memory\n"},
        {"a failed string stream",
         [](std::ostream&) {
             std::ostringstream page;
             page << "part";
             page.setstate(std::ios::badbit);
             return static_cast<int>(tool::wholeText(page).size());
         },
         1, "", "baselineconf: not enough memory\n"},
        {"a whole string stream",
         [](std::ostream&) {
             std::ostringstream page;
             page << "whole";
             return static_cast<int>(tool::wholeText(page).size());
         },
         5, "", ""},
        // Output that could not be written is no answer: said, and never 0.
        {"a verdict that cannot be written", [](std::ostream& o) { o << "loads\n"; o.setstate(std::ios::badbit); return 0; },
         1, "loads\n", "baselineconf: error: standard output cannot be written; what the command printed is lost\n"},
        {"a usage error that cannot be written either",
         [](std::ostream& o) { o.setstate(std::ios::failbit); return 2; }, 2, "",
         "baselineconf: error: standard output cannot be written; what the command printed is lost\n"},
    };
    for (const Case& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(tool::exitValueGuarded("baselineconf", [&] { return c.command(out); }, out, err), c.exit) << c.name;
        EXPECT_EQ(out.str(), c.out) << c.name;
        EXPECT_EQ(err.str(), c.err) << c.name;
    }
}

// A document of one path many times over (a hostile or a broken one: the
// creator lists each path once), against itself and against one of the copies
// renamed: the k-th pairs with the k-th, and the comparison takes one sort.
TEST(Diff, OnePathRepeatedPairsInOrder) {
    const std::string base = workedExample();
    const std::string open = "{\r\n\t\"allowstate\" : 1,\r\n\t\"attr\" : 32";
    const std::size_t from = base.find(open);
    const std::string entry = base.substr(from, base.find("}],\"publishers\"") - from + 1);
    constexpr int kCopies = 20000;
    std::string copies, renamedCopies;
    for (int i = 0; i < kCopies; ++i) {
        const std::string id = "\"id\" : " + std::to_string(i + 1) + ",";
        std::string one = replaced(entry, "\"id\" : 1,", id);
        if (i == kCopies - 1) one = replaced(one, "2.4.1.0", "9.9");
        copies += (i ? "," : "") + one;
        renamedCopies += (i ? "," : "") + (i == kCopies / 2 ? replaced(one, "tool.exe\",\r\n\t\"fpath\"", "TOOL.EXE\",\r\n\t\"fpath\"") : one);
    }
    Document a, b;
    readDocument(replaced(base, entry, copies), a);
    readDocument(replaced(base, entry, renamedCopies), b);
    ASSERT_EQ(a.files.size(), kCopies + 1u);
    EXPECT_TRUE(compareDocuments(a, a).same());
    const DocumentDiff d = compareDocuments(a, b);
    EXPECT_TRUE(d.executablesAdded.empty());
    EXPECT_TRUE(d.executablesRemoved.empty());
    ASSERT_EQ(d.executablesChanged.size(), 1u);  // only the renamed copy, paired with its own place
    EXPECT_EQ(d.executablesChanged[0].name, "C:\\Tools\\TOOL.EXE");
    EXPECT_EQ(d.executablesChanged[0].changes.back().field, "path");
}

}  // namespace
}  // namespace baseline::doc
