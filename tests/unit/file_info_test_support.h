// The test executables with known version resources (tests/version_resources),
// shared by the file-information and PE reader tests.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "test_support.h"

namespace velmora {

namespace file_info_test {

// The folder of the executables built by tests/version_resources, or "" when
// the build could not make them.
inline std::string fixtureDir() {
#ifdef VELMORA_VERSION_RESOURCES_DIR
    return VELMORA_VERSION_RESOURCES_DIR;
#else
    return {};
#endif
}

inline std::string fixture(const std::string& name) { return fixtureDir() + "/" + name; }

#define VELMORA_REQUIRE_FIXTURES()                                                       \
    do {                                                                                 \
        if (file_info_test::fixtureDir().empty()) GTEST_SKIP() << "no test executables"; \
    } while (0)

// A copy of the test executable `source` named `name` in the machine's scratch
// folder; a new file, so it carries the current time.
inline std::string copyToScratch(const ScratchMachine& machine, const std::string& source, const std::string& name) {
    const std::string path = machine.path(name);
    writeFile(std::filesystem::u8path(path), readFile(source));
    return path;
}

}  // namespace file_info_test

}  // namespace velmora
