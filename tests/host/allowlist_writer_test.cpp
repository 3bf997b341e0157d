// The allowlist document byte for byte over the in-memory platform: a whole
// run's document, each fragment's edge cases, the directory filters, the
// escapes, the flush points, and what failures leave on disk.
#include <gtest/gtest.h>

#include <json/json.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "discovery/built_in_publishers.h"
#include "document/document_records.h"
#include "document/allowlist_writer.h"
#include "document/document_status.h"
#include "fileidentity/executable_file_record.h"
#include "platform/native_paths.h"
#include "hostinfo/host_inventory.h"
#include "memory_platform.h"
#include "worked_example.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;
using testing::FileStatus;
using testing::exampleSigner;
using testing::exampleVersion;
using testing::joinLines;
using testing::kWorkedExample;

const std::u16string kPath = u"C:\\Deploy\\Finance_allowlist_08122025_0933.json";

HostInventory financeInventory() {
    HostInventory inventory;
    inventory.title = u"Finance";
    inventory.desc = u"Finance desktops";
    inventory.hostname = u"PC-0001";
    inventory.os = u"Windows";
    inventory.platform = u"64-bit";
    inventory.osname = u"Windows 10 64 bit";
    inventory.osver = u"10.0";
    inventory.buildnumber = 19045;
    inventory.suite = 256;
    inventory.osid = 50042;
    inventory.osdrive = u"C:";
    inventory.osdrivevar = u"%SYSTEMDRIVE%";
    return inventory;
}

class DocumentTest : public ::testing::Test {
protected:
    DocumentTest() {
        platform.fileStatuses[u"C:\\Tools"] = FileStatus{1763626500, 0};
        platform.fileStatuses[u"C:\\Tools\\tool.exe"] = FileStatus{1710410400, 4096};
        platform.signers[u"C:\\Tools\\tool.exe"] = {0, exampleSigner()};
        platform.versions[u"C:\\Tools\\tool.exe"] = {0, exampleVersion()};
    }

    // Writes one directory or application entry as the walk would hand it over.
    bool writeEntry(const std::u16string& path, std::int32_t kind, std::int32_t id = 1,
                    std::int32_t parentId = 0, std::int32_t attributes = 32) {
        NativePaths native(platform);
        ExecutableFileRecord record(native);
        EXPECT_TRUE(record.setPath(path));
        record.setProperties(attributes, id, parentId, 1, 1, true, true, kind);
        return writer.writeFileEntry(record);
    }

    // Everything up to the files array, so that a test can look at one fragment.
    void openWithHeader() {
        ASSERT_TRUE(writer.open(kPath));
        const HostInventory inventory = financeInventory();
        ASSERT_TRUE(writer.writeHeader(&inventory));
        afterHeader = onDisk().size();
    }

    void finish(bool succeeded = true) {
        DiscoveryCounters counters;
        counters.status = succeeded;
        writer.writeMisc(false);
        writer.writeDiscoverySummary(counters);
        writer.close();
    }

    std::string onDisk() const {
        const auto found = platform.files.find(kPath);
        return found == platform.files.end() ? std::string() : found->second;
    }
    // What the document holds after the header, written or still pending.
    std::string body() const { return (onDisk() + platform.pendingBytes(kPath)).substr(afterHeader); }

    MemoryPlatform platform;
    AllowlistWriter writer{platform};
    std::size_t afterHeader = 0;
};

Json::Value parse(const std::string& text) {
    Json::Value parsed;
    std::string errors;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &parsed, &errors)) << errors;
    return parsed;
}

