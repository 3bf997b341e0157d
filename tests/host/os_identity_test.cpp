// The decision procedure over scripted system facts, the version-record
// fallbacks, the 64-bit test and the name table.
#include <gtest/gtest.h>

#include "hostinfo/os_identity.h"
#include "memory_platform.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;

constexpr std::uint16_t kEnterprise = 0x0002;
constexpr std::uint16_t kDatacenter = 0x0080;
constexpr std::uint16_t kPersonal = 0x0200;
constexpr std::uint16_t kBlade = 0x0400;

struct OsCase {
    const char* proves;
    std::uint32_t platformId;
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t build;
    std::uint8_t productType;
    std::uint16_t suite;
    std::uint16_t architecture;
    int serverR2;
    bool verifyAvailable;
    OsVersionCode expected;
};

const OsCase kOsCases[] = {
    // Windows 95 family
    {"95", 1, 4, 0, 950, 0, 0, 0, 0, true, 50023},
    {"98", 1, 4, 10, 1998, 0, 0, 0, 0, true, 50024},
    {"Millennium", 1, 4, 90, 3000, 0, 0, 0, 0, true, 50025},
    {"95 family, unknown minor", 1, 4, 20, 0, 0, 0, 0, 0, true, 0},
    {"95 family, major other than 4", 1, 5, 0, 0, 0, 0, 0, 0, true, 0},
    {"platform id 0 (Win32s)", 0, 6, 1, 7601, 1, 0, 0, 0, true, 0},
    {"platform id 3 (CE)", 3, 6, 1, 7601, 1, 0, 0, 0, true, 0},
    // Windows 10 and 11
    {"10 64-bit workstation", 2, 10, 0, 19045, 1, 0, 9, 0, true, 50042},
    {"10 64-bit, build 21999 is still 10", 2, 10, 0, 21999, 1, 0, 9, 0, true, 50042},
    {"11 64-bit from build 22000", 2, 10, 0, 22000, 1, 0, 9, 0, true, 50049},
    {"10 32-bit workstation", 2, 10, 0, 18362, 1, 0, 0, 0, true, 50041},
    {"11 32-bit from build 22000", 2, 10, 0, 22631, 1, 0, 0, 0, true, 50048},
    {"ARM64 counts as 32-bit", 2, 10, 0, 19045, 1, 0, 12, 0, true, 50041},
    {"ARM64 Windows 11 counts as 32-bit", 2, 10, 0, 22631, 1, 0, 12, 0, true, 50048},
    {"Itanium counts as 64-bit", 2, 10, 0, 19045, 1, 0, 6, 0, true, 50042},
    {"32-bit on 64-bit counts as 64-bit", 2, 10, 0, 19045, 1, 0, 10, 0, true, 50042},
    {"Alpha 64 counts as 64-bit", 2, 10, 0, 19045, 1, 0, 7, 0, true, 50042},
    {"server 2016 below 17623", 2, 10, 0, 17622, 3, 0, 9, 0, true, 50043},
    {"server 2019 from 17623", 2, 10, 0, 17623, 3, 0, 9, 0, true, 50046},
    {"server 2019 up to 20284", 2, 10, 0, 20284, 2, 0, 9, 0, true, 50046},
    {"server 2022 from 20285", 2, 10, 0, 20285, 3, 0, 9, 0, true, 50047},
    {"32-bit server 10.0 falls through", 2, 10, 0, 17763, 3, 0, 0, 0, true, 0},
    {"32-bit domain controller 10.0 falls through", 2, 10, 0, 17763, 2, 0, 0, 0, true, 0},
    {"10.0 without the verify function", 2, 10, 0, 19045, 1, 0, 9, 0, false, 0},
    // Windows 8.1
    {"8.1 32-bit", 2, 6, 3, 9600, 1, 0, 0, 0, true, 50038},
    {"8.1 64-bit", 2, 6, 3, 9600, 1, 0, 9, 0, true, 50039},
    {"server 2012 R2 64-bit", 2, 6, 3, 9600, 3, 0, 9, 0, true, 50040},
    {"32-bit 6.3 server falls to 6.x table", 2, 6, 3, 9600, 3, 0, 0, 0, true, 0},
    {"6.3 without the verify function", 2, 6, 3, 9600, 1, 0, 0, 0, false, 0},
    // Windows 8, 7, Vista and their servers
    {"8 32-bit", 2, 6, 2, 9200, 1, 0, 0, 0, true, 50034},
    {"8 64-bit", 2, 6, 2, 9200, 1, 0, 9, 0, true, 50035},
    {"server 2012 32-bit", 2, 6, 2, 9200, 3, 0, 0, 0, true, 50036},
    {"server 2012 64-bit", 2, 6, 2, 9200, 3, 0, 9, 0, true, 50037},
    {"7 32-bit", 2, 6, 1, 7601, 1, 0, 0, 0, true, 50032},
    {"7 64-bit", 2, 6, 1, 7601, 1, 0, 9, 0, true, 50033},
    {"7 without the verify function", 2, 6, 1, 7601, 1, 0, 0, 0, false, 50032},
    {"server 2008 R2 32-bit", 2, 6, 1, 7601, 3, 0, 0, 0, true, 50030},
    {"server 2008 R2 64-bit", 2, 6, 1, 7601, 3, 0, 9, 0, true, 50031},
    {"Vista 32-bit", 2, 6, 0, 6002, 1, 0, 0, 0, true, 50001},
    {"Vista 64-bit", 2, 6, 0, 6002, 1, 0, 9, 0, true, 50026},
    {"server 2008 32-bit", 2, 6, 0, 6002, 3, 0, 0, 0, true, 50002},
    {"server 2008 64-bit", 2, 6, 0, 6002, 2, 0, 10, 0, true, 50029},
    {"6.4 is unknown", 2, 6, 4, 9800, 1, 0, 0, 0, true, 0},
    // Windows 2003 / XP / 2000 family
    {"2003 Itanium datacenter", 2, 5, 2, 3790, 3, kDatacenter, 6, 0, true, 50003},
    {"2003 Itanium enterprise", 2, 5, 2, 3790, 3, kEnterprise, 6, 0, true, 50004},
    {"2003 Itanium other, R2 set", 2, 5, 2, 3790, 3, 0, 6, 1, true, 50012},
    {"2003 Itanium other, no R2", 2, 5, 2, 3790, 2, 0, 6, 0, true, 50014},
    {"2003 x64 datacenter", 2, 5, 2, 3790, 3, kDatacenter | kEnterprise, 9, 0, true, 50005},
    {"2003 x64 enterprise", 2, 5, 2, 3790, 3, kEnterprise, 9, 0, true, 50006},
    {"2003 x64 standard", 2, 5, 2, 3790, 3, 0, 9, 1, true, 50007},
    {"2003 x86 datacenter", 2, 5, 2, 3790, 3, kDatacenter | kBlade, 0, 0, true, 50008},
    {"2003 x86 enterprise", 2, 5, 2, 3790, 2, kEnterprise | kBlade, 0, 0, true, 50009},
    {"2003 x86 web edition", 2, 5, 2, 3790, 3, kBlade, 0, 0, true, 50010},
    {"2003 x86 standard", 2, 5, 2, 3790, 3, 0, 0, 0, true, 50011},
    {"5.2 workstation, R2 metric set", 2, 5, 2, 3790, 1, 0, 9, 1, true, 50012},
    {"XP x64 through the R2 test", 2, 5, 2, 3790, 1, 0, 9, 0, true, 50013},
    {"5.2 workstation on x86 without R2", 2, 5, 2, 3790, 1, 0, 0, 0, true, 50014},
    {"XP 64-bit as 5.1", 2, 5, 1, 2600, 1, kPersonal, 9, 0, true, 50013},
    {"XP home", 2, 5, 1, 2600, 1, kPersonal, 0, 0, true, 50015},
    {"XP professional", 2, 5, 1, 2600, 1, 0, 0, 0, true, 50016},
    {"2000 professional", 2, 5, 0, 2195, 1, 0, 0, 0, true, 50019},
    {"2000 datacenter", 2, 5, 0, 2195, 3, kDatacenter | kEnterprise, 0, 0, true, 50017},
    {"2000 advanced server", 2, 5, 0, 2195, 2, kEnterprise, 0, 0, true, 50018},
    {"2000 server", 2, 5, 0, 2195, 3, 0, 0, 0, true, 50028},
    {"5.0 with no product type", 2, 5, 0, 2195, 0, 0, 0, 0, true, 0},
    {"5.3 is unknown", 2, 5, 3, 0, 1, 0, 0, 0, true, 0},
    // NT 4 and 3.51
    {"NT 4 workstation", 2, 4, 0, 1381, 1, 0, 0, 0, true, 50020},
    {"NT 4 with no product type", 2, 4, 0, 1381, 0, 0, 0, 0, true, 50020},
    {"NT 4 server enterprise", 2, 4, 0, 1381, 3, kEnterprise, 0, 0, true, 50021},
    {"NT 4 server standard", 2, 4, 0, 1381, 2, 0, 0, 0, true, 50022},
    {"NT 4.1 is unknown", 2, 4, 1, 0, 1, 0, 0, 0, true, 0},
    {"NT 3.51", 2, 3, 51, 1057, 1, 0, 0, 0, true, 50027},
    {"NT 3.50 is unknown", 2, 3, 50, 807, 1, 0, 0, 0, true, 0},
    {"major 7 is unknown", 2, 7, 0, 0, 1, 0, 0, 0, true, 0},
};

