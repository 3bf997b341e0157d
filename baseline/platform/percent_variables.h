// Windows' rule for %NAME% references, for the places that expand without
// Windows: the administrators' tool on Linux and the in-memory platform.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace baseline {

// Replaces each %NAME% whose `lookup` gives a value; a name without one stays
// as written, percent signs included, as ExpandEnvironmentStringsW leaves it.
std::u16string expandPercentVariables(
    const std::u16string& text,
    const std::function<std::optional<std::u16string>(const std::u16string& name)>& lookup);

}  // namespace baseline
