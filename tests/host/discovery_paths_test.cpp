// Discovery roots and the path lookups: modes, expansion, prefix matching on
// code units, build-once sets and the Program Files directories.
#include <gtest/gtest.h>

#include "discovery/discovery_paths.h"
#include "memory_platform.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

struct Fixture {
    Fixture() {
        platform.environment = {{u"SystemDrive", u"C:"},
                                {u"ProgramFiles", u"C:\\Program Files"},
                                {u"WINDIR", u"C:\\Windows"}};
    }
    MemoryPlatform platform;
    BaselineConfig config;
};

TEST(BuildRoots, ModesAreExactLiterals) {
    struct Case {
        std::string mode;
        bool ok;
        std::vector<std::u16string> roots;
    };
    const Case cases[] = {
        {"osdrive", true, {u"C:"}},
        {"all", true, {u"C:", u"E:"}},
        {"custom", true, {u"D:\\Data", u"C:\\", u"D:\\Data"}},
        {"OSDRIVE", false, {}},
        {"Custom", false, {}},
        {"osdrive ", false, {}},
        {"", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        Fixture f;
        f.platform.driveTypes = {{u'A', 2}, {u'B', 2}, {u'C', 3}, {u'D', 5}, {u'E', 3}, {u'F', 4}};
        f.config.discoveryMode = c.mode;
        f.config.customDiscoveryPaths = {u"D:\\Data", u"C:\\", u"D:\\Data"};
        DiscoveryPaths paths(f.platform, f.config);
        std::vector<std::u16string> roots{u"stale"};
        EXPECT_EQ(paths.buildRoots(u"C:", roots), c.ok);
        if (c.ok) {
            EXPECT_EQ(roots, c.roots);
        }
    }
}

TEST(BuildRoots, AllAsksOnlyCToZAndCustomMayBeEmpty) {
    Fixture f;
    f.config.discoveryMode = "all";
    DiscoveryPaths paths(f.platform, f.config);
    std::vector<std::u16string> roots;
    ASSERT_TRUE(paths.buildRoots(u"C:", roots));
    EXPECT_TRUE(roots.empty());
    EXPECT_EQ(std::count(f.platform.calls.begin(), f.platform.calls.end(), "GetDriveTypeW"), 24);

    Fixture empty;
    empty.config.discoveryMode = "custom";
    DiscoveryPaths none(empty.platform, empty.config);
    EXPECT_TRUE(none.buildRoots(u"C:", roots));
    EXPECT_TRUE(roots.empty());
}

TEST(SystemDrive, FirstTwoUnitsOfTheExpansion) {
    Fixture f;
    DiscoveryPaths paths(f.platform, f.config);
    std::u16string drive;
    ASSERT_TRUE(paths.readSystemDrive(drive));
    EXPECT_EQ(drive, u"C:");

    f.platform.environment.erase(u"SystemDrive");  // undefined: stays as written
    ASSERT_TRUE(paths.readSystemDrive(drive));
    EXPECT_EQ(drive, u"%S");

    f.platform.expansionFails = true;
    EXPECT_FALSE(paths.readSystemDrive(drive));
}

TEST(ExpandPath, LongExpansionsAreNeverCut) {
    Fixture f;
    f.platform.environment[u"DEEP"] = std::u16string(400, u'd');
    std::u16string expanded;
    ASSERT_TRUE(expandPath(f.platform, u"C:\\%DEEP%\\x", expanded));
    EXPECT_EQ(expanded, u"C:\\" + std::u16string(400, u'd') + u"\\x");
    ASSERT_TRUE(expandPath(f.platform, u"%UNDEFINED%\\x", expanded));
    EXPECT_EQ(expanded, u"%UNDEFINED%\\x");
    f.platform.expansionFails = true;
    expanded = u"kept";
    EXPECT_FALSE(expandPath(f.platform, u"x", expanded));
    EXPECT_EQ(expanded, u"kept");
}

TEST(Lookups, ExclusionAndFirstLevelCompareWholeNormalForms) {
    Fixture f;
    f.config.excludedPaths = {u"c:\\temp", u""};
    f.config.allowedFirstLevelSubdirectories = {u"c:\\program files"};
    DiscoveryPaths paths(f.platform, f.config);
    EXPECT_TRUE(paths.isExcluded(u"C:\\TEMP"));
    EXPECT_TRUE(paths.isExcluded(u"C:\\Temp\\"));
    EXPECT_FALSE(paths.isExcluded(u"C:\\Temp\\sub"));
    // Runs of separators count as one: the children of a root written C:\ are
    // C:\\Temp and the like, and meet the rules written for C:\Temp.
    EXPECT_TRUE(paths.isExcluded(u"C:\\Temp\\\\"));
    EXPECT_TRUE(paths.isExcluded(u"C:\\\\Temp"));
    EXPECT_FALSE(paths.isExcluded(u"C:\\\\Temp\\sub"));
    EXPECT_TRUE(paths.isExcluded(u""));
    EXPECT_TRUE(paths.isFirstLevelParent(u"C:\\Program Files"));
    EXPECT_FALSE(paths.isFirstLevelParent(u"C:\\Program Files\\App"));
    EXPECT_FALSE(paths.isExcluded(u"C:\\T\u00C9MP"));  // non-ASCII letters keep their case
}

TEST(Lookups, AllowedDirectoriesMatchAsUnitPrefixes) {
    Fixture f;
    f.config.allowedDirectories = {u"%ProgramFiles%\\App\\"};
    DiscoveryPaths paths(f.platform, f.config);
    EXPECT_TRUE(paths.isUnderAllowedDirectory(u"c:\\program files\\app\\bin"));
    EXPECT_TRUE(paths.isUnderAllowedDirectory(u"C:\\PROGRAM FILES\\APPLE"));
    EXPECT_TRUE(paths.isUnderAllowedDirectory(u"C:\\Program Files\\App"));
    EXPECT_FALSE(paths.isUnderAllowedDirectory(u"C:\\Program Files\\Ap"));
    EXPECT_FALSE(paths.isUnderAllowedDirectory(u"D:\\Program Files\\App"));
}

TEST(Lookups, ThePrefixSetIsBuiltOnceAndNeverExtended) {
    Fixture f;
    f.config.allowedDirectories = {u"C:\\One"};
    DiscoveryPaths paths(f.platform, f.config);
    EXPECT_TRUE(paths.isUnderAllowedDirectory(u"C:\\One\\x"));
    f.config.allowedDirectories.push_back(u"C:\\Two");
    EXPECT_FALSE(paths.isUnderAllowedDirectory(u"C:\\Two\\x"));
}

TEST(Lookups, AFailedBuildAnswersFalseAndIsTriedAgainWhileEmpty) {
    Fixture f;
    f.config.allowedDirectories = {u"C:\\One", u"C:\\Two"};
    DiscoveryPaths paths(f.platform, f.config);
    f.platform.expansionFails = true;
    EXPECT_FALSE(paths.isUnderAllowedDirectory(u"C:\\One\\x"));
    f.platform.expansionFails = false;
    EXPECT_TRUE(paths.isUnderAllowedDirectory(u"C:\\One\\x"));
}

TEST(Lookups, ImmutableSetsAreSeparateAndWaitForANonEmptyList) {
    Fixture f;
    std::vector<std::u16string> immutable;
    DiscoveryPaths paths(f.platform, f.config);
    bool under = true;
    ASSERT_TRUE(paths.isUnderImmutableDirectory(paths.walkImmutableSet, immutable, u"C:\\Sys\\x", under));
    EXPECT_FALSE(under);
    EXPECT_TRUE(paths.walkImmutableSet.empty());

    immutable.push_back(u"C:\\Sys");
    ASSERT_TRUE(paths.isUnderImmutableDirectory(paths.walkImmutableSet, immutable, u"C:\\SYS\\x", under));
    EXPECT_TRUE(under);
    immutable.push_back(u"C:\\Later");  // appended after the first build: never seen by that set
    ASSERT_TRUE(paths.isUnderImmutableDirectory(paths.walkImmutableSet, immutable, u"C:\\Later\\x", under));
    EXPECT_FALSE(under);
    // The other set is built on its own and sees the whole list.
    ASSERT_TRUE(paths.isUnderImmutableDirectory(paths.buildImmutableSet, immutable, u"C:\\Later\\x", under));
    EXPECT_TRUE(under);

    Fixture failing;
    DiscoveryPaths broken(failing.platform, failing.config);
    failing.platform.expansionFails = true;
    EXPECT_FALSE(broken.isUnderImmutableDirectory(broken.walkImmutableSet, immutable, u"C:\\Sys", under));
}

TEST(ProgramFiles, NativeAndX86DirectoriesIgnoringAsciiCase) {
    Fixture x86;  // a 32-bit system: %PROGRAMFILES(X86)% stays unexpanded
    DiscoveryPaths paths32(x86.platform, x86.config);
    EXPECT_TRUE(paths32.isProgramFilesDirectory(u"c:\\PROGRAM FILES"));
    EXPECT_FALSE(paths32.isProgramFilesDirectory(u"C:\\Program Files (x86)"));
    EXPECT_FALSE(paths32.isProgramFilesDirectory(u"C:\\Program Files\\"));
    EXPECT_FALSE(paths32.isProgramFilesDirectory(u"C:\\Program Files\\App"));
    // A child of a root written C:\ has a doubled separator and is still it.
    EXPECT_TRUE(paths32.isProgramFilesDirectory(u"C:\\\\Program Files"));

    Fixture x64;
    x64.platform.nativeArchitecture = 9;
    x64.platform.environment[u"ProgramFiles"] = u"C:\\Program Files (x86)";
    x64.platform.environment[u"ProgramW6432"] = u"C:\\Program Files";
    x64.platform.environment[u"ProgramFiles(x86)"] = u"C:\\Program Files (x86)";
    DiscoveryPaths paths64(x64.platform, x64.config);
    EXPECT_TRUE(paths64.isProgramFilesDirectory(u"C:\\Program Files"));
    EXPECT_TRUE(paths64.isProgramFilesDirectory(u"C:\\program files (X86)"));
    EXPECT_FALSE(paths64.isProgramFilesDirectory(u"C:\\Windows"));
}

TEST(ProgramFiles, AnExpansionFailureAnswersTrueUntilItSucceeds) {
    Fixture f;
    DiscoveryPaths paths(f.platform, f.config);
    f.platform.expansionFails = true;
    EXPECT_TRUE(paths.isProgramFilesDirectory(u"C:\\Windows"));
    EXPECT_TRUE(paths.isProgramFilesDirectory(u"C:\\anything"));
    f.platform.expansionFails = false;
    EXPECT_FALSE(paths.isProgramFilesDirectory(u"C:\\Windows"));
    EXPECT_TRUE(paths.isProgramFilesDirectory(u"C:\\Program Files"));
}

// The walk hands each lookup a path with its normal form made once; every
// answer must be the one the path alone gets.
TEST(LookupPaths, APathWithItsNormalFormIsAnsweredAsThePathAlone) {
    const std::u16string paths[] = {
        u"",
        u"C:\\Temp",
        u"C:\\TEMP\\",
        u"C:\\\\Temp",
        u"C:\\Temp\\sub",
        u"C:\\Program Files",
        u"C:\\Program Files\\",
        u"C:\\\\PROGRAM FILES",
        u"C:\\Program Files\\App",
        u"C:\\Program Files\\Apple",
        u"C:\\Windows\\System32",
        u"C:\\Windows\\\\System32\\drivers",
        u"C:\\T\u00C9MP",
        u"D:\\Temp",
    };
    Fixture f;
    f.config.excludedPaths = {u"c:\\temp"};
    f.config.allowedFirstLevelSubdirectories = {u"c:\\program files"};
    f.config.allowedDirectories = {u"C:\\Program Files\\App\\"};
    const std::vector<std::u16string> immutable = {u"%WINDIR%"};
    DiscoveryPaths byPath(f.platform, f.config);
    DiscoveryPaths byLookup(f.platform, f.config);
    for (const auto& path : paths) {
        SCOPED_TRACE(std::string(path.begin(), path.end()));
        const std::u16string normal = normalizePath(path);
        const LookupPath lookup{path, normal};
        EXPECT_EQ(byLookup.isExcluded(lookup), byPath.isExcluded(path));
        EXPECT_EQ(byLookup.isFirstLevelParent(lookup), byPath.isFirstLevelParent(path));
        EXPECT_EQ(byLookup.isUnderAllowedDirectory(lookup), byPath.isUnderAllowedDirectory(path));
        EXPECT_EQ(byLookup.isProgramFilesDirectory(lookup), byPath.isProgramFilesDirectory(path));
        bool underByPath = false, underByLookup = false;
        EXPECT_EQ(byLookup.isUnderImmutableDirectory(byLookup.walkImmutableSet, immutable, lookup, underByLookup),
                  byPath.isUnderImmutableDirectory(byPath.walkImmutableSet, immutable, path, underByPath));
        EXPECT_EQ(underByLookup, underByPath);
    }
    // The table means something: each lookup says yes somewhere.
    EXPECT_TRUE(byPath.isExcluded(u"C:\\\\Temp"));
    EXPECT_TRUE(byPath.isUnderAllowedDirectory(u"C:\\Program Files\\Apple"));
    EXPECT_FALSE(byPath.isProgramFilesDirectory(u"C:\\Program Files\\"));
    EXPECT_TRUE(byPath.isProgramFilesDirectory(u"C:\\\\PROGRAM FILES"));
}

}  // namespace
}  // namespace baseline
