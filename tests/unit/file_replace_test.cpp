// Replacing a file whole: what a path names, what a replacement leaves in the
// folder whatever lay there before, and the decisions the platform layer
// takes from portable code.
#include "common/file_replace.h"
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

}  // namespace

TEST(PathKind, LooksAtTheNameAndNeverFollowsALink) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&, const fs::path& victim)> make;
        PathKind kind;
        bool posixOnly;  // Wine cannot make a link (CreateSymbolicLinkW creates nothing)
    };
    const Case cases[] = {
        {"plain file", [](const fs::path& p, const fs::path&) { writeFile(p, "x"); }, PathKind::PlainFile, false},
        {"missing", [](const fs::path&, const fs::path&) {}, PathKind::Missing, false},
        {"folder", [](const fs::path& p, const fs::path&) { fs::create_directory(p); }, PathKind::Other, false},
        {"second hard link", [](const fs::path& p, const fs::path& v) { fs::create_hard_link(v, p); }, PathKind::Link,
         false},
        {"link to a file", [](const fs::path& p, const fs::path& v) { fs::create_symlink(v, p); }, PathKind::Link, true},
        {"link to a folder", [](const fs::path& p, const fs::path& v) { fs::create_directory_symlink(v.parent_path(), p); },
         PathKind::Link, true},
        {"dangling link", [](const fs::path& p, const fs::path& v) { fs::create_symlink(v.string() + "-gone", p); },
         PathKind::Link, true},
    };
    for (const Case& c : cases) {
#ifdef _WIN32
        if (c.posixOnly) continue;
#endif
        ScratchMachine machine;
        const fs::path victim = machine.scratch / "victim";
        writeFile(victim, "victim");
        const fs::path path = machine.scratch / "check.json";
        c.make(path, victim);
        EXPECT_EQ(pathKind(path.u16string()), c.kind) << c.what;
    }
}

TEST(FileReplacement, LeavesOnlyTheTargetWhateverLayBesideIt) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& folder)> before;
        bool complete;                    // written whole and finished, or dropped unfinished
        std::set<std::string> leftBeside;  // names other than check.json and victim afterwards
        bool posixOnly;
    };
    const std::string taken = "check.json." + pid() + "-0.tmp";
    const std::string dead = std::string("check.json.") + kDeadProcess + "-0.tmp";
    const std::string live = "check.json." + pid() + "-9.tmp";
    const Case cases[] = {
        {"dropped unfinished", [](const fs::path&) {}, false, {}, false},
        {"first temporary name taken by a file",
         [&](const fs::path& f) { writeFile(f / taken, "taken"); }, true, {taken}, false},
        {"first temporary name taken by a link to the victim",
         [&](const fs::path& f) { fs::create_symlink(f / "victim", f / taken); }, true, {taken}, true},
        {"temporary file of a process that is gone",
         [&](const fs::path& f) { writeFile(f / dead, "left"); }, true, {}, false},
        {"link named like a temporary file of a process that is gone",
         [&](const fs::path& f) { fs::create_symlink(f / "victim", f / dead); }, true, {dead}, true},
        {"temporary file of a process that runs",
         [&](const fs::path& f) { writeFile(f / live, "live"); }, true, {live}, false},
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
        const std::set<std::string> untouched = namesIn(folder);
        {
            std::optional<FileReplacement> file = beginReplacement((folder / "check.json").u16string(),
                                                                   LinkAtTarget::Replace);
            ASSERT_TRUE(file) << c.what;
            EXPECT_EQ(writeToReplacement(*file, "new"), 0) << c.what;
            if (c.complete) {
                EXPECT_EQ(finishReplacement(*file, true), 0) << c.what;
            }
        }
        EXPECT_EQ(readFile(folder / "check.json"), c.complete ? "new" : "earlier verdict") << c.what;
        EXPECT_EQ(readFile(folder / "victim"), "victim") << c.what;
        std::set<std::string> expected = c.leftBeside;
        expected.insert({"check.json", "victim"});
        EXPECT_EQ(namesIn(folder), expected) << c.what;
        for (const std::string& name : c.leftBeside) {
            if (untouched.count(name) && !fs::is_symlink(folder / name)) {
                EXPECT_NE(readFile(folder / name), "new") << c.what;
            }
        }
    }
}

#ifndef _WIN32
// Windows' half (the DACL) is the decision below: Wine keeps no file security.
TEST(FileReplacement, TheNewFileKeepsTheTargetsPermissionBits) {
    ScratchMachine machine;
    const fs::path path = machine.scratch / "check.json";
    writeFile(path, "earlier");
    ::chmod(path.c_str(), 0640);
    std::optional<FileReplacement> file = beginReplacement(path.u16string(), LinkAtTarget::Replace);
    ASSERT_TRUE(file);
    EXPECT_EQ(writeToReplacement(*file, "new"), 0);
    EXPECT_EQ(finishReplacement(*file, true), 0);
    struct stat status;
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(path), "new");
}
#endif

TEST(FileReplacement, CarriesTheTargetsDaclWithItsProtection) {
    struct Case {
        DaclFacts facts;
        bool possible, nullDacl, isProtected;
    };
    const Case cases[] = {
        {{true, true, true}, true, false, true},      // the installer's protected DACL
        {{true, true, false}, true, false, false},    // inherited from the folder
        {{true, false, false}, true, true, false},    // a NULL DACL stays one
        {{false, false, false}, false, false, false}, // unreadable: written in place instead
    };
    for (const Case& c : cases) {
        const DaclCopy copy = daclCopyFor(c.facts);
        EXPECT_EQ(copy.possible, c.possible);
        EXPECT_EQ(copy.nullDacl, c.nullDacl);
        EXPECT_EQ(copy.isProtected, c.isProtected);
    }
}

TEST(FileReplacement, KnowsItsTemporaryFilesByName) {
    const std::pair<std::u16string, std::optional<unsigned long>> cases[] = {
        {u"check.json.4242-0.tmp", 4242ul},
        {u"check.json.4242-15.tmp", 4242ul},
        {u"check.json.4294967295-0.tmp", 4294967295ul},
        {u"check.json.4294967296-0.tmp", std::nullopt},  // no process id is that large
        {u"check.json.4242-.tmp", std::nullopt},
        {u"check.json.-0.tmp", std::nullopt},
        {u"check.json.42a-0.tmp", std::nullopt},
        {u"check.json.4242-0.tmpx", std::nullopt},
        {u"check.jsonx.4242-0.tmp", std::nullopt},
        {u"other.json.4242-0.tmp", std::nullopt},
        {u"check.json", std::nullopt},
    };
    for (const auto& [name, owner] : cases) {
        EXPECT_EQ(temporaryFileOwner(name, u"check.json"), owner);
    }
}

}  // namespace velmora
