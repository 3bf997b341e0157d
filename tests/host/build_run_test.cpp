// The build run and its walk over the in-memory platform: counters, ids,
// classification, first-level entries, exclusions, publishers, the configured
// directories and publishers, and what failures leave in the document.
#include <gtest/gtest.h>

#include <json/json.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <thread>

#include "discovery/build_status.h"
#include "discovery/built_in_publishers.h"
#include "discovery/discovery_engine.h"
#include "document/document_status.h"
#include "memory_platform.h"
#include "platform/utf.h"
#include "worked_example.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;
using testing::FileStatus;

SignerInfo signer(const std::u16string& publisher, const std::u16string& serial,
                  const std::u16string& issuer = u"Test CA") {
    return SignerInfo{publisher, issuer, serial};
}

// Under WOW64 every call that reads a path runs with redirection off, one
// call to each switch-off; nothing else (the document's writes above all)
// ever runs while it is off. Returns how many calls ran so.
int expectRedirectionOffAroundEachPathCallAlone(const std::vector<std::string>& calls) {
    static const std::set<std::string> kPathCalls = {"GetFileAttributesW", "FindFirstFileW", "GetFileAttributesExW",
                                                     "_waccess:0",         "readSignerInfo", "readVersionStrings"};
    bool off = false;
    int inside = 0;
    int windows = 0;
    for (const auto& call : calls) {
        if (call == "Wow64DisableWow64FsRedirection") {
            EXPECT_FALSE(off) << "turned off twice";
            off = true;
            inside = 0;
        } else if (call == "Wow64RevertWow64FsRedirection") {
            EXPECT_TRUE(off) << "turned on while on";
            EXPECT_EQ(inside, 1) << "one call per switch-off";
            off = false;
            ++windows;
        } else if (off) {
            ++inside;
            EXPECT_TRUE(kPathCalls.count(call)) << call << " ran with redirection off";
        }
    }
    EXPECT_FALSE(off) << "left off";
    return windows;
}

// One machine, one configuration, one build run.
class BuildRun : public ::testing::Test {
protected:
    BuildRun() {
        platform.environment = {{u"SystemDrive", u"C:"},
                                {u"ProgramFiles", u"C:\\Program Files"},
                                {u"WINDIR", u"C:\\Windows"},
                                {u"TEMP", u"C:\\Temp"}};
        config.discoveryMode = "custom";
        config.immutableForSystemDirectory = true;
        config.defaultMutable = true;
        config.allowedFirstLevelSubdirectories = {u"c:", u"c:\\program files",
                                                  u"%programfiles(x86)%"};
        for (const auto name : kBuiltInPublisherNames) config.allowedPublishers.emplace_back(name);
    }

    bool run() {
        engine = std::make_unique<DiscoveryEngine>(platform, u"Finance", u"Finance desktops", config);
        const bool ok = engine->runBuild();
        const auto found = platform.files.find(engine->outputPath);
        document = found == platform.files.end() ? std::string() : found->second;
        parsed = Json::Value();
        std::string errors;
        const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
        documentIsJson = reader->parse(document.data(), document.data() + document.size(), &parsed, &errors);
        return ok;
    }

    const Json::Value& files() const { return parsed["inventory"]["files"]; }
    // The file entry whose fpath and fname join to `path`, or null.
    Json::Value entry(const std::string& path) const {
        for (const auto& e : files()) {
            if (e["fpath"].asString() + e["fname"].asString() == path) return e;
        }
        return Json::Value();
    }
    std::vector<std::string> recordedPaths() const {
        std::vector<std::string> paths;
        for (const auto& e : files()) paths.push_back(e["fpath"].asString() + e["fname"].asString());
        return paths;
    }
    std::vector<std::u16string> directoryEntries() const {
        std::vector<std::u16string> paths;
        for (const auto& d : engine->allowedDirectories) paths.push_back(d.dirPath);
        return paths;
    }
    bool endsFailed() const {
        const std::string tail = "\t\"status\" : \"failed\",\r\n\t\"supportedfilecnt\" : ";
        return document.find(tail) != std::string::npos && document.size() >= 3 &&
               document.compare(document.size() - 3, 3, "}}}") == 0;
    }

    MemoryPlatform platform;
    BaselineConfig config;
    std::unique_ptr<DiscoveryEngine> engine;
    std::string document;
    Json::Value parsed;
    bool documentIsJson = false;
};

TEST_F(BuildRun, ReproducesTheSmallWorkedExampleByteForByte) {
    testing::scriptWorkstation(platform, 10, 0, 19045, true);
    platform.environment[u"ProgramFiles"] = u"C:\\Program Files (x86)";
    platform.environment[u"ProgramW6432"] = u"C:\\Program Files";
    // The configured directory carries the system attribute, which makes its
    // entry immutable without making the files below it immutable.
    platform.addDirectory(u"C:\\Tools", kFileAttributeDirectory | kFileAttributeSystem);
    platform.addFile(u"C:\\Tools\\tool.exe", 32);
    platform.fileStatuses[u"C:\\Tools"] = FileStatus{1763626500, 0};
    platform.fileStatuses[u"C:\\Tools\\tool.exe"] = FileStatus{1710410400, 4096};
    platform.signers[u"C:\\Tools\\tool.exe"] = {0, testing::exampleSigner()};
    platform.versions[u"C:\\Tools\\tool.exe"] = {0, testing::exampleVersion()};
    config.customDiscoveryPaths = {u"C:\\Tools"};
    config.allowedDirectories = {u"%SystemDrive%\\Tools"};

    ASSERT_TRUE(run());
    std::vector<std::string> expected = testing::kWorkedExample;
    // The clock stands still here, so the run ends in the second it started.
    for (auto& line : expected) {
        if (line.find("\"endtime\"") != std::string::npos) line = "\t\"endtime\" : \"Mon Dec  8 09:33:45 2025\",";
    }
    EXPECT_EQ(document, testing::joinLines(expected));
    EXPECT_EQ(engine->statusCode, 0);
    EXPECT_EQ(platform.redirectionDisabled, 0);
    EXPECT_EQ(platform.openSearches, 0);
    // The configured directory's attributes, the root's time, its listing,
    // and the application's time, signer and version strings.
    EXPECT_EQ(expectRedirectionOffAroundEachPathCallAlone(platform.calls), 6);
}

