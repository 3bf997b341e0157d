// What baselinedoc hands to spreadsheets and scripts: the CSV export's fields
// and bytes, diff --json's typed values, and the summary's risky names, over
// the worked example and small variations of it.
#include <gtest/gtest.h>

#include <json/json.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "diff.h"
#include "document.h"
#include "export.h"
#include "summary.h"
#include "workbook.h"
#include "document_text.h"

namespace baseline::doc {
namespace {

using testing::replaced;
using testing::workedExample;

// One text as a spreadsheet output writes it, and whether it was marked as
// holding hidden characters.
struct TextCase {
    const char* name;
    const char* in;
    const char* out;
    bool hidden;
};

template <std::size_t N>
void expectWritten(const TextCase (&cases)[N], std::string (*write)(std::string_view, bool&)) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool hidden = false;
        EXPECT_EQ(write(c.in, hidden), c.out);
        EXPECT_EQ(hidden, c.hidden);
    }
}

TEST(CsvExport, TextFields) {
    const TextCase cases[] = {
        {"plain", "tool.exe", "\"tool.exe\"", false},
        {"empty", "", "\"\"", false},
        {"quotes doubled", "a\"b\"\"", "\"a\"\"b\"\"\"\"\"", false},
        {"comma kept inside quotes", "Pellworth, LLC", "\"Pellworth, LLC\"", false},
        {"formula", "=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\"", false},
        {"plus", "+1", "\"'+1\"", false},
        {"minus", "-2", "\"'-2\"", false},
        {"at", "@x", "\"'@x\"", false},
        {"equals later is no formula", "a=1", "\"a=1\"", false},
        // Tab, CR and LF are hidden characters: escaped, so no record breaks
        // and nothing hides in front of a formula.
        {"tab first", "\t=1", "\"\\u0009=1\"", true},
        {"carriage return first", "\r=1", "\"\\u000D=1\"", true},
        {"line feed", "a\nb", "\"a\\u000Ab\"", true},
        {"right-to-left override", "invoice\xE2\x80\xAEgpj.exe", "\"invoice\\u202Egpj.exe\"", true},
        {"escape sequence", "host\x1B]0;pwned\x07", "\"host\\u001B]0;pwned\\u0007\"", true},
        {"zero width space", "a\xE2\x80\x8B" "b", "\"a\\u200Bb\"", true},
        {"non-ASCII letters stay", "\xC3\x9Cn\xC3\xAF \xE5\x90\x8D", "\"\xC3\x9Cn\xC3\xAF \xE5\x90\x8D\"", false},
        // The escape makes a hidden character first; the apostrophe is
        // decided on what is written.
        {"hidden then formula", "\xE2\x80\xAE=1", "\"\\u202E=1\"", true},
    };
    expectWritten(cases, csvTextField);
}

// A workbook cell is a string cell, so a formula needs no apostrophe; what it
// must keep from the spreadsheet is its own escape form and the two
// characters its XML cannot hold.
TEST(WorkbookExport, CellText) {
    const TextCase cases[] = {
        {"formula stays as written", "=1+1", "=1+1", false},
        {"look-alike number", "0012345", "0012345", false},
        {"escape form kept literal", "_x0041_", "_x005F_x0041_", false},
        {"lower-case x and hex too", "a_xbeef_b", "a_x005F_xbeef_b", false},
        {"two in a row", "_x0041__x0042_", "_x005F_x0041__x005F_x0042_", false},
        {"not hex", "_x00G1_", "_x00G1_", false},
        {"too short at the end", "_x004", "_x004", false},
        {"no closing underscore", "_x00411", "_x00411", false},
        {"U+FFFE", "a\xEF\xBF\xBE", "a\\uFFFE", true},
        {"U+FFFF", "\xEF\xBF\xBFz", "\\uFFFFz", true},
        {"U+FFFD stays", "\xEF\xBF\xBD", "\xEF\xBF\xBD", false},
        {"hidden-character rule first", "tab\there", "tab\\u0009here", true},
    };
    expectWritten(cases, cellText);
}

