// check.json replaced whole in its held folder: what a replacement leaves in
// the folder whatever lay there before, and the rules the new file gets.
#include "common/file_io.h"
#include "common/held_replace.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace velmora {

namespace fs = std::filesystem;

namespace {

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().u8string());
    return names;
}

std::string pid() { return std::to_string(currentProcessId()); }

// A process id no system hands out: beyond Linux's pid_max, not a multiple of 4 on Windows.
constexpr const char* kDeadProcess = "2147483645";
constexpr const char* kHex = "0123456789abcdef0123456789abcdef";

unsigned long replaceWith(const OpenFolder& folder, const std::string& bytes, bool complete) {
    unsigned long error = 0;
    std::optional<HeldReplacement> file = beginHeldReplacement(folder, "check.json", error);
    if (!file) return error;
    error = writeToHeldReplacement(*file, bytes);
    if (error == 0 && complete) error = finishHeldReplacement(*file, true);
    return error;
}

}  // namespace

TEST(HeldReplacement, LeavesOnlyTheTargetWhateverLayBesideIt) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& folder)> before;
        bool complete;                    // written whole and finished, or dropped unfinished
        std::set<std::string> leftBeside;  // names other than check.json and victim afterwards
        bool posixOnly;
    };
    const std::string dead = std::string("check.json.") + kDeadProcess + "-" + kHex + ".tmp";
    const std::string deadOld = std::string("check.json.") + kDeadProcess + "-0.tmp";  // 1.1.0's name
    const std::string live = "check.json." + pid() + "-9.tmp";
    const std::string liveNew = "check.json.1-" + std::string(kHex) + ".tmp";  // init runs
    const Case cases[] = {
        {"dropped unfinished", [](const fs::path&) {}, false, {}, false},
        {"temporary file of a process that is gone", [&](const fs::path& f) { writeFile(f / dead, "left"); }, true,
         {}, false},
        {"1.1.0's temporary file of a process that is gone",
         [&](const fs::path& f) { writeFile(f / deadOld, "left"); }, true, {}, false},
        {"link named like a temporary file of a process that is gone",
         [&](const fs::path& f) { fs::create_symlink(f / "victim", f / dead); }, true, {dead}, true},
        {"dangling link named like one", [&](const fs::path& f) { fs::create_symlink(f / "gone", f / deadOld); },
         true, {deadOld}, true},
        {"temporary file of this process under 1.1.0's name", [&](const fs::path& f) { writeFile(f / live, "live"); },
         true, {live}, false},
        {"temporary file of a process that runs", [&](const fs::path& f) { writeFile(f / liveNew, "live"); }, true,
         {liveNew}, true},
    };
    for (const Case& c : cases) {
#ifdef _WIN32
        if (c.posixOnly) continue;
#endif
        ScratchMachine machine;
        const fs::path folder = machine.scratch;
        writeFile(folder / "victim", "victim");
        writeFile(folder / "check.json", "earlier verdict");
        c.before(folder);
        HeldFolder held = holdFolder(folder);
        ASSERT_TRUE(held);
        EXPECT_EQ(replaceWith(*held, "new", c.complete), 0u) << c.what;
        EXPECT_EQ(readFile(folder / "check.json"), c.complete ? "new" : "earlier verdict") << c.what;
        EXPECT_EQ(readFile(folder / "victim"), "victim") << c.what;
        std::set<std::string> expected = c.leftBeside;
        expected.insert({"check.json", "victim"});
        EXPECT_EQ(namesIn(folder), expected) << c.what;
    }
}

#ifndef _WIN32
// Windows' half (inheritance from logs) is the layer's: Wine keeps no file
// security. Whatever the target's mode, and whatever the umask: 0644.
TEST(HeldReplacement, TheNewFileTakesFixedRulesNotThoseOfWhatLayThere) {
    for (const mode_t earlier : {0600, 0666}) {
        ScratchMachine machine;
        const fs::path path = machine.scratch / "check.json";
        writeFile(path, "earlier");
        ::chmod(path.c_str(), earlier);
        HeldFolder held = holdFolder(machine.scratch);
        ASSERT_TRUE(held);
        const mode_t umaskBefore = ::umask(0077);
        EXPECT_EQ(replaceWith(*held, "new", true), 0u);
        ::umask(umaskBefore);
        struct stat status;
        ASSERT_EQ(::stat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0644u) << earlier;
        EXPECT_EQ(readFile(path), "new");
    }
}

// A link or second hard link at check.json: its own name is replaced, its
// target never written.
TEST(HeldReplacement, ALinkAtTheTargetIsReplacedItself) {
    for (const bool hardLink : {false, true}) {
        ScratchMachine machine;
        writeFile(machine.scratch / "victim", "victim");
        if (hardLink) {
            fs::create_hard_link(machine.scratch / "victim", machine.scratch / "check.json");
        } else {
            fs::create_symlink(machine.scratch / "victim", machine.scratch / "check.json");
        }
        HeldFolder held = holdFolder(machine.scratch);
        ASSERT_TRUE(held);
        EXPECT_EQ(replaceWith(*held, "new", true), 0u);
        EXPECT_EQ(readFile(machine.scratch / "victim"), "victim");
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(machine.scratch / "check.json")));
        EXPECT_EQ(readFile(machine.scratch / "check.json"), "new");
    }
}
#endif

}  // namespace velmora
