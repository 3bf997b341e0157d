// One 64-bit machine as each program sees it: the 32-bit program under WOW64
// (System32 redirected to SysWOW64 until the thread turns that off, and the
// x86 folders as %PROGRAMFILES% and %COMMONPROGRAMFILES%) and the native
// 64-bit program. Over one tree and one configuration, the configuration is
// loaded and the whole build run made by each; the documents must be the same
// byte for byte, and must show the native system's facts. The machine as
// the walk's worker threads share it: each has its own last error and
// redirection.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "config/baseline_config.h"
#include "config_fixtures.h"
#include "console/run_driver.h"
#include "discovery/discovery_engine.h"
#include "memory_platform.h"
#include "platform/utf.h"
#include "worked_example.h"

namespace baseline {
namespace {

using testing::FileStatus;
using testing::MemoryPlatform;

constexpr std::int64_t k1960 = -315619200;  // 1 January 1960 00:00 UTC
constexpr std::int64_t kNativeSystem32Time = 1765000000;
constexpr std::int64_t kSysWow64Time = 1700000000;

SignerInfo signedBy(const std::u16string& publisher, const std::u16string& serial) {
    return SignerInfo{publisher, u"Fixture CA", serial};
}

// The files of one machine, the same for both programs; only what the
// process itself is (and so its environment) differs.
void buildMachine(MemoryPlatform& machine, bool nativeProgram) {
    testing::scriptWorkstation(machine, 10, 0, 19045, true);
    machine.nativeProgram = nativeProgram;
    machine.environment = {
        {u"SystemDrive", u"C:"},
        {u"WINDIR", u"C:\\Windows"},
        {u"TEMP", u"C:\\Temp"},
        {u"ProgramFiles", nativeProgram ? u"C:\\Program Files" : u"C:\\Program Files (x86)"},
        {u"ProgramFiles(x86)", u"C:\\Program Files (x86)"},
        {u"ProgramW6432", u"C:\\Program Files"},
        {u"CommonProgramFiles",
         nativeProgram ? u"C:\\Program Files\\Common Files" : u"C:\\Program Files (x86)\\Common Files"},
        {u"CommonProgramFiles(x86)", u"C:\\Program Files (x86)\\Common Files"},
        {u"CommonProgramW6432", u"C:\\Program Files\\Common Files"},
    };
    machine.driveTypes[u'C'] = kDriveFixed;

    // The native system directory, and the 32-bit one WOW64 shows instead.
    machine.addFile(u"C:\\Windows\\System32\\native.exe");
    machine.addFile(u"C:\\Windows\\System32\\OnlyNative\\tool.exe");
    machine.addDirectory(u"C:\\Windows\\System32\\NativeAllowed");
    machine.addFile(u"C:\\Windows\\System32\\Skip\\skipped.exe");
    machine.addFile(u"C:\\Windows\\SysWOW64\\wow.exe");
    machine.addDirectory(u"C:\\Windows\\SysWOW64\\Skip", kFileAttributeDirectory | kFileAttributeSystem);
    machine.fileStatuses[u"C:\\Windows\\System32"] = FileStatus{kNativeSystem32Time, 0};
    machine.fileStatuses[u"C:\\Windows\\SysWOW64"] = FileStatus{kSysWow64Time, 0};
    machine.fileStatuses[u"C:\\Windows\\System32\\native.exe"] = FileStatus{1710000000, 0};
    machine.fileStatuses[u"C:\\Windows\\SysWOW64\\native.exe"] = FileStatus{1600000000, 0};
    machine.signers[u"C:\\Windows\\System32\\native.exe"] = {0, signedBy(u"Native Co", u"01")};
    machine.signers[u"C:\\Windows\\SysWOW64\\native.exe"] = {0, signedBy(u"Wow Co", u"02")};
    machine.versions[u"C:\\Windows\\System32\\native.exe"] = {0, testing::exampleVersion()};
    machine.addFile(u"C:\\Windows\\SysWOW64\\native.exe");

    // The two Program Files directories and their common files.
    machine.addFile(u"C:\\Program Files\\Vendor\\app.exe");
    machine.addFile(u"C:\\Program Files\\Vendor\\Skip\\skipped.exe");
    machine.addFile(u"C:\\Program Files\\Common Files\\Shared\\shared.exe");
    machine.addFile(u"C:\\Program Files (x86)\\Vendor\\app32.exe");
    machine.addFile(u"C:\\Program Files (x86)\\Vendor\\Skip\\skipped32.exe");
    machine.addFile(u"C:\\Program Files (x86)\\Common Files\\Shared32\\shared32.exe");
    machine.signers[u"C:\\Program Files\\Vendor\\app.exe"] = {0, signedBy(u"Vendor Ltd", u"03")};
    machine.signers[u"C:\\Program Files (x86)\\Vendor\\app32.exe"] = {0, signedBy(u"Vendor Ltd", u"04")};

    // An application last written in 1960, on a short path.
    machine.addFile(u"C:\\Tools\\old.exe");
    machine.fileStatuses[u"C:\\Tools\\old.exe"] = FileStatus{k1960, 0};
}

struct Document {
    bool loaded = false;
    bool built = false;
    std::string bytes;
};

Document runOnMachine(const std::string& json, bool nativeProgram) {
    MemoryPlatform machine;
    buildMachine(machine, nativeProgram);
    testing::placeConfig(machine, json);
    Document document;
    BaselineConfig config;
    document.loaded = config.loadBaselineConfig(machine);
    if (!document.loaded) return document;
    addBuiltInPublishers(config);
    DiscoveryEngine engine(machine, u"Same", u"One machine", config);
    document.built = engine.runBuild();
    document.bytes = machine.files[engine.outputPath];
    EXPECT_EQ(machine.redirectionDisabled, 0) << "redirection left off";
    EXPECT_EQ(machine.redirectionDisabledElsewhere(), 0) << "redirection left off by a worker";
    return document;
}

struct Case {
    const char* proves;
    std::string json;
    std::vector<std::string> nativeFacts;  // what only the native view shows
    std::vector<std::string> absent;       // what only the redirected view shows
};

TEST(OneMachine, BothProgramsWriteTheSameDocumentOfTheNativeSystem) {
    const std::string mtimeOfSystem32 = "\"mtime\" : " + std::to_string(kNativeSystem32Time);
    const std::vector<Case> cases = {
        {"the default configuration", "{}",
         {"\"fname\" : \"native.exe\"", "\"pubname\" : \"Native Co\"",
          "\"dirpath\" : \"%SYSTEMDRIVE%\\\\Program Files\\\\Vendor\"",
          "\"dirpath\" : \"%SYSTEMDRIVE%\\\\Program Files (x86)\\\\Vendor\""},
         {}},
        {"System32 as a root: its own record carries its own time",
         R"({"paths_to_discover": ["%WINDIR%\\System32"]})",
         {mtimeOfSystem32, "\"fname\" : \"native.exe\""},
         {"\"mtime\" : " + std::to_string(kSysWow64Time), "wow.exe"}},
        {"a custom root and an allowed directory only in the native System32",
         R"({"paths_to_discover": ["%WINDIR%\\System32\\OnlyNative"],
             "allowed_directories": [{"allowed_dir": "%WINDIR%\\System32\\NativeAllowed", "mutable": true}]})",
         {"\"fname\" : \"tool.exe\"",
          // Exists natively and carries no system attribute: mutable.
          "\"dirpath\" : \"%WINDIR%\\\\System32\\\\NativeAllowed\",\r\n\t\"mutable\" : true"},
         {}},
        {"%PROGRAMFILES% and %COMMONPROGRAMFILES% in every path key",
         R"({"paths_to_discover": ["%PROGRAMFILES%", "%COMMONPROGRAMFILES%"],
             "paths_excluded_from_discovery": ["%ProgramFiles%\\Vendor\\Skip"],
             "allowed_first_level_subdirectories": ["%PROGRAMFILES%"],
             "allowed_directories": [{"allowed_dir": "%PROGRAMFILES%\\Vendor", "mutable": false},
                                     {"allowed_dir": "%COMMONPROGRAMFILES%\\Shared", "strict_pub": false}]})",
         {"\"fname\" : \"app.exe\"", "\"fname\" : \"shared.exe\"",
          "\"dirpath\" : \"%SYSTEMDRIVE%\\\\Program Files\\\\Vendor\"",
          "\"dirpath\" : \"%PROGRAMFILES%\\\\Vendor\""},
         {"app32.exe", "shared32.exe", "skipped.exe"}},
        {"the default first-level list written out",
         R"({"allowed_first_level_subdirectories": ["%SYSTEMDRIVE%", "%PROGRAMFILES%", "%PROGRAMFILES(X86)%"]})",
         {"\"dirpath\" : \"%SYSTEMDRIVE%\\\\Program Files\\\\Vendor\"",
          "\"dirpath\" : \"%SYSTEMDRIVE%\\\\Program Files (x86)\\\\Vendor\""},
         {}},
        {"an exclusion under System32",
         R"({"paths_to_discover": ["%WINDIR%\\System32"], "paths_excluded_from_discovery": ["%WINDIR%\\System32\\Skip"],
             "immutable_for_system_directory": true})",
         {"\"fname\" : \"native.exe\""},
         {"skipped.exe", "wow.exe"}},
        {"an application dated 1960 on a short path", R"({"paths_to_discover": ["C:\\Tools"]})",
         {"\"mtime\" : " + std::to_string(k1960)}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        const Document native = runOnMachine(c.json, true);
        const Document wow64 = runOnMachine(c.json, false);
        ASSERT_TRUE(native.loaded);
        EXPECT_TRUE(wow64.loaded) << "the 32-bit program refused a configuration the native one loads";
        if (!wow64.loaded) continue;
        EXPECT_TRUE(native.built);
        EXPECT_TRUE(wow64.built);
        EXPECT_EQ(wow64.bytes, native.bytes);
        for (const auto& fact : c.nativeFacts) {
            EXPECT_NE(native.bytes.find(fact), std::string::npos) << "native view lacks " << fact;
            EXPECT_NE(wow64.bytes.find(fact), std::string::npos) << "32-bit view lacks " << fact;
        }
        for (const auto& redirected : c.absent) {
            EXPECT_EQ(wow64.bytes.find(redirected), std::string::npos) << "32-bit view shows " << redirected;
        }
    }
}