class DecisionProcedure : public ::testing::TestWithParam<OsCase> {};

TEST_P(DecisionProcedure, GivesTheExpectedCode) {
    const OsCase& c = GetParam();
    MemoryPlatform platform;
    platform.version = OsVersionRecord{kOsVersionInfoExSize, c.major, c.minor, c.build,
                                       c.platformId, c.suite, c.productType};
    platform.nativeArchitecture = c.architecture;
    platform.serverR2Metric = c.serverR2;
    if (!c.verifyAvailable) platform.missingFunctions.insert("RtlVerifyVersionInfo");
    OsIdentity identity;
    EXPECT_EQ(identifyOs(platform, identity), c.expected);
    EXPECT_EQ(identity.versionCode, c.expected);
    EXPECT_EQ(identity.is64Bit, isArchitecture64Bit(c.architecture));
}

INSTANTIATE_TEST_SUITE_P(EveryBranch, DecisionProcedure, ::testing::ValuesIn(kOsCases),
                         [](const ::testing::TestParamInfo<OsCase>& info) {
                             std::string name;
                             for (const char* p = info.param.proves; *p; ++p) {
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             }
                             return name;
                         });

TEST(DecisionProcedure, VerifiesTenZeroWithEqualityOnMajorThenMinor) {
    MemoryPlatform platform;
    testing::scriptWorkstation(platform, 10, 0, 19045, true);
    EXPECT_EQ(computeVersionCode(platform), oscode::kWindows10x64);
    // VER_EQUAL for VER_MAJORVERSION (bits 3-5) and VER_MINORVERSION (bits 0-2).
    ASSERT_TRUE(platform.lastVerifyMask.has_value());
    EXPECT_EQ(*platform.lastVerifyMask, 0x9u);
}

