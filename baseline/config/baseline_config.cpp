// Loading the configuration: file, decryption, parse, then the schema walk.
// Nothing escapes as an exception and nothing is printed.
#include "config/baseline_config.h"

#include <json/value.h>

#include <vector>

#include "config/baseline_file.h"
#include "config/config_schema.h"
#include "platform/platform.h"

namespace baseline {

bool BaselineConfig::loadBaselineConfig(Platform& platform) {
    try {
        std::string json;
        {
            std::string content;
            if (!readBaselineFile(platform, content)) return false;
            if (!decryptBaselineText(content, json)) return false;
        }
        Json::Value root;
        if (!parseBaselineJson(json, root, nullptr)) return false;
        PlatformConfigEnvironment environment(platform);
        return applyBaselineJson(root, environment, *this, nullptr);
    } catch (...) {
        return false;
    }
}

std::u16string utf8ToUtf16(Platform& platform, const std::string& utf8) {
    const int needed = platform.multiByteToWideCharTerminated(kCodePageUtf8, 0, utf8.c_str(), nullptr, 0);
    if (needed <= 0) return {};
    std::vector<char16_t> buffer(static_cast<std::size_t>(needed));
    if (platform.multiByteToWideCharTerminated(kCodePageUtf8, 0, utf8.c_str(), buffer.data(), needed) == 0) {
        return {};
    }
    return std::u16string(buffer.data());
}

}  // namespace baseline
