// ExecutableFileRecord over the in-memory platform: path splitting, the
// walk's values and the last-write time, and signer and version reads that
// happen at most once, failures included.
#include <gtest/gtest.h>

#include "fileidentity/executable_file_record.h"
#include "platform/file_time.h"
#include "platform/native_paths.h"
#include "memory_platform.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;
using testing::FileStatus;

struct SplitCase {
    std::u16string path;
    bool splits;
    std::u16string directory;
    std::u16string name;
};

class PathSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(PathSplit, DirectoryPartKeepsItsBackslash) {
    MemoryPlatform platform;
    NativePaths native(platform);
    ExecutableFileRecord record(native);
    const SplitCase& c = GetParam();
    EXPECT_EQ(record.setPath(c.path), c.splits);
    if (c.splits) {
        EXPECT_EQ(record.lastStatus, 0);
        EXPECT_EQ(record.fullPath, c.path);
        EXPECT_EQ(record.directoryPath, c.directory);
        EXPECT_EQ(record.fileName, c.name);
    } else {
        EXPECT_EQ(record.lastStatus, kStatusPathNotSplittable);
        EXPECT_EQ(record.fullPath, u"");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Record, PathSplit,
    ::testing::Values(SplitCase{u"C:\\Tools\\tool.exe", true, u"C:\\Tools\\", u"tool.exe"},
                      SplitCase{u"C:\\Tools", true, u"C:\\", u"Tools"},
                      SplitCase{u"C:\\", true, u"", u"C:\\"},
                      SplitCase{u"C:", true, u"", u"C:"},
                      SplitCase{u"C:\\\\Windows", true, u"C:\\\\", u"Windows"},
                      SplitCase{u"C:\\Tools\\", true, u"", u"C:\\Tools\\"},
                      SplitCase{u"\\\\server\\share\\a.exe", true, u"\\\\server\\share\\", u"a.exe"},
                      SplitCase{u"", false, u"", u""},
                      SplitCase{u"tool.exe", false, u"", u""},
                      SplitCase{u"Tools\\", false, u"", u""},
                      SplitCase{u"AB:x", false, u"", u""}));

TEST(Record, StartsWithTheDocumentedValues) {
    MemoryPlatform platform;
    NativePaths native(platform);
    const ExecutableFileRecord record(native);
    EXPECT_EQ(record.parentId, -1);
    EXPECT_EQ(record.allowState, 1);
    EXPECT_TRUE(record.isMutable);
    EXPECT_FALSE(record.isDefault);
    EXPECT_EQ(record.kind, kKindApplication);
    EXPECT_EQ(record.modifiedTime, 0);
    EXPECT_FALSE(record.signerRead);
    EXPECT_FALSE(record.versionRead);
}

TEST(Record, PropertiesAreStoredInTheirOrderAndTheTimeIsRead) {
    MemoryPlatform platform;
    platform.fileStatuses[u"C:\\a.exe"] = FileStatus{1710410400, 10};
    NativePaths native(platform);
    ExecutableFileRecord record(native);
    ASSERT_TRUE(record.setPath(u"C:\\a.exe"));
    EXPECT_TRUE(record.setProperties(0x21, 7, 3, 1, 0, false, true, kKindApplication));
    EXPECT_EQ(record.attributes, 0x21);
    EXPECT_EQ(record.id, 7);
    EXPECT_EQ(record.parentId, 3);
    EXPECT_EQ(record.onSystemDrive, 1);
    EXPECT_EQ(record.allowState, 0);
    EXPECT_FALSE(record.isMutable);
    EXPECT_TRUE(record.isDefault);
    EXPECT_EQ(record.modifiedTime, 1710410400);

    ExecutableFileRecord unreadable(native);
    ASSERT_TRUE(unreadable.setPath(u"C:\\gone.exe"));
    EXPECT_TRUE(unreadable.setProperties(0, 0, -1, 0, 1, true, true, kKindDirectory));
    EXPECT_EQ(unreadable.modifiedTime, 0);
    EXPECT_EQ(unreadable.kind, kKindDirectory);
}

TEST(Record, TimesComeFromTheStoredFileTimeBefore1970AndForADriveRoot) {
    struct Case {
        const char* proves;
        std::u16string path;
        std::u16string stored;  // where the model keeps the time
        std::int64_t seconds;
        std::int64_t expected;
    };
    const Case cases[] = {
        {"a time before 1970 stays negative", u"C:\\old.exe", u"C:\\old.exe", -315619200, -315619200},
        {"the first second before 1970", u"C:\\e.exe", u"C:\\e.exe", -1, -1},
        {"the epoch itself", u"C:\\z.exe", u"C:\\z.exe", 0, 0},
        {"a bare drive is its root directory", u"C:", u"C:\\", 1765000000, 1765000000},
        {"a time that cannot be read is 0", u"C:\\none.exe", u"C:\\other.exe", 5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        MemoryPlatform platform;
        platform.fileStatuses[c.stored] = FileStatus{c.seconds, 0};
        platform.fileStatuses[u"C:"] = FileStatus{42, 0};  // the current directory on C:
        NativePaths native(platform);
        ExecutableFileRecord record(native);
        ASSERT_TRUE(record.setPath(c.path));
        record.setProperties(0, 0, -1, 1, 0, false, true, kKindDirectory);
        EXPECT_EQ(record.modifiedTime, c.expected);
    }
}

TEST(FileTime, EveryTimeFallsInTheWholeSecondThatHoldsIt) {
    struct Case {
        std::int64_t ticksFromEpoch;  // 100-nanosecond units after 1970
        std::int64_t seconds;
    };
    const Case cases[] = {
        {0, 0}, {9999999, 0}, {10000000, 1}, {-1, -1}, {-5000000, -1}, {-10000000, -1}, {-10000001, -2},
        {-315619200LL * 10000000, -315619200}, {17650000000000000LL, 1765000000},
        // The first FILETIME of all, 1 January 1601.
        {-static_cast<std::int64_t>(kUnixEpochAsFileTime), -11644473600LL},
    };
    for (const auto& c : cases) {
        const auto fileTime = static_cast<std::uint64_t>(static_cast<std::int64_t>(kUnixEpochAsFileTime) + c.ticksFromEpoch);
        EXPECT_EQ(fileTimeToUnixSeconds(fileTime), c.seconds) << c.ticksFromEpoch;
    }
}

TEST(Record, TheSignerIsReadOnceAndItsAnswerRepeated) {
    MemoryPlatform platform;
    const SignerInfo signer{u"Pub", u"CA", u"00ff"};
    platform.signers[u"C:\\a.exe"] = {0, signer};
    NativePaths native(platform);
    ExecutableFileRecord record(native);
    ASSERT_TRUE(record.setPath(u"C:\\a.exe"));
    SignerInfo first;
    SignerInfo second;
    EXPECT_TRUE(record.getSigner(first));
    platform.signers.erase(u"C:\\a.exe");  // the file changed since: the record does not look again
    EXPECT_TRUE(record.getSigner(second));
    EXPECT_EQ(first, signer);
    EXPECT_EQ(second, signer);
    EXPECT_EQ(platform.signerReads[u"C:\\a.exe"], 1);
    EXPECT_EQ(record.lastStatus, 0);
}

TEST(Record, AFailedReadIsRememberedTooAndLeavesTheCallersRecord) {
    MemoryPlatform platform;
    platform.signers[u"C:\\b.exe"] = {kStatusIdentityUnavailable, {}};
    NativePaths native(platform);
    ExecutableFileRecord record(native);
    ASSERT_TRUE(record.setPath(u"C:\\b.exe"));
    SignerInfo caller{u"kept", u"kept", u"kept"};
    EXPECT_FALSE(record.getSigner(caller));
    EXPECT_EQ(record.lastStatus, kStatusIdentityUnavailable);
    platform.signers[u"C:\\b.exe"] = {0, SignerInfo{u"P", u"I", u"01"}};
    EXPECT_FALSE(record.getSigner(caller));
    EXPECT_EQ(platform.signerReads[u"C:\\b.exe"], 1);
    EXPECT_EQ(caller, (SignerInfo{u"kept", u"kept", u"kept"}));
    EXPECT_EQ(record.signerStatus, kStatusIdentityUnavailable);
}

TEST(Record, VersionStringsFollowTheSamePatternAndLastStatusTracksTheLastRequest) {
    MemoryPlatform platform;
    FileVersionStrings strings;
    strings.companyName = u"Company";
    platform.versions[u"C:\\c.exe"] = {0, strings};
    NativePaths native(platform);
    ExecutableFileRecord record(native);
    ASSERT_TRUE(record.setPath(u"C:\\c.exe"));
    SignerInfo signer;
    EXPECT_FALSE(record.getSigner(signer));  // unsigned
    EXPECT_EQ(record.lastStatus, kStatusNoEmbeddedSignature);
    FileVersionStrings got;
    EXPECT_TRUE(record.getVersionStrings(got));
    EXPECT_EQ(record.lastStatus, 0);
    EXPECT_TRUE(record.getVersionStrings(got));
    EXPECT_EQ(got, strings);
    EXPECT_EQ(platform.versionReads[u"C:\\c.exe"], 1);
    EXPECT_FALSE(record.getSigner(signer));
    EXPECT_EQ(record.lastStatus, kStatusNoEmbeddedSignature);
    EXPECT_EQ(platform.signerReads[u"C:\\c.exe"], 1);

    ExecutableFileRecord noResource(native);
    ASSERT_TRUE(noResource.setPath(u"C:\\d.exe"));
    EXPECT_FALSE(noResource.getVersionStrings(got));
    EXPECT_EQ(noResource.lastStatus, kStatusNoVersionResource);
}

}  // namespace
}  // namespace baseline
