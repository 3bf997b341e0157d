// HostConfigEnvironment over the C++ standard library and the C environment.
#include "host_environment.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/percent_variables.h"
#include "platform/utf.h"

namespace baseline::tool {

std::u16string HostConfigEnvironment::toUtf16(const std::string& utf8) {
    // As MultiByteToWideChar with CP_UTF8 and length -1: up to the first zero byte.
    return decodeUtf8Replacing(utf8.substr(0, utf8.find('\0')));
}

bool HostConfigEnvironment::expand(const std::u16string& path, std::u16string& expanded) {
    // Windows names ignore case: a name is looked up as written, then in capitals.
    expanded = expandPercentVariables(path, [](const std::u16string& name16) -> std::optional<std::u16string> {
        const std::string name = encodeUtf8(name16);
        std::string upper = name;
        for (auto& c : upper) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        const char* value = std::getenv(name.c_str());
        if (!value) value = std::getenv(upper.c_str());
        if (!value) return std::nullopt;
        return decodeUtf8Replacing(value);
    });
    return true;
}

bool HostConfigEnvironment::isAccessibleDirectory(const std::u16string& path) {
    if (path.empty()) return false;
    const std::string utf8 = encodeUtf8(path);
    std::error_code code;
    return std::filesystem::is_directory(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())), code);
}

}  // namespace baseline::tool
