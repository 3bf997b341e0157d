// The walk's progress line: a clock check per entry, a drawing at most every
// quarter second, sized to the console window at each drawing.
#include "console/progress_line.h"

#include <algorithm>

#include "platform/platform.h"
#include "platform/utf.h"
#include "platform/visible_text.h"

namespace baseline {
namespace {

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

}  // namespace

std::u16string shortenMiddle(const std::u16string& text, std::size_t width) {
    if (text.size() <= width) return text;
    const std::u16string dots = u"...";
    if (width <= dots.size()) return dots.substr(0, width);
    const std::size_t kept = width - dots.size();
    std::size_t head = (kept + 1) / 2;
    std::size_t tail = kept - head;
    if (head > 0 && isHighSurrogate(text[head - 1])) --head;
    if (tail > 0 && isLowSurrogate(text[text.size() - tail])) --tail;
    return text.substr(0, head) + dots + text.substr(text.size() - tail);
}

std::u16string progressText(const DiscoveryCounters& counters, const std::u16string& directory,
                            std::size_t width) {
    const auto number = [](std::uint64_t value) { return widenAscii(std::to_string(value)); };
    const std::u16string counts = u"Found " + number(counters.dircnt) + u" directories, " +
                                  number(counters.filecnt) + u" files, " +
                                  number(counters.supportedfilecnt) + u" executables; listing ";
    if (counts.size() >= width) return shortenMiddle(counts, width);
    // A name on the scanned machine may hold anything: shown, never obeyed.
    return counts + shortenMiddle(visibleText(directory), width - counts.size());
}

void ProgressLine::walking(const DiscoveryCounters& counters, const std::u16string& directory) {
    const std::uint64_t now = platform_.getTickCount64();
    if (drawn_ && now - lastDrawn_ < kProgressIntervalMilliseconds) return;
    ConsoleScreenInfo screen;
    if (!platform_.getConsoleScreenBufferInfo(screen) || screen.windowWidth < 2) return;
    // One column stays free: writing the last one moves the cursor to the next
    // line, and the next carriage return would no longer reach this one.
    const std::size_t width = static_cast<std::size_t>(screen.windowWidth) - 1;
    const std::u16string text = progressText(counters, directory, width);
    // Blanks cover what a longer line before left behind.
    const std::size_t covered = std::min(shown_, width);
    const std::size_t blanks = covered > text.size() ? covered - text.size() : 0;
    platform_.writeOutput(u"\r" + text + std::u16string(blanks, u' '));
    shown_ = text.size() + blanks;
    drawn_ = true;
    lastDrawn_ = now;
}

void ProgressLine::clear() {
    if (shown_ == 0) return;
    std::u16string blank(1, u'\r');
    blank.append(shown_, u' ');
    blank.push_back(u'\r');
    platform_.writeOutput(blank);
    shown_ = 0;
}

}  // namespace baseline
