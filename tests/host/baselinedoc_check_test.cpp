// What check accepts is what the allowlist creator can write: names, paths
// and numbers it cannot produce are findings with their place, each kind is
// listed a bounded number of times, and elements leave the reader's tree as
// soon as they are read.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "document.h"
#include "json_scan.h"
#include "document_text.h"

namespace baseline::doc {
namespace {

using testing::replaced;
using testing::workedExample;

std::string findingsText(const Document& d) {
    std::string all;
    for (const Finding& f : d.findings) all += f.where + ": " + f.what + "\n";
    return all.empty() ? "no findings" : all;
}

// The worked example's executable entry, for documents of more entries.
std::string toolEntry() {
    const std::string base = workedExample();
    const std::size_t begin = base.find("{\r\n\t\"allowstate\" : 1,\r\n\t\"attr\" : 32");
    return base.substr(begin, base.find("}],\"publishers\"") - begin + 1);
}

std::string withEntries(const std::string& extra) {
    return replaced(workedExample(), "}],\"publishers\"", "}," + extra + "],\"publishers\"");
}

struct CheckCase {
    const char* name;
    const char* from;
    const char* to;
    const char* where;  // the whole place of the finding
    const char* what;   // part of its text
};

TEST(DocCheck, WhatTheCreatorCannotWriteIsAFindingWithItsPlace) {
    const CheckCase cases[] = {
        {"NUL escape in a name", "\"fname\" : \"tool.exe\"", "\"fname\" : \"to\\u0000ol.exe\"", "line 32: inventory.files[1].fname", "\\u0000 (NUL)"},
        {"NUL escape in the header", "\"title\" : \"Finance\"", "\"title\" : \"Fi\\u0000\"", "line 14: inventoryinfo.title", "\\u0000 (NUL)"},
        {"lone high surrogate", "\"cname\" : \"Example Software Ltd\"", "\"cname\" : \"Ex\\uD800ample\"", "line 30: inventory.files[1].cname", "lone surrogate \\uD800"},
        {"lone low surrogate", "\"desc\" : \"Finance desktops\"", "\"desc\" : \"\\uDC00x\"", "line 4: inventoryinfo.desc", "lone surrogate \\uDC00"},
        {"high surrogate before no low one", "\"issuer\" : \"Example Code Signing CA\",\r\n\t\"mtime\"",
         "\"issuer\" : \"\\uD83D\\u0041\",\r\n\t\"mtime\"", "line 38: inventory.files[1].issuer", "lone surrogate \\uD83D"},
        {"surrogate at the very end", "\"prodver\" : \"2.4\"", "\"prodver\" : \"2.4\\uDBFF\"", "line 45: inventory.files[1].prodver", "lone surrogate \\uDBFF"},
        {"backslash in a name", "\"fname\" : \"tool.exe\"", "\"fname\" : \"a\\\\tool.exe\"", "line 32: inventory.files[1].fname", "not a name a directory listing gives"},
        {"slash in a name", "\"fname\" : \"tool.exe\"", "\"fname\" : \"a/tool.exe\"", "line 32: inventory.files[1].fname", "not a name a directory listing gives"},
        {"empty name", "\"fname\" : \"tool.exe\"", "\"fname\" : \"\"", "line 32: inventory.files[1].fname", "not a name a directory listing gives"},
        {"dot dot", "\"fname\" : \"tool.exe\"", "\"fname\" : \"..\"", "line 32: inventory.files[1].fname", "not a name a directory listing gives"},
        {"line feed in a name", "\"fname\" : \"tool.exe\"", "\"fname\" : \"to\\nol.exe\"", "line 32: inventory.files[1].fname", "control character \\u000A"},
        {"escaped C0 in a name", "\"fname\" : \"tool.exe\"", "\"fname\" : \"to\\u001Fol.exe\"", "line 32: inventory.files[1].fname", "control character \\u001F"},
        {"DEL in a name", "\"fname\" : \"tool.exe\"", "\"fname\" : \"to\x7Fol.exe\"", "line 32: inventory.files[1].fname", "control character \\u007F"},
        {"C1 in a name", "\"fname\" : \"tool.exe\"", "\"fname\" : \"to\xC2\x85ol.exe\"", "line 32: inventory.files[1].fname", "control character \\u0085"},
        {"control in a root's name", "\"fname\" : \"Tools\"", "\"fname\" : \"To\\tols\"", "line 19: inventory.files[0].fname", "control character \\u0009"},
        {"fpath of another directory", "\"fpath\" : \"C:\\\\Tools\\\\\"", "\"fpath\" : \"C:\\\\Other\\\\\"", "line 33: inventory.files[1].fpath", "is not the path of its parent (id 0, \"C:\\Tools\")"},
        {"fpath without its backslash", "\"fpath\" : \"C:\\\\Tools\\\\\"", "\"fpath\" : \"C:\\\\Tools\"", "line 33: inventory.files[1].fpath", "is not the path of its parent"},
        {"fpath in other letter case", "\"fpath\" : \"C:\\\\Tools\\\\\"", "\"fpath\" : \"C:\\\\TOOLS\\\\\"", "line 33: inventory.files[1].fpath", "is not the path of its parent"},
        {"fpath with a doubled backslash", "\"fpath\" : \"C:\\\\Tools\\\\\"", "\"fpath\" : \"C:\\\\Tools\\\\\\\\\"", "line 33: inventory.files[1].fpath", "is not the path of its parent"},
        {"root without a drive", "\"fpath\" : \"C:\\\\\"", "\"fpath\" : \"\"", "line 20: inventory.files[0].fpath", "the root path \"Tools\" is not split so"},
        {"root split before its end", "\"fname\" : \"Tools\"", "\"fname\" : \"To\\\\ols\"", "line 20: inventory.files[0].fpath", "the root path \"C:\\To\\ols\" is not split so"},
        {"system-drive flag not inherited", "\"osdrive\" : 1,\r\n\t\"pid\" : 0", "\"osdrive\" : 0,\r\n\t\"pid\" : 0", "line 33: inventory.files[1].osdrive", "differs from its parent's 1"},
        {"mtime no FILETIME gives", "\"mtime\" : 1710410400", "\"mtime\" : 9000000000000", "line 39: inventory.files[1].mtime", "9000000000000 is out of range for a file time"},
        {"mtime before 1601", "\"mtime\" : 1710410400", "\"mtime\" : -11644473601", "line 39: inventory.files[1].mtime", "out of range for a file time"},
        {"cdate no clock gives", "\"cdate\" : 1765186425", "\"cdate\" : -9000000000000", "line 3: inventoryinfo.cdate", "out of range for a time the system clock gives"},
        {"negative count", "\"filecnt\" : 1,", "\"filecnt\" : -1,", "line 100: inventory.discoverysummary.filecnt", "-1 is out of range for a count"},
        {"count beyond 32 bits", "\"dircnt\" : 3,", "\"dircnt\" : 4294967296,", "line 98: inventory.discoverysummary.dircnt", "out of range for a count"},
        {"negative id", "\"id\" : 1,", "\"id\" : -1,", "line 36: inventory.files[1].id", "out of range for an entry's id"},
        {"pid beyond 32 bits", "\"pid\" : 0,", "\"pid\" : 4294967296,", "line 43: inventory.files[1].pid", "out of range for a parent id"},
        {"pid below -1", "\"pid\" : -1", "\"pid\" : -2", "line 26: inventory.files[0].pid", "out of range for a parent id"},
        {"attr beyond 32 bits", "\"attr\" : 32,", "\"attr\" : 2147483648,", "line 29: inventory.files[1].attr", "out of range for a signed 32-bit number"},
        {"type beyond 32 bits", "\"type\" : 1\r\n},{", "\"type\" : -2147483649\r\n},{", "line 59: inventory.publishers[0].type", "out of range"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Document d;
        readDocument(replaced(workedExample(), c.from, c.to), d);
        bool found = false;
        for (const auto& f : d.findings) found = found || (f.where == c.where && f.what.find(c.what) != std::string::npos);
        EXPECT_TRUE(found) << findingsText(d);
        EXPECT_FALSE(d.complete());
    }
}

TEST(DocCheck, OnePathTwiceIsAFindingUnlessARootIsWalkedAgain) {
    std::string entry = replaced(replaced(toolEntry(), "\"id\" : 1,", "\"id\" : 2,"), "\"fname\" : \"tool.exe\"", "\"fname\" : \"TOOL.exe\"");
    Document d;
    readDocument(withEntries(entry), d);
    bool found = false;
    for (const auto& f : d.findings) {
        found = found || (f.where == "line 53: inventory.files[2].fname" &&
                          f.what == "path \"C:\\Tools\\TOOL.exe\" is listed twice (letter case aside; first as id 1)");
    }
    EXPECT_TRUE(found) << findingsText(d);

    // The configuration lists the root twice: the creator walks it twice.
    const std::string base = workedExample();
    const std::size_t begin = base.find("[{\r\n\t\"allowstate\" : 0") + 1;
    std::string root = base.substr(begin, base.find("},{", begin) - begin + 1);
    std::string again = replaced(replaced(root, "\"id\" : 0,", "\"id\" : 2,"), "\"allowstate\" : 0", "\"allowstate\" : 0");
    std::string tool = replaced(replaced(toolEntry(), "\"id\" : 1,", "\"id\" : 3,"), "\"pid\" : 0,", "\"pid\" : 2,");
    std::string twice = withEntries(again + "," + tool);
    twice = replaced(twice, "\"supportedfilecnt\" : 1", "\"supportedfilecnt\" : 2");
    twice = replaced(replaced(twice, "\"allowedfilecnt\" : 1,", "\"allowedfilecnt\" : 2,"), "\"filecnt\" : 1,", "\"filecnt\" : 2,");
    twice = replaced(twice, "\"dircnt\" : 3,", "\"dircnt\" : 6,");
    Document e;
    readDocument(twice, e);
    EXPECT_TRUE(e.complete()) << findingsText(e);
    EXPECT_EQ(e.files.size(), 4u);
}

TEST(DocCheck, WhatTheCreatorCanWriteStaysComplete) {
    const CheckCase cases[] = {
        {"the worked example", "\"title\" : \"Finance\"", "\"title\" : \"Finance\"", "", ""},
        {"a surrogate pair", "\"fname\" : \"tool.exe\"", "\"fname\" : \"t\\uD83D\\uDE00.exe\"", "", ""},
        {"bidirectional control written raw", "\"fname\" : \"tool.exe\"", "\"fname\" : \"invoice\xE2\x80\xAEgpj.exe\"", "", ""},
        {"escapes the creator writes", "\"fname\" : \"tool.exe\"", "\"fname\" : \"t\\\"o'l.exe\"", "", ""},
        {"a control character in a version string", "\"fver\" : \"2.4.1.0\"", "\"fver\" : \"2.4\\u001F\\n\"", "", ""},
        {"non-ASCII letters", "\"fname\" : \"tool.exe\"", "\"fname\" : \"\xC3\xA9t\xC3\xA9.exe\"", "", ""},
        {"mtime at FILETIME 0", "\"mtime\" : 1710410400", "\"mtime\" : -11644473600", "", ""},
        {"mtime at the last FILETIME", "\"mtime\" : 1710410400", "\"mtime\" : 910692730085", "", ""},
        {"an unreadable mtime", "\"mtime\" : 1710410400", "\"mtime\" : 0", "", ""},
        {"largest id", "\"id\" : 1,", "\"id\" : 2147483647,", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Document d;
        readDocument(replaced(workedExample(), c.from, c.to), d);
        EXPECT_TRUE(d.complete()) << findingsText(d);
        EXPECT_EQ(d.findingCount, 0u);
    }
}

TEST(DocCheck, RootsAreSplitAsTheCreatorSplitsThem) {
    // Root path, its "fpath" and "fname" as the creator writes them, and the
    // "fpath" of a child directory named Sub.
    const struct {
        const char* fpath;
        const char* fname;
        const char* childFpath;
        bool complete;
    } cases[] = {
        {"C:\\\\", "Tools", "C:\\\\Tools\\\\", true},
        {"", "C:", "C:\\\\", true},                      // mode "osdrive": C: without a backslash
        {"", "C:\\\\", "C:\\\\\\\\", true},              // a custom root C:\ gives a doubled separator
        {"", "C:\\\\Tools\\\\", "C:\\\\Tools\\\\\\\\", true},  // a trailing backslash is kept in the name
        {"\\\\\\\\server\\\\", "share", "\\\\\\\\server\\\\share\\\\", true},
        {"", "C:\\\\Tools", "C:\\\\Tools\\\\", false},    // would have been split at its backslash
        {"C:\\\\", "", "C:\\\\\\\\", false},
        {"", "Tools", "Tools\\\\", false},               // no drive: the creator cannot split it
        {"C:\\\\", "C:\\\\", "C:\\\\C:\\\\\\\\", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fpath) + " + " + c.fname);
        std::string text = replaced(workedExample(), "\"fname\" : \"Tools\",\r\n\t\"fpath\" : \"C:\\\\\"",
                                    std::string("\"fname\" : \"") + c.fname + "\",\r\n\t\"fpath\" : \"" + c.fpath + "\"");
        text = replaced(text, "\"fpath\" : \"C:\\\\Tools\\\\\"", std::string("\"fpath\" : \"") + c.childFpath + "\"");
        Document d;
        readDocument(text, d);
        EXPECT_EQ(d.complete(), c.complete) << findingsText(d);
    }
}

TEST(DocCheck, EachKindIsListedAHundredTimesThenCounted) {
    std::string extra;
    for (int i = 0; i < 150; ++i) {
        std::string entry = replaced(toolEntry(), "\"id\" : 1,", "\"id\" : " + std::to_string(i + 2) + ",");
        entry = replaced(entry, "\"fname\" : \"tool.exe\"", "\"fname\" : \"t" + std::to_string(i) + ".exe\"");
        entry = replaced(entry, "\"mtime\" : 1710410400", "\"mtime\" : 9000000000000");
        if (i == 120) entry = replaced(entry, "\"attr\" : 32,", "\"attr\" : 4294967296,");  // another kind, late
        extra += (i == 0 ? "" : ",") + entry;
    }
    Document d;
    readDocument(withEntries(extra), d);
    std::size_t listed = 0, more = 0, attr = 0;
    for (const Finding& f : d.findings) {
        if (f.what.find("out of range for a file time") != std::string::npos) ++listed;
        if (f.what == "50 more findings of this kind not listed (a number out of range)") {
            ++more;
            // The 101st to the 150th of them: the entries 102 to 151.
            EXPECT_EQ(f.where, "lines 2160 to 3189: inventory.files[*].mtime");
        }
        if (f.where.ends_with("inventory.files[122].attr")) ++attr;
    }
    EXPECT_EQ(listed, 100u);
    EXPECT_EQ(more, 1u) << findingsText(d);
    EXPECT_EQ(attr, 1u);
    EXPECT_EQ(d.files.size(), 152u);
    // 150 times, one attr, and the two counters that no longer match.
    EXPECT_EQ(d.findingCount, 153u) << findingsText(d);
    EXPECT_EQ(d.findings.size(), 104u);
    for (std::size_t i = 1; i < d.findings.size(); ++i) EXPECT_LE(d.findings[i - 1].offset, d.findings[i].offset);
}

TEST(DocCheck, TinyElementsCostNoFindingsAndNoRecords) {
    std::string text = "{\"inventoryinfo\":{},\"inventory\":{\"files\":[";
    for (int i = 0; i < 200000; ++i) text += i % 2 == 0 ? "0," : "{},";
    text += "0]}}";
    Document d;
    readDocument(text, d);
    EXPECT_TRUE(d.files.empty());
    EXPECT_LE(d.findings.size(), 40u * 101u);
    std::size_t notObject = 0;
    for (const Finding& f : d.findings) notObject += f.what.find("must be an object, not a number") != std::string::npos;
    EXPECT_EQ(notObject, 100u);
    EXPECT_GT(d.findingCount, 100000u);
}

TEST(DocCheck, LinesAreCountedWithoutATable) {
    // A line feed runs of any length before the value; CR LF is one break.
    const std::string text = std::string(100000, '\n') + "\r\n  [1,";
    Document d;
    readDocument(text, d);
    ASSERT_EQ(d.findings.size(), 3u) << findingsText(d);
    EXPECT_EQ(d.findings[0].where, "line 100002");  // the root is no object
    EXPECT_EQ(d.findings[1].where, "line 100002, column 6");
    EXPECT_NE(d.findings[1].what.find("not JSON"), std::string::npos);
}

// The tree keeps no element an element handler has taken.
TEST(DocJsonScan, HandledElementsLeaveTheTree) {
    struct Seen {
        std::vector<std::size_t> open;
        std::vector<int> depths;
    } seen;
    JsonTree tree;
    tree.onElement(
        [](void* context, const JsonTree& t, int depth, std::int32_t, std::int32_t) {
            auto& s = *static_cast<Seen*>(context);
            s.open.push_back(t.openContainers().size());
            s.depths.push_back(depth);
            return depth == 1;  // the inner arrays' elements go, the outer ones stay
        },
        &seen);
    ASSERT_TRUE(tree.parse(R"([[1,2,{"a":[3]}],[4],[]])"));
    EXPECT_EQ(seen.depths, (std::vector<int>{1, 1, 3, 1, 0, 1, 0, 0}));
    EXPECT_EQ(seen.open, (std::vector<std::size_t>{2, 2, 4, 2, 1, 2, 1, 1}));
    // The root and its three arrays, each array empty but still counting.
    ASSERT_EQ(tree.nodes().size(), 4u);
    std::vector<std::uint32_t> counts;
    for (std::int32_t child = tree.node(0).firstChild; child >= 0; child = tree.node(child).nextSibling) {
        counts.push_back(tree.node(child).childCount);
        EXPECT_EQ(tree.node(child).firstChild, -1);
    }
    EXPECT_EQ(counts, (std::vector<std::uint32_t>{3, 1, 0}));
    EXPECT_TRUE(tree.openContainers().empty());
}

TEST(DocJsonScan, DroppingTheLastElementsKeepsTheEarlierLinked) {
    JsonTree tree;
    tree.onElement([](void*, const JsonTree& t, int, std::int32_t, std::int32_t element) { return t.node(element).kind == JsonKind::Number; },
                   nullptr);
    ASSERT_TRUE(tree.parse(R"(["a",1,"b",2,3])"));
    std::vector<std::string> kept;
    for (std::int32_t child = tree.node(0).firstChild; child >= 0; child = tree.node(child).nextSibling) kept.push_back(tree.text(tree.node(child)));
    EXPECT_EQ(kept, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(tree.node(0).childCount, 5u);
}

}  // namespace
}  // namespace baseline::doc
