// loadBaselineConfig over every row of the schema and its edge cases: each
// case is a JSON text, put through the encoder and the whole load, and the
// complete record it must produce (the defaults plus the case's changes).
#include <gtest/gtest.h>

#include <functional>

#include "config/baseline_config.h"
#include "config_fixtures.h"
#include "platform/utf.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

using Edit = std::function<void(BaselineConfig&)>;
using Setup = std::function<void(MemoryPlatform&)>;

const std::vector<std::u16string> kDefaultDirectories = {
    u"%TEMP%", u"%WINDIR%", u"%SYSTEMDRIVE%\\Documents and Settings", u"%SYSTEMDRIVE%\\Recovery",
    u"%SYSTEMDRIVE%\\System Volume Information"};

// What `{}` loads to on the scripted machine.
BaselineConfig defaults() {
    BaselineConfig config;
    config.discoveryMode = "osdrive";
    // %PROGRAMFILES(X86)% is undefined on 32-bit Windows: the expansion
    // succeeds and leaves it as written.
    config.allowedFirstLevelSubdirectories = {u"c:", u"c:\\program files", u"%programfiles(x86)%"};
    config.allowedDirectories = kDefaultDirectories;
    config.immutableDirectories = kDefaultDirectories;
    config.nonStrictPublisherDirectories = {u"c:\\users\\admin\\appdata\\local\\temp", u"c:\\windows",
                                            u"c:\\documents and settings", u"c:\\recovery",
                                            u"c:\\system volume information"};
    config.immutableForSystemDirectory = true;
    config.globalAllowAppIfPublisherAllowed = false;
    return config;
}

// 64-bit Windows as a 32-bit program sees it (%PROGRAMFILES% is the x86
// directory), or as a native 64-bit program does.
void scriptWow64Environment(MemoryPlatform& p, bool nativeProgram) {
    p.nativeArchitecture = 9;
    p.nativeProgram = nativeProgram;
    p.environment[u"PROGRAMFILES"] = nativeProgram ? u"C:\\Program Files" : u"C:\\Program Files (x86)";
    p.environment[u"ProgramFiles(x86)"] = u"C:\\Program Files (x86)";
    p.environment[u"ProgramW6432"] = u"C:\\Program Files";
    p.environment[u"CommonProgramFiles"] =
        nativeProgram ? u"C:\\Program Files\\Common Files" : u"C:\\Program Files (x86)\\Common Files";
    p.environment[u"CommonProgramW6432"] = u"C:\\Program Files\\Common Files";
}

void noAllowedDirectories(BaselineConfig& c) {
    c.allowedDirectories.clear();
    c.immutableDirectories.clear();
    c.nonStrictPublisherDirectories.clear();
}

void expectSame(const BaselineConfig& actual, const BaselineConfig& expected) {
    EXPECT_EQ(actual.discoveryMode, expected.discoveryMode);
    EXPECT_EQ(actual.customDiscoveryPaths, expected.customDiscoveryPaths);
    EXPECT_EQ(actual.excludedPaths, expected.excludedPaths);
    EXPECT_EQ(actual.allowedPublishers, expected.allowedPublishers);
    EXPECT_EQ(actual.allowedDirectories, expected.allowedDirectories);
    EXPECT_EQ(actual.allowedFirstLevelSubdirectories, expected.allowedFirstLevelSubdirectories);
    EXPECT_EQ(actual.immutableDirectories, expected.immutableDirectories);
    EXPECT_EQ(actual.nonStrictPublisherDirectories, expected.nonStrictPublisherDirectories);
    EXPECT_EQ(actual.globalAllowAppIfPublisherAllowed, expected.globalAllowAppIfPublisherAllowed);
    EXPECT_EQ(actual.immutableForSystemDirectory, expected.immutableForSystemDirectory);
    EXPECT_EQ(actual.defaultMutable, expected.defaultMutable);
}

struct Case {
    const char* proves;
    std::string json;
    bool loads;
    Edit edit = [](BaselineConfig&) {};
    Setup setup = [](MemoryPlatform&) {};
};