TEST_F(DocumentTest, AWholeRunIsWrittenByteForByte) {
    ASSERT_TRUE(writer.open(kPath));
    const HostInventory inventory = financeInventory();
    ASSERT_TRUE(writer.writeHeader(&inventory));

    NativePaths native(platform);
    ExecutableFileRecord root(native);
    ASSERT_TRUE(root.setPath(u"C:\\Tools"));
    root.setProperties(0, 0, -1, 1, 0, false, true, kKindDirectory);
    ASSERT_TRUE(writer.writeFileEntry(root));
    ExecutableFileRecord tool(native);
    ASSERT_TRUE(tool.setPath(u"C:\\Tools\\tool.exe"));
    tool.setProperties(32, 1, 0, 1, 1, true, true, kKindApplication);
    ASSERT_TRUE(writer.writeFileEntry(tool));

    PublisherTable publishers;
    PublisherEntry& found = publishers[u"Example Software Ltd"];
    found.certificates.emplace_back(u"0a1b2c3d4e5f60718293a4b5c6d7e8f9", u"Example Code Signing CA");
    found.allowState = 1;
    found.type = 1;
    found.seen = true;
    found.isMutable = true;
    for (const auto name : kBuiltInPublisherNames) {
        PublisherEntry& builtIn = publishers[std::u16string(name)];
        builtIn.allowState = 1;
        builtIn.type = 1;
        builtIn.seen = true;
        builtIn.isMutable = false;
    }
    ASSERT_TRUE(writer.writePublishers(publishers));

    AllowedDirectoryEntry tools;
    tools.isMutable = false;
    tools.strictPublisher = true;
    tools.dirPath = u"%SystemDrive%\\Tools";
    ASSERT_TRUE(writer.writeDirectories({tools}));
    ASSERT_TRUE(writer.writeMisc(false));

    DiscoveryCounters counters;
    counters.starttime = "Mon Dec  8 09:33:45 2025";
    counters.endtime = "Mon Dec  8 09:41:02 2025";
    counters.dircnt = 3;
    counters.filecnt = 1;
    counters.allowedfilecnt = 1;
    counters.alloweddircnt = 1;
    counters.allowedpubcnt = 6;
    counters.supportedfilecnt = 1;
    counters.status = true;
    ASSERT_TRUE(writer.writeDiscoverySummary(counters));
    ASSERT_TRUE(writer.close());

    EXPECT_EQ(onDisk(), joinLines(kWorkedExample));
    EXPECT_EQ(writer.status, 0);
    EXPECT_EQ(platform.openStreams(), 0u);
}

TEST_F(DocumentTest, ADocumentIsValidJsonAndEndsWithThreeBracesAndNoLineBreak) {
    openWithHeader();
    ASSERT_TRUE(writeEntry(u"C:\\Tools\\tool.exe", kKindApplication));
    ASSERT_TRUE(writer.writePublishers({}));
    ASSERT_TRUE(writer.writeDirectories({}));
    finish();
    const std::string document = onDisk();
    ASSERT_GE(document.size(), 5u);
    EXPECT_EQ(document.substr(document.size() - 5), "\r\n}}}");
    EXPECT_EQ(document.front(), '{');
    const Json::Value parsed = parse(document);
    EXPECT_EQ(parsed.getMemberNames(), (std::vector<std::string>{"inventory", "inventoryinfo"}));
    EXPECT_EQ(parsed["inventory"].getMemberNames(),
              (std::vector<std::string>{"directories", "discoverysummary", "files", "misc", "publishers"}));
    // The header's drive is text, an entry's is a number.
    EXPECT_TRUE(parsed["inventoryinfo"]["osdrive"].isString());
    EXPECT_TRUE(parsed["inventory"]["files"][0]["osdrive"].isInt());
    // Every LF went to disk as CR LF, and no CR stands alone.
    for (std::size_t i = 0; i < document.size(); ++i) {
        if (document[i] == '\n') {
            ASSERT_TRUE(i > 0 && document[i - 1] == '\r') << i;
        }
        if (document[i] == '\r') {
            ASSERT_TRUE(i + 1 < document.size() && document[i + 1] == '\n') << i;
        }
    }
}

TEST_F(DocumentTest, TheHeaderTakesItsTimeWhenWrittenAndSortsItsMembers) {
    platform.clockSeconds = 4102444800;  // 2100-01-01: beyond 32 bits unsigned
    ASSERT_TRUE(writer.open(kPath));
    HostInventory inventory = financeInventory();
    inventory.buildnumber = 0xFFFFFFFFu;  // unsigned, never negative
    ASSERT_TRUE(writer.writeHeader(&inventory));
    const std::string header = onDisk();
    const std::string opening = "{\"inventoryinfo\" :{\r\n\t\"buildnumber\" : ";
    EXPECT_EQ(header.substr(0, opening.size()), opening);
    EXPECT_NE(header.find("\t\"buildnumber\" : 4294967295,\r\n\t\"cdate\" : 4102444800,\r\n"),
              std::string::npos)
        << header;
    EXPECT_NE(header.find("\t\"title\" : \"Finance\"\r\n},\"inventory\" : {\"files\" : ["),
              std::string::npos);
    EXPECT_EQ(header.substr(header.size() - 4), " : [");
}

