// Expansion and normal form of configured paths.
#include "platform/path_form.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/native_system.h"
#include "platform/percent_variables.h"
#include "platform/platform.h"

namespace baseline {

namespace {

constexpr std::uint32_t kMaxPath = 260;  // MAX_PATH, terminator included

// Whether Windows expands %NAME% here: only a defined name is a reference.
bool isDefined(Platform& platform, const std::u16string& name) {
    const std::u16string reference = u"%" + name + u"%";
    std::u16string value;
    const std::uint32_t needed = platform.expandEnvironmentStrings(reference, value, kMaxPath);
    return needed != 0 && (needed > kMaxPath || value != reference);
}

// WOW64 gives a 32-bit process the x86 folders as %PROGRAMFILES% and
// %COMMONPROGRAMFILES%. A configured path means what a native process sees,
// whichever program reads it, so under WOW64 those two are asked for by
// their native names. The references are found by Windows' own pairing rule,
// so that nothing else in the text changes meaning.
std::u16string withNativeProgramFiles(Platform& platform, const std::u16string& source) {
    struct NativeName {
        std::u16string_view wow64;  // lower case
        std::u16string_view native;
    };
    static constexpr NativeName kNativeNames[] = {
        {u"programfiles", u"ProgramW6432"},
        {u"commonprogramfiles", u"CommonProgramW6432"},
    };
    return expandPercentVariables(source, [&](const std::u16string& name) -> std::optional<std::u16string> {
        if (!isDefined(platform, name)) return std::nullopt;
        const std::u16string lowered = lowerAscii(name);
        for (const auto& names : kNativeNames) {
            const std::u16string native(names.native);
            if (lowered == names.wow64 && isDefined(platform, native)) return u"%" + native + u"%";
        }
        return u"%" + name + u"%";
    });
}

// ExpandEnvironmentStringsW into 260 units first; when the result needs more,
// asked again with the size reported, so a path is never cut. False when the
// call fails (returns 0).
bool expandSystemPath(Platform& platform, const std::u16string& source, std::u16string& expanded) {
    std::uint32_t bufferLength = kMaxPath;
    // The environment cannot grow between the calls of this single-threaded
    // program, but a bounded retry costs nothing and never loops forever.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const std::uint32_t needed = platform.expandEnvironmentStrings(source, expanded, bufferLength);
        if (needed == 0) return false;
        if (needed <= bufferLength) return true;
        bufferLength = needed;
    }
    return false;
}

}  // namespace

bool expandPath(Platform& platform, const std::u16string& source, std::u16string& expanded) {
    if (source.find(u'%') != std::u16string::npos && runsUnderWow64(platform)) {
        return expandSystemPath(platform, withNativeProgramFiles(platform, source), expanded);
    }
    return expandSystemPath(platform, source, expanded);
}


std::u16string lowerAscii(std::u16string text) {
    for (auto& c : text) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return text;
}

std::u16string collapseSeparators(std::u16string path) {
    std::size_t kept = std::min<std::size_t>(path.size(), 2);
    for (std::size_t i = kept; i < path.size(); ++i) {
        if (path[i] == u'\\' && i > 2 && path[i - 1] == u'\\') continue;
        path[kept++] = path[i];
    }
    path.resize(kept);
    return path;
}

std::u16string normalizePath(std::u16string path) {
    path = lowerAscii(collapseSeparators(std::move(path)));
    if (!path.empty() && path.back() == u'\\') path.pop_back();
    return path;
}

}  // namespace baseline