// A sheet longer than a spreadsheet holds is refused before anything is
// written, naming the sheet; within the limit the workbook is complete.
TEST(WorkbookExport, RowLimit) {
    Document d;
    readDocument(workedExample(), d);
    const std::string path = ::testing::TempDir() + "row_limit.xlsx";
    const struct {
        std::uint32_t rows;
        bool written;
        const char* message;
    } cases[] = {
        {1, false, "sheet Summary would have more than 0 rows below its header"},
        {kSheetRows, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rows);
        std::remove(path.c_str());
        std::string error;
        EXPECT_EQ(writeWorkbook(d, path, error, c.rows), c.written);
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        std::ifstream file(path, std::ios::binary);
        char magic[4] = {};
        file.read(magic, 4);
        EXPECT_EQ(file.good() && std::string(magic, 4) == "PK\x03\x04", c.written);
    }
    std::remove(path.c_str());
}

// Every serial is a multiple of 2^-30 with room to spare in a double, so no
// build rounds it; and it is within half a step of the true time.
TEST(WorkbookExport, DateSerials) {
    const struct {
        std::int64_t seconds;
        double days;  // the true serial
    } cases[] = {
        {0, 25569.0},
        {1, 25569.0 + 1 / 86400.0},
        {1710410400, 45365.0 + 10 / 24.0},
        {-1, 25569.0 - 1 / 86400.0},
        {-2203891200, 61.0},                        // 1900-03-01
        {253402300799, 2958466.0 - 1 / 86400.0},    // 9999-12-31 23:59:59
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seconds);
        const double serial = dateSerial(c.seconds);
        const double steps = std::ldexp(serial, 30);
        EXPECT_EQ(steps, std::floor(steps));
        EXPECT_LT(steps, std::ldexp(1.0, 53));
        EXPECT_LE(std::fabs(serial - c.days), std::ldexp(1.0, -31));
    }
}

TEST(CsvExport, IsoTimesAndTableNames) {
    EXPECT_EQ(isoUtc(0), "1970-01-01T00:00:00Z");
    EXPECT_EQ(isoUtc(1710410400), "2024-03-14T10:00:00Z");
    EXPECT_EQ(isoUtc(-11644473600), "1601-01-01T00:00:00Z");  // FILETIME's first second
    EXPECT_EQ(isoUtc(253402300800), "10000-01-01T00:00:00Z");
    const struct {
        const char* name;
        bool known;
        CsvTable table;
    } names[] = {
        {"executables", true, CsvTable::executables},
        {"directories", true, CsvTable::directories},
        {"publishers", true, CsvTable::publishers},
        {"allowed-directories", true, CsvTable::allowedDirectories},
        {"Executables", false, CsvTable::executables},
        {"allowed_directories", false, CsvTable::executables},
        {"", false, CsvTable::executables},
    };
    for (const auto& n : names) {
        CsvTable table = CsvTable::executables;
        EXPECT_EQ(csvTableNamed(n.name, table), n.known) << n.name;
        if (n.known) {
            EXPECT_EQ(table, n.table) << n.name;
        }
    }
}

