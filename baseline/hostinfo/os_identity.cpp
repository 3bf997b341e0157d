// Operating-system identification: the version record with its fallbacks, the
// 64-bit test, the decision procedure and the name table.
#include "hostinfo/os_identity.h"

#include <algorithm>
#include <string_view>

namespace baseline {
namespace {

constexpr std::uint16_t kSuiteEnterprise = 0x0002;
constexpr std::uint16_t kSuiteDatacenter = 0x0080;
constexpr std::uint16_t kSuitePersonal = 0x0200;
constexpr std::uint16_t kSuiteBlade = 0x0400;

constexpr std::uint8_t kWorkstation = 1;
constexpr std::uint8_t kDomainController = 2;
constexpr std::uint8_t kServer = 3;

constexpr std::uint32_t kVerMinorVersion = 1;  // VER_MINORVERSION
constexpr std::uint32_t kVerMajorVersion = 2;  // VER_MAJORVERSION
constexpr std::uint8_t kVerEqual = 1;          // VER_EQUAL
constexpr int kSmServerR2 = 89;                // SM_SERVERR2

struct OsName {
    OsVersionCode code;
    std::u16string_view name;
};

// Stored order matters only for lookups, which take the first equal code.
constexpr OsName kOsNames[] = {
    {50023, u"Windows 95"},
    {50024, u"Windows 98"},
    {50016, u"Windows XP Professional"},
    {50015, u"Windows XP Home"},
    {50020, u"Windows NT Workstation"},
    {50022, u"Windows NT Server Standard"},
    {50021, u"Windows NT Server Enterprise"},
    {50027, u"Windows NT 3.51"},
    {50014, u"Windows Server 2003"},
    {50019, u"Windows 2000 Professional"},
    {50025, u"Windows Millennium"},
    {50028, u"Windows 2000 Server"},
    {50018, u"Windows 2000 Advance Server"},
    {50017, u"Windows 2000 Data Center Edition"},
    {50010, u"Windows 2003 Web Edition"},
    {50009, u"Windows 2003 Enterprise Edition"},
    {50011, u"Windows 2003 Standard Edition"},
    {50004, u"Windows 2003 Enterprise 64 bit Edition(Itanium Based)"},
    {50006, u"Windows 2003 Enterprise 64 bit Edition(AMD Based)"},
    {50012, u"Windows Server 2003 R2"},
    {50001, u"Windows Vista"},
    {50002, u"Windows Server 2008"},
    {50008, u"Windows 2003 Data Center Edition"},
    {50007, u"Windows 2003 Standard 64 bit Edition(AMD Based)"},
    {50003, u"Windows 2003 Data Center 64 bit Edition(Itanium Based)"},
    {50005, u"Windows 2003 Data Center 64 bit Edition(AMD Based)"},
    {50026, u"Windows Vista 64 bit"},
    {50013, u"Windows XP Professional 64 bit"},
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

constexpr OsVersionCode kAcceptedCodes[] = {
    oscode::kWindows7,  oscode::kWindows7x64,  oscode::kWindows10,
    oscode::kWindows10x64, oscode::kWindows11, oscode::kWindows11x64,
};

bool isServerType(std::uint8_t productType) {
    return productType == kServer || productType == kDomainController;
}

// RtlVerifyVersionInfo for major.minor, both required equal.
bool verifiesAs(Platform& platform, ProcAddress verify, std::uint32_t major, std::uint32_t minor) {
    OsVersionRecord wanted;
    wanted.size = kOsVersionInfoExSize;
    wanted.majorVersion = major;
    wanted.minorVersion = minor;
    std::uint64_t mask = platform.verSetConditionMask(0, kVerMajorVersion, kVerEqual);
    mask = platform.verSetConditionMask(mask, kVerMinorVersion, kVerEqual);
    return platform.callRtlVerifyVersionInfo(verify, wanted, kVerMinorVersion | kVerMajorVersion,
                                             mask) >= 0;
}

OsVersionCode pick(bool is64Bit, OsVersionCode code32, OsVersionCode code64) {
    return is64Bit ? code64 : code32;
}

OsVersionCode serverR2Test(Platform& platform, OsIdentity& id) {
    id.r2Flag = platform.getSystemMetrics(kSmServerR2) != 0;
    if (id.r2Flag) return 50012;
    if (id.productType == kWorkstation && id.processorArchitecture == 9) return 50013;
    return 50014;
}

OsVersionCode decideMajor5(Platform& platform, OsIdentity& id) {
    const bool datacenter = id.suiteMask & kSuiteDatacenter;
    const bool enterprise = id.suiteMask & kSuiteEnterprise;
    switch (id.minorVersion) {
    case 2:
        if (!isServerType(id.productType)) return serverR2Test(platform, id);
        if (id.processorArchitecture == 6) {
            if (datacenter) return 50003;
            if (enterprise) return 50004;
            return serverR2Test(platform, id);
        }
        if (id.processorArchitecture == 9) {
            if (datacenter) return 50005;
            if (enterprise) return 50006;
            return 50007;
        }
        if (datacenter) return 50008;
        if (enterprise) return 50009;
        if (id.suiteMask & kSuiteBlade) return 50010;
        return 50011;
    case 1:
        if (id.productType == kWorkstation && id.processorArchitecture == 9) return 50013;
        if (id.suiteMask & kSuitePersonal) return 50015;
        return 50016;
    case 0:
        if (id.productType == kWorkstation) return 50019;
        if (isServerType(id.productType)) {
            if (datacenter) return 50017;
            if (enterprise) return 50018;
            return 50028;
        }
        return 0;
    default:
        return 0;
    }
}

OsVersionCode decideMajor6(const OsIdentity& id) {
    const bool workstation = id.productType == kWorkstation;
    switch (id.minorVersion) {
    case 2:
        return workstation ? pick(id.is64Bit, 50034, 50035) : pick(id.is64Bit, 50036, 50037);
    case 1:
        return workstation ? pick(id.is64Bit, 50032, 50033) : pick(id.is64Bit, 50030, 50031);
    case 0: {
        const bool arch64 = isArchitecture64Bit(id.processorArchitecture);
        return workstation ? (arch64 ? 50026 : 50001) : (arch64 ? 50029 : 50002);
    }
    default:
        return 0;
    }
}

OsVersionCode decide(Platform& platform, OsIdentity& id) {
    if (id.platformId == 1) {
        if (id.majorVersion != 4) return 0;
        switch (id.minorVersion) {
        case 0: return 50023;
        case 10: return 50024;
        case 90: return 50025;
        default: return 0;
        }
    }
    if (id.platformId != 2) return 0;

    const ModuleHandle kernel32 = platform.getModuleHandle(u"Kernel32.dll");
    if (kernel32 == 0) return 0;
    const ProcAddress nativeInfo = platform.getProcAddress(kernel32, "GetNativeSystemInfo");
    id.processorArchitecture = nativeInfo == 0 ? 0 : platform.callGetNativeSystemInfo(nativeInfo);

    const ProcAddress verify = findProc(platform, u"Ntdll.dll", "RtlVerifyVersionInfo");
    if (verify != 0 && (id.verified10 = verifiesAs(platform, verify, 10, 0))) {
        if (id.productType == kWorkstation) {
            return id.buildNumber < 22000 ? pick(id.is64Bit, 50041, 50042)
                                          : pick(id.is64Bit, 50048, 50049);
        }
        if (id.is64Bit) {
            if (id.buildNumber >= 20285) return 50047;
            if (id.buildNumber >= 17623) return 50046;
            return 50043;
        }
    }
    if (verify != 0 && (id.verified63 = verifiesAs(platform, verify, 6, 3))) {
        if (id.productType == kWorkstation) return pick(id.is64Bit, 50038, 50039);
        if (id.is64Bit) return 50040;
    }
    switch (id.majorVersion) {
    case 6:
        return decideMajor6(id);
    case 5:
        return decideMajor5(platform, id);
    case 4:
        if (id.minorVersion != 0) return 0;
        if (isServerType(id.productType)) return (id.suiteMask & kSuiteEnterprise) ? 50021 : 50022;
        return 50020;
    case 3:
        return id.minorVersion == 51 ? 50027 : 0;
    default:
        return 0;
    }
}

}  // namespace

bool getVersionRecord(Platform& platform, OsVersionRecord& record) {
    OsVersionRecord query;
    query.size = kOsVersionInfoExSize;
    const ProcAddress rtlGetVersion = findProc(platform, u"Ntdll.dll", "RtlGetVersion");
    if (rtlGetVersion != 0 && platform.callRtlGetVersion(rtlGetVersion, query) >= 0) {
        record = query;
        return true;
    }
    query = OsVersionRecord{};
    query.size = kOsVersionInfoExSize;
    if (!platform.getVersionEx(query)) {
        query.size = kOsVersionInfoSize;
        if (!platform.getVersionEx(query)) return false;
    }
    record = query;
    return true;
}

OsVersionCode identifyOs(Platform& platform, OsIdentity& identity) {
    identity = OsIdentity{};
    OsVersionRecord record;
    if (!getVersionRecord(platform, record)) return 0;
    identity.majorVersion = record.majorVersion;
    identity.minorVersion = record.minorVersion;
    identity.buildNumber = record.buildNumber;
    identity.platformId = record.platformId;
    identity.suiteMask = record.suiteMask;
    identity.productType = record.productType;
    identity.is64Bit = is64BitSystem(platform);
    identity.versionCode = decide(platform, identity);
    if (!nameForCode(identity.versionCode, identity.name)) identity.name.clear();
    return identity.versionCode;
}

OsVersionCode computeVersionCode(Platform& platform) {
    OsIdentity identity;
    return identifyOs(platform, identity);
}

bool nameForCode(OsVersionCode code, std::u16string& name, std::size_t bufferLength) {
    const auto* entry = std::find_if(std::begin(kOsNames), std::end(kOsNames),
                                     [code](const OsName& n) { return n.code == code; });
    if (entry == std::end(kOsNames) || entry->name.size() + 1 > bufferLength) return false;
    name.assign(entry->name);
    return true;
}

bool isAcceptedOsCode(OsVersionCode code) {
    return std::find(std::begin(kAcceptedCodes), std::end(kAcceptedCodes), code) !=
           std::end(kAcceptedCodes);
}

}  // namespace baseline
