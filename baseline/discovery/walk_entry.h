// One root, directory or file as the walk meets it, before it is recorded.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace baseline {

struct WalkEntry {
    std::u16string path;       // as built: root expansion, parent path, backslash, name
    // The path's normal form, made with the entry (and, for a directory,
    // again when it leaves the queue); every rule compares it.
    std::u16string normalPath;
    std::int32_t id = 0;
    std::int32_t parentId = -1;  // -1 for a root
    bool onSystemDrive = false;
    bool isDefault = true;
    bool isDirectory = true;
    std::int32_t allowed = 0;
    bool isMutable = false;
    // The attributes of the listing's find data, the only part of it used
    // after the listing; 0 for a root.
    std::uint32_t attributes = 0;
};

// True for names ending in ".exe", in any ASCII letter case; nothing else counts.
bool isSupportedFile(std::u16string_view name);

}  // namespace baseline