// The machine's facts (the native architecture, the Program Files
// directories) are asked for a fixed number of times in a run, never once
// per entry: a tree ten times the size asks no more.
TEST_F(BuildRun, MachineFactsAreNotAskedPerEntry) {
    struct System {
        const char* name;
        std::uint16_t architecture;
        bool nativeProgram;
    };
    const System systems[] = {{"32-bit Windows", 0, false},
                              {"the 32-bit program under WOW64", 9, false},
                              {"the 64-bit program", 9, true}};
    for (const System& system : systems) {
        SCOPED_TRACE(system.name);
        auto asked = [&](int directories) {
            platform = MemoryPlatform();
            platform.environment = {{u"SystemDrive", u"C:"},
                                    {u"ProgramFiles", u"C:\\Program Files"},
                                    {u"ProgramW6432", u"C:\\Program Files"},
                                    {u"WINDIR", u"C:\\Windows"}};
            platform.nativeArchitecture = system.architecture;
            platform.nativeProgram = system.nativeProgram;
            for (int i = 0; i < directories; ++i) {
                const std::u16string n(1, static_cast<char16_t>(u'a' + i % 26));
                platform.addFile(u"C:\\Base\\D" + n + u"\\Sub" + n + u"\\tool" + n + u".exe");
                platform.addFile(u"C:\\Program Files\\App" + n + u"\\x" + n + u".exe");
            }
            config.customDiscoveryPaths = {u"C:\\Base", u"C:\\Program Files"};
            EXPECT_TRUE(run());
            EXPECT_GE(files().size(), static_cast<Json::ArrayIndex>(5 * directories));
            std::map<std::string, long> counts;
            for (const auto& call : platform.calls) {
                if (call == "GetNativeSystemInfo" || call == "GetModuleHandleW") ++counts[call];
            }
            counts["expansions"] = static_cast<long>(platform.expansions.size());
            return counts;
        };
        const auto small = asked(2);
        const auto large = asked(20);
        EXPECT_EQ(large, small);
    }
}

TEST_F(BuildRun, DriveRootsListNoDotEntriesOrdinaryDirectoriesDo) {
    platform.addDirectory(u"C:\\Empty");
    config.discoveryMode = "osdrive";
    config.allowedFirstLevelSubdirectories.clear();
    ASSERT_TRUE(run());
    EXPECT_EQ(engine->counters.dircnt, 4u);

    MemoryPlatform& other = platform = MemoryPlatform();
    other.environment = {{u"SystemDrive", u"C:"}, {u"ProgramFiles", u"C:\\Program Files"}};
    other.addDirectory(u"C:\\Base\\Empty");
    config.discoveryMode = "custom";
    config.customDiscoveryPaths = {u"C:\\Base"};
    ASSERT_TRUE(run());
    EXPECT_EQ(engine->counters.dircnt, 6u);
}

TEST_F(BuildRun, ARootWithATrailingBackslashDoublesTheSeparator) {
    platform.addDirectory(u"C:\\Windows");
    config.customDiscoveryPaths = {u"C:\\"};
    ASSERT_TRUE(run());
    ASSERT_GE(platform.searchPatterns.size(), 2u);
    EXPECT_EQ(platform.searchPatterns[0], u"C:\\*");
    EXPECT_EQ(platform.searchPatterns[1], u"C:\\\\Windows\\*");
    EXPECT_EQ(recordedPaths(), (std::vector<std::string>{"C:\\", "C:\\\\Windows"}));
    EXPECT_EQ(entry("C:\\")["fpath"].asString(), "");

    config.discoveryMode = "osdrive";
    platform.files.clear();  // a new minute's document
    ASSERT_TRUE(run());
    EXPECT_EQ(platform.searchPatterns.back(), u"C:\\Windows\\*");
}

TEST_F(BuildRun, CountsIdsAndSupportedNames) {
    platform.addDirectory(u"D:\\Apps\\Sub");
    for (const char16_t* name : {u"NOTEPAD.EXE", u"setup.Exe", u".exe", u"app.exe.bak", u"app.ex_",
                                 u"readme", u"app.exe "}) {
        platform.addFile(std::u16string(u"D:\\Apps\\") + name);
    }
    platform.addDirectory(u"D:\\Apps\\Link", kFileAttributeDirectory | kFileAttributeReparsePoint);
    platform.addFile(u"D:\\Apps\\Link\\hidden.exe");
    platform.addFile(u"D:\\Apps\\filelink.exe", 0x20 | kFileAttributeReparsePoint);
    platform.addDirectory(u"D:\\Apps\\Skip\\Deeper");
    platform.addFile(u"D:\\Apps\\Sub\\last.exe");
    config.customDiscoveryPaths = {u"D:\\Apps"};
    config.excludedPaths = {u"d:\\apps\\skip"};
    ASSERT_TRUE(run());

    const auto& c = engine->counters;
    // root, its "." and "..", Sub, the two reparse points, Skip; then Sub's "." and "..".
    EXPECT_EQ(c.dircnt, 9u);
    EXPECT_EQ(c.filecnt, 8u);
    EXPECT_EQ(c.supportedfilecnt, 3u + 1u);
    EXPECT_EQ(c.allowedfilecnt, 4);
    EXPECT_EQ(recordedPaths(), (std::vector<std::string>{"D:\\Apps", "D:\\Apps\\Sub", "D:\\Apps\\NOTEPAD.EXE",
                                                         "D:\\Apps\\setup.Exe", "D:\\Apps\\.exe",
                                                         "D:\\Apps\\Sub\\last.exe"}));
    // Ids in creation order; the excluded Skip took id 5; unsupported files take none.
    std::vector<int> ids, parents;
    for (const auto& e : files()) {
        ids.push_back(e["id"].asInt());
        parents.push_back(e["pid"].asInt());
    }
    EXPECT_EQ(ids, (std::vector<int>{0, 1, 2, 3, 4, 6}));
    EXPECT_EQ(parents, (std::vector<int>{-1, 0, 0, 0, 0, 1}));
    EXPECT_EQ(entry("D:\\Apps")["osdrive"].asInt(), 0);
    EXPECT_EQ(entry("D:\\Apps")["allowstate"].asInt(), 0);
    EXPECT_EQ(entry("D:\\Apps\\NOTEPAD.EXE")["ftype"].asString(), "application");
    EXPECT_EQ(entry("D:\\Apps\\NOTEPAD.EXE")["allowstate"].asInt(), 1);
}