TEST(CsvExport, WorkedExampleBytes) {
    Document d;
    readDocument(workedExample(), d);
    ASSERT_TRUE(d.complete());
    const struct {
        CsvTable table;
        std::string bytes;
    } tables[] = {
        {CsvTable::executables,
         "\xEF\xBB\xBF\"Path\",\"Publisher\",\"Signed\",\"Issuer\",\"Serial number\",\"File version\",\"Product\","
         "\"Product version\",\"Company\",\"Original file name\",\"Internal name\",\"Modified (UTC)\",\"Allowed\","
         "\"Mutable\",\"Default\",\"Attributes\",\"System drive\",\"Parent directory\",\"Id\",\"Parent id\","
         "\"Hidden characters\"\r\n"
         "\"C:\\Tools\\tool.exe\",\"Example Software Ltd\",\"yes\",\"Example Code Signing CA\","
         "\"0a1b2c3d4e5f60718293a4b5c6d7e8f9\",\"2.4.1.0\",\"Example Tool\",\"2.4\",\"Example Software Ltd\","
         "\"tool.exe\",\"tool\",\"2024-03-14T10:00:00Z\",\"yes\",\"yes\",\"yes\",\"32\",\"yes\",\"C:\\Tools\\\","
         "\"1\",\"0\",\"no\"\r\n"},
        {CsvTable::directories,
         "\xEF\xBB\xBF\"Path\",\"Allowed\",\"Mutable\",\"Default\",\"Attributes\",\"System drive\",\"Modified (UTC)\","
         "\"Parent directory\",\"Id\",\"Parent id\",\"Hidden characters\"\r\n"
         "\"C:\\Tools\",\"no\",\"no\",\"yes\",\"0\",\"yes\",\"2025-11-20T08:15:00Z\",\"C:\\\",\"0\",\"-1\",\"no\"\r\n"},
        {CsvTable::allowedDirectories,
         "\xEF\xBB\xBF\"Directory\",\"Allowed\",\"Mutable\",\"Strict publisher\",\"Default\",\"Type\","
         "\"Hidden characters\"\r\n"
         "\"%SystemDrive%\\Tools\",\"yes\",\"no\",\"yes\",\"yes\",\"1\",\"no\"\r\n"},
    };
    for (const auto& t : tables) {
        std::ostringstream out;
        writeCsv(d, t.table, out);
        EXPECT_EQ(out.str(), t.bytes);
    }
    std::ostringstream publishers;
    writeCsv(d, CsvTable::publishers, publishers);
    const std::string text = publishers.str();
    EXPECT_NE(text.find("\r\n\"Example Software Ltd\",\"yes\",\"yes\",\"yes\",\"1\",\"1\",\"1\","
                        "\"Example Code Signing CA\",\"0a1b2c3d4e5f60718293a4b5c6d7e8f9\",\"no\"\r\n"),
              std::string::npos)
        << text;
    // The comma in a built-in name stays inside its quotes.
    EXPECT_NE(text.find("\r\n\"Pellworth, LLC\",\"yes\",\"yes\",\"no\",\"1\",\"0\",\"0\",\"\",\"\",\"no\"\r\n"),
              std::string::npos)
        << text;
}

TEST(CsvExport, HiddenCharactersMarkTheirRowAndASignerOutsideTheListHasNoState) {
    std::string text = replaced(workedExample(), "\"cname\" : \"Example Software Ltd\"",
                                "\"cname\" : \"Example\xE2\x80\xAE Ltd\"");
    // A signer that the publishers list does not name.
    text = replaced(text, "\"pubname\" : \"Example Software Ltd\",\r\n\t\"serialno\"",
                    "\"pubname\" : \"Unlisted\",\r\n\t\"serialno\"");
    Document d;
    readDocument(text, d);
    std::ostringstream executables, publishers;
    writeCsv(d, CsvTable::executables, executables);
    writeCsv(d, CsvTable::publishers, publishers);
    EXPECT_NE(executables.str().find(",\"Example\\u202E Ltd\","), std::string::npos) << executables.str();
    EXPECT_TRUE(executables.str().ends_with(",\"0\",\"yes\"\r\n")) << executables.str();
    EXPECT_NE(publishers.str().find("\r\n\"Unlisted\",\"no\",\"\",\"\",\"\",\"1\",\"0\",\"\",\"\",\"no\"\r\n"),
              std::string::npos)
        << publishers.str();
}

Json::Value diffJson(const std::string& before, const std::string& after) {
    Document a, b;
    readDocument(before, a);
    readDocument(after, b);
    EXPECT_TRUE(a.complete() && b.complete());
    std::ostringstream out;
    printDiffJson("a.json", "b.json", compareDocuments(a, b), out);
    for (char c : out.str()) EXPECT_LT(static_cast<unsigned char>(c), 0x7F) << "raw byte in " << out.str();
    Json::Value root;
    std::istringstream in(out.str());
    EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr)) << out.str();
    return root;
}

Json::Value onlyChange(const Json::Value& changed, const char* field) {
    for (const Json::Value& item : changed) {
        for (const Json::Value& c : item["changes"]) {
            if (c["field"].asString() == field) return c;
        }
    }
    ADD_FAILURE() << "no change of " << field;
    return {};
}

