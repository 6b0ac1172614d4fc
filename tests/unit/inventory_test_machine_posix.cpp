#include "inventory_test_machine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {

namespace {

std::string makeFolder(const char* pattern) {
    std::string name = std::string(testing::TempDir()) + pattern;
    if (mkdtemp(name.data()) == nullptr) return {};
    return name;
}

}  // namespace

void prepareTestProgramData() {
    static const std::string root = makeFolder("velmora-inventory-XXXXXX");
    ::setenv("VELMORA_PROGRAMDATA", root.c_str(), 1);
    ::mkdir((root + "/SecurityCenter").c_str(), 0755);
}

long liveSecurityCenterObjects() { return 0; }

std::string testScratchFolder() {
    static const std::string folder = makeFolder("velmora-inventory-out-XXXXXX");
    return folder + "/";
}

}  // namespace velmora