TEST_F(DocumentTest, EmptySectionsAreTheirBracketsDirectlyClosed) {
    openWithHeader();
    ASSERT_TRUE(writer.writePublishers({}));
    ASSERT_TRUE(writer.writeDirectories({}));
    finish();
    EXPECT_EQ(body().substr(0, body().find("\"misc\"")), "],\"publishers\" : [],\"directories\" : [],");
    EXPECT_NE(onDisk().find("\"files\" : [],\"publishers\""), std::string::npos);
}

TEST_F(DocumentTest, EntriesAreSeparatedByCommasOnlyBetweenThem) {
    openWithHeader();
    ASSERT_TRUE(writeEntry(u"C:\\Tools", kKindDirectory, 0, -1));
    ASSERT_TRUE(writeEntry(u"C:\\Tools\\a", kKindDirectory, 1, 0));
    ASSERT_TRUE(writeEntry(u"C:\\Tools\\b", kKindDirectory, 2, 0));
    EXPECT_TRUE(writer.entryWritten);
    const std::string entries = body();
    EXPECT_EQ(entries.front(), '{');
    std::size_t separators = 0;
    for (std::size_t at = entries.find("},{"); at != std::string::npos; at = entries.find("},{", at + 1)) {
        ++separators;
    }
    EXPECT_EQ(separators, 2u);
    EXPECT_EQ(entries.back(), '}');
}

TEST_F(DocumentTest, ARootIsWrittenWithAnEmptyDirectoryPartAndParentMinusOne) {
    openWithHeader();
    NativePaths native(platform);
    ExecutableFileRecord root(native);
    ASSERT_TRUE(root.setPath(u"C:\\"));
    root.setProperties(0x16, 0, -1, 1, 0, false, true, kKindDirectory);
    ASSERT_TRUE(writer.writeFileEntry(root));
    const std::string entry = body();
    EXPECT_NE(entry.find("\t\"fname\" : \"C:\\\\\",\r\n\t\"fpath\" : \"\",\r\n\t\"ftype\" : \"directory\","),
              std::string::npos)
        << entry;
    EXPECT_NE(entry.find("\t\"attr\" : 22,"), std::string::npos);
    EXPECT_NE(entry.find("\t\"mtime\" : 0,"), std::string::npos);  // no status known for C:\ here
    EXPECT_NE(entry.find("\t\"pid\" : -1\r\n}"), std::string::npos);
}

TEST_F(DocumentTest, ADirectoryEntryNeverReadsASignerOrVersionResource) {
    openWithHeader();
    ASSERT_TRUE(writeEntry(u"C:\\Tools\\tool.exe", kKindDirectory));
    EXPECT_EQ(platform.signerReads[u"C:\\Tools\\tool.exe"], 0);
    EXPECT_EQ(platform.versionReads[u"C:\\Tools\\tool.exe"], 0);
    const std::string entry = body();
    for (const char* key : {"serialno", "issuer", "pubname", "cname", "fver", "ifname", "ofname",
                            "prodname", "prodver"}) {
        EXPECT_EQ(entry.find(key), std::string::npos) << key;
    }
}

struct IdentityCase {
    const char* proves;
    bool signedFile;
    bool versioned;
    std::vector<std::string> keys;  // beyond the eleven common members
};