TEST_F(BuildRun, SystemDriveFlagFollowsTheRootAcrossRoots) {
    platform.addFile(u"c:\\One\\a.exe");
    platform.addFile(u"D:\\Two\\Sub\\b.exe");
    config.customDiscoveryPaths = {u"c:\\One", u"D:\\Two"};
    ASSERT_TRUE(run());
    EXPECT_EQ(entry("c:\\One")["osdrive"].asInt(), 1);
    EXPECT_EQ(entry("c:\\One\\a.exe")["osdrive"].asInt(), 1);
    EXPECT_EQ(entry("D:\\Two")["osdrive"].asInt(), 0);
    EXPECT_EQ(entry("D:\\Two\\Sub\\b.exe")["osdrive"].asInt(), 0);
    EXPECT_EQ(entry("D:\\Two\\Sub")["pid"].asInt(), entry("D:\\Two")["id"].asInt());
}

TEST_F(BuildRun, MutabilityIsInheritedButARootsChildrenStartAfresh) {
    platform.addDirectory(u"C:\\Base\\Sys", kFileAttributeDirectory | kFileAttributeSystem);
    platform.addDirectory(u"C:\\Base\\Sys\\Inner");
    platform.addFile(u"C:\\Base\\Sys\\Inner\\x.exe");
    platform.addFile(u"C:\\Base\\sysfile.exe", 0x20 | kFileAttributeSystem);
    platform.addDirectory(u"C:\\Base\\Plain");
    platform.addDirectory(u"C:\\Base\\Frozen\\Below");
    config.immutableDirectories = {u"C:\\Base\\FROZEN\\"};
    config.customDiscoveryPaths = {u"C:\\Base"};
    config.allowedDirectories.clear();
    ASSERT_TRUE(run());
    EXPECT_FALSE(entry("C:\\Base")["mutable"].asBool());
    EXPECT_TRUE(entry("C:\\Base\\Plain")["mutable"].asBool());
    EXPECT_FALSE(entry("C:\\Base\\Sys")["mutable"].asBool());
    EXPECT_FALSE(entry("C:\\Base\\Sys\\Inner")["mutable"].asBool());
    EXPECT_FALSE(entry("C:\\Base\\Sys\\Inner\\x.exe")["mutable"].asBool());
    EXPECT_FALSE(entry("C:\\Base\\sysfile.exe")["mutable"].asBool());
    EXPECT_FALSE(entry("C:\\Base\\Frozen")["mutable"].asBool());
    EXPECT_FALSE(entry("C:\\Base\\Frozen\\Below")["mutable"].asBool());
    // System-attribute items join the immutable list, in the order met.
    EXPECT_EQ(engine->config.immutableDirectories,
              (std::vector<std::u16string>{u"C:\\Base\\FROZEN\\", u"C:\\Base\\Sys", u"C:\\Base\\sysfile.exe"}));
}

TEST_F(BuildRun, TheWalksImmutableSetIsFrozenAtItsFirstBuild) {
    // No immutable directory is configured: the first system directory starts
    // the list, and the first lookup after that builds the set from it alone.
    platform.addDirectory(u"C:\\Base\\ASys", kFileAttributeDirectory | kFileAttributeSystem);
    platform.addDirectory(u"C:\\Base\\BPlain");
    platform.addDirectory(u"C:\\Base\\CSys", kFileAttributeDirectory | kFileAttributeSystem);
    platform.addFile(u"C:\\Base\\CSys\\z.exe");
    platform.addDirectory(u"C:\\Base\\CSys\\Inner");
    // CSys again as a root of its own: its children start afresh, and the set
    // built before CSys joined the list does not know it.
    config.customDiscoveryPaths = {u"C:\\Base", u"C:\\Base\\CSys"};
    config.allowedDirectories.clear();
    config.immutableDirectories.clear();
    ASSERT_TRUE(run());
    EXPECT_FALSE(entry("C:\\Base\\ASys")["mutable"].asBool());
    EXPECT_TRUE(entry("C:\\Base\\BPlain")["mutable"].asBool());
    EXPECT_FALSE(entry("C:\\Base\\CSys")["mutable"].asBool());
    // Below CSys by inheritance, not through the set, which holds only ASys.
    EXPECT_FALSE(entry("C:\\Base\\CSys\\z.exe")["mutable"].asBool());
    std::vector<bool> inner;
    for (const auto& e : files()) {
        if (e["fpath"].asString() + e["fname"].asString() == "C:\\Base\\CSys\\Inner") {
            inner.push_back(e["mutable"].asBool());
        }
    }
    EXPECT_EQ(inner, (std::vector<bool>{false, true}));
}

TEST_F(BuildRun, SystemAttributeIgnoredWhenSwitchedOff) {
    platform.addDirectory(u"C:\\Base\\Sys", kFileAttributeDirectory | kFileAttributeSystem);
    config.customDiscoveryPaths = {u"C:\\Base"};
    config.immutableForSystemDirectory = false;
    config.allowedDirectories.clear();
    config.immutableDirectories.clear();
    ASSERT_TRUE(run());
    EXPECT_TRUE(entry("C:\\Base\\Sys")["mutable"].asBool());
}

