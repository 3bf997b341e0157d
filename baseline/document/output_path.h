// Where the allowlist document goes: next to the program, named after the
// title and the local date and time, for example
// D:\Deploy\Finance_allowlist_08122025_0933.json.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace baseline {

class Platform;
struct FailureCause;

constexpr const char16_t* kOutputNameSuffixFormat = u"_allowlist_%d%m%Y_%H%M.json";
constexpr std::size_t kOutputNameSuffixBufferLength = 50;
constexpr std::uint32_t kModulePathBufferLength = 260;

// Sets `outputPath` to the document's path next to the program, for `title`
// and the local time now, and `statusCode` to 0. False with status 14001 when
// a file or directory of that name exists, or when no name can be made (the
// path is then empty); `cause` then says which.
bool buildOutputPath(Platform& platform, const std::u16string& title, std::u16string& outputPath,
                     std::int32_t& statusCode, FailureCause& cause);

}  // namespace baseline
