// The file-identity readers, the executable record and the document's file
// handling against real files under Wine: PE fixtures made by the build
// (windres resources, osslsigncode signatures from a throwaway CA), the
// program's own path and clock, and documents written through the C runtime.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "discovery/discovery_engine.h"
#include "discovery/time_text.h"
#include "document/allowlist_writer.h"
#include "document/document_status.h"
#include "fileidentity/executable_file_record.h"
#include "platform/native_paths.h"
#include "hostinfo/host_inventory.h"
#include "worked_example.h"
#include "platform/file_time.h"
#include "platform/win32/win32_platform.h"
#include "prefix_kind.h"

namespace baseline {
namespace {


const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

std::u16string tempDirectory() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetTempPathW(MAX_PATH, buffer);
    return std::u16string(reinterpret_cast<const char16_t*>(buffer), length);
}

std::u16string tempFile(const std::u16string& stem) {
    return tempDirectory() + stem + u"-" + std::u16string(1, char16_t(u'a' + GetCurrentProcessId() % 26)) +
           std::u16string(1, char16_t(u'a' + GetTickCount() % 26)) + u".tmp";
}

std::string readBytes(const std::u16string& path) {
    std::string bytes;
    HANDLE file = CreateFileW(wide(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void writeBytes(const std::u16string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The fixtures carry the version strings of the small worked example.
FileVersionStrings exampleStrings() { return testing::exampleVersion(); }

struct VersionCase {
    const char* fixture;
    std::int32_t status;
    FileVersionStrings strings;
};

FileVersionStrings with(std::u16string FileVersionStrings::*member, std::u16string value) {
    FileVersionStrings strings = exampleStrings();
    strings.*member = std::move(value);
    return strings;
}

std::u16string longCompanyPrefix() {
    std::u16string text;
    for (int i = 0; i < 30; ++i) text += u"0123456789";
    return text.substr(0, 259);
}

class VersionResource : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionResource, GivesTheSixStringsOfTheFirstTranslation) {
    Win32Platform platform;
    const VersionCase& c = GetParam();
    FileVersionStrings strings;
    std::int32_t status = -1;
    EXPECT_EQ(platform.readVersionStrings(fixture(c.fixture), strings, status), c.status == 0) << c.fixture;
    EXPECT_EQ(status, c.status) << c.fixture;
    EXPECT_EQ(strings, c.strings) << c.fixture;
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, VersionResource,
    ::testing::Values(
        VersionCase{"version_04b0.exe", 0, exampleStrings()},
        VersionCase{"version_default.exe", 0, exampleStrings()},
        VersionCase{"version_no_internal.exe", 0, with(&FileVersionStrings::internalName, u"")},
        VersionCase{"version_long_company.exe", 0, with(&FileVersionStrings::companyName, longCompanyPrefix())},
        VersionCase{"version_empty_value.exe", 0, with(&FileVersionStrings::productVersion, u"")},
        VersionCase{"version_embedded_nul.exe", 0, with(&FileVersionStrings::productName, u"Before")},
        VersionCase{"version_second_translation.exe", 0, FileVersionStrings{}},
        VersionCase{"signed.exe", 0, exampleStrings()},
        VersionCase{"unsigned.exe", kStatusNoVersionResource, FileVersionStrings{}},
        VersionCase{"signed_same_certificate.exe", kStatusNoVersionResource, FileVersionStrings{}},
        VersionCase{"not_a_program.exe", kStatusNoVersionResource, FileVersionStrings{}},
        VersionCase{"no_such_file.exe", kStatusNoVersionResource, FileVersionStrings{}}));

struct SignerCase {
    const char* fixture;
    std::int32_t status;
    SignerInfo signer;
};

const SignerInfo kPublisher{u"Fixture Software Ltd", u"Fixture Code Signing CA",
                            u"0a1b2c3d4e5f60718293a4b5c6d7e8f9"};

class Signer : public ::testing::TestWithParam<SignerCase> {};

TEST_P(Signer, IsTheFirstSignerOfTheEmbeddedSignature) {
    Win32Platform platform;
    const SignerCase& c = GetParam();
    SignerInfo signer;
    std::int32_t status = -1;
    EXPECT_EQ(platform.readSignerInfo(fixture(c.fixture), signer, status), c.status == 0) << c.fixture;
    EXPECT_EQ(status, c.status) << c.fixture;
    EXPECT_EQ(signer, c.signer) << c.fixture;
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, Signer,
    ::testing::Values(
        SignerCase{"signed.exe", 0, kPublisher},
        SignerCase{"signed_same_certificate.exe", 0, kPublisher},
        SignerCase{"signed_second_certificate.exe", 0,
                   SignerInfo{u"Fixture Software Ltd", u"Fixture Code Signing CA", u"00c0ffee"}},
        SignerCase{"signed_twice.exe", 0,
                   SignerInfo{u"Other Fixture Vendor", u"Fixture Code Signing CA", u"0a1b2c"}},
        SignerCase{"signed_nameless.exe", kStatusIdentityUnavailable, SignerInfo{}},
        SignerCase{"unsigned.exe", kStatusNoEmbeddedSignature, SignerInfo{}},
        SignerCase{"version_04b0.exe", kStatusNoEmbeddedSignature, SignerInfo{}},
        SignerCase{"not_a_program.exe", kStatusNoEmbeddedSignature, SignerInfo{}},
        SignerCase{"no_such_file.exe", kStatusNoEmbeddedSignature, SignerInfo{}}));

TEST(Win32Signer, AFailedReadLeavesTheCallersRecord) {
    Win32Platform platform;
    SignerInfo signer{u"kept", u"kept", u"kept"};
    std::int32_t status = 0;
    EXPECT_FALSE(platform.readSignerInfo(fixture("unsigned.exe"), signer, status));
    EXPECT_EQ(signer, (SignerInfo{u"kept", u"kept", u"kept"}));
    FileVersionStrings strings;
    strings.companyName = u"kept";
    EXPECT_FALSE(platform.readVersionStrings(fixture("unsigned.exe"), strings, status));
    EXPECT_EQ(strings.companyName, u"kept");
}

TEST(Win32Record, ReadsSignerAndVersionLazilyAndOnce) {
    Win32Platform platform;
    const std::u16string copy = tempFile(u"record");
    ASSERT_TRUE(CopyFileW(wide(fixture("signed.exe")), wide(copy), FALSE));
    // A known last-write time: 2024-03-14 10:00:00 UTC.
    HANDLE file = CreateFileW(wide(copy), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const ULONGLONG when = 1710410400ULL * 10000000ULL + 116444736000000000ULL;
    FILETIME written{static_cast<DWORD>(when), static_cast<DWORD>(when >> 32)};
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);

    NativePaths native(platform);
    ExecutableFileRecord record(native);
    ASSERT_TRUE(record.setPath(copy));
    record.setProperties(32, 1, 0, 1, 1, true, true, kKindApplication);
    EXPECT_EQ(record.modifiedTime, 1710410400);
    SignerInfo signer;
    ASSERT_TRUE(record.getSigner(signer));
    EXPECT_EQ(signer, kPublisher);

    // Replace the file by an unsigned program without a version resource: the
    // signer already read is repeated, the version strings not yet read see
    // the new file.
    ASSERT_TRUE(CopyFileW(wide(fixture("unsigned.exe")), wide(copy), FALSE));
    SignerInfo again;
    EXPECT_TRUE(record.getSigner(again));
    EXPECT_EQ(again, kPublisher);
    FileVersionStrings strings;
    EXPECT_FALSE(record.getVersionStrings(strings));
    EXPECT_EQ(record.lastStatus, kStatusNoVersionResource);

    // Back to the versioned file: the failed read is repeated as well.
    ASSERT_TRUE(CopyFileW(wide(fixture("signed.exe")), wide(copy), FALSE));
    EXPECT_FALSE(record.getVersionStrings(strings));
    EXPECT_TRUE(DeleteFileW(wide(copy)));
    EXPECT_TRUE(record.getSigner(again));

    ExecutableFileRecord gone(native);
    ASSERT_TRUE(gone.setPath(copy));
    gone.setProperties(32, 1, 0, 1, 1, true, true, kKindApplication);
    EXPECT_EQ(gone.modifiedTime, 0);
}

TEST(Win32OutputPath, IsNextToTheProgramInLocalTimeAndRefusesATakenName) {
    Win32Platform platform;
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::u16string directory(reinterpret_cast<const char16_t*>(module), length);
    directory.erase(directory.rfind(u'\\') + 1);

    const auto expectedFor = [&](const SYSTEMTIME& t) {
        wchar_t suffix[64];
        swprintf(suffix, 64, L"_allowlist_%02u%02u%04u_%02u%02u.json", t.wDay, t.wMonth, t.wYear, t.wHour,
                 t.wMinute);
        return directory + u"Wine check" + reinterpret_cast<const char16_t*>(suffix);
    };
    for (int attempt = 0; attempt < 2; ++attempt) {
        SYSTEMTIME before;
        GetLocalTime(&before);
        DiscoveryEngine engine(platform, u"Wine check", u"d", BaselineConfig{});
        ASSERT_TRUE(engine.buildOutputPath());
        SYSTEMTIME after;
        GetLocalTime(&after);
        if (expectedFor(before) != expectedFor(after)) continue;  // the minute turned meanwhile
        EXPECT_EQ(engine.outputPath, expectedFor(before));
        EXPECT_EQ(engine.statusCode, 0);

        writeBytes(engine.outputPath, "first");
        DiscoveryEngine second(platform, u"Wine check", u"d", BaselineConfig{});
        const bool refused = !second.buildOutputPath();
        if (second.outputPath == engine.outputPath) {
            EXPECT_TRUE(refused);
            EXPECT_EQ(second.statusCode, kStatusOutputNameTaken);
        }
        EXPECT_EQ(readBytes(engine.outputPath), "first");
        DeleteFileW(wide(engine.outputPath));
        return;
    }
    FAIL() << "the clock's minute kept turning";
}

TEST(Win32Document, IsWrittenInTextModeAsRawUtf8) {
    Win32Platform platform;
    const std::u16string path = tempFile(u"document");
    {
        AllowlistWriter writer(platform);
        ASSERT_TRUE(writer.open(path));
        ASSERT_TRUE(writer.writeMisc(false));
        NativePaths native(platform);
        ExecutableFileRecord record(native);
        ASSERT_TRUE(record.setPath(u"C:\\Caf\u00E9\\a\tb"));
        record.setProperties(16, 4, 3, 1, 1, true, true, kKindDirectory);
        ASSERT_TRUE(writer.writeFileEntry(record));
        // Readable by another process while it is being written.
        EXPECT_EQ(readBytes(path).substr(0, 9), "{,\"misc\" ");
        ASSERT_TRUE(writer.close());
    }
    EXPECT_EQ(readBytes(path),
              "{,\"misc\" : {\r\n\t\"globalstrictpub\" : false\r\n}{\r\n\t\"allowstate\" : 1,\r\n"
              "\t\"attr\" : 16,\r\n\t\"default\" : true,\r\n\t\"fname\" : \"a\\tb\",\r\n"
              "\t\"fpath\" : \"C:\\\\Caf\xC3\xA9\\\\\",\r\n\t\"ftype\" : \"directory\",\r\n\t\"id\" : 4,\r\n"
              "\t\"mtime\" : 0,\r\n\t\"mutable\" : true,\r\n\t\"osdrive\" : 1,\r\n\t\"pid\" : 3\r\n}}");
    EXPECT_TRUE(DeleteFileW(wide(path)));
}

TEST(Win32Document, AnExistingFileIsNeitherOpenedNorTouched) {
    Win32Platform platform;
    const std::u16string path = tempFile(u"existing");
    writeBytes(path, "precious bytes");
    AllowlistWriter writer(platform);
    EXPECT_FALSE(writer.open(path));
    EXPECT_EQ(writer.status, kStatusOutputNameTaken);
    EXPECT_FALSE(writer.isOpen());
    EXPECT_EQ(readBytes(path), "precious bytes");
    EXPECT_TRUE(DeleteFileW(wide(path)));

    // A directory of that name is refused the same way.
    const std::u16string directory = tempFile(u"directory");
    ASSERT_TRUE(CreateDirectoryW(wide(directory), nullptr));
    AllowlistWriter second(platform);
    EXPECT_FALSE(second.open(directory));
    EXPECT_TRUE(RemoveDirectoryW(wide(directory)));

    // A directory that does not exist: no file, and not a taken name.
    AllowlistWriter third(platform);
    third.status = 0;
    EXPECT_FALSE(third.open(tempDirectory() + u"no such directory\\x.json"));
    EXPECT_EQ(third.status, 0);
}

TEST(Win32Clock, TimeTextIsCtimeInLocalTime) {
    Win32Platform platform;
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int attempt = 0; attempt < 3; ++attempt) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        const std::string text = timeText(platform);
        char expected[64];
        snprintf(expected, sizeof expected, "%s %s %2u %02u:%02u:%02u %u", kDays[now.wDayOfWeek],
                 kMonths[now.wMonth - 1], now.wDay, now.wHour, now.wMinute, now.wSecond, now.wYear);
        if (text == expected) return;
        Sleep(100);  // a second may have turned between the two readings
    }
    FAIL() << "time text " << timeText(platform);
}

TEST(Win32Clock, LocalTimeAndItsTextForms) {
    Win32Platform platform;
    LocalTime local;
    ASSERT_TRUE(platform.localTime64(0, local));
    std::u16string text;
    EXPECT_EQ(platform.wcsftime(text, 50, u"%Y", local), 4u);
    EXPECT_TRUE(text == u"1970" || text == u"1969") << std::string(text.begin(), text.end());
    EXPECT_EQ(platform.wcsftime(text, 4, u"%Y", local), 0u);  // no room for the terminator
    std::string ctimeText;
    EXPECT_TRUE(platform.ctime64(platform.time64(), ctimeText, 30));
    EXPECT_EQ(ctimeText.size(), 25u);
    EXPECT_EQ(ctimeText.back(), '\n');
    const std::int64_t fromFileTime =
        static_cast<std::int64_t>((platform.getSystemTimeAsFileTime() - 116444736000000000ULL) / 10000000ULL);
    EXPECT_LE(std::llabs(fromFileTime - platform.time64()), 2);
}

TEST(Win32Files, LastWriteTimesBefore1970OnShortPathsAndDirectories) {
    Win32Platform platform;
    // Last written on 1 January 1960 and on 15 July 2024 12:00 UTC (summer
    // time in many zones: no local-time conversion may shift it).
    constexpr std::int64_t kTimes[] = {-315619200, 1721044800};
    wchar_t temp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    const std::u16string directory = reinterpret_cast<const char16_t*>(temp) + std::u16string(u"baseline-times");
    const std::u16string file = directory + u"\\old.exe";
    CreateDirectoryW(reinterpret_cast<const wchar_t*>(directory.c_str()), nullptr);
    for (const std::int64_t seconds : kTimes) {
        SCOPED_TRACE(seconds);
        const std::uint64_t ticks = kUnixEpochAsFileTime + seconds * 10000000;
        const FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        for (const std::u16string& path : {file, directory}) {
            const bool isDirectory = path == directory;
            HANDLE handle = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_WRITE, 0, nullptr,
                                        OPEN_ALWAYS, isDirectory ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL,
                                        nullptr);
            ASSERT_NE(handle, INVALID_HANDLE_VALUE);
            EXPECT_TRUE(SetFileTime(handle, nullptr, nullptr, &written));
            CloseHandle(handle);
        }
        for (const std::u16string& path : {file, directory}) {
            std::uint64_t fileTime = 0;
            ASSERT_TRUE(platform.getFileLastWriteTime(path, fileTime));
            EXPECT_EQ(fileTimeToUnixSeconds(fileTime), seconds);
        }
    }
    DeleteFileW(reinterpret_cast<const wchar_t*>(file.c_str()));
    RemoveDirectoryW(reinterpret_cast<const wchar_t*>(directory.c_str()));
    std::uint64_t fileTime = 0;
    EXPECT_FALSE(platform.getFileLastWriteTime(file, fileTime));
}

TEST(Win32Files, StatAccessAndTheProgramsPath) {
    Win32Platform platform;
    std::uint64_t fileTime = 0;
    EXPECT_TRUE(platform.getFileLastWriteTime(fixture("not_a_program.exe"), fileTime));
    EXPECT_FALSE(platform.getFileLastWriteTime(fixture("no_such_file.exe"), fileTime));
    EXPECT_EQ(platform.waccess(fixture("unsigned.exe"), 0), 0);
    EXPECT_EQ(platform.waccess(u"C:\\windows", 0), 0);
    EXPECT_NE(platform.waccess(fixture("no_such_file.exe"), 0), 0);

    std::u16string path;
    const std::uint32_t length = platform.getModuleFileName(path, 260);
    EXPECT_EQ(platform.getLastError(), 0u);
    EXPECT_EQ(length, path.size());
    EXPECT_NE(path.find(u"baseline_win32_tests.exe"), std::u16string::npos);
    std::u16string cut;
    EXPECT_EQ(platform.getModuleFileName(cut, 5), 5u);
    EXPECT_EQ(platform.getLastError(), kErrorInsufficientBuffer);
    // Windows 7 and later cut to four units and a terminator; Wine, as XP
    // did, fills all five.
    EXPECT_TRUE(cut == path.substr(0, 4) || cut == path.substr(0, 5));
}

TEST(Win32HostInventory, DescribesThePrefix) {
    Win32Platform platform;
    DiscoveryEngine engine(platform, u"T", u"D", BaselineConfig{});
    HostInventory inventory;
    ASSERT_TRUE(engine.fillHostInventory(inventory));
    EXPECT_EQ(inventory.os, u"Windows");
    EXPECT_EQ(inventory.platform, in64BitPrefix() ? u"64-bit" : u"32-bit");
    EXPECT_EQ(inventory.osname, in64BitPrefix() ? u"Windows 7 64 bit" : u"Windows 7");
    EXPECT_EQ(inventory.osver, u"6.1");
    EXPECT_EQ(inventory.buildnumber, 7601u);
    EXPECT_EQ(inventory.osdrive, u"C:");
    EXPECT_FALSE(inventory.hostname.empty());
    EXPECT_EQ(inventory.title, u"T");
}

TEST(Win32Memory, PeakWorkingSetIsReported) {
    Win32Platform platform;
    ProcessMemoryCounters counters;
    ASSERT_TRUE(platform.getProcessMemoryInfo(counters));
    EXPECT_GT(counters.peakWorkingSetSize, 0u);
    EXPECT_GE(counters.peakWorkingSetSize, counters.workingSetSize);
}

}  // namespace
}  // namespace baseline
