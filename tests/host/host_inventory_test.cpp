// The host inventory of the document header over scripted system facts: each
// field's source, the fallbacks for host name and system drive, and the three
// ways identification can fail it.
#include <gtest/gtest.h>

#include <optional>

#include "discovery/discovery_engine.h"
#include "hostinfo/host_inventory.h"
#include "memory_platform.h"

namespace baseline {
namespace {

using testing::MemoryPlatform;
using testing::scriptWorkstation;

class HostInventoryTest : public ::testing::Test {
protected:
    HostInventoryTest() { platform.environment[u"SystemDrive"] = u"C:"; }
    bool fill() { return engine.fillHostInventory(inventory); }

    MemoryPlatform platform;
    DiscoveryEngine engine{platform, u"Finance", u"Finance desktops", BaselineConfig{}};
    HostInventory inventory;
};

TEST_F(HostInventoryTest, A64BitWindows10Machine) {
    scriptWorkstation(platform, 10, 0, 19045, true);
    platform.computerName = u"pc-0001.corp.example";
    engine.statusCode = 12345;
    ASSERT_TRUE(fill());
    EXPECT_EQ(engine.statusCode, 0);
    EXPECT_EQ(inventory.title, u"Finance");
    EXPECT_EQ(inventory.desc, u"Finance desktops");
    EXPECT_EQ(inventory.hostname, u"pc-0001.corp.example");
    EXPECT_EQ(inventory.os, u"Windows");
    EXPECT_EQ(inventory.platform, u"64-bit");
    EXPECT_EQ(inventory.osname, u"Windows 10 64 bit");
    EXPECT_EQ(inventory.osver, u"10.0");
    EXPECT_EQ(inventory.buildnumber, 19045u);
    EXPECT_EQ(inventory.suite, 0x0100u);
    EXPECT_EQ(inventory.osid, 50042u);
    EXPECT_EQ(inventory.osdrive, u"C:");
    EXPECT_EQ(inventory.osdrivevar, u"%SYSTEMDRIVE%");
    EXPECT_TRUE(platform.called("GetComputerNameExW:3"));
}

TEST_F(HostInventoryTest, Windows11KeepsVersion10AndA32BitSystemSaysSo) {
    scriptWorkstation(platform, 10, 0, 22631, false);
    ASSERT_TRUE(fill());
    EXPECT_EQ(inventory.osver, u"10.0");
    EXPECT_EQ(inventory.osname, u"Windows 11");
    EXPECT_EQ(inventory.osid, 50048u);
    EXPECT_EQ(inventory.buildnumber, 22631u);
    EXPECT_EQ(inventory.platform, u"32-bit");
}

struct DriveCase {
    const char* proves;
    std::optional<std::u16string> systemDrive;  // nullopt: undefined
    bool expansionFails;
    std::u16string osdrive;
};

class SystemDrive : public HostInventoryTest, public ::testing::WithParamInterface<DriveCase> {};

TEST_P(SystemDrive, IsTheFirstTwoUnitsOfTheExpansionOrCColon) {
    platform.environment.clear();
    if (GetParam().systemDrive) platform.environment[u"SYSTEMDRIVE"] = *GetParam().systemDrive;
    platform.expansionFails = GetParam().expansionFails;
    ASSERT_TRUE(fill()) << GetParam().proves;
    EXPECT_EQ(inventory.osdrive, GetParam().osdrive);
    EXPECT_EQ(inventory.osdrivevar, u"%SYSTEMDRIVE%");
}

INSTANTIATE_TEST_SUITE_P(
    HostInventory, SystemDrive,
    ::testing::Values(DriveCase{"D drive", u"D:", false, u"D:"},
                      DriveCase{"longer value cut to two", u"E:\\x", false, u"E:"},
                      DriveCase{"shorter value whole", u"Z", false, u"Z"},
                      DriveCase{"undefined stays unexpanded", std::nullopt, false, u"%S"},
                      DriveCase{"failed call", u"D:", true, u"C:"},
                      // As the walk reads it: the expansion in full, then its first two units.
                      DriveCase{"longer than 260 units", u"Q:" + std::u16string(300, u'q'), false, u"Q:"}));

TEST_F(HostInventoryTest, AnUnreadableHostNameStaysEmpty) {
    platform.computerName = std::nullopt;
    ASSERT_TRUE(fill());
    EXPECT_EQ(inventory.hostname, u"");
    platform.computerName = std::u16string(260, u'h');  // needs 261 units with its terminator
    HostInventory again;
    ASSERT_TRUE(engine.fillHostInventory(again));
    EXPECT_EQ(again.hostname, u"");
}

TEST_F(HostInventoryTest, NoVersionRecordFails) {
    platform.rtlGetVersionStatus = static_cast<std::int32_t>(0xC0000001);
    platform.getVersionExExtendedSucceeds = false;
    platform.getVersionExPlainSucceeds = false;
    EXPECT_FALSE(fill());
    EXPECT_EQ(engine.statusCode, kStatusHostInventoryFailed);
}

TEST_F(HostInventoryTest, AnUnidentifiedSystemFails) {
    scriptWorkstation(platform, 3, 50, 807, false);  // NT 3.50 has no code
    EXPECT_FALSE(fill());
    EXPECT_EQ(engine.statusCode, kStatusHostInventoryFailed);
    EXPECT_EQ(inventory.osver, u"3.50");  // filled before the failing step, and left so
    EXPECT_EQ(inventory.hostname, u"");
}

}  // namespace
}  // namespace baseline
