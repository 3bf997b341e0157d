// Filling the host inventory for the document header. Only the operating
// system's identification can fail it; an unreadable host name or system drive
// falls back to a value and the run goes on.
#include "hostinfo/host_inventory.h"

#include "hostinfo/os_identity.h"
#include "platform/native_system.h"
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

    // The walk's rule; a failed expansion, which stops the walk, still
    // leaves the header a value.
    if (!readSystemDrive(system, inventory.osdrive)) inventory.osdrive = u"C:";
    inventory.osdrivevar = u"%SYSTEMDRIVE%";
    inventory.os = u"Windows";
    inventory.platform = is64BitSystem(system) ? u"64-bit" : u"32-bit";
    inventory.title = title;
    inventory.desc = description;
    statusCode = 0;
    return true;
}

}  // namespace baseline
