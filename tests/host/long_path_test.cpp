// Extended-length paths: which paths change, and how.
#include <gtest/gtest.h>

#include "platform/long_path.h"

namespace baseline {
namespace {

TEST(ExtendedLengthPath, NormalisesWhatTheExtendedFormWouldNot) {
    const std::pair<std::u16string, std::u16string> cases[] = {
        {u"C:\\Program Files\\App", u"\\\\?\\C:\\Program Files\\App"},
        {u"C:\\\\Windows\\System32", u"\\\\?\\C:\\Windows\\System32"},  // doubled separator
        {u"C:\\a/b\\c", u"\\\\?\\C:\\a\\b\\c"},
        {u"C:\\a\\.\\b\\..\\c", u"\\\\?\\C:\\a\\c"},
        {u"C:\\..\\..\\a", u"\\\\?\\C:\\a"},                           // never above the drive
        {u"C:\\dir\\*", u"\\\\?\\C:\\dir\\*"},
        {u"C:\\", u"\\\\?\\C:\\"},
        {u"d:\\x\\", u"\\\\?\\d:\\x\\"},
        {u"\\\\server\\share\\dir", u"\\\\?\\UNC\\server\\share\\dir"},
        {u"\\\\server\\share\\..\\..\\dir", u"\\\\?\\UNC\\server\\share\\dir"},
        // Left alone: already extended, device paths, relative and drive-relative paths.
        {u"\\\\?\\C:\\x", u"\\\\?\\C:\\x"},
        {u"\\\\.\\PhysicalDrive0", u"\\\\.\\PhysicalDrive0"},
        {u"relative\\dir", u"relative\\dir"},
        {u"C:relative", u"C:relative"},
        {u"\\rooted", u"\\rooted"},
        {u"", u""},
    };
    for (const auto& [in, expected] : cases) {
        EXPECT_EQ(extendedLengthPath(in), expected);
    }
}

TEST(SystemPath, OnlyPathsOf259UnitsAndMoreChange) {
    const std::u16string stem = u"C:\\";
    const std::u16string short259 = stem + std::u16string(258 - stem.size(), u'a');
    EXPECT_EQ(short259.size(), 258u);
    EXPECT_EQ(systemPath(short259), short259);
    const std::u16string long259 = short259 + u"b";
    EXPECT_EQ(systemPath(long259), u"\\\\?\\" + long259);
    const std::u16string nested = u"C:\\\\" + std::u16string(300, u'x');
    EXPECT_EQ(systemPath(nested), u"\\\\?\\C:\\" + std::u16string(300, u'x'));
}

}  // namespace
}  // namespace baseline
