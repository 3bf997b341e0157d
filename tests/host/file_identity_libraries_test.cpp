// When version.dll or crypt32.dll cannot be loaded from the system directory,
// the neutral code sees a file whose identity is unavailable: the reads fail
// with 13006, once per file, and the entry is written without those members.
#include <gtest/gtest.h>

#include <json/json.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "document/allowlist_writer.h"
#include "document/document_records.h"
#include "fileidentity/executable_file_record.h"
#include "hostinfo/host_inventory.h"
#include "memory_platform.h"
#include "platform/native_paths.h"
#include "worked_example.h"

namespace baseline {
namespace {

using testing::FileStatus;
using testing::MemoryPlatform;

const std::u16string kTool = u"C:\\Tools\\tool.exe";

// A signed, versioned file as the platform would read it with the libraries there.
void scriptTool(MemoryPlatform& platform) {
    platform.signers[kTool] = {0, testing::exampleSigner()};
    platform.versions[kTool] = {0, testing::exampleVersion()};
}

TEST(FileIdentityLibraries, LoadingIsOneLoggedCallThatReportsAMissingLibrary) {
    for (bool missing : {false, true}) {
        SCOPED_TRACE(missing ? "missing" : "present");
        MemoryPlatform platform;
        platform.fileIdentityLibrariesMissing = missing;
        EXPECT_EQ(platform.loadFileIdentityLibraries(), !missing);
        EXPECT_EQ(platform.calls, (std::vector<std::string>{"loadFileIdentityLibraries"}));
    }
}

TEST(FileIdentityLibraries, AMissingLibraryMakesBothReadsUnavailableOncePerFile) {
    MemoryPlatform platform;
    scriptTool(platform);
    platform.fileIdentityLibrariesMissing = true;
    NativePaths native(platform);
    ExecutableFileRecord record(native);
    ASSERT_TRUE(record.setPath(kTool));
    SignerInfo signer;
    signer.publisherName = u"left alone";
    FileVersionStrings version;
    for (int attempt = 0; attempt < 2; ++attempt) {
        SCOPED_TRACE(attempt);
        EXPECT_FALSE(record.getSigner(signer));
        EXPECT_EQ(record.lastStatus, kStatusIdentityUnavailable);
        EXPECT_FALSE(record.getVersionStrings(version));
        EXPECT_EQ(record.lastStatus, kStatusIdentityUnavailable);
    }
    EXPECT_EQ(signer.publisherName, u"left alone");
    EXPECT_EQ(version.companyName, u"");
    EXPECT_EQ(platform.signerReads[kTool], 1);
    EXPECT_EQ(platform.versionReads[kTool], 1);
}

// The entry of a signed, versioned application, its members sorted.
std::vector<std::string> entryMembers(bool librariesMissing) {
    MemoryPlatform platform;
    scriptTool(platform);
    platform.fileIdentityLibrariesMissing = librariesMissing;
    platform.fileStatuses[kTool] = FileStatus{1710410400, 4096};
    const std::u16string document = u"C:\\Deploy\\Finance_allowlist_08122025_0933.json";
    AllowlistWriter writer(platform);
    HostInventory inventory;
    inventory.title = u"Finance";
    EXPECT_TRUE(writer.open(document));
    EXPECT_TRUE(writer.writeHeader(&inventory));
    const std::size_t afterHeader = platform.files[document].size() + platform.pendingBytes(document).size();
    NativePaths native(platform);
    ExecutableFileRecord record(native);
    EXPECT_TRUE(record.setPath(kTool));
    record.setProperties(32, 1, 0, 1, 1, true, true, kKindApplication);
    EXPECT_TRUE(writer.writeFileEntry(record));  // the run goes on
    const std::string text = (platform.files[document] + platform.pendingBytes(document)).substr(afterHeader);
    Json::Value entry;
    std::string errors;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &entry, &errors)) << errors << text;
    std::vector<std::string> names = entry.getMemberNames();
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileIdentityLibraries, AMissingLibraryLeavesOnlyTheCommonMembersOfAnEntry) {
    const std::vector<std::string> common = {"allowstate", "attr", "default", "fname", "fpath", "ftype",
                                             "id", "mtime", "mutable", "osdrive", "pid"};
    EXPECT_EQ(entryMembers(true), common);
    // The same file with the libraries there carries its signer and version.
    const std::vector<std::string> present = entryMembers(false);
    for (const char* key : {"pubname", "issuer", "serialno", "cname", "fver", "prodname"}) {
        EXPECT_NE(std::find(present.begin(), present.end(), key), present.end()) << key;
    }
}

}  // namespace
}  // namespace baseline
