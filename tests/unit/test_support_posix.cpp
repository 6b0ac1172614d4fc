#include "test_support.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace velmora {

namespace fs = std::filesystem;

namespace {

// "HKEY_LOCAL_MACHINE\\SOFTWARE\\Contoso" -> <ProgramData>/Registry/HKEY_LOCAL_MACHINE/SOFTWARE/Contoso
fs::path registryFolder(const fs::path& programData, const std::string& key) {
    fs::path folder = programData / "Registry";
    std::size_t start = 0;
    for (std::size_t end; (end = key.find('\\', start)) != std::string::npos; start = end + 1) {
        folder /= key.substr(start, end - start);
    }
    return folder / key.substr(start);
}

}  // namespace

fs::path makeScratchRoot() {
    std::string name = testing::TempDir() + "velmora-test-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + name);
    return name;
}

fs::path useProgramDataBelow(const fs::path& root) {
    const fs::path programData = root / "ProgramData";
    fs::create_directories(programData);
    ::setenv("VELMORA_PROGRAMDATA", programData.c_str(), 1);
    return programData;
}

void releaseProgramData() { ::unsetenv("VELMORA_PROGRAMDATA"); }

void ScratchMachine::addRegistryKey(const std::string& key) const {
    fs::create_directories(registryFolder(programData, key));
}

void ScratchMachine::setRegistryValue(const std::string& key, const std::string& name,
                                      const std::string& bytes) const {
    addRegistryKey(key);
    writeFile(registryFolder(programData, key) / name, bytes);
}

void ScratchMachine::denyRegistryKey(const std::string& key) {
    addRegistryKey(key);
    fs::permissions(registryFolder(programData, key), fs::perms::none);
    denied_.push_back(registryFolder(programData, key));
}

RunLock runLockOfADeadHolder() {
    const pid_t child = fork();
    if (child == 0) {
        // _exit: no destructor lets go; only the end of the process does.
        const RunLock held = acquireRunLock(1000);
        _exit(held.held() ? 0 : 1);
    }
    int status = -1;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return RunLock();
}

long liveSecurityCenterObjects() { return 0; }

HeldFolder holdFolder(const fs::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_GE(fd, 0) << folder;
    if (fd < 0) return nullptr;
    return HeldFolder(new OpenFolder{folder.string(), fd});
}

}  // namespace velmora
