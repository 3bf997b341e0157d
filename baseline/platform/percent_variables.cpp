// %NAME% expansion by Windows' rule, over a caller's variable lookup.
#include "platform/percent_variables.h"

namespace baseline {

std::u16string expandPercentVariables(
    const std::u16string& text,
    const std::function<std::optional<std::u16string>(const std::u16string& name)>& lookup) {
    std::u16string result;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto open = text.find(u'%', i);
        const auto close = open == std::u16string::npos ? open : text.find(u'%', open + 1);
        if (close == std::u16string::npos) {
            result.append(text, i, std::u16string::npos);
            break;
        }
        result.append(text, i, open - i);
        const std::u16string name = text.substr(open + 1, close - open - 1);
        const std::optional<std::u16string> value = name.empty() ? std::nullopt : lookup(name);
        if (value) {
            result += *value;
            i = close + 1;
        } else {
            // The closing % may open the next reference.
            result.append(text, open, close - open);
            i = close;
        }
    }
    return result;
}

}  // namespace baseline