void runCases(const std::vector<Case>& cases) {
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.proves) + ": " + c.json);
        MemoryPlatform platform;
        testing::scriptWindowsEnvironment(platform);
        c.setup(platform);
        testing::placeConfig(platform, c.json);
        BaselineConfig config;
        const std::size_t outputBefore = platform.output.size();
        ASSERT_EQ(config.loadBaselineConfig(platform), c.loads);
        EXPECT_EQ(platform.output.size(), outputBefore) << "the loader prints nothing";
        if (c.loads) {
            BaselineConfig expected = defaults();
            c.edit(expected);
            expectSame(config, expected);
        }
    }
}

TEST(LoadBaselineConfig, RootAndParsing) {
    runCases({
        {"an empty object takes every default", "{}", true},
        {"a null root counts as an object without members", "null", true},
        {"comments are allowed", "// settings\n{ /* none */ }", true},
        {"text after the root is not rejected", "{} trailing", true},
        {"a UTF-8 byte order mark is skipped", "\xEF\xBB\xBF{}", true},
        {"a trailing comma is accepted by the library's defaults",
         R"({"allowed_publishers": ["A",],})", true, [](auto& c) { c.allowedPublishers = {u"A"}; }},
        {"a duplicate key: the last one counts", R"({"paths_to_discover": "all", "paths_to_discover": "osdrive"})",
         true},
        {"unknown keys are ignored", R"({"colour": "blue", "Paths_To_Discover": "all"})", true},
        {"a root array fails", "[]", false},
        {"a root number fails", "5", false},
        {"a root string fails", R"("{}")", false},
        {"a root boolean fails", "true", false},
        {"an empty text fails", "", false},
        {"blanks only fail", "  \n", false},
        {"a syntax error fails", R"({"paths_to_discover": })", false},
        {"single quotes are refused", "{'paths_to_discover': 'all'}", false},
        {"an unterminated object fails", "{", false},
    });
}

TEST(LoadBaselineConfig, PathsToDiscover) {
    runCases({
        {"null is empty", R"({"paths_to_discover": null})", true},
        {"an empty array is empty", R"({"paths_to_discover": []})", true},
        {"an empty object is empty", R"({"paths_to_discover": {}})", true},
        {"a string sets the mode", R"({"paths_to_discover": "all"})", true,
         [](auto& c) { c.discoveryMode = "all"; }},
        {"the string custom without paths", R"({"paths_to_discover": "custom"})", true,
         [](auto& c) { c.discoveryMode = "custom"; }},
        {"any string is taken as it is", R"({"paths_to_discover": "OSDrive"})", true,
         [](auto& c) { c.discoveryMode = "OSDrive"; }},
        {"the empty string", R"({"paths_to_discover": ""})", true, [](auto& c) { c.discoveryMode = ""; }},
        {"the mode keeps its UTF-8 bytes", "{\"paths_to_discover\": \"d\xC3\xA9j\xC3\xA0\"}", true,
         [](auto& c) { c.discoveryMode = "d\xC3\xA9j\xC3\xA0"; }},
        {"a number is ignored and leaves the mode empty", R"({"paths_to_discover": 5})", true,
         [](auto& c) { c.discoveryMode = ""; }},
        {"a boolean is ignored", R"({"paths_to_discover": true})", true, [](auto& c) { c.discoveryMode = ""; }},
        {"a non-empty object is ignored", R"({"paths_to_discover": {"a": "C:\\Tools"}})", true,
         [](auto& c) { c.discoveryMode = ""; }},
        {"an array gives custom paths, expanded, case kept, in order",
         R"({"paths_to_discover": ["C:\\Tools", "%SystemDrive%\\Windows", "D:\\Data"]})", true,
         [](auto& c) {
             c.discoveryMode = "custom";
             c.customDiscoveryPaths = {u"C:\\Tools", u"C:\\Windows", u"D:\\Data"};
         }},
        {"a custom path may repeat", R"({"paths_to_discover": ["C:\\Tools", "C:\\Tools"]})", true,
         [](auto& c) {
             c.discoveryMode = "custom";
             c.customDiscoveryPaths = {u"C:\\Tools", u"C:\\Tools"};
         }},
        {"a missing directory fails", R"({"paths_to_discover": ["C:\\Tools", "C:\\Missing"]})", false},
        {"a file is not a directory", R"({"paths_to_discover": ["C:\\Windows\\notepad.exe"]})", false},
        {"the existence test must pass too", R"({"paths_to_discover": ["C:\\Tools"]})", false, {},
         [](auto& p) { p.accessDenied.insert(u"C:\\Tools"); }},
        {"the empty string fails", R"({"paths_to_discover": [""]})", false},
        {"null becomes the empty string and fails", R"({"paths_to_discover": [null]})", false},
        {"a number becomes its text", R"({"paths_to_discover": [5]})", true,
         [](auto& c) {
             c.discoveryMode = "custom";
             c.customDiscoveryPaths = {u"5"};
         },
         [](auto& p) { p.fileAttributes[u"5"] = kFileAttributeDirectory; }},
        {"an array element fails", R"({"paths_to_discover": [["C:\\Tools"]]})", false},
        {"an object element fails", R"({"paths_to_discover": [{"a": 1}]})", false},
        {"a failed expansion fails", R"({"paths_to_discover": ["%X%"]})", false, {},
         [](auto& p) { p.failingExpansions.insert(u"%X%"); }},
    });
}