TEST_F(BuildRun, ProgramFilesIsNeverAllowedItsChildrenBecomeSystemDriveEntries) {
    platform.addDirectory(u"C:\\Program Files\\App\\Bin");
    platform.addDirectory(u"C:\\Program Files\\Excluded\\Deep");
    platform.addDirectory(u"C:\\Users\\Public");
    config.discoveryMode = "osdrive";
    config.allowedDirectories.clear();
    config.immutableDirectories.clear();
    config.excludedPaths = {u"c:\\program files\\excluded"};
    ASSERT_TRUE(run());
    EXPECT_EQ(entry("C:\\Program Files")["allowstate"].asInt(), 0);
    // C: is a first-level parent too: its children other than Program Files are entries.
    EXPECT_EQ(directoryEntries(), (std::vector<std::u16string>{u"%SYSTEMDRIVE%\\Users",
                                                               u"%SYSTEMDRIVE%\\Program Files\\App",
                                                               u"%SYSTEMDRIVE%\\Program Files\\Excluded"}));
    EXPECT_EQ(entry("C:\\Program Files\\App")["allowstate"].asInt(), 1);
    EXPECT_EQ(entry("C:\\Program Files\\App\\Bin")["allowstate"].asInt(), 0);
    EXPECT_TRUE(entry("C:\\Program Files\\Excluded").isNull());
    EXPECT_TRUE(entry("C:\\Program Files\\Excluded\\Deep").isNull());
    EXPECT_EQ(engine->counters.alloweddircnt, 3u);
}

TEST_F(BuildRun, AllowedDirectoriesAllowWhatLiesBelowThem) {
    platform.addDirectory(u"D:\\Tools\\Inner\\Deeper");
    platform.addDirectory(u"D:\\Toolsmith");
    platform.addDirectory(u"D:\\Other");
    config.customDiscoveryPaths = {u"D:"};
    config.allowedFirstLevelSubdirectories.clear();
    config.allowedDirectories = {u"D:\\TOOLS"};
    config.immutableDirectories.clear();
    ASSERT_TRUE(run());
    EXPECT_EQ(entry("D:\\Tools")["allowstate"].asInt(), 1);
    EXPECT_EQ(entry("D:\\Tools\\Inner\\Deeper")["allowstate"].asInt(), 1);
    EXPECT_EQ(entry("D:\\Toolsmith")["allowstate"].asInt(), 1);  // a prefix on units
    EXPECT_EQ(entry("D:\\Other")["allowstate"].asInt(), 0);
}

TEST_F(BuildRun, ModeAllWalksTheFixedDrivesInOrder) {
    platform.driveTypes = {{u'C', kDriveFixed}, {u'D', 5}, {u'E', kDriveFixed}};
    platform.addDirectory(u"C:");
    platform.addDirectory(u"E:");
    config.discoveryMode = "all";
    ASSERT_TRUE(run());
    EXPECT_EQ(recordedPaths(), (std::vector<std::string>{"C:", "E:"}));
    EXPECT_EQ(entry("E:")["osdrive"].asInt(), 0);
}

TEST_F(BuildRun, AnUnknownModeFailsTheRunWith14012AndAFailedDocument) {
    config.discoveryMode = "Custom";
    EXPECT_FALSE(run());
    EXPECT_EQ(engine->statusCode, kStatusUnknownDiscoveryMode);
    EXPECT_TRUE(endsFailed());
    EXPECT_FALSE(engine->counters.endtime.empty());
}

TEST_F(BuildRun, AnUnlistableDirectoryCountsOnlyItself) {
    platform.addFile(u"D:\\Base\\Locked\\a.exe");
    platform.unlistable.insert(MemoryPlatform::modelKey(u"D:\\Base\\Locked"));
    config.customDiscoveryPaths = {u"D:\\Base"};
    ASSERT_TRUE(run());
    EXPECT_EQ(engine->counters.dircnt, 4u);  // root, ".", "..", Locked
    EXPECT_EQ(engine->counters.filecnt, 0u);
}

TEST_F(BuildRun, PublishersAreCollectedOncePerCertificateAndName) {
    const struct {
        const char16_t* file;
        SignerInfo who;
    } signed_[] = {
        {u"D:\\P\\a1.exe", signer(u"Example Ltd", u"01")},
        {u"D:\\P\\a2.exe", signer(u"Example Ltd", u"01")},     // same certificate
        {u"D:\\P\\a3.exe", signer(u"Example Ltd", u"02")},     // second certificate
        {u"D:\\P\\b1.exe", signer(u"Other Corp", u"02")},      // serial already processed
        {u"D:\\P\\c1.exe", signer(u"EXAMPLE LTD", u"03")},     // another spelling
        {u"D:\\P\\d1.exe", signer(u"Pellworth, LLC", u"04")},  // built-in
        {u"D:\\P\\e1.exe", signer(u"New Maker", u"05")},
    };
    for (const auto& s : signed_) {
        platform.addFile(s.file);
        platform.signers[s.file] = {0, s.who};
    }
    platform.addFile(u"D:\\P\\unsigned.exe");
    config.customDiscoveryPaths = {u"D:\\P"};
    ASSERT_TRUE(run());
    const PublisherEntry* example = engine->publisherTable.find(u"Example Ltd");
    ASSERT_NE(example, nullptr);
    EXPECT_EQ(example->certificates,
              (std::vector<std::pair<std::u16string, std::u16string>>{{u"01", u"Test CA"}, {u"02", u"Test CA"}}));
    EXPECT_EQ(engine->publisherTable.find(u"Other Corp"), nullptr);
    EXPECT_EQ(engine->publisherTable.find(u"EXAMPLE LTD"), nullptr);
    EXPECT_NE(engine->publisherTable.find(u"New Maker"), nullptr);
    const PublisherEntry* builtIn = engine->publisherTable.find(u"Pellworth, LLC");
    ASSERT_NE(builtIn, nullptr);
    EXPECT_TRUE(builtIn->certificates.empty());
    EXPECT_FALSE(builtIn->isMutable);
    // Two found, five built in.
    EXPECT_EQ(engine->counters.allowedpubcnt, 7u);
    // The file entries still carry their own signers.
    EXPECT_EQ(entry("D:\\P\\b1.exe")["pubname"].asString(), "Other Corp");
    EXPECT_TRUE(entry("D:\\P\\unsigned.exe")["pubname"].isNull());
}

