// HostConfigEnvironment over the C++ standard library and the C environment.
#include "host_environment.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/utf.h"

namespace baseline::tool {

std::u16string HostConfigEnvironment::toUtf16(const std::string& utf8) {
    // As MultiByteToWideChar with CP_UTF8 and length -1: up to the first zero byte.
    return decodeUtf8Replacing(utf8.substr(0, utf8.find('\0')));
}

bool HostConfigEnvironment::expand(const std::u16string& path, std::u16string& expanded) {
    // %NAME% is replaced when NAME is set (as written, or in capitals, since
    // Windows names ignore case); otherwise it stays, as Windows leaves it.
    std::u16string result;
    std::size_t i = 0;
    while (i < path.size()) {
        const auto open = path.find(u'%', i);
        const auto close = open == std::u16string::npos ? open : path.find(u'%', open + 1);
        if (close == std::u16string::npos) {
            result.append(path, i, std::u16string::npos);
            break;
        }
        result.append(path, i, open - i);
        const std::string name = encodeUtf8(path.substr(open + 1, close - open - 1));
        std::string upper = name;
        for (auto& c : upper) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        }
        const char* value = name.empty() ? nullptr : std::getenv(name.c_str());
        if (!value && !name.empty()) value = std::getenv(upper.c_str());
        if (value) {
            result += decodeUtf8Replacing(value);
            i = close + 1;
        } else {
            result.append(path, open, close - open);
            i = close;
        }
    }
    expanded = result;
    return true;
}

bool HostConfigEnvironment::isAccessibleDirectory(const std::u16string& path) {
    if (path.empty()) return false;
    const std::string utf8 = encodeUtf8(path);
    std::error_code code;
    return std::filesystem::is_directory(std::filesystem::path(std::u8string(utf8.begin(), utf8.end())), code);
}

}  // namespace baseline::tool
