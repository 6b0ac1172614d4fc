// Variables in reported paths: Windows's ExpandEnvironmentStringsW, and the
// Linux stand-in held to the same rules by the same table.
#include "common/environment.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include "common/text.h"
#else
#include <cstdlib>
#endif

namespace velmora {

namespace {

void setVariable(const char* name, const char* utf8Value) {
#ifdef _WIN32
    SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(utf8ToWide(name).c_str()),
                            reinterpret_cast<const wchar_t*>(utf8ToWide(utf8Value).c_str()));
#else
    setenv(name, utf8Value, 1);
#endif
}

}  // namespace

TEST(EnvironmentExpansion, ReplacesSetVariablesOnly) {
    setVariable("VELMORA_TEST_DIR", "C:\\Tools");
    setVariable("VELMORA_TEST_WORD", "S\xC3\xA9" "curit\xC3\xA9 \xE5\xAE\x89\xE5\x85\xA8");
    struct Case {
        const char* text;
        const char* expanded;
    } cases[] = {
        {"%VELMORA_TEST_DIR%\\av.exe", "C:\\Tools\\av.exe"},
        {"%velmora_test_dir%\\av.exe", "C:\\Tools\\av.exe"},  // names match in any letter case
        {"a%VELMORA_TEST_DIR%b%VELMORA_TEST_WORD%", "aC:\\Toolsb" "S\xC3\xA9" "curit\xC3\xA9 \xE5\xAE\x89\xE5\x85\xA8"},
        {"%VELMORA_TEST_UNSET%\\av.exe", "%VELMORA_TEST_UNSET%\\av.exe"},
        {"%VELMORA_TEST_UNSET%%VELMORA_TEST_DIR%", "%VELMORA_TEST_UNSET%C:\\Tools"},
        {"100% sure", "100% sure"},
        {"%%", "%%"},
        {"windowsdefender://", "windowsdefender://"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(expandEnvironmentStrings(c.text), c.expanded) << c.text;
}

}  // namespace velmora