TEST(LoadBaselineConfig, PathsExcludedFromDiscovery) {
    runCases({
        {"entries are expanded and normalised",
         R"({"paths_excluded_from_discovery": ["%WINDIR%\\Logs", "D:\\Big Files"]})", true,
         [](auto& c) { c.excludedPaths = {u"c:\\windows\\logs", u"d:\\big files"}; }},
        {"one trailing backslash goes", R"({"paths_excluded_from_discovery": ["C:\\Temp\\"]})", true,
         [](auto& c) { c.excludedPaths = {u"c:\\temp"}; }},
        {"two trailing backslashes are one run, and go", R"({"paths_excluded_from_discovery": ["C:\\Temp\\\\"]})",
         true, [](auto& c) { c.excludedPaths = {u"c:\\temp"}; }},
        {"only ASCII letters are lowered", "{\"paths_excluded_from_discovery\": [\"C:\\\\\xC3\x89T\xC3\xA9\"]}", true,
         [](auto& c) { c.excludedPaths = {u"c:\\\u00C9t\u00E9"}; }},
        {"one copy of each, ordered by code units",
         R"({"paths_excluded_from_discovery": ["c:\\b", "C:\\B", "C:\\a", "C:\\B\\"]})", true,
         [](auto& c) { c.excludedPaths = {u"c:\\a", u"c:\\b"}; }},
        {"existence is not checked", R"({"paths_excluded_from_discovery": ["Q:\\nowhere"]})", true,
         [](auto& c) { c.excludedPaths = {u"q:\\nowhere"}; }},
        {"the empty string is stored", R"({"paths_excluded_from_discovery": [""]})", true,
         [](auto& c) { c.excludedPaths = {u""}; }},
        {"a lone backslash becomes empty", R"({"paths_excluded_from_discovery": ["\\"]})", true,
         [](auto& c) { c.excludedPaths = {u""}; }},
        {"numbers, booleans and null become text",
         R"({"paths_excluded_from_discovery": [5, 1.5, true, null, -0]})", true,
         [](auto& c) { c.excludedPaths = {u"5", u"1.5", u"true", u"", u"0"}; }},
        {"a string is not an array and is ignored", R"({"paths_excluded_from_discovery": "C:\\Temp"})", true},
        {"an object is ignored", R"({"paths_excluded_from_discovery": {"a": "C:\\Temp"}})", true},
        {"an array element fails", R"({"paths_excluded_from_discovery": [["C:\\Temp"]]})", false},
        {"a failed expansion fails", R"({"paths_excluded_from_discovery": ["%X%"]})", false, {},
         [](auto& p) { p.failingExpansions.insert(u"%X%"); }},
    });
}

