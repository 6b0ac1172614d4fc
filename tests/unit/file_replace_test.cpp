// Replacing a file whole: what a path names, what a replacement leaves in the
// folder whatever lay there before, and the decisions the platform layer
// takes from portable code.
#include "common/file_replace.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace velmora {

namespace fs = std::filesystem;

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

#ifndef _WIN32
// Windows' half (the DACL) is the decision below: Wine keeps no file security.
// The -outpath file is the caller's: it keeps the rules the caller gave it.
TEST(FileReplacement, TheNewFileKeepsTheTargetsPermissionBits) {
    ScratchMachine machine;
    const fs::path path = machine.scratch / "inventory.json";
    writeFile(path, "earlier");
    ::chmod(path.c_str(), 0640);
    std::optional<FileReplacement> file = beginReplacement(path.u16string(), LinkAtTarget::WriteThrough);
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
    const std::string hex = "0123456789abcdef0123456789abcdef";
    const std::pair<std::string, std::optional<unsigned long>> cases[] = {
        {"check.json.4242-0.tmp", 4242ul},  // 1.1.0's names, and the -outpath file's
        {"check.json.4242-15.tmp", 4242ul},
        {"check.json.4242-" + hex + ".tmp", 4242ul},
        {"check.json.4242-" + hex.substr(1) + ".tmp", std::nullopt},  // 31 digits
        {"check.json.4242-" + hex + "0.tmp", std::nullopt},           // 33 digits
        {"check.json.4242-0123456789ABCDEF0123456789abcdef.tmp", std::nullopt},
        {"check.json.4242-12ab.tmp", std::nullopt},
        {"check.json.4294967295-0.tmp", 4294967295ul},
        {"check.json.4294967296-0.tmp", std::nullopt},  // no process id is that large
        {"check.json.4242-.tmp", std::nullopt},
        {"check.json.-0.tmp", std::nullopt},
        {"check.json.42a-0.tmp", std::nullopt},
        {"check.json.4242-0.tmpx", std::nullopt},
        {"check.jsonx.4242-0.tmp", std::nullopt},
        {"other.json.4242-0.tmp", std::nullopt},
        {"check.json", std::nullopt},
    };
    for (const auto& [name, owner] : cases) {
        EXPECT_EQ(temporaryFileOwner(name, "check.json"), owner) << name;
    }
}

}  // namespace velmora
