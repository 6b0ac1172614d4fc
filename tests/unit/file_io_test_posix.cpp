#include "common/file_io.h"

#include <gtest/gtest.h>

namespace velmora {

TEST(NativePathBytes, AnyBytesComeBackUnchanged) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    const std::string samples[] = {"plain.json", "caf\xC3\xA9.json", "bad\xFF\xFE.json", all,
                                   "\xED\xA0\x80", "\xF0\x9F\x98", "\xC3"};
    for (const auto& bytes : samples) {
        EXPECT_EQ(wideToNativeBytes(nativeBytesToWide(bytes)), bytes);
    }
    EXPECT_EQ(nativeBytesToWide("caf\xC3\xA9"), u"caf\u00e9");
}

TEST(ErrnoText, GivesTheRuntimeText) {
    EXPECT_EQ(errnoText(ENOENT), "No such file or directory");
}

}  // namespace velmora