TEST(LoadBaselineConfig, Switches) {
    auto system = [](bool value) { return [value](BaselineConfig& c) { c.immutableForSystemDirectory = value; }; };
    auto global = [](bool value) {
        return [value](BaselineConfig& c) { c.globalAllowAppIfPublisherAllowed = value; };
    };
    runCases({
        {"immutable_for_system_directory false", R"({"immutable_for_system_directory": false})", true, system(false)},
        {"true", R"({"immutable_for_system_directory": true})", true, system(true)},
        {"the number 0 is false", R"({"immutable_for_system_directory": 0})", true, system(false)},
        {"0.0 is false", R"({"immutable_for_system_directory": 0.0})", true, system(false)},
        {"a non-zero number is true", R"({"immutable_for_system_directory": -3})", true, system(true)},
        {"a fraction is true", R"({"immutable_for_system_directory": 0.25})", true, system(true)},
        {"null is empty: true", R"({"immutable_for_system_directory": null})", true, system(true)},
        {"an empty object is empty: true", R"({"immutable_for_system_directory": {}})", true, system(true)},
        {"an empty array is empty: true", R"({"immutable_for_system_directory": []})", true, system(true)},
        {"a string fails", R"({"immutable_for_system_directory": "false"})", false},
        {"a non-empty array fails", R"({"immutable_for_system_directory": [false]})", false},
        {"a non-empty object fails", R"({"immutable_for_system_directory": {"a": false}})", false},

        {"global_allow_app_if_publisher_allowed true", R"({"global_allow_app_if_publisher_allowed": true})", true,
         global(true)},
        {"a number counts when non-zero", R"({"global_allow_app_if_publisher_allowed": 2})", true, global(true)},
        {"0 is false", R"({"global_allow_app_if_publisher_allowed": 0})", true, global(false)},
        {"{} is empty: false", R"({"global_allow_app_if_publisher_allowed": {}})", true, global(false)},
        {"a string fails", R"({"global_allow_app_if_publisher_allowed": "true"})", false},

        {"AllowAppIfPublisherAllowed alone is overridden by the absent later key",
         R"({"AllowAppIfPublisherAllowed": true})", true, global(false)},
        {"both true", R"({"AllowAppIfPublisherAllowed": true, "global_allow_app_if_publisher_allowed": true})", true,
         global(true)},
        {"the later key wins in either spelling order",
         R"({"global_allow_app_if_publisher_allowed": true, "AllowAppIfPublisherAllowed": false})", true,
         global(true)},
        {"a string AllowAppIfPublisherAllowed fails", R"({"AllowAppIfPublisherAllowed": "yes"})", false},
        {"an array AllowAppIfPublisherAllowed fails", R"({"AllowAppIfPublisherAllowed": [true]})", false},
        {"an empty array AllowAppIfPublisherAllowed is empty", R"({"AllowAppIfPublisherAllowed": []})", true},
    });
}

