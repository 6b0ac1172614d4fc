// The Linux user name: read from the passwd file by the effective user id.
#include "system/system_identity.h"

#include <gtest/gtest.h>

namespace velmora {

TEST(PasswdNameOf, FindsTheFirstEntryWithExactlyThatUserId) {
    const std::string text =
        "root:x:0:0:root:/root:/bin/bash\n"
        "+nisuser::1000:1000::/home/n:/bin/sh\n"
        "-blocked::1000:1000::/:/bin/sh\n"
        "broken-line-without-fields\n"
        "::1000:1000::/:/bin/sh\n"
        "alice:x:1000:1000:Alice:/home/alice:/bin/bash\n"
        "alias:x:1000:1000::/home/alias:/bin/sh\n"
        "bob:x:01001:1001::/home/bob:/bin/sh\n"
        "carol:x:4294967295:1:::\n"
        "dave:x:4294967296:1:::\n"
        "erin:x:12a:1:::\n"
        "frank:x:-5:1:::";
    EXPECT_EQ(passwdNameOf(text, 0), "root");
    EXPECT_EQ(passwdNameOf(text, 1000), "alice");  // not the marks before it, not the alias after it
    EXPECT_EQ(passwdNameOf(text, 1001), "bob");    // leading zeros are the same number
    EXPECT_EQ(passwdNameOf(text, 4294967295ul), "carol");
    for (unsigned long unknown : {12ul, 5ul, 2ul, 99ul}) EXPECT_EQ(passwdNameOf(text, unknown), "") << unknown;
    EXPECT_EQ(passwdNameOf("", 0), "");
    EXPECT_EQ(passwdNameOf("root:x:0", 0), "root");  // the last line needs no line end
}

TEST(PasswdNameOf, TheProcessUserIsFoundOnThisMachine) {
    // Every machine the tests run on lists the user running them.
    const std::string name = queryUserName();
    EXPECT_NE(name, "-");
    EXPECT_FALSE(name.empty());
    EXPECT_EQ(name.find(':'), std::string::npos);
}

}  // namespace velmora