TEST(DecisionProcedure, AsksForTheR2MetricOnlyWhenTheR2TestIsReached) {
    MemoryPlatform seven;
    EXPECT_EQ(computeVersionCode(seven), oscode::kWindows7);
    EXPECT_FALSE(seven.called("GetSystemMetrics:89"));

    MemoryPlatform server2003;
    server2003.version = OsVersionRecord{kOsVersionInfoExSize, 5, 2, 3790, 2, 0, 1};
    server2003.serverR2Metric = 1;
    OsIdentity identity;
    EXPECT_EQ(identifyOs(server2003, identity), 50012u);
    EXPECT_TRUE(server2003.called("GetSystemMetrics:89"));
    EXPECT_TRUE(identity.r2Flag);
}

TEST(DecisionProcedure, MakesTheSixThreeCheckOnlyWhenTenZeroDidNotDecide) {
    MemoryPlatform platform;
    testing::scriptWorkstation(platform, 10, 0, 19045, false);
    computeVersionCode(platform);
    EXPECT_EQ(std::count(platform.calls.begin(), platform.calls.end(), "RtlVerifyVersionInfo"), 1);

    MemoryPlatform eight;
    testing::scriptWorkstation(eight, 6, 3, 9600, false);
    OsIdentity identity;
    EXPECT_EQ(identifyOs(eight, identity), 50038u);
    EXPECT_FALSE(identity.verified10);
    EXPECT_TRUE(identity.verified63);
}

