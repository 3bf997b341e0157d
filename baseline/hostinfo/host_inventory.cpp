// Filling the host inventory for the document header. Only the operating
// system's identification can fail it; an unreadable host name or system drive
// falls back to a value and the run goes on.
#include "hostinfo/host_inventory.h"

#include "hostinfo/os_identity.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace baseline {

bool fillHostInventory(Platform& system, const std::u16string& title, const std::u16string& description,
                       HostInventory& inventory, std::int32_t& statusCode) {
    const auto fail = [&statusCode] {
        statusCode = kStatusHostInventoryFailed;
        return false;
    };

    OsVersionRecord record;
    if (!getVersionRecord(system, record)) return fail();
    inventory.osver = widenAscii(std::to_string(record.majorVersion) + "." +
                                 std::to_string(record.minorVersion));
    inventory.buildnumber = record.buildNumber;
    inventory.suite = record.suiteMask;

    inventory.osid = computeVersionCode(system);
    if (inventory.osid == 0) return fail();
    std::u16string osname;
    if (!nameForCode(inventory.osid, osname, kHostInfoBufferLength)) return fail();
    inventory.osname = osname;

    std::u16string hostname;
    if (system.getComputerNameEx(kComputerNameDnsFullyQualified, hostname, kHostInfoBufferLength)) {
        inventory.hostname = hostname;
    }

    std::u16string drive;
    const std::uint32_t needed =
        system.expandEnvironmentStrings(u"%SYSTEMDRIVE%", drive, kHostInfoBufferLength);
    // An expansion that does not fit leaves nothing to read, as a failed one does.
    if (needed == 0 || needed > kHostInfoBufferLength) {
        inventory.osdrive = u"C:";
    } else {
        inventory.osdrive = drive.substr(0, 2);
    }
    inventory.osdrivevar = u"%SYSTEMDRIVE%";
    inventory.os = u"Windows";
    inventory.platform = is64BitSystem(system) ? u"64-bit" : u"32-bit";
    inventory.title = title;
    inventory.desc = description;
    statusCode = 0;
    return true;
}

}  // namespace baseline