TEST(LoadBaselineConfig, AllowedFirstLevelSubdirectories) {
    runCases({
        {"configured entries replace the defaults",
         R"({"allowed_first_level_subdirectories": ["%SYSTEMDRIVE%\\Apps\\", "D:\\"]})", true,
         [](auto& c) { c.allowedFirstLevelSubdirectories = {u"c:\\apps", u"d:"}; }},
        {"an empty array takes the defaults", R"({"allowed_first_level_subdirectories": []})", true},
        {"a string is not an array: the defaults", R"({"allowed_first_level_subdirectories": "D:\\"})", true},
        {"an object is not an array: the defaults", R"({"allowed_first_level_subdirectories": {"a": "D:\\"}})",
         true},
        {"a number: the defaults", R"({"allowed_first_level_subdirectories": 7})", true},
        {"the empty string is stored", R"({"allowed_first_level_subdirectories": [""]})", true,
         [](auto& c) { c.allowedFirstLevelSubdirectories = {u""}; }},
        {"an array element fails", R"({"allowed_first_level_subdirectories": [["D:\\"]]})", false},
        {"a failed expansion fails", R"({"allowed_first_level_subdirectories": ["%X%"]})", false, {},
         [](auto& p) { p.failingExpansions.insert(u"%X%"); }},
        {"except for %PROGRAMFILES(x86)% in any case, which is skipped",
         R"({"allowed_first_level_subdirectories": ["%programFiles(X86)%", "D:\\"]})", true,
         [](auto& c) { c.allowedFirstLevelSubdirectories = {u"d:"}; },
         [](auto& p) { p.failingExpansions.insert(u"%programFiles(X86)%"); }},
        {"the default %PROGRAMFILES(X86)% is skipped the same way", "{}", true,
         [](auto& c) { c.allowedFirstLevelSubdirectories = {u"c:", u"c:\\program files"}; },
         [](auto& p) { p.failingExpansions.insert(u"%PROGRAMFILES(X86)%"); }},
        {"on 64-bit Windows the default expands", "{}", true,
         [](auto& c) {
             c.allowedFirstLevelSubdirectories = {u"c:", u"c:\\program files", u"c:\\program files (x86)"};
         },
         [](auto& p) { p.environment[u"ProgramFiles(x86)"] = u"C:\\Program Files (x86)"; }},
        // Both programs on one 64-bit machine get both Program Files
        // directories from the defaults, although %PROGRAMFILES% differs.
        {"a 32-bit program on 64-bit Windows: the default names the native directory", "{}", true,
         [](auto& c) {
             c.allowedFirstLevelSubdirectories = {u"c:", u"c:\\program files", u"c:\\program files (x86)"};
         },
         [](auto& p) { scriptWow64Environment(p, false); }},
        {"a native 64-bit program: the same set", "{}", true,
         [](auto& c) {
             c.allowedFirstLevelSubdirectories = {u"c:", u"c:\\program files", u"c:\\program files (x86)"};
         },
         [](auto& p) { scriptWow64Environment(p, true); }},
        // A configured %PROGRAMFILES% or %COMMONPROGRAMFILES% means the
        // native folder in the 32-bit program too, wherever it is written.
        {"a configured %PROGRAMFILES% names the native directory under WOW64",
         R"({"allowed_first_level_subdirectories": ["%ProgramFiles%", "%COMMONPROGRAMFILES%\\X"]})", true,
         [](auto& c) {
             c.allowedFirstLevelSubdirectories = {u"c:\\program files", u"c:\\program files\\common files\\x"};
         },
         [](auto& p) { scriptWow64Environment(p, false); }},
        {"and in the native program", R"({"allowed_first_level_subdirectories": ["%PROGRAMFILES%"]})", true,
         [](auto& c) { c.allowedFirstLevelSubdirectories = {u"c:\\program files"}; },
         [](auto& p) { scriptWow64Environment(p, true); }},
        // Windows pairs percent signs left to right, and an undefined name's
        // closing sign opens the next reference: the renaming follows it.
        {"a defined name before it takes its opening sign",
         R"({"allowed_first_level_subdirectories": ["%WINDIR%PROGRAMFILES%"]})", true,
         [](auto& c) { c.allowedFirstLevelSubdirectories = {u"c:\\windowsprogramfiles%"}; },
         [](auto& p) { scriptWow64Environment(p, false); }},
        {"an undefined name before it leaves it a reference",
         R"({"allowed_first_level_subdirectories": ["%NOSUCH%PROGRAMFILES%"]})", true,
         [](auto& c) { c.allowedFirstLevelSubdirectories = {u"%nosuchc:\\program files"}; },
         [](auto& p) { scriptWow64Environment(p, false); }},
        {"%PROGRAMFILES(X86)% stays the x86 directory",
         R"({"allowed_first_level_subdirectories": ["%PROGRAMFILES(X86)%"]})", true,
         [](auto& c) { c.allowedFirstLevelSubdirectories = {u"c:\\program files (x86)"}; },
         [](auto& p) { scriptWow64Environment(p, false); }},
        {"the default list written out is the default",
         R"({"allowed_first_level_subdirectories": ["%SYSTEMDRIVE%", "%PROGRAMFILES%", "%PROGRAMFILES(X86)%"]})", true,
         [](auto& c) {
             c.allowedFirstLevelSubdirectories = {u"c:", u"c:\\program files", u"c:\\program files (x86)"};
         },
         [](auto& p) { scriptWow64Environment(p, false); }},
        {"on 32-bit Windows %PROGRAMW6432% is never asked for", "{}", true, [](auto&) {},
         [](auto& p) { p.environment[u"ProgramW6432"] = u"C:\\Elsewhere"; }},
    });
}