TEST(DecisionProcedure, MissingKernel32GivesZeroForNtAndMissingNativeInfoMeans32Bit) {
    MemoryPlatform noKernel;
    testing::scriptWorkstation(noKernel, 6, 1, 7601, true);
    noKernel.modules.erase(u"kernel32.dll");
    EXPECT_EQ(computeVersionCode(noKernel), 0u);

    MemoryPlatform noNativeInfo;
    testing::scriptWorkstation(noNativeInfo, 6, 0, 6002, true);
    noNativeInfo.missingFunctions.insert("GetNativeSystemInfo");
    OsIdentity identity;
    EXPECT_EQ(identifyOs(noNativeInfo, identity), 50001u);  // Vista, not Vista 64 bit
    EXPECT_FALSE(identity.is64Bit);
    EXPECT_EQ(identity.processorArchitecture, 0);
}

TEST(VersionRecord, PrefersRtlGetVersionThenFallsBackToBothRecordSizes) {
    struct Case {
        const char* proves;
        bool hasRtlGetVersion;
        std::int32_t rtlStatus;
        bool extendedOk;
        bool plainOk;
        bool expectedResult;
        std::vector<std::uint32_t> expectedSizes;
        std::uint8_t expectedProductType;
    };
    const Case cases[] = {
        {"RtlGetVersion answers", true, 0, true, true, true, {}, 1},
        {"RtlGetVersion missing", false, 0, true, true, true, {284}, 1},
        {"RtlGetVersion fails", true, -1, true, true, true, {284}, 1},
        {"extended record refused", false, 0, false, true, true, {284, 276}, 0},
        {"nothing answers", true, -1, false, false, false, {284, 276}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.proves);
        MemoryPlatform platform;
        if (!c.hasRtlGetVersion) platform.missingFunctions.insert("RtlGetVersion");
        platform.rtlGetVersionStatus = c.rtlStatus;
        platform.getVersionExExtendedSucceeds = c.extendedOk;
        platform.getVersionExPlainSucceeds = c.plainOk;
        OsVersionRecord record;
        EXPECT_EQ(getVersionRecord(platform, record), c.expectedResult);
        EXPECT_EQ(platform.versionExSizes, c.expectedSizes);
        if (c.expectedResult) {
            EXPECT_EQ(record.majorVersion, 6u);
            EXPECT_EQ(record.minorVersion, 1u);
            EXPECT_EQ(record.buildNumber, 7601u);
            EXPECT_EQ(record.productType, c.expectedProductType);
        }
    }
}

TEST(VersionRecord, NoRecordMeansNotIdentified) {
    MemoryPlatform platform;
    platform.rtlGetVersionStatus = -1;
    platform.getVersionExExtendedSucceeds = false;
    platform.getVersionExPlainSucceeds = false;
    EXPECT_EQ(computeVersionCode(platform), 0u);
}

TEST(Is64Bit, FollowsTheNativeArchitecture) {
    const std::pair<std::uint16_t, bool> cases[] = {
        {0, false}, {5, false}, {6, true}, {7, true}, {9, true}, {10, true}, {12, false}, {0xFFFF, false}};
    for (auto [architecture, expected] : cases) {
        SCOPED_TRACE(architecture);
        MemoryPlatform platform;
        platform.nativeArchitecture = architecture;
        EXPECT_EQ(is64BitSystem(platform), expected);
    }
    MemoryPlatform missing;
    missing.nativeArchitecture = 9;
    missing.missingFunctions.insert("GetNativeSystemInfo");
    EXPECT_FALSE(is64BitSystem(missing));
}

TEST(NameTable, EveryCodeFrom50001To50049HasOneNameAndNothingElseDoes) {
    std::set<std::u16string> names;
    for (OsVersionCode code = 50001; code <= 50049; ++code) {
        std::u16string name;
        ASSERT_TRUE(nameForCode(code, name)) << code;
        EXPECT_FALSE(name.empty());
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 49u);
    for (OsVersionCode code : {0u, 50000u, 50050u, 14008u, 0xFFFFFFFFu}) {
        std::u16string name = u"untouched";
        EXPECT_FALSE(nameForCode(code, name)) << code;
        EXPECT_EQ(name, u"untouched");
    }
}

