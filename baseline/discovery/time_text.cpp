// Time text: the system clock in whole seconds since 1970, through ctime.
#include "discovery/time_text.h"

#include "platform/file_time.h"
#include "platform/platform.h"

namespace baseline {

std::string timeText(Platform& platform) {
    const std::int64_t seconds = fileTimeToUnixSeconds(platform.getSystemTimeAsFileTime());
    std::string text;
    if (!platform.ctime64(seconds, text, kTimeTextBufferSize)) return {};
    if (!text.empty() && text.back() == '\n') text.pop_back();
    // The Microsoft C runtime writes days 1 to 9 with a leading zero ("Dec 08");
    // the time text pads them with a blank instead ("Dec  8").
    constexpr std::size_t kDayTens = 8;  // "Www Mmm dd ..."
    if (text.size() > kDayTens + 1 && text[kDayTens - 1] == ' ' && text[kDayTens] == '0') {
        text[kDayTens] = ' ';
    }
    return text;
}

}  // namespace baseline