TEST_F(BuildRun, AllowedPublishersReplaceOrJoinTheTableByExactSpelling) {
    platform.addFile(u"D:\\P\\a.exe");
    platform.signers[u"D:\\P\\a.exe"] = {0, signer(u"Example Ltd", u"0a")};
    platform.addFile(u"D:\\P\\b.exe");
    platform.signers[u"D:\\P\\b.exe"] = {0, signer(u"Second Ltd", u"0b")};
    config.customDiscoveryPaths = {u"D:\\P"};
    config.allowedPublishers = {u"Example Ltd", u"SECOND LTD", u"Never Seen"};
    config.defaultMutable = true;
    ASSERT_TRUE(run());
    const auto& table = engine->publisherTable;
    EXPECT_TRUE(table.find(u"Example Ltd")->certificates.empty());
    EXPECT_EQ(table.find(u"Second Ltd")->certificates.size(), 1u);
    EXPECT_TRUE(table.find(u"SECOND LTD")->certificates.empty());
    EXPECT_EQ(table.find(u"Never Seen"), nullptr);
    // The built-in names were not among the allowed publishers: their entries
    // are made afterwards, not allowed, and not counted.
    EXPECT_EQ(engine->counters.allowedpubcnt, 3u);
    const PublisherEntry* builtIn = table.find(u"Morvane Technologies Limited");
    ASSERT_NE(builtIn, nullptr);
    EXPECT_EQ(builtIn->allowState, 0);
    EXPECT_EQ(builtIn->type, 0);
    EXPECT_EQ(table.size(), 8u);
}

TEST_F(BuildRun, ConfiguredDirectoriesAreListedAsConfigured) {
    platform.addDirectory(u"C:\\Apps");
    platform.addDirectory(u"C:\\Apps\\Sub");
    platform.addDirectory(u"C:\\Frozen");
    config.customDiscoveryPaths = {};
    config.allowedDirectories = {u"C:\\Missing", u"%SystemDrive%\\Apps", u"C:\\APPS\\", u"C:\\Apps\\Sub",
                                 u"c:\\frozen\\", u""};
    config.immutableDirectories = {u"C:\\FROZEN", u"C:\\Apps\\"};
    config.nonStrictPublisherDirectories = {u"c:\\apps\\sub"};
    config.defaultMutable = true;
    ASSERT_TRUE(run());
    const auto& dirs = engine->allowedDirectories;
    ASSERT_EQ(dirs.size(), 6u);
    EXPECT_EQ(directoryEntries(), config.allowedDirectories);
    EXPECT_FALSE(dirs[0].isMutable);  // cannot be queried: treated as a system directory
    EXPECT_FALSE(dirs[1].isMutable);  // immutable after normalisation
    EXPECT_FALSE(dirs[2].isMutable);
    EXPECT_TRUE(dirs[3].isMutable);   // below an immutable directory, but not one
    EXPECT_FALSE(dirs[3].strictPublisher);
    EXPECT_TRUE(dirs[1].strictPublisher);
    EXPECT_FALSE(dirs[4].isMutable);
    EXPECT_EQ(engine->counters.alloweddircnt, 6u);
    // The document lists each normal form once (C:\APPS\ and the unexpanded
    // %SystemDrive%\Apps differ) and no empty path.
    ASSERT_TRUE(documentIsJson);
    EXPECT_EQ(parsed["inventory"]["directories"].size(), 5u);
}

TEST_F(BuildRun, ADirectoryThatDoesNotExpandFailsTheRun) {
    config.allowedDirectories = {u"C:\\X"};
    platform.addDirectory(u"C:\\X");
    platform.failingExpansions.insert(u"C:\\X");
    EXPECT_FALSE(run());
    EXPECT_TRUE(endsFailed());
    EXPECT_TRUE(engine->allowedDirectories.empty());
}

TEST_F(BuildRun, RedirectionIsOffAroundEveryPathCallAloneOnA64BitSystem) {
    testing::scriptWorkstation(platform, 10, 0, 19045, true);
    platform.addDirectory(u"C:\\Base\\A\\B");
    config.customDiscoveryPaths = {u"C:\\Base"};
    ASSERT_TRUE(run());
    // Three listings and three last-write times (the root, A and B).
    EXPECT_EQ(expectRedirectionOffAroundEachPathCallAlone(platform.calls), 6);
    EXPECT_EQ(platform.redirectionDisabled, 0);

    MemoryPlatform& x86 = platform = MemoryPlatform();
    x86.environment = {{u"SystemDrive", u"C:"}, {u"ProgramFiles", u"C:\\Program Files"}};
    x86.addDirectory(u"C:\\Base\\A");
    ASSERT_TRUE(run());
    EXPECT_FALSE(x86.called("Wow64DisableWow64FsRedirection"));
}

TEST_F(BuildRun, TheIdentityLibrariesAreLoadedOnceBeforeTheWalkReadsAnything) {
    testing::scriptWorkstation(platform, 10, 0, 19045, true);
    platform.addFile(u"C:\\Base\\app.exe");
    config.customDiscoveryPaths = {u"C:\\Base"};
    ASSERT_TRUE(run());
    const auto& calls = platform.calls;
    const auto load = std::find(calls.begin(), calls.end(), "loadFileIdentityLibraries");
    ASSERT_NE(load, calls.end());
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "loadFileIdentityLibraries"), 1);
    // Before the first switch-off of redirection in the walk, and so before
    // any listing, time, signer or version read.
    for (const char* later : {"FindFirstFileW", "GetFileAttributesExW", "readSignerInfo", "readVersionStrings",
                              "Wow64DisableWow64FsRedirection"}) {
        EXPECT_LT(load - calls.begin(), std::find(calls.begin(), calls.end(), later) - calls.begin()) << later;
    }
}

