// Operator dialogue: what is shown, how a line becomes UTF-16, and the checks.
// Lengths are counted in UTF-16 code units of the line as read, before trimming.
#include "console/dialogue.h"

#include <algorithm>
#include <string_view>

#include "platform/platform.h"
#include "platform/product_version.h"
#include "platform/utf.h"

namespace baseline {
namespace {

constexpr std::u16string_view kTrimSet = u" \t";
constexpr char16_t kCtrlZ = 0x1A;

// U+0021-002F, U+003A-0040, U+005B-005E, U+0060, U+007B-007E: ASCII punctuation
// without the underscore, which titles may use as a word separator.
constexpr std::u16string_view kSpecialCharacters =
    u"!\"#$%&'()*+,-./:;<=>?@[\\]^`{|}~";

}  // namespace

const std::u16string& bannerText() {
    static const std::u16string banner =
        // The version resource's product name, version and rights notice, so
        // that the banner and the file properties never disagree.
        u"" BASELINE_PRODUCT_NAME " v" BASELINE_VERSION_TEXT "\r\n"
        u"" BASELINE_COPYRIGHT "\r\n"
        u"\r\n"
        u"This command line application discovers all installed applications and creates the "
        u"allowlist file.\r\n"
        u"\r\n";
    return banner;
}

std::u16string readOperatorLine(Platform& platform) {
    InputLine line;
    if (!platform.readInputLine(line)) return {};
    if (line.fromConsole) {
        // Ctrl-Z at the start of a console line is end of input, as the C
        // runtime reads it.
        if (!line.text.empty() && line.text.front() == kCtrlZ) return {};
        return line.text;
    }
    std::u16string decoded;
    if (decodeUtf8(line.bytes, decoded)) return decoded;
    return platform.multiByteToWideChar(platform.fallbackInputCodePage(), line.bytes);
}

bool readTitleAndDescription(Platform& platform, std::u16string& title, std::u16string& description) {
    platform.writeOutput(bannerText());
    platform.writeOutput(u"Please provide allowlist title: ");
    title = readOperatorLine(platform);
    if (title.empty()) return false;
    platform.writeOutput(u"Please provide allowlist description: ");
    description = readOperatorLine(platform);
    if (description.empty()) return false;
    platform.writeOutput(u"\r\n");
    return true;
}

void trim(std::u16string& text) {
    const auto first = text.find_first_not_of(kTrimSet);
    if (first == std::u16string::npos) return;
    text.erase(0, first);
    const auto last = text.find_last_not_of(kTrimSet);
    text.erase(last + 1);
}

std::size_t findSpecialCharacter(const std::u16string& text) {
    // Control characters count too: a NUL would cut the document's name
    // short, and none of them belongs in a file name.
    const auto position = std::find_if(text.begin(), text.end(), [](char16_t unit) {
        return unit < 0x20 || unit == 0x7F || kSpecialCharacters.find(unit) != std::u16string_view::npos;
    });
    return position == text.end() ? kNoSpecialCharacter : static_cast<std::size_t>(position - text.begin());
}

ConsoleStatus acceptTitleAndDescription(Platform& platform, std::u16string& title,
                                        std::u16string& description) {
    if (!readTitleAndDescription(platform, title, description)) return status::kInputsMissing;
    if (title.size() > kMaxTitleLength) return status::kTitleTooLong;
    if (description.size() > kMaxDescriptionLength) return status::kDescriptionTooLong;
    trim(title);
    if (title[0] >= u'0' && title[0] <= u'9') return status::kTitleStartsWithDigit;
    if (findSpecialCharacter(title) != kNoSpecialCharacter) return status::kTitleHasSpecialCharacter;
    trim(description);
    return 0;
}

}  // namespace baseline
