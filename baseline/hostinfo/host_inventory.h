// The facts the allowlist document's header carries about the machine it was
// made on, with the run's title and description.
#pragma once

#include <cstdint>
#include <string>

namespace baseline {

struct HostInventory {
    std::u16string title;
    std::u16string desc;
    std::u16string hostname;  // fully qualified DNS name; empty when unreadable
    std::u16string os;
    std::u16string platform;  // "64-bit" or "32-bit"
    std::u16string osname;
    std::u16string osver;     // major.minor, for example 10.0
    std::uint32_t buildnumber = 0;
    std::uint32_t suite = 0;
    std::uint32_t osid = 0;
    std::u16string osdrive;   // normally a letter and a colon
    std::u16string osdrivevar;
};

constexpr std::uint32_t kHostInfoBufferLength = 260;

// The operating system could not be identified; kept for diagnosis.
constexpr std::int32_t kStatusHostInventoryFailed = 14006;

class Platform;

// Fills `inventory` for the document header, with the run's title and
// description, and sets `statusCode` to 0. False with status 14006 when the
// system cannot be identified.
bool fillHostInventory(Platform& platform, const std::u16string& title, const std::u16string& description,
                       HostInventory& inventory, std::int32_t& statusCode);

}  // namespace baseline
