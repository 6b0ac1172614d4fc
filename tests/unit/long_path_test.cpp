// Which paths get the \\?\ prefix before a file call, and in what form.
#include "common/long_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace velmora {

namespace {

// A folder name of n units, so that a path's length is easy to set.
std::u16string units(std::size_t n) { return std::u16string(n, u'a'); }

}  // namespace

TEST(LongPath, OnlyWholePathsOfMaxPathOrMoreGetThePrefix) {
    const std::u16string longTail = units(300) + u"\\out.json";
    const std::u16string full259 = u"C:\\" + units(256);  // 259 units: still fits
    struct Case {
        std::u16string path;
        std::u16string fullPath;
        std::u16string expected;
    };
    const Case cases[] = {
        {u"C:\\out.json", u"C:\\out.json", u"C:\\out.json"},
        {u"out.json", u"C:\\work\\out.json", u"out.json"},  // short: left for the system to complete
        {full259, full259, full259},
        {full259 + u"b", full259 + u"b", u"\\\\?\\" + full259 + u"b"},
        {u"c:/x/../" + longTail, u"c:\\" + longTail, u"\\\\?\\c:\\" + longTail},  // the full form, made normal
        {longTail, u"D:\\work\\" + longTail, u"\\\\?\\D:\\work\\" + longTail},    // a relative one completed
        {u"\\\\server\\share\\" + longTail, u"\\\\server\\share\\" + longTail,
         u"\\\\?\\UNC\\server\\share\\" + longTail},
        {u"\\\\?\\C:\\" + longTail, u"\\\\?\\C:\\" + longTail, u"\\\\?\\C:\\" + longTail},  // already prefixed
        {u"\\\\.\\C:\\" + longTail, u"\\\\.\\C:\\" + longTail, u"\\\\.\\C:\\" + longTail},  // a device path
        {longTail, u"", longTail},                                            // no full form to be had
        {longTail, u"\\\\.\\pipe\\" + longTail, longTail},                       // the system names a device
    };
    for (const auto& c : cases) {
        const std::size_t shown = std::min<std::size_t>(c.path.size(), 40);
        EXPECT_TRUE(withLongPathPrefix(c.path, c.fullPath) == c.expected)
            << std::string(c.path.begin(), c.path.begin() + static_cast<std::ptrdiff_t>(shown));
    }
}

#ifdef _WIN32
// The full form comes from the system, also when it needs more than MAX_PATH units.
TEST(LongPath, TheSystemMakesTheLongPathWholeAndNormalFirst) {
    const std::wstring folder(300, L'a');
    EXPECT_EQ(fileCallPath(u"C:/" + units(300) + u"/x/../out.json"), L"\\\\?\\C:\\" + folder + L"\\out.json");
    EXPECT_EQ(fileCallPath(u"C:/short/x/../out.json"), L"C:/short/x/../out.json");
    EXPECT_EQ(fileCallPath(u""), L"");
}
#endif

}  // namespace velmora
