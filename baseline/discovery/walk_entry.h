// One root, directory or file as the walk meets it, before it is recorded.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace baseline {

struct WalkEntry {
    std::u16string path;       // as built: root expansion, parent path, backslash, name
    std::int32_t id = 0;
    std::int32_t parentId = -1;  // -1 for a root
    bool onSystemDrive = false;
    bool isDefault = true;
    bool isDirectory = true;
    std::int32_t allowed = 0;
    bool isMutable = false;
    FindData findData;         // all zero for a root
};

// True for names ending in ".exe", in any ASCII letter case; nothing else counts.
bool isSupportedFile(const std::u16string& name);

}  // namespace baseline
