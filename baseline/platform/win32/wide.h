// UTF-16 text crosses into Win32 as wchar_t; on Windows both are 16-bit units.
#pragma once

#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are UTF-16 units");

namespace baseline {

inline const wchar_t* asWide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline wchar_t* asWide(std::u16string& text) { return reinterpret_cast<wchar_t*>(text.data()); }

}  // namespace baseline