class ApplicationMembers : public DocumentTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(ApplicationMembers, SignerAndVersionKeysComeAndGoTogether) {
    const IdentityCase& c = GetParam();
    const std::u16string path = u"C:\\Tools\\app.exe";
    if (c.signedFile) platform.signers[path] = {0, exampleSigner()};
    if (c.versioned) platform.versions[path] = {0, exampleVersion()};
    openWithHeader();
    ASSERT_TRUE(writeEntry(path, kKindApplication));
    std::vector<std::string> expected = {"allowstate", "attr", "default", "fname", "fpath", "ftype",
                                         "id", "mtime", "mutable", "osdrive", "pid"};
    expected.insert(expected.end(), c.keys.begin(), c.keys.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(parse(body()).getMemberNames(), expected) << c.proves;
    EXPECT_EQ(platform.signerReads[path], 1);
    EXPECT_EQ(platform.versionReads[path], 1);
}

INSTANTIATE_TEST_SUITE_P(
    Writer, ApplicationMembers,
    ::testing::Values(
        IdentityCase{"signed and versioned", true, true,
                     {"serialno", "issuer", "pubname", "cname", "fver", "ifname", "ofname", "prodname",
                      "prodver"}},
        IdentityCase{"unsigned but versioned", false, true,
                     {"cname", "fver", "ifname", "ofname", "prodname", "prodver"}},
        IdentityCase{"signed without version resource", true, false, {"serialno", "issuer", "pubname"}},
        IdentityCase{"neither: only the common members", false, false, {}}));

// One writer keeps its entry blocks from one entry to the next: whatever the
// entries before, each one comes out as a writer's first entry would, with
// no member or text left from an earlier one.
TEST(EntrySequence, EachEntryIsWrittenAsByAFreshWriter) {
    struct Item {
        const char* proves;
        std::u16string path;
        std::int32_t kind;
        bool signedFile;
        bool versioned;
    };
    FileVersionStrings shortVersion;
    shortVersion.fileVersion = u"1";  // shorter texts than the entry before
    const std::vector<Item> items = {
        {"signed and versioned", u"C:\\Tools\\long-name-of-an-app.exe", kKindApplication, true, true},
        {"neither, after both", u"C:\\T\\a.exe", kKindApplication, false, false},
        {"a directory between applications", u"C:\\Tools\\Sub \"dir\"", kKindDirectory, false, false},
        {"versioned only, shorter texts", u"C:\\Tools\\b.exe", kKindApplication, false, true},
        {"signed only", u"C:\\Tools\\c\u00e9.exe", kKindApplication, true, false},
        {"a directory after a directory", u"C:\\Z", kKindDirectory, false, false},
        {"a second directory of a longer name", u"C:\\Tools\\Sub\\Deeper and longer", kKindDirectory, false, false},
    };
    auto script = [&](MemoryPlatform& platform) {
        for (const Item& item : items) {
            platform.fileStatuses[item.path] = FileStatus{1700000000 + static_cast<std::int64_t>(item.path.size()), 0};
            if (item.signedFile) platform.signers[item.path] = {0, exampleSigner()};
            if (item.versioned) {
                platform.versions[item.path] = {0, item.path == u"C:\\Tools\\b.exe" ? shortVersion : exampleVersion()};
            }
        }
    };
    auto writeOne = [](MemoryPlatform& platform, AllowlistWriter& writer, const Item& item, std::int32_t id) {
        NativePaths native(platform);
        ExecutableFileRecord record(native);
        EXPECT_TRUE(record.setPath(item.path));
        record.setProperties(item.kind == kKindDirectory ? 16 : 32, id, id - 1, 1, id % 2, id % 3 == 0, true,
                             item.kind);
        return writer.writeFileEntry(record);
    };
    const std::u16string path = u"C:\\Deploy\\sequence.json";

    MemoryPlatform together;
    script(together);
    AllowlistWriter writer(together);
    ASSERT_TRUE(writer.open(path));
    std::int32_t id = 0;
    for (const Item& item : items) ASSERT_TRUE(writeOne(together, writer, item, ++id));
    ASSERT_TRUE(writer.close());
    std::string expected = "{";
    id = 0;
    for (const Item& item : items) {
        SCOPED_TRACE(item.proves);
        MemoryPlatform alone;
        script(alone);
        AllowlistWriter fresh(alone);
        ASSERT_TRUE(fresh.open(path));
        ASSERT_TRUE(writeOne(alone, fresh, item, ++id));
        ASSERT_TRUE(fresh.close());
        const std::string single = alone.files[path];
        if (id > 1) expected += ",";
        expected += single.substr(1, single.size() - 2);  // without the document's own braces
    }
    expected += "}";
    EXPECT_EQ(together.files[path], expected);
}

TEST_F(DocumentTest, AnEmptyVersionValueKeepsItsMemberAndTheSignerIsReadFirst) {
    FileVersionStrings version = exampleVersion();
    version.internalName.clear();
    version.productVersion = u"1\x1F" u"2";
    platform.versions[u"C:\\Tools\\tool.exe"] = {0, version};
    openWithHeader();
    ASSERT_TRUE(writeEntry(u"C:\\Tools\\tool.exe", kKindApplication));
    const std::string entry = body();
    EXPECT_NE(entry.find("\t\"ifname\" : \"\",\r\n"), std::string::npos);
    EXPECT_NE(entry.find("\t\"prodver\" : \"1\\u001F2\",\r\n"), std::string::npos) << entry;
    std::vector<std::string> reads;
    for (const auto& call : platform.calls) {
        if (call == "readSignerInfo" || call == "readVersionStrings") reads.push_back(call);
    }
    EXPECT_EQ(reads, (std::vector<std::string>{"readSignerInfo", "readVersionStrings"}));
}

TEST_F(DocumentTest, AFileNameIsEscapedAndItsPathsBackslashesDoubled) {
    openWithHeader();
    ASSERT_TRUE(writeEntry(u"C:\\Pro\u00E9 Files\\say \"hi\"\t\u6F22.exe", kKindDirectory));
    const std::string entry = body();
    EXPECT_NE(entry.find("\t\"fname\" : \"say \\\"hi\\\"\\t\xE6\xBC\xA2.exe\",\r\n"), std::string::npos)
        << entry;
    EXPECT_NE(entry.find("\t\"fpath\" : \"C:\\\\Pro\xC3\xA9 Files\\\\\",\r\n"), std::string::npos)
        << entry;
}

TEST_F(DocumentTest, PublishersKeepTheTablesOrderAndCertificatesTheirs) {
    PublisherTable publishers;
    publishers[u"Zeta Ltd"].allowState = 1;
    PublisherEntry& alpha = publishers[u"Alpha Ltd"];
    alpha.certificates.emplace_back(u"02", u"Second CA");
    alpha.certificates.emplace_back(u"01", u"First CA");
    alpha.type = 1;
    publishers[u"Zeta Ltd"].type = 7;  // changing an entry keeps its place
    openWithHeader();
    ASSERT_TRUE(writer.writePublishers(publishers));
    const std::string expected =
        "],\"publishers\" : [{\r\n"
        "\t\"allowstate\" : 1,\r\n\t\"mutable\" : false,\r\n\t\"pubname\" : \"Zeta Ltd\",\r\n"
        "\t\"type\" : 7\r\n},{\r\n"
        "\t\"allowstate\" : 0,\r\n"
        "\t\"certinfo\" : \r\n\t[\r\n"
        "\t\t{\r\n\t\t\t\"issuer\" : \"Second CA\",\r\n\t\t\t\"serialno\" : \"02\"\r\n\t\t},\r\n"
        "\t\t{\r\n\t\t\t\"issuer\" : \"First CA\",\r\n\t\t\t\"serialno\" : \"01\"\r\n\t\t}\r\n"
        "\t],\r\n"
        "\t\"mutable\" : false,\r\n\t\"pubname\" : \"Alpha Ltd\",\r\n\t\"type\" : 1\r\n}]";
    EXPECT_EQ(body(), expected);
}

AllowedDirectoryEntry directory(const std::u16string& path, bool isMutable = false) {
    AllowedDirectoryEntry entry;
    entry.dirPath = path;
    entry.isMutable = isMutable;
    return entry;
}

// The dirpath values of the directory section, in order, as written.
std::vector<std::string> dirpaths(const std::string& section) {
    std::vector<std::string> found;
    const std::string key = "\"dirpath\" : \"";
    for (std::size_t at = section.find(key); at != std::string::npos; at = section.find(key, at + 1)) {
        const std::size_t start = at + key.size();
        found.push_back(section.substr(start, section.find("\",\r\n", start) - start));
    }
    return found;
}

struct FilterCase {
    const char* proves;
    std::vector<std::u16string> paths;
    std::vector<std::string> written;
};

class DirectoryFilters : public DocumentTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(DirectoryFilters, OnlyTheFirstOfEachNormalFormIsWrittenAsStored) {
    std::vector<AllowedDirectoryEntry> entries;
    for (const auto& path : GetParam().paths) entries.push_back(directory(path));
    openWithHeader();
    ASSERT_TRUE(writer.writeDirectories(entries));
    const std::string section = body();
    EXPECT_EQ(dirpaths(section), GetParam().written) << GetParam().proves;
    // Commas only between the blocks written, never for a skipped one.
    EXPECT_EQ(section.find(",,"), std::string::npos);
    EXPECT_EQ(section.find("[,"), std::string::npos);
    EXPECT_EQ(section.find(",]"), std::string::npos);
    EXPECT_EQ(section.substr(0, 18), ",\"directories\" : [");
    EXPECT_EQ(section.back(), ']');
}

INSTANTIATE_TEST_SUITE_P(
    Writer, DirectoryFilters,
    ::testing::Values(
        FilterCase{"letter case", {u"C:\\Apps", u"c:\\APPS"}, {"C:\\\\Apps"}},
        FilterCase{"one trailing backslash", {u"C:\\Apps\\", u"C:\\Apps"}, {"C:\\\\Apps\\\\"}},
        FilterCase{"runs of separators are one", {u"C:\\Apps", u"C:\\Apps\\\\", u"C:\\\\Apps"},
                   {"C:\\\\Apps"}},
        FilterCase{"empty paths skipped", {u"", u"C:\\A", u"", u"C:\\B", u""}, {"C:\\\\A", "C:\\\\B"}},
        FilterCase{"only empty paths", {u"", u""}, {}},
        FilterCase{"non-ASCII letters are not folded", {u"C:\\\u00C9", u"C:\\\u00E9"},
                   {"C:\\\\\xC3\x89", "C:\\\\\xC3\xA9"}},
        FilterCase{"unexpanded variables kept", {u"%TEMP%", u"%temp%\\"}, {"%TEMP%"}}));

TEST_F(DocumentTest, TheDirectoryFilterLastsOneCall) {
    openWithHeader();
    ASSERT_TRUE(writer.writeDirectories({directory(u"C:\\A")}));
    ASSERT_TRUE(writer.writeDirectories({directory(u"c:\\a")}));
    EXPECT_EQ(dirpaths(body()), (std::vector<std::string>{"C:\\\\A", "c:\\\\a"}));
}

TEST_F(DocumentTest, SummaryCountsAreSigned32BitAndStatusIsText) {
    openWithHeader();
    DiscoveryCounters counters;
    counters.dircnt = 0xFFFFFFFFu;
    counters.filecnt = 0x80000000u;
    counters.starttime = "Tue Dec  8 03:30:21 2026";
    counters.status = false;
    ASSERT_TRUE(writer.writeDiscoverySummary(counters));
    writer.close();
    const std::string summary = body();
    EXPECT_NE(summary.find("\t\"dircnt\" : -1,\r\n"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\t\"filecnt\" : -2147483648,\r\n"), std::string::npos);
    EXPECT_NE(summary.find("\t\"endtime\" : \"\",\r\n"), std::string::npos);
    EXPECT_NE(summary.find("\t\"starttime\" : \"Tue Dec  8 03:30:21 2026\",\r\n"), std::string::npos);
    EXPECT_NE(summary.find("\t\"status\" : \"failed\",\r\n"), std::string::npos);
    EXPECT_EQ(summary.substr(summary.size() - 2), "}}");
}

TEST_F(DocumentTest, MiscCarriesTheGlobalFlag) {
    openWithHeader();
    ASSERT_TRUE(writer.writeMisc(true));
    writer.close();
    // Straight after the header the files array is still open: misc closes it.
    EXPECT_EQ(body(), "],\"misc\" : {\r\n\t\"globalstrictpub\" : true\r\n}}");
}

TEST_F(DocumentTest, FlushedAfterHeaderEntriesPublishersAndSummaryOnly) {
    ASSERT_TRUE(writer.open(kPath));
    EXPECT_EQ(onDisk(), "");
    EXPECT_EQ(platform.pendingBytes(kPath), "{");
    const HostInventory inventory = financeInventory();
    ASSERT_TRUE(writer.writeHeader(&inventory));
    EXPECT_EQ(platform.pendingBytes(kPath), "");
    ASSERT_TRUE(writeEntry(u"C:\\Tools\\tool.exe", kKindApplication));
    EXPECT_EQ(platform.pendingBytes(kPath), "");
    ASSERT_TRUE(writer.writePublishers({}));
    EXPECT_EQ(platform.pendingBytes(kPath), "");
    ASSERT_TRUE(writer.writeDirectories({directory(u"C:\\A")}));
    EXPECT_NE(platform.pendingBytes(kPath), "");
    ASSERT_TRUE(writer.writeMisc(false));
    EXPECT_NE(platform.pendingBytes(kPath), "");
    ASSERT_TRUE(writer.writeDiscoverySummary(DiscoveryCounters{}));
    EXPECT_EQ(platform.pendingBytes(kPath), "");
    const std::string beforeClose = onDisk();
    ASSERT_TRUE(writer.close());
    EXPECT_EQ(onDisk(), beforeClose + "}");
}

TEST_F(DocumentTest, AHeaderWithoutInventoryWritesNothing) {
    ASSERT_TRUE(writer.open(kPath));
    EXPECT_FALSE(writer.writeHeader(nullptr));
    EXPECT_EQ(writer.status, kStatusNoInventory);
    EXPECT_EQ(platform.pendingBytes(kPath), "{");
    EXPECT_EQ(onDisk(), "");
}

TEST_F(DocumentTest, AWriteFailingInTheMiddleLeavesAFailedButFinishedDocument) {
    openWithHeader();
    ASSERT_TRUE(writeEntry(u"C:\\Tools", kKindDirectory, 0, -1));
    platform.failWriteCall = platform.writeCalls + 2;  // the block after the separating comma
    EXPECT_FALSE(writeEntry(u"C:\\Tools\\tool.exe", kKindApplication));
    EXPECT_EQ(writer.status, kStatusWriteFailed);

    // The build run's finishing step, as after any failure once the file is open.
    DiscoveryCounters counters;
    counters.dircnt = 1;
    counters.status = false;
    EXPECT_TRUE(writer.writeMisc(false));
    EXPECT_EQ(writer.status, 0);
    EXPECT_TRUE(writer.writeDiscoverySummary(counters));
    EXPECT_TRUE(writer.close());

    const std::string document = body();
    EXPECT_EQ(document.find("tool.exe"), std::string::npos);
    EXPECT_EQ(document.find("publishers"), std::string::npos);
    // The comma of the lost entry stays; the files array is closed.
    const std::string tail =
        "},],\"misc\" : {\r\n\t\"globalstrictpub\" : false\r\n},\"discoverysummary\" : {\r\n";
    EXPECT_NE(document.find(tail), std::string::npos) << document;
    EXPECT_NE(document.find("\t\"status\" : \"failed\",\r\n"), std::string::npos);
    EXPECT_EQ(document.substr(document.size() - 5), "\r\n}}}");
}

TEST_F(DocumentTest, AFailedFlushIsAFailedWrite) {
    openWithHeader();
    platform.failFlushCall = platform.flushCalls + 1;
    EXPECT_FALSE(writeEntry(u"C:\\Tools", kKindDirectory));
    EXPECT_EQ(writer.status, kStatusWriteFailed);
    EXPECT_TRUE(writeEntry(u"C:\\Tools\\a", kKindDirectory));
    EXPECT_EQ(writer.status, 0);
}

struct FailingSection {
    const char* proves;
    std::function<bool(AllowlistWriter&)> write;
};

class SectionFailures : public DocumentTest, public ::testing::WithParamInterface<FailingSection> {};

TEST_P(SectionFailures, EveryWriteOperationReportsARefusedStream) {
    openWithHeader();
    platform.failWriteCall = platform.writeCalls + 1;
    EXPECT_FALSE(GetParam().write(writer)) << GetParam().proves;
    EXPECT_EQ(writer.status, kStatusWriteFailed);
}

PublisherTable onePublisher() {
    PublisherTable table;
    table[u"P"].allowState = 1;
    return table;
}

INSTANTIATE_TEST_SUITE_P(
    Writer, SectionFailures,
    ::testing::Values(
        FailingSection{"header",
                       [](AllowlistWriter& w) {
                           const HostInventory inventory = financeInventory();
                           return w.writeHeader(&inventory);
                       }},
        FailingSection{"publishers", [](AllowlistWriter& w) { return w.writePublishers(onePublisher()); }},
        FailingSection{"directories",
                       [](AllowlistWriter& w) { return w.writeDirectories({directory(u"C:\\A")}); }},
        FailingSection{"misc", [](AllowlistWriter& w) { return w.writeMisc(false); }},
        FailingSection{"summary",
                       [](AllowlistWriter& w) { return w.writeDiscoverySummary(DiscoveryCounters{}); }}));

TEST_F(DocumentTest, ExceptionsBecomeStatusCodes) {
    openWithHeader();
    platform.signerReadHook = [](const std::u16string&) { throw Json::LogicError("bad value"); };
    EXPECT_FALSE(writeEntry(u"C:\\Tools\\tool.exe", kKindApplication));
    EXPECT_EQ(writer.status, kStatusJsonFailed);
    platform.signerReadHook = [](const std::u16string&) { throw std::bad_alloc(); };
    EXPECT_FALSE(writeEntry(u"C:\\Tools\\tool.exe", kKindApplication));
    EXPECT_EQ(writer.status, kStatusWriteFailed);
    platform.signerReadHook = nullptr;
    EXPECT_TRUE(writeEntry(u"C:\\Tools\\tool.exe", kKindApplication));
    EXPECT_EQ(writer.status, 0);
    // Nothing of the failed entries reached the file: it holds one entry, no comma.
    EXPECT_EQ(body().front(), '{');
    EXPECT_EQ(body().find("},{"), std::string::npos);
}

TEST_F(DocumentTest, AnExistingFileIsNeverOpenedNorChanged) {
    platform.files[kPath] = "precious";
    EXPECT_FALSE(writer.open(kPath));
    EXPECT_EQ(writer.status, kStatusOutputNameTaken);
    EXPECT_FALSE(writer.isOpen());
    EXPECT_EQ(platform.files[kPath], "precious");
    // Nothing can be written through a writer that did not open.
    EXPECT_FALSE(writer.writeMisc(false));
    EXPECT_EQ(writer.status, kStatusWriteFailed);
    EXPECT_FALSE(writer.close());
    EXPECT_EQ(platform.files[kPath], "precious");
    EXPECT_EQ(platform.openStreams(), 0u);
}

TEST_F(DocumentTest, AnExistingDirectoryOfThatNameIsRefusedToo) {
    platform.fileAttributes[kPath] = kFileAttributeDirectory;
    EXPECT_FALSE(writer.open(kPath));
    EXPECT_EQ(writer.status, kStatusOutputNameTaken);
}

TEST_F(DocumentTest, AnyOtherOpenFailureLeavesTheStatusAlone) {
    platform.failCreate = true;
    writer.status = 0;
    EXPECT_FALSE(writer.open(kPath));
    EXPECT_EQ(writer.status, 0);
    EXPECT_EQ(platform.files.count(kPath), 0u);
}

TEST_F(DocumentTest, AFailedCloseIsReportedButLeavesTheStatus) {
    openWithHeader();
    platform.failClose = true;
    EXPECT_FALSE(writer.close());
    EXPECT_EQ(writer.status, 0);
    EXPECT_EQ(platform.openStreams(), 0u);
    EXPECT_EQ(onDisk().back(), '}');
}

TEST_F(DocumentTest, AWriterNeverClosedStillReleasesItsFile) {
    {
        AllowlistWriter abandoned(platform);
        ASSERT_TRUE(abandoned.open(u"C:\\x.json"));
        EXPECT_EQ(platform.openStreams(), 1u);
    }
    EXPECT_EQ(platform.openStreams(), 0u);
    EXPECT_EQ(platform.files[u"C:\\x.json"], "{");
}

TEST_F(DocumentTest, OpeningClearsEntryWrittenAndAWriterOpensOneDocument) {
    writer.entryWritten = true;
    ASSERT_TRUE(writer.open(kPath));
    EXPECT_FALSE(writer.entryWritten);
    EXPECT_FALSE(writer.open(u"C:\\other.json"));
    EXPECT_EQ(platform.files.count(u"C:\\other.json"), 0u);
}

}  // namespace
}  // namespace baseline