TEST(DiffJson, ValuesAreTypedAsInTheDocument) {
    const std::string base = workedExample();
    std::string other = replaced(base, "\"buildnumber\" : 19045", "\"buildnumber\" : 22631");
    other = replaced(other, "\"mtime\" : 1710410400", "\"mtime\" : 1710414000");
    other = replaced(other, "\"fver\" : \"2.4.1.0\"", "\"fver\" : \"2.5\\u0001\x7F\\u001B\"");
    other = replaced(other, "\"mutable\" : true,\r\n\t\"ofname\"", "\"mutable\" : false,\r\n\t\"ofname\"");
    other = replaced(other, "\"globalstrictpub\" : false", "\"globalstrictpub\" : true");
    other = replaced(other, "\"hostname\" : \"PC-0001\"", "\"hostname\" : \"PC-\xE2\x80\xAE" "0002\"");
    const Json::Value root = diffJson(base, other);
    EXPECT_FALSE(root["same"].asBool());
    const Json::Value build = root["header"][0];
    EXPECT_EQ(build["field"].asString(), "buildnumber");
    EXPECT_TRUE(build["old"].isInt64() && build["new"].isInt64());
    EXPECT_EQ(build["old"].asInt64(), 19045);
    EXPECT_EQ(build["new"].asInt64(), 22631);
    EXPECT_EQ(root["header"][1]["new"].asString(), "PC-\xE2\x80\xAE" "0002");  // exact text, however it is escaped
    const Json::Value mtime = onlyChange(root["executables"]["changed"], "mtime");
    EXPECT_TRUE(mtime["old"].isIntegral());
    EXPECT_EQ(mtime["new"].asInt64(), 1710414000);
    EXPECT_EQ(onlyChange(root["executables"]["changed"], "fver")["new"].asString(), "2.5\x01\x7F\x1B");
    const Json::Value mutableChange = onlyChange(root["executables"]["changed"], "mutable");
    EXPECT_TRUE(mutableChange["old"].isBool() && mutableChange["old"].asBool());
    EXPECT_TRUE(root["misc"][0]["new"].isBool());
    EXPECT_TRUE(root["counters"].empty());
}

TEST(DiffJson, SignersAndCertificatesAreObjects) {
    const std::string base = workedExample();
    // Unsigned in the old document.
    std::string unsignedEntry = replaced(base, "\t\"issuer\" : \"Example Code Signing CA\",\r\n", "");
    unsignedEntry = replaced(unsignedEntry, "\t\"pubname\" : \"Example Software Ltd\",\r\n\t\"serialno\" : \"0a1b2c3d4e5f60718293a4b5c6d7e8f9\"\r\n",
                             "");
    unsignedEntry = replaced(unsignedEntry, "\t\"prodver\" : \"2.4\",\r\n", "\t\"prodver\" : \"2.4\"\r\n");
    // A second certificate in the new one, and the first one's serial changed.
    std::string twoCertificates = replaced(
        base, "\t\t\t\"serialno\" : \"0a1b2c3d4e5f60718293a4b5c6d7e8f9\"\r\n\t\t}\r\n",
        "\t\t\t\"serialno\" : \"ff\"\r\n\t\t},\r\n\t\t{\r\n\t\t\t\"issuer\" : \"Second CA\",\r\n\t\t\t\"serialno\" : \"01\"\r\n\t\t}\r\n");
    const Json::Value root = diffJson(unsignedEntry, twoCertificates);
    const Json::Value signer = onlyChange(root["executables"]["changed"], "signer");
    EXPECT_TRUE(signer["old"].isNull() && signer.isMember("old"));
    EXPECT_EQ(signer["new"]["pubname"].asString(), "Example Software Ltd");
    EXPECT_EQ(signer["new"]["issuer"].asString(), "Example Code Signing CA");
    EXPECT_EQ(signer["new"]["serialno"].asString(), "0a1b2c3d4e5f60718293a4b5c6d7e8f9");
    ASSERT_EQ(root["certificates"]["added"].size(), 1u);
    const Json::Value added = root["certificates"]["added"][0];
    EXPECT_EQ(added["name"].asString(), "Example Software Ltd");
    ASSERT_EQ(added["changes"].size(), 2u);
    EXPECT_FALSE(added["changes"][0].isMember("old"));
    EXPECT_EQ(added["changes"][0]["new"]["serialno"].asString(), "ff");
    EXPECT_EQ(added["changes"][1]["new"]["issuer"].asString(), "Second CA");
    const Json::Value removed = root["certificates"]["removed"][0]["changes"][0];
    EXPECT_FALSE(removed.isMember("new"));
    EXPECT_EQ(removed["old"]["serialno"].asString(), "0a1b2c3d4e5f60718293a4b5c6d7e8f9");
}