TEST(LoadBaselineConfig, AllowedPublishers) {
    runCases({
        {"an array, in order, duplicates kept", R"({"allowed_publishers": ["B Corp", "A Corp", "B Corp"]})", true,
         [](auto& c) { c.allowedPublishers = {u"B Corp", u"A Corp", u"B Corp"}; }},
        {"an object gives its member values in the library's member order",
         R"({"allowed_publishers": {"z": "Zed Ltd", "a": "Ay Ltd"}})", true,
         [](auto& c) { c.allowedPublishers = {u"Ay Ltd", u"Zed Ltd"}; }},
        {"names are kept as written", R"({"allowed_publishers": [" Mixed Case, Inc. "]})", true,
         [](auto& c) { c.allowedPublishers = {u" Mixed Case, Inc. "}; }},
        {"UTF-8 becomes UTF-16", "{\"allowed_publishers\": [\"Soci\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80\"]}", true,
         [](auto& c) { c.allowedPublishers = {u"Soci\u00E9t\u00E9 \U0001F600"}; }},
        {"the text ends at a zero byte", R"({"allowed_publishers": ["Before\u0000After"]})", true,
         [](auto& c) { c.allowedPublishers = {u"Before"}; }},
        {"ill-formed UTF-8 is replaced, not refused", "{\"allowed_publishers\": [\"A\xFF" "B\"]}", true,
         [](auto& c) { c.allowedPublishers = {u"A\uFFFDB"}; }},
        {"numbers, booleans and null become text", R"({"allowed_publishers": [5, false, null, 1e3]})", true,
         [](auto& c) { c.allowedPublishers = {u"5", u"false", u"", u"1000.0"}; }},
        {"a string is ignored", R"({"allowed_publishers": "Solo Ltd"})", true},
        {"a number is ignored", R"({"allowed_publishers": 3})", true},
        {"an empty array adds nothing", R"({"allowed_publishers": []})", true},
        {"an array element fails", R"({"allowed_publishers": [["A"]]})", false},
        {"an object member value that is an object fails", R"({"allowed_publishers": {"a": {"b": "c"}}})", false},
    });
}