TEST_F(BuildRun, ANative64BitProgramListsWithoutTouchingRedirection) {
    // As in a 64-bit process: the disable call fails, and must not be made.
    testing::scriptWorkstation(platform, 10, 0, 19045, true);
    platform.nativeProgram = true;
    platform.wow64DisableFails = true;
    platform.addDirectory(u"C:\\Base\\A\\B");
    platform.addFile(u"C:\\Base\\A\\B\\app.exe");
    config.customDiscoveryPaths = {u"C:\\Base"};
    ASSERT_TRUE(run());
    EXPECT_FALSE(platform.called("Wow64DisableWow64FsRedirection"));
    EXPECT_FALSE(platform.called("Wow64RevertWow64FsRedirection"));
    EXPECT_EQ(engine->counters.supportedfilecnt, 1u);
    ASSERT_TRUE(documentIsJson);
    EXPECT_EQ(parsed["inventory"]["files"].size(), 4u);  // the root, A, B and app.exe
    EXPECT_EQ(parsed["inventoryinfo"]["platform"].asString(), "64-bit");
}

TEST_F(BuildRun, AWalkFailureLeavesAClosedFailedDocumentAndTheCountsReached) {
    testing::scriptWorkstation(platform, 10, 0, 19045, true);
    platform.addDirectory(u"C:\\Base\\A");
    platform.wow64DisableFails = true;
    config.customDiscoveryPaths = {u"C:\\Base"};
    EXPECT_FALSE(run());
    EXPECT_TRUE(endsFailed());
    EXPECT_EQ(engine->counters.dircnt, 1u);
    EXPECT_FALSE(engine->counters.status);
    EXPECT_EQ(platform.openStreams(), 0u);
}

TEST_F(BuildRun, AnExceptionInTheWalkRestoresRedirectionClosesTheSearchAndFinishes) {
    testing::scriptWorkstation(platform, 10, 0, 19045, true);
    platform.addFile(u"C:\\Base\\boom.exe");
    platform.signerReadHook = [](const std::u16string&) { throw std::runtime_error("disk gone"); };
    config.customDiscoveryPaths = {u"C:\\Base"};
    EXPECT_FALSE(run());
    EXPECT_EQ(engine->statusCode, kStatusWriteFailed);
    EXPECT_EQ(platform.redirectionDisabled, 0);
    EXPECT_EQ(platform.openSearches, 0);
    EXPECT_TRUE(endsFailed());
    // As on the normal path: redirection back on first, then the search closed.
    const auto& calls = platform.calls;
    const auto revert = std::find(calls.rbegin(), calls.rend(), "Wow64RevertWow64FsRedirection");
    const auto close = std::find(calls.rbegin(), calls.rend(), "FindClose");
    ASSERT_NE(revert, calls.rend());
    ASSERT_NE(close, calls.rend());
    EXPECT_LT(close - calls.rbegin(), revert - calls.rbegin());
}

TEST_F(BuildRun, AWriterFailureStopsTheWalk) {
    platform.addFile(u"C:\\Base\\a.exe");
    platform.addFile(u"C:\\Base\\b.exe");
    config.customDiscoveryPaths = {u"C:\\Base"};
    platform.failWriteCall = 4;  // "{", the header, the root, then the comma before a.exe
    EXPECT_FALSE(run());
    EXPECT_TRUE(endsFailed());
    EXPECT_EQ(engine->counters.filecnt, 1u);
}

