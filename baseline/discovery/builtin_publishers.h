// The publishers that every run treats as allowed and not mutable, in the
// order in which they are added to a configuration that lacks them.
#pragma once

#include <string_view>

namespace baseline {

inline constexpr std::u16string_view kBuiltInPublisherNames[] = {
    u"Morvane Technologies (Pvt) Ltd.",
    u"Morvane Technologies Private Limited",
    u"Morvane Technologies Limited",
    u"Morvane Technologies (P) Ltd.",
    u"Pellworth, LLC",
};

}  // namespace baseline