TEST(DiffJson, AddedAndRemovedItemsCarryTheirState) {
    const std::string base = workedExample();
    std::string renamed = replaced(base, "\"fname\" : \"tool.exe\"", "\"fname\" : \"new.exe\"");
    renamed = replaced(renamed, "\"pubname\" : \"Pellworth, LLC\"", "\"pubname\" : \"Pellworth, Inc\"");
    renamed = replaced(renamed, "\"dirpath\" : \"%SystemDrive%\\\\Tools\"", "\"dirpath\" : \"%SystemDrive%\\\\Apps\"");
    const Json::Value root = diffJson(base, renamed);
    ASSERT_EQ(root["executables"]["added"].size(), 1u);
    const Json::Value added = root["executables"]["added"][0];
    EXPECT_EQ(added["path"].asString(), "C:\\Tools\\new.exe");
    EXPECT_EQ(added["pubname"].asString(), "Example Software Ltd");
    EXPECT_EQ(added["issuer"].asString(), "Example Code Signing CA");
    EXPECT_EQ(added["serialno"].asString(), "0a1b2c3d4e5f60718293a4b5c6d7e8f9");
    EXPECT_EQ(added["fver"].asString(), "2.4.1.0");
    EXPECT_TRUE(added["allowstate"].isIntegral() && added["allowstate"].asInt() == 1);
    EXPECT_TRUE(added["mutable"].isBool() && added["mutable"].asBool());
    EXPECT_EQ(root["executables"]["removed"][0]["path"].asString(), "C:\\Tools\\tool.exe");
    const Json::Value publisher = root["publishers"]["added"][0];
    EXPECT_EQ(publisher["pubname"].asString(), "Pellworth, Inc");
    EXPECT_TRUE(publisher["certinfo"].isArray() && publisher["certinfo"].empty());
    EXPECT_TRUE(publisher["type"].isIntegral() && publisher["mutable"].isBool());
    EXPECT_EQ(root["publishers"]["removed"][0]["pubname"].asString(), "Pellworth, LLC");
    const Json::Value directory = root["alloweddirectories"]["added"][0];
    EXPECT_EQ(directory["dirpath"].asString(), "%SystemDrive%\\Apps");
    EXPECT_TRUE(directory["strictpub"].asBool() && directory["default"].asBool() && !directory["mutable"].asBool());
    EXPECT_EQ(root["alloweddirectories"]["removed"][0]["dirpath"].asString(), "%SystemDrive%\\Tools");
}

TEST(SummaryRisks, FirstTwentyByNameThenHowManyMore) {
    // 21 mutable allowed executables: copies of the worked example's one.
    const std::string base = workedExample();
    const std::size_t from = base.find("{\r\n\t\"allowstate\" : 1,\r\n\t\"attr\" : 32");
    const std::string entry = base.substr(from, base.find("}],\"publishers\"") - from + 1);
    std::string copies;
    for (int i = 2; i <= 21; ++i) {
        std::string copy = replaced(entry, "\"id\" : 1,", "\"id\" : " + std::to_string(i) + ",");
        copies += "," + replaced(copy, "\"fname\" : \"tool.exe\"", "\"fname\" : \"t" + std::to_string(i) + "\\u001B[2J.exe\"");
    }
    std::string text = replaced(base, entry, entry + copies);
    text = replaced(text, "\"pubname\" : \"Pellworth, LLC\"", "\"pubname\" : \"Pell\xE2\x80\xAEworth\"");
    Document d;
    readDocument(text, d);
    std::ostringstream out;
    printRiskiest(d, out);
    const std::string shown = out.str();
    EXPECT_NE(shown.find("  allowed executables that are mutable (21):\n    C:\\Tools\\tool.exe\n    C:\\Tools\\t2\\u001B[2J.exe\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("    C:\\Tools\\t20\\u001B[2J.exe\n    ... and 1 more\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("t21"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x1B'), std::string::npos);
    EXPECT_NE(shown.find("  allowed directory entries that are mutable (0):\n    (none)\n"), std::string::npos) << shown;
    // The five built-in publishers come in by name alone.
    EXPECT_NE(shown.find("  publishers allowed by name alone (no certificate in the document) (5):\n"
                         "    Morvane Technologies (Pvt) Ltd.\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("    Pell\\u202Eworth\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("Example Software Ltd"), std::string::npos) << "a publisher with a certificate";
}

}  // namespace
}  // namespace baseline::doc
