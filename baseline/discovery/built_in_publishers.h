// The publisher names every run allows, whatever the configuration says.
#pragma once

#include <string_view>

namespace baseline {

// Allowed and not mutable in every run, in this order.
inline constexpr std::u16string_view kBuiltInPublisherNames[] = {
    u"Morvane Technologies (Pvt) Ltd.",
    u"Morvane Technologies Private Limited",
    u"Morvane Technologies Limited",
    u"Morvane Technologies (P) Ltd.",
    u"Pellworth, LLC",
};

}  // namespace baseline