TEST_F(BuildRun, AFailureWhileFinishingTheDocumentFailsTheRun) {
    // The last three writes of a complete run are "misc", "discoverysummary"
    // and the final brace; a full disk shows at any of them, or at the close.
    platform.addFile(u"C:\\Base\\a.exe");
    config.customDiscoveryPaths = {u"C:\\Base"};
    ASSERT_TRUE(run());
    const int writes = platform.writeCalls;
    struct Case {
        const char* step;
        int failWrite;
        bool failClose;
    };
    const Case cases[] = {
        {"misc", writes - 2, false},
        {"discoverysummary", writes - 1, false},
        {"final brace", writes, false},
        {"close", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        platform = MemoryPlatform();
        platform.environment = {{u"SystemDrive", u"C:"}};
        platform.addFile(u"C:\\Base\\a.exe");
        platform.failWriteCall = c.failWrite;
        platform.failClose = c.failClose;
        EXPECT_FALSE(run());
        EXPECT_EQ(engine->statusCode, kStatusWriteFailed);
        EXPECT_EQ(platform.openStreams(), 0u);
        // What a failed close still delivers is whole; the other steps leave
        // a document that is not, and the run says so.
        const bool complete = documentIsJson && parsed["inventory"].isMember("misc") &&
                              parsed["inventory"].isMember("discoverysummary");
        EXPECT_EQ(complete, c.failClose);
    }
}

TEST_F(BuildRun, ARootWrittenWithATrailingBackslashKeepsItsRules) {
    // D:\ gives its children a doubled separator (D:\\Temp); the rules
    // written for D:\Temp still hold, while the paths are recorded as built.
    platform.addDirectory(u"D:\\Temp\\Inner");
    platform.addDirectory(u"D:\\Program Files\\App");
    platform.addDirectory(u"D:\\Tools\\Bin");
    platform.addDirectory(u"D:\\Parents\\Child");
    platform.environment[u"ProgramFiles"] = u"D:\\Program Files";
    config.customDiscoveryPaths = {u"D:\\"};
    config.excludedPaths = {u"d:\\temp"};
    config.allowedFirstLevelSubdirectories = {u"d:\\parents", u"d:\\program files"};
    config.allowedDirectories = {u"D:\\Tools"};
    config.immutableDirectories = {u"D:\\Tools"};
    ASSERT_TRUE(run());
    EXPECT_EQ(recordedPaths(), (std::vector<std::string>{
                                   "D:\\", "D:\\\\Program Files", "D:\\\\Tools", "D:\\\\Parents",
                                   "D:\\\\Program Files\\App", "D:\\\\Tools\\Bin", "D:\\\\Parents\\Child"}));
    EXPECT_EQ(entry("D:\\\\Program Files")["allowstate"].asInt(), 0);
    EXPECT_EQ(entry("D:\\\\Tools\\Bin")["allowstate"].asInt(), 1);
    EXPECT_FALSE(entry("D:\\\\Tools\\Bin")["mutable"].asBool());
    EXPECT_EQ(directoryEntries(), (std::vector<std::u16string>{u"D:\\Tools", u"D:\\\\Program Files\\App",
                                                               u"D:\\\\Parents\\Child"}));
}

TEST_F(BuildRun, AnAllowedDirectoryWithoutAPathAllowsNothing) {
    platform.addDirectory(u"C:\\Base\\A\\B");
    config.customDiscoveryPaths = {u"C:\\Base"};
    config.allowedFirstLevelSubdirectories.clear();
    config.allowedDirectories = {u"", u"C:\\Elsewhere"};
    config.immutableDirectories = {u""};
    config.immutableForSystemDirectory = false;
    ASSERT_TRUE(run());
    EXPECT_EQ(entry("C:\\Base\\A")["allowstate"].asInt(), 0);
    EXPECT_EQ(entry("C:\\Base\\A\\B")["allowstate"].asInt(), 0);
    EXPECT_TRUE(entry("C:\\Base\\A\\B")["mutable"].asBool());
    // Listed, as every configured entry is, but never written.
    EXPECT_EQ(directoryEntries(), (std::vector<std::u16string>{u"", u"C:\\Elsewhere"}));
    ASSERT_TRUE(documentIsJson);
    EXPECT_EQ(parsed["inventory"]["directories"].size(), 1u);
}

TEST_F(BuildRun, AnExistingDocumentIsLeftAloneAndNoEndTimeIsSet) {
    ASSERT_TRUE(run());
    const std::u16string path = engine->outputPath;
    const std::string first = platform.files[path];
    EXPECT_FALSE(run());  // the same title in the same minute
    EXPECT_EQ(engine->statusCode, kStatusOutputNameTaken);
    EXPECT_EQ(platform.files[path], first);
    EXPECT_FALSE(engine->counters.starttime.empty());
    EXPECT_TRUE(engine->counters.endtime.empty());
}

TEST_F(BuildRun, ATreeNestedBeyond260UnitsIsWalkedWithPathsAsBuilt) {
    std::u16string deep = u"C:\\Base";
    while (deep.size() < 400) deep += u"\\a fairly long directory name";
    platform.addFile(deep + u"\\deep.exe");
    platform.signers[deep + u"\\deep.exe"] = {0, signer(u"Deep Maker", u"7f")};
    config.customDiscoveryPaths = {u"C:\\Base"};
    ASSERT_TRUE(run());
    const Json::Value deepEntry = entry(encodeUtf8(deep + u"\\deep.exe"));
    ASSERT_FALSE(deepEntry.isNull());
    EXPECT_EQ(deepEntry["pubname"].asString(), "Deep Maker");
}


// A tree wide enough to keep many workers busy: 24 folders of five
// executables (every other one signed, by four makers taking turns, some
// with version strings) and a text file, a junction, a folder that cannot be
// listed and one whose listing is cut short, under two roots.
void scriptWideTree(MemoryPlatform& platform) {
    const char16_t* const makers[] = {u"Example Ltd", u"Other Corp", u"New Maker", u"Pellworth, LLC"};
    int n = 0;
    for (int a = 0; a < 6; ++a) {
        for (int b = 0; b < 4; ++b) {
            const std::u16string folder = u"D:\\W\\d" + widenAscii(std::to_string(a)) + u"\\s" +
                                          widenAscii(std::to_string(b));
            platform.addFile(folder + u"\\readme.txt");
            for (int f = 0; f < 5; ++f, ++n) {
                const std::u16string file = folder + u"\\app" + widenAscii(std::to_string(f)) + u".exe";
                platform.addFile(file);
                if (f % 2 == 0) platform.signers[file] = {0, signer(makers[n % 4], widenAscii(std::to_string(n % 7)))};
                if (f == 1) {
                    FileVersionStrings strings;
                    strings.fileVersion = u"1.10";
                    strings.productName = u"Tool " + widenAscii(std::to_string(n));
                    platform.versions[file] = {0, strings};
                }
            }
        }
    }
    platform.addDirectory(u"D:\\W\\link", kFileAttributeDirectory | kFileAttributeReparsePoint);
    platform.listingErrors[MemoryPlatform::modelKey(u"D:\\W\\d2\\s1")] = 5;
    platform.listingsCutShort[MemoryPlatform::modelKey(u"D:\\W\\d3")] = {2, 59};
    // Under WOW64 a worker that left redirection on would read the other file.
    platform.addFile(u"C:\\Windows\\System32\\native.exe");
    platform.signers[u"C:\\Windows\\System32\\native.exe"] = {0, signer(u"Native Maker", u"64")};
    platform.addFile(u"C:\\Windows\\SysWOW64\\native.exe");
    platform.signers[u"C:\\Windows\\SysWOW64\\native.exe"] = {0, signer(u"Wow Maker", u"32")};
    platform.addFile(u"C:\\Program Files\\Vendor\\tool.exe");
    platform.signers[u"C:\\Program Files\\Vendor\\tool.exe"] = {0, signer(u"Vendor Ltd", u"0v")};
    // Calls that take time, so that workers finish out of turn.
    platform.listingLatency = std::chrono::microseconds(40);
    platform.identityLatency = std::chrono::microseconds(40);
}

const char16_t* const kWorkerCounts[] = {u"1", u"2", u"8", u"16"};

// Whatever the number of workers, the walk records what one thread records:
// the same bytes, the same failure and cause, the same unlisted folders, and
// redirection back on in every thread, failing runs included.
TEST_F(BuildRun, EveryWorkerCountWritesTheSameDocument) {
    testing::scriptWorkstation(platform, 10, 0, 19045, true);  // a 32-bit program on 64-bit Windows
    scriptWideTree(platform);
    config.customDiscoveryPaths = {u"D:\\W", u"C:\\Windows\\System32", u"C:\\Program Files"};
    const MemoryPlatform tree = platform;
    const struct {
        const char* name;
        std::function<void(MemoryPlatform&)> script;
        bool succeeds;
    } cases[] = {
        {"the whole tree", [](MemoryPlatform&) {}, true},
        {"two reads that throw: the first in walk order ends the run",
         [](MemoryPlatform& p) {
             p.signerReadHook = [](const std::u16string& path) {
                 if (path == u"D:\\W\\d1\\s2\\app2.exe" || path == u"D:\\W\\d4\\s0\\app0.exe") {
                     throw std::runtime_error(encodeUtf8(path));
                 }
             };
         },
         false},
        {"a disk that fills mid-walk", [](MemoryPlatform& p) { p.failWriteCall = 60; }, false},
        {"redirection that cannot be turned off", [](MemoryPlatform& p) { p.wow64DisableFails = true; }, false},
    };
    for (const auto& c : cases) {
        std::string firstDocument;
        std::u16string firstCause;
        std::vector<std::u16string> firstUnlisted;
        for (const char16_t* workers : kWorkerCounts) {
            SCOPED_TRACE(std::string(c.name) + ", workers " + encodeUtf8(workers));
            platform = tree;
            c.script(platform);
            platform.environment[u"BASELINE_THREADS"] = workers;
            EXPECT_EQ(run(), c.succeeds);
            std::vector<std::u16string> unlisted;
            for (const auto& u : engine->unlistedDirectories) unlisted.push_back(u.path + u" " + widenAscii(std::to_string(u.error)));
            EXPECT_EQ(platform.redirectionDisabled, 0);
            EXPECT_EQ(platform.redirectionDisabledElsewhere(), 0);
            EXPECT_EQ(platform.openSearches, 0);
            if (workers == kWorkerCounts[0]) {
                ASSERT_TRUE(documentIsJson);
                if (c.succeeds) {
                    EXPECT_EQ(unlisted.size(), 2u);
                    EXPECT_EQ(entry("C:\\Windows\\System32\\native.exe")["pubname"], "Native Maker");
                }
                firstDocument = document;
                firstCause = engine->cause.text;
                firstUnlisted = unlisted;
                continue;
            }
            if (c.succeeds) {
                EXPECT_GT(platform.maxConcurrentLatency, 1) << "the calls were not read ahead";
            }
            EXPECT_EQ(document, firstDocument);
            EXPECT_EQ(engine->cause.text, firstCause);
            EXPECT_EQ(unlisted, firstUnlisted);
        }
    }
}

// Stopped at any point, with any number of workers, the document is a closed
// failed one holding, in walk order, the first records of the whole run.
TEST_F(BuildRun, AnInterruptedRunHoldsThePrefixOfTheWholeRunForEveryWorkerCount) {
    scriptWideTree(platform);
    config.customDiscoveryPaths = {u"D:\\W", u"C:\\Program Files"};
    const MemoryPlatform tree = platform;
    ASSERT_TRUE(run());
    const Json::Value whole = files();
    ASSERT_GT(whole.size(), 100u);
    for (const char16_t* workers : kWorkerCounts) {
        for (const int at : {2, 9, 40, 120}) {
            SCOPED_TRACE("workers " + encodeUtf8(workers) + ", Ctrl+C at check " + std::to_string(at));
            platform = tree;
            platform.environment[u"BASELINE_THREADS"] = workers;
            platform.ctrlEventAtCheck = at;
            EXPECT_FALSE(run());
            EXPECT_EQ(engine->statusCode, kStatusInterrupted);
            ASSERT_TRUE(documentIsJson);
            EXPECT_TRUE(endsFailed());
            ASSERT_LT(files().size(), whole.size());
            for (Json::ArrayIndex i = 0; i < files().size(); ++i) EXPECT_EQ(files()[i], whole[i]) << "record " << i;
            // What was counted is what was recorded: no entry counted while its facts were awaited.
            Json::ArrayIndex applications = 0;
            for (const auto& e : files()) applications += e["ftype"].asString() == "application" ? 1 : 0;
            EXPECT_EQ(parsed["inventory"]["discoverysummary"]["supportedfilecnt"].asUInt(), applications);
        }
    }
}

// A worker held in one call (a share that stopped answering) does not hold
// the end of an interrupted run: the run ends while the call is still under
// way, and the worker comes back to find the run gone.
TEST_F(BuildRun, AWorkerStuckInOneCallDoesNotHoldTheEnd) {
    platform.addFile(u"D:\\S\\slow.exe");
    platform.addFile(u"D:\\S\\next.exe");
    config.customDiscoveryPaths = {u"D:\\S"};
    platform.environment[u"BASELINE_THREADS"] = u"4";
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> stuck{false};
    std::atomic<bool> waitedOut{false};
    platform.signerReadGate = [&](const std::u16string& path) {
        if (path != u"D:\\S\\slow.exe") return;
        stuck = true;
        platform.pressCtrlNow();
        if (released.wait_for(std::chrono::seconds(30)) == std::future_status::timeout) waitedOut = true;
    };
    EXPECT_FALSE(run());
    const bool endedWhileStuck = stuck && released.wait_for(std::chrono::seconds(0)) == std::future_status::timeout;
    release.set_value();
    EXPECT_TRUE(endedWhileStuck);
    EXPECT_FALSE(waitedOut) << "the run waited for the stuck call";
    EXPECT_EQ(engine->statusCode, kStatusInterrupted);
    EXPECT_TRUE(endsFailed());
    EXPECT_EQ(entry("D:\\S\\slow.exe"), Json::Value());
    // The platform outlives the worker: it still reads the version strings.
    bool back = false;
    for (int i = 0; i < 3000 && !back; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        platform.whileLocked([&] { back = platform.versionReads.count(u"D:\\S\\slow.exe") != 0; });
    }
    EXPECT_TRUE(back);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

}  // namespace
}  // namespace baseline
