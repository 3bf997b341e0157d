// The tool's view of a machine that is not Windows: the process environment
// stands in for Windows' variables and the local file system for its
// directories, so warnings about custom paths mean "not on this machine".
#pragma once

#include "config/config_schema.h"

namespace baseline::tool {

class HostConfigEnvironment final : public ConfigEnvironment {
public:
    std::u16string toUtf16(const std::string& utf8) override;
    bool expand(const std::u16string& path, std::u16string& expanded) override;
    bool isAccessibleDirectory(const std::u16string& path) override;
    bool seesWindowsPaths() const override { return false; }
};

}  // namespace baseline::tool
