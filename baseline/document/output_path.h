// Where the allowlist document goes: next to the program, named after the
// title and the local date and time, for example
// D:\Deploy\Finance_allowlist_08122025_0933.json.
#pragma once

#include <cstddef>
#include <cstdint>

namespace baseline {

constexpr const char16_t* kOutputNameSuffixFormat = u"_allowlist_%d%m%Y_%H%M.json";
constexpr std::size_t kOutputNameSuffixBufferLength = 50;
constexpr std::uint32_t kModulePathBufferLength = 260;

}  // namespace baseline
