// The C runtime's text-mode reading, for readers that see raw bytes.
#include "platform/text_mode.h"

namespace baseline {

std::string textModeContent(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\x1A') break;
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text.push_back(bytes[i]);
    }
    return text;
}

}  // namespace baseline