TEST(NameTable, EveryNameAsDocumented) {
    // All 49, by code: a swapped or misspelt name is a wrong header in every
    // document made on that system.
    const std::pair<OsVersionCode, std::u16string> cases[] = {
        {50001, u"Windows Vista"},
        {50002, u"Windows Server 2008"},
        {50003, u"Windows 2003 Data Center 64 bit Edition(Itanium Based)"},
        {50004, u"Windows 2003 Enterprise 64 bit Edition(Itanium Based)"},
        {50005, u"Windows 2003 Data Center 64 bit Edition(AMD Based)"},
        {50006, u"Windows 2003 Enterprise 64 bit Edition(AMD Based)"},
        {50007, u"Windows 2003 Standard 64 bit Edition(AMD Based)"},
        {50008, u"Windows 2003 Data Center Edition"},
        {50009, u"Windows 2003 Enterprise Edition"},
        {50010, u"Windows 2003 Web Edition"},
        {50011, u"Windows 2003 Standard Edition"},
        {50012, u"Windows Server 2003 R2"},
        {50013, u"Windows XP Professional 64 bit"},
        {50014, u"Windows Server 2003"},
        {50015, u"Windows XP Home"},
        {50016, u"Windows XP Professional"},
        {50017, u"Windows 2000 Data Center Edition"},
        {50018, u"Windows 2000 Advance Server"},
        {50019, u"Windows 2000 Professional"},
        {50020, u"Windows NT Workstation"},
        {50021, u"Windows NT Server Enterprise"},
        {50022, u"Windows NT Server Standard"},
        {50023, u"Windows 95"},
        {50024, u"Windows 98"},
        {50025, u"Windows Millennium"},
        {50026, u"Windows Vista 64 bit"},
        {50027, u"Windows NT 3.51"},
        {50028, u"Windows 2000 Server"},
        {50029, u"Windows Server 2008 64 bit"},
        {50030, u"Windows Server 2008 R2"},
        {50031, u"Windows Server 2008 R2 64 bit"},
        {50032, u"Windows 7"},
        {50033, u"Windows 7 64 bit"},
        {50034, u"Windows 8"},
        {50035, u"Windows 8 64 bit"},
        {50036, u"Windows Server 2012"},
        {50037, u"Windows Server 2012 64 bit"},
        {50038, u"Windows 8.1"},
        {50039, u"Windows 8.1 64 bit"},
        {50040, u"Windows Server 2012 R2 64 bit"},
        {50041, u"Windows 10"},
        {50042, u"Windows 10 64 bit"},
        {50043, u"Windows Server 2016 64 bit"},
        {50044, u"Windows Small Business Server 2011 Essentials"},
        {50045, u"Windows Small Business Server 2011 Essentials 64 bit"},
        {50046, u"Windows Server 2019 64 bit"},
        {50047, u"Windows Server 2022 64 bit"},
        {50048, u"Windows 11"},
        {50049, u"Windows 11 64 bit"},
    };
    for (const auto& [code, expected] : cases) {
        std::u16string name;
        ASSERT_TRUE(nameForCode(code, name)) << code;
        EXPECT_EQ(name, expected) << code;
    }
}

TEST(NameTable, ANameThatDoesNotFitTheBufferFails) {
    std::u16string name;
    EXPECT_TRUE(nameForCode(50032, name, 10));   // "Windows 7" + terminator
    EXPECT_FALSE(nameForCode(50032, name, 9));
}

TEST(AcceptedCodes, ExactlyTheSixDesktopCodes) {
    std::set<OsVersionCode> accepted;
    for (OsVersionCode code = 0; code <= 50100; ++code) {
        if (isAcceptedOsCode(code)) accepted.insert(code);
    }
    EXPECT_EQ(accepted, (std::set<OsVersionCode>{50032, 50033, 50041, 50042, 50048, 50049}));
}

}  // namespace
}  // namespace baseline
