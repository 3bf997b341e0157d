// baselinedoc's reader, comparison and report data, over documents made here:
// the worked example byte for byte, and small variations of it.
#include <gtest/gtest.h>

#include <json/json.h>

#include <sstream>
#include <string>

#include "diff.h"
#include "document.h"
#include "json_scan.h"
#include "report.h"
#include "summary.h"
#include "document_text.h"

namespace baseline::doc {
namespace {

using testing::replaced;
using testing::workedExample;

struct SyntaxCase {
    const char* name;
    const char* text;
    bool valid;
    std::size_t offset;  // of the error
};

TEST(JsonScan, GrammarAndErrorOffsets) {
    const SyntaxCase cases[] = {
        {"object", R"({"a" : [1, -2, 0.5, 1e3, true, false, null, "x"]})", true, 0},
        {"blank around", " \r\n\t{} \r\n", true, 0},
        {"empty", "", false, 0},
        {"leading zero", "[01]", false, 2},
        {"trailing comma", "[1,]", false, 3},
        {"single quote", "['a']", false, 1},
        {"raw control byte", "[\"a\tb\"]", false, 3},
        {"bad escape", R"(["\q"])", false, 2},
        {"short unicode escape", R"(["\u12"])", false, 6},
        {"cut in a string", R"({"a" : "bc)", false, 10},
        {"cut in a literal", R"({"a" : tr)", false, 9},
        {"misspelt literal", R"({"a" : trux})", false, 7},
        {"missing colon", R"({"a" 1})", false, 5},
        {"garbage after", "{} x", false, 3},
        {"bare minus", "[-]", false, 1},
        {"fraction without digit", "[1.]", false, 3},
        {"exponent without digit", "[1e]", false, 3},
        {"comment", "/* c */ {}", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        JsonTree tree;
        EXPECT_EQ(tree.parse(c.text), c.valid);
        if (!c.valid) {
            EXPECT_EQ(tree.error().offset, c.offset) << tree.error().message;
        }
    }
}

TEST(JsonScan, IntegersOnlyWhenWholeAndInRange) {
    JsonTree tree;
    ASSERT_TRUE(tree.parse("[9223372036854775807, 9223372036854775808, -1, 1.0, 1e2]"));
    std::int64_t value = 0;
    std::vector<bool> whole;
    for (std::int32_t child = tree.node(0).firstChild; child >= 0; child = tree.node(child).nextSibling) {
        whole.push_back(tree.integer(tree.node(child), value));
    }
    EXPECT_EQ(whole, (std::vector<bool>{true, false, true, false, false}));
}

TEST(JsonScan, EscapesBecomeUtf8) {
    EXPECT_EQ(unescapeJson(R"(a\"b\\c\/d\b\f\n\r\t)"), "a\"b\\c/d\b\f\n\r\t");
    EXPECT_EQ(unescapeJson(R"(\u001F\u00E9\u540D)"), "\x1F\xC3\xA9\xE5\x90\x8D");
    EXPECT_EQ(unescapeJson(R"(\uD83D\uDE00)"), "\xF0\x9F\x98\x80");  // a surrogate pair joins
    EXPECT_EQ(unescapeJson(R"(\uD83Dx)"), "\xEF\xBF\xBDx");          // a lone one does not
}

TEST(JsonScan, LinesAndColumns) {
    LineIndex lines("ab\r\ncd\nef");
    EXPECT_EQ(lines.at(0).line, 1u);
    EXPECT_EQ(lines.at(4).line, 2u);
    EXPECT_EQ(lines.at(4).column, 1u);
    EXPECT_EQ(lines.at(8).line, 3u);
    EXPECT_EQ(lines.at(8).column, 2u);
}

TEST(Document, WorkedExampleIntoRecords) {
    Document d;
    readDocument(workedExample(), d);
    ASSERT_TRUE(d.complete()) << d.findings[0].where << ": " << d.findings[0].what;
    EXPECT_EQ(d.header.title, "Finance");
    EXPECT_EQ(d.header.osid, 50042);
    EXPECT_EQ(d.header.osdrivevar, "%SYSTEMDRIVE%");
    ASSERT_EQ(d.files.size(), 2u);
    EXPECT_TRUE(d.files[0].isDirectory);
    EXPECT_EQ(d.files[0].path(), "C:\\Tools");
    EXPECT_EQ(d.files[0].pid, -1);
    const FileEntry& tool = d.files[1];
    EXPECT_EQ(tool.path(), "C:\\Tools\\tool.exe");
    EXPECT_TRUE(tool.hasSigner && tool.hasVersion);
    EXPECT_EQ(tool.serialno, "0a1b2c3d4e5f60718293a4b5c6d7e8f9");
    EXPECT_EQ(tool.prodver, "2.4");
    EXPECT_EQ(tool.mtime, 1710410400);
    ASSERT_EQ(d.publishers.size(), 6u);
    ASSERT_EQ(d.publishers[0].certificates.size(), 1u);
    EXPECT_EQ(d.publishers[0].certificates[0].issuer, "Example Code Signing CA");
    EXPECT_TRUE(d.publishers[5].certificates.empty());
    ASSERT_EQ(d.directories.size(), 1u);
    EXPECT_EQ(d.directories[0].dirpath, "%SystemDrive%\\Tools");
    EXPECT_TRUE(d.directories[0].strictpub);
    EXPECT_EQ(d.summary.starttime, "Mon Dec  8 09:33:45 2025");
    EXPECT_EQ(d.summary.dircnt, 3);
}

TEST(Document, OnlyTheInventorysFilesAreEntries) {
    Document d;
    readDocument(replaced(workedExample(), "\"title\" : \"Finance\"", "\"title\" : \"Finance\",\r\n\t\"files\" : [{}]"), d);
    EXPECT_EQ(d.files.size(), 2u);
}

TEST(Document, EscapedTextIsDecodedAndKept) {
    Document d;
    readDocument(replaced(workedExample(), "\"fname\" : \"tool.exe\"", "\"fname\" : \"t\\\"o\\u001Fol\\u00E9.exe\""), d);
    ASSERT_EQ(d.files.size(), 2u);
    EXPECT_EQ(d.files[1].fname, "t\"o\x1Fol\xC3\xA9.exe");
}

struct FindingCase {
    const char* name;
    const char* from;
    const char* to;
    const char* where;  // the start of the finding's place
    const char* what;   // part of its text
};

TEST(Document, FindingsNameTheirPlace) {
    const FindingCase cases[] = {
        {"header key missing", "\t\"hostname\" : \"PC-0001\",\r\n", "", "line 1: inventoryinfo", "key \"hostname\" is missing"},
        {"osid negative", "\"osid\" : 50042", "\"osid\" : -1", "line 9: inventoryinfo.osid", "out of range"},
        {"id out of range", "\"id\" : 1,", "\"id\" : 2147483648,", "line 36: inventory.files[1].id", "out of range"},
        {"id reused", "\"id\" : 1,", "\"id\" : 0,", "line 36: inventory.files[1].id", "id 0 is used twice"},
        {"root has a parent", "\"pid\" : -1", "\"pid\" : 5", "line 26: inventory.files[0].pid", "parent id 5"},
        {"half a version", "\t\"prodver\" : \"2.4\",\r\n", "", "line 27: inventory.files[1]", "six version strings"},
        {"empty certinfo", "\t\"certinfo\" : \r\n\t[\r\n\t\t{\r\n\t\t\t\"issuer\" : \"Example Code Signing CA\",\r\n"
                           "\t\t\t\"serialno\" : \"0a1b2c3d4e5f60718293a4b5c6d7e8f9\"\r\n\t\t}\r\n\t],",
         "\t\"certinfo\" : [],", "line 50: inventory.publishers[0].certinfo", "is empty"},
        {"certificate without serial", "\t\t\t\"serialno\" : \"0a1b2c3d4e5f60718293a4b5c6d7e8f9\"\r\n\t\t}",
         "\t\t\t\"serialno\" : 5\r\n\t\t}", "line 54: inventory.publishers[0].certinfo[0].serialno", "must be a string"},
        {"empty dirpath", "\"dirpath\" : \"%SystemDrive%\\\\Tools\"", "\"dirpath\" : \"\"", "line 88: inventory.directories[0].dirpath", "is empty"},
        {"misc not boolean", "\"globalstrictpub\" : false", "\"globalstrictpub\" : 0", "line 93: inventory.misc.globalstrictpub", "true or false"},
        {"allowedfilecnt", "\"allowedfilecnt\" : 1,", "\"allowedfilecnt\" : 2,", "line 94: inventory.discoverysummary.allowedfilecnt", "2 should be equal to the 1 application entries"},
        {"dircnt below entries", "\"dircnt\" : 3,", "\"dircnt\" : 0,", "line 94: inventory.discoverysummary.dircnt", "0 should be at least the 1 directory entries"},
        {"allowedpubcnt above list", "\"allowedpubcnt\" : 6,", "\"allowedpubcnt\" : 7,", "line", "at most the 6 publishers"},
        {"alloweddircnt below list", "\"alloweddircnt\" : 1,", "\"alloweddircnt\" : 0,", "line", "at least the 1 allowed directories"},
        {"files elsewhere are no entries", "\"title\" : \"Finance\"", "\"title\" : \"Finance\",\r\n\t\"files\" : [{\"id\" : 0}]",
         "line 15: inventoryinfo", "unknown key \"files\""},
        {"escaped key is unknown", "\"attr\" : 32,", "\"\\u0061ttr\" : 32,", "line 29: inventory.files[1]", "unknown key \"attr\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Document d;
        readDocument(replaced(workedExample(), c.from, c.to), d);
        bool found = false;
        for (const auto& f : d.findings) {
            found = found || (f.where.rfind(c.where, 0) == 0 && f.what.find(c.what) != std::string::npos);
        }
        EXPECT_TRUE(found) << (d.findings.empty() ? "no findings" : d.findings[0].where + ": " + d.findings[0].what);
    }
}

TEST(Document, EveryCutOfTheWorkedExampleIsIncompleteAndSaysWhy) {
    const std::string whole = workedExample();
    for (std::size_t size = 0; size < whole.size(); ++size) {
        Document d;
        readDocument(whole.substr(0, size), d);
        ASSERT_FALSE(d.complete()) << size;
        if (size == 0) continue;
        bool told = false;
        for (const auto& f : d.findings) told = told || f.what.find("cut off after") != std::string::npos;
        EXPECT_TRUE(told) << "cut at " << size << ": " << d.findings[0].what;
    }
}

TEST(Document, FailedRunLayoutIsToldApartFromACut) {
    // What the creator leaves when its walk fails after one entry: the files
    // array stays open and the trailer follows.
    const std::string whole = workedExample();
    const std::string failed = whole.substr(0, whole.find("},{") + 1) + ",\"misc\" : {\r\n\t\"globalstrictpub\" : false\r\n}" +
                               ",\"discoverysummary\" : {\r\n\t\"alloweddircnt\" : 0,\r\n\t\"allowedfilecnt\" : 0,\r\n"
                               "\t\"allowedpubcnt\" : 0,\r\n\t\"dircnt\" : 1,\r\n\t\"endtime\" : \"b\",\r\n\t\"filecnt\" : 0,\r\n"
                               "\t\"starttime\" : \"a\",\r\n\t\"status\" : \"failed\",\r\n\t\"supportedfilecnt\" : 0\r\n}}}";
    Document d;
    readDocument(failed, d);
    ASSERT_EQ(d.findings.size(), 2u);
    EXPECT_NE(d.findings[0].what.find("not JSON"), std::string::npos);
    EXPECT_NE(d.findings[1].what.find("the run failed"), std::string::npos);
    EXPECT_NE(d.findings[1].what.find("after 1 complete file entry "), std::string::npos);
    EXPECT_EQ(d.summary.status, "failed");
    EXPECT_EQ(d.files.size(), 1u);
}

TEST(Document, IdsOutOfOrderStillFindParents) {
    std::string text = replaced(workedExample(), "\"id\" : 0,", "\"id\" : 7,");
    text = replaced(text, "\"pid\" : 0,", "\"pid\" : 7,");
    Document d;
    readDocument(text, d);
    EXPECT_TRUE(d.complete()) << d.findings[0].what;
    text = replaced(text, "\"id\" : 1,", "\"id\" : 3,");  // lower than the root's 7
    Document e;
    readDocument(text, e);
    EXPECT_TRUE(e.complete()) << e.findings[0].what;
}

TEST(Diff, RepeatedPathsPairInOrderAndCaseIsIgnored) {
    const std::string base = workedExample();
    // The old document lists tool.exe twice (a case-sensitive directory).
    const std::string entry = base.substr(base.find("{\r\n\t\"allowstate\" : 1,\r\n\t\"attr\" : 32"),
                                          base.find("}],\"publishers\"") - base.find("{\r\n\t\"allowstate\" : 1,\r\n\t\"attr\" : 32") + 1);
    std::string twice = replaced(base, entry, entry + "," + replaced(replaced(entry, "\"id\" : 1,", "\"id\" : 2,"), "2.4.1.0", "3.0"));
    twice = replaced(twice, "\"supportedfilecnt\" : 1", "\"supportedfilecnt\" : 2");
    twice = replaced(replaced(twice, "\"allowedfilecnt\" : 1,", "\"allowedfilecnt\" : 2,"), "\"filecnt\" : 1,", "\"filecnt\" : 2,");
    const std::string renamed = replaced(base, "\"fname\" : \"tool.exe\"", "\"fname\" : \"TOOL.EXE\"");
    Document a, b;
    readDocument(twice, a);
    readDocument(renamed, b);
    // No listing gives one path twice: check says so, and diff still pairs them.
    ASSERT_EQ(a.findings.size(), 1u);
    EXPECT_NE(a.findings[0].what.find("is listed twice"), std::string::npos) << a.findings[0].what;
    const DocumentDiff d = compareDocuments(a, b);
    EXPECT_TRUE(d.executablesAdded.empty());
    // The first tool.exe pairs with TOOL.EXE; the second (version 3.0) is removed.
    ASSERT_EQ(d.executablesRemoved, std::vector<std::string>{"C:\\Tools\\tool.exe"});
    ASSERT_EQ(d.executablesChanged.size(), 1u);
    EXPECT_EQ(d.executablesChanged[0].changes.back().field, "path");
    EXPECT_FALSE(d.same());
}

TEST(Diff, OnlyRunTimesMeansSame) {
    const std::string base = workedExample();
    std::string later = replaced(base, "1765186425", "1765286425");
    later = replaced(replaced(later, "09:33:45", "10:00:00"), "09:41:02", "10:05:00");
    Document a, b;
    readDocument(base, a);
    readDocument(later, b);
    EXPECT_TRUE(compareDocuments(a, b).same());
    Document c;
    readDocument(replaced(base, "\"attr\" : 32", "\"attr\" : 33"), c);
    const DocumentDiff d = compareDocuments(a, c);
    ASSERT_EQ(d.executablesChanged.size(), 1u);
    EXPECT_EQ(d.executablesChanged[0].changes[0].field, "attr");
}

TEST(Diff, JsonOutputParses) {
    Document a, b;
    readDocument(workedExample(), a);
    readDocument(replaced(workedExample(), "\"pubname\" : \"Pellworth, LLC\"", "\"pubname\" : \"Pell\\\"worth\""), b);
    std::ostringstream out;
    printDiffJson("a", "b", compareDocuments(a, b), out);
    Json::Value root;
    std::istringstream in(out.str());
    ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr)) << out.str();
    EXPECT_EQ(root["publishers"]["added"][0]["pubname"].asString(), "Pell\"worth");
    EXPECT_EQ(root["publishers"]["removed"][0]["pubname"].asString(), "Pellworth, LLC");
}

TEST(Report, ScriptSafeJson) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"</script>", "\"\\u003C/script\\u003E\""},
        {"a&b", "\"a\\u0026b\""},
        {"q\"\\", "\"q\\\"\\\\\""},
        {"\x1F\t", "\"\\u001F\\t\""},
        {"\xE2\x80\xA8\xE2\x80\xA9", "\"\\u2028\\u2029\""},
        {"\xC3\xA9", "\"\xC3\xA9\""},
        {"a\xFF" "b", "\"a\xEF\xBF\xBD" "b\""},
    };
    for (const auto& c : cases) {
        std::string out;
        appendScriptSafeJson(out, c.in);
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(Report, DataParsesBackAndHoldsNoMarkup) {
    Document d;
    readDocument(replaced(workedExample(), "\"fname\" : \"tool.exe\"", "\"fname\" : \"<img src=x onerror=alert(1)>.exe\""), d);
    std::ostringstream page;
    writeReport("doc.json", d, page);
    const std::string html = page.str();
    const std::string open = "<script type=\"application/json\" id=\"data\">";
    const std::size_t start = html.find(open) + open.size();
    const std::string data = html.substr(start, html.find("</script>", start) - start);
    EXPECT_EQ(data.find('<'), std::string::npos);
    Json::Value root;
    std::istringstream in(data);
    ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &root, nullptr));
    EXPECT_EQ(root["executables"][0][0].asString(), "C:\\Tools\\<img src=x onerror=alert(1)>.exe");
    EXPECT_EQ(root["summary"]["mutableExecutables"].asInt(), 1);
}

TEST(Summary, UtcText) {
    EXPECT_EQ(utcText(0), "1970-01-01 00:00:00 UTC");
    EXPECT_EQ(utcText(1765186425), "2025-12-08 09:33:45 UTC");
    EXPECT_EQ(utcText(951782400), "2000-02-29 00:00:00 UTC");
    EXPECT_EQ(utcText(-1), "1969-12-31 23:59:59 UTC");
    EXPECT_EQ(utcText(4107542400), "2100-03-01 00:00:00 UTC");
}

}  // namespace
}  // namespace baseline::doc