TEST(LoadBaselineConfig, AllowedDirectories) {
    runCases({
        {"an empty array takes the five defaults", R"({"allowed_directories": []})", true},
        {"an empty object takes them too", R"({"allowed_directories": {}})", true},
        {"null takes them too", R"({"allowed_directories": null})", true},
        {"a string adds no directory at all", R"({"allowed_directories": "C:\\Apps"})", true, noAllowedDirectories},
        {"a number adds none either", R"({"allowed_directories": 1})", true, noAllowedDirectories},
        {"an entry without members lands in all three lists",
         R"({"allowed_directories": [{"allowed_dir": "%SYSTEMDRIVE%\\Apps\\"}]})", true,
         [](auto& c) {
             c.allowedDirectories = {u"%SYSTEMDRIVE%\\Apps\\"};
             c.immutableDirectories = {u"%SYSTEMDRIVE%\\Apps\\"};
             c.nonStrictPublisherDirectories = {u"c:\\apps"};
         }},
        {"mutable true keeps it out of the immutable list; strict_pub true out of the non-strict one",
         R"({"allowed_directories": [{"allowed_dir": "C:\\A", "mutable": true, "strict_pub": true},
                                     {"allowed_dir": "C:\\B", "mutable": false, "strict_pub": false},
                                     {"allowed_dir": "C:\\C", "mutable": 1, "strict_pub": 0}]})",
         true,
         [](auto& c) {
             c.allowedDirectories = {u"C:\\A", u"C:\\B", u"C:\\C"};
             c.immutableDirectories = {u"C:\\B"};
             c.nonStrictPublisherDirectories = {u"c:\\b", u"c:\\c"};
         }},
        {"null members count as false",
         R"({"allowed_directories": [{"allowed_dir": "C:\\A", "mutable": null, "strict_pub": null}]})", true,
         [](auto& c) {
             c.allowedDirectories = {u"C:\\A"};
             c.immutableDirectories = {u"C:\\A"};
             c.nonStrictPublisherDirectories = {u"c:\\a"};
         }},
        {"a null entry adds the empty path everywhere", R"({"allowed_directories": [null]})", true,
         [](auto& c) {
             c.allowedDirectories = {u""};
             c.immutableDirectories = {u""};
             c.nonStrictPublisherDirectories = {u""};
         }},
        {"an object of entries, in member order",
         R"({"allowed_directories": {"second": {"allowed_dir": "C:\\B", "mutable": true},
                                     "first": {"allowed_dir": "C:\\A", "strict_pub": true}}})",
         true,
         [](auto& c) {
             c.allowedDirectories = {u"C:\\A", u"C:\\B"};
             c.immutableDirectories = {u"C:\\A"};
             c.nonStrictPublisherDirectories = {u"c:\\b"};
         }},
        {"duplicates are kept", R"({"allowed_directories": [{"allowed_dir": "C:\\A"}, {"allowed_dir": "C:\\A"}]})",
         true,
         [](auto& c) {
             c.allowedDirectories = {u"C:\\A", u"C:\\A"};
             c.immutableDirectories = {u"C:\\A", u"C:\\A"};
             c.nonStrictPublisherDirectories = {u"c:\\a", u"c:\\a"};
         }},
        {"a number allowed_dir becomes its text",
         R"({"allowed_directories": [{"allowed_dir": 12, "strict_pub": true}]})", true,
         [](auto& c) {
             c.allowedDirectories = {u"12"};
             c.immutableDirectories = {u"12"};
             c.nonStrictPublisherDirectories = {};
         }},
        {"unknown members are ignored", R"({"allowed_directories": [{"allowed_dir": "C:\\A", "note": [1, 2]}]})",
         true,
         [](auto& c) {
             c.allowedDirectories = {u"C:\\A"};
             c.immutableDirectories = {u"C:\\A"};
             c.nonStrictPublisherDirectories = {u"c:\\a"};
         }},
        {"a string entry fails", R"({"allowed_directories": ["C:\\A"]})", false},
        {"a number entry fails", R"({"allowed_directories": [1]})", false},
        {"an array entry fails", R"({"allowed_directories": [[]]})", false},
        {"an array allowed_dir fails", R"({"allowed_directories": [{"allowed_dir": ["C:\\A"]}]})", false},
        {"a string mutable fails", R"({"allowed_directories": [{"allowed_dir": "C:\\A", "mutable": "yes"}]})",
         false},
        {"an empty array strict_pub fails", R"({"allowed_directories": [{"allowed_dir": "C:\\A", "strict_pub": []}]})",
         false},
        {"a failed expansion of a non-strict directory fails",
         R"({"allowed_directories": [{"allowed_dir": "%X%"}]})", false, {},
         [](auto& p) { p.failingExpansions.insert(u"%X%"); }},
        {"a strict directory is not expanded, so its expansion cannot fail",
         R"({"allowed_directories": [{"allowed_dir": "%X%", "strict_pub": true}]})", true,
         [](auto& c) {
             c.allowedDirectories = {u"%X%"};
             c.immutableDirectories = {u"%X%"};
             c.nonStrictPublisherDirectories = {};
         },
         [](auto& p) { p.failingExpansions.insert(u"%X%"); }},
    });
}