TEST(OneMachine, EachThreadHasItsOwnLastErrorAndRedirection) {
    MemoryPlatform machine;
    buildMachine(machine, false);
    machine.listingErrors[MemoryPlatform::modelKey(u"C:\\Locked")] = 5;
    const std::u16string native = u"C:\\Windows\\System32\\native.exe";
    const std::u16string redirected = u"C:\\Windows\\SysWOW64\\native.exe";
    FindData data;
    EXPECT_EQ(machine.findFirstFile(u"C:\\Missing\\*", data), 0u);
    std::uintptr_t old = 0;
    ASSERT_TRUE(machine.wow64DisableWow64FsRedirection(old));
    std::thread([&] {
        FindData own;
        EXPECT_EQ(machine.getLastError(), 0u) << "a new thread has no error yet";
        EXPECT_EQ(machine.findFirstFile(u"C:\\Locked\\*", own), 0u);
        EXPECT_EQ(machine.getLastError(), 5u);
        EXPECT_EQ(machine.reached(native), redirected) << "another thread's switch-off reached this one";
        std::uintptr_t value = 0;
        EXPECT_TRUE(machine.wow64DisableWow64FsRedirection(value));  // and never reverted
        EXPECT_EQ(machine.reached(native), native);
    }).join();
    EXPECT_EQ(machine.getLastError(), kErrorPathNotFound);
    EXPECT_EQ(machine.redirectionDisabled, 1);
    EXPECT_EQ(machine.redirectionDisabledElsewhere(), 1);
    EXPECT_TRUE(machine.wow64RevertWow64FsRedirection(old));
    EXPECT_EQ(machine.reached(native), redirected) << "the ended thread's switch-off reached this one";
}

}  // namespace
}  // namespace baseline