TEST(LoadBaselineConfig, FileFailures) {
    MemoryPlatform platform;
    BaselineConfig config;
    EXPECT_FALSE(config.loadBaselineConfig(platform)) << "no file";
    platform.files[u".\\baselineconf.dat"] = "";
    EXPECT_FALSE(config.loadBaselineConfig(platform)) << "empty file";
    platform.files[u".\\baselineconf.dat"] = tool::encryptBaselineText("{}") + "\r\n";
    EXPECT_FALSE(config.loadBaselineConfig(platform)) << "trailing line break";
    platform.files[u".\\baselineconf.dat"] = tool::encryptBaselineText("not JSON");
    EXPECT_FALSE(config.loadBaselineConfig(platform)) << "not JSON";
    platform.files[u".\\baselineconf.dat"] = tool::encryptBaselineText("{}");
    EXPECT_TRUE(config.loadBaselineConfig(platform));
}

TEST(LoadBaselineConfig, AppliesTheKeysInTheirFixedOrder) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    // Written in the reverse order; the expansions show the order of application.
    testing::placeConfig(platform, R"({
        "allowed_directories": [{"allowed_dir": "D:\\8"}],
        "allowed_first_level_subdirectories": ["D:\\5"],
        "paths_excluded_from_discovery": ["D:\\2"],
        "paths_to_discover": ["D:\\Data"]})");
    BaselineConfig config;
    ASSERT_TRUE(config.loadBaselineConfig(platform));
    std::vector<std::u16string> sources;
    for (const auto& [source, length] : platform.expansions) sources.push_back(source);
    EXPECT_EQ(sources, (std::vector<std::u16string>{u"D:\\Data", u"D:\\2", u"D:\\5", u"D:\\8"}));
}

TEST(LoadBaselineConfig, LongExpansionsAreAskedForAgainWithTheSizeReported) {
    MemoryPlatform platform;
    testing::scriptWindowsEnvironment(platform);
    const std::u16string deep(300, u'd');
    platform.environment[u"DEEP"] = u"D:\\" + deep;
    testing::placeConfig(platform, R"({"paths_excluded_from_discovery": ["%DEEP%\\Sub\\"]})");
    BaselineConfig config;
    ASSERT_TRUE(config.loadBaselineConfig(platform));
    EXPECT_EQ(config.excludedPaths, (std::set<std::u16string>{u"d:\\" + deep + u"\\sub"}));
    const std::pair<std::u16string, std::uint32_t> first{u"%DEEP%\\Sub\\", 260};
    const std::pair<std::u16string, std::uint32_t> second{u"%DEEP%\\Sub\\", 3 + 300 + 5 + 1};
    ASSERT_GE(platform.expansions.size(), 2u);
    EXPECT_EQ(platform.expansions[0], first);
    EXPECT_EQ(platform.expansions[1], second);
}

TEST(LoadBaselineConfig, CatchesWhatTheLibraryThrowsAtDepth) {
    // Deeper than the reader's nesting limit of 1000: a parse error, not a crash.
    MemoryPlatform platform;
    testing::placeConfig(platform, "{\"a\": " + std::string(1200, '[') + std::string(1200, ']') + "}");
    BaselineConfig config;
    EXPECT_FALSE(config.loadBaselineConfig(platform));
}

TEST(Utf8ToUtf16, AsksForTheSizeThenConverts) {
    MemoryPlatform platform;
    EXPECT_EQ(utf8ToUtf16(platform, "Caf\xC3\xA9"), u"Caf\u00E9");
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "MultiByteToWideChar:65001:-1"), 2);
    EXPECT_EQ(utf8ToUtf16(platform, ""), u"");
    EXPECT_EQ(utf8ToUtf16(platform, std::string("ab\0cd", 5)), u"ab");
    EXPECT_EQ(utf8ToUtf16(platform, "\xE2\x82"), u"\uFFFD");
}

}  // namespace
}  // namespace baseline
