// What the unit tests share: a log capture that records every message with
// its level, and a scratch machine (a ProgramData of the test's own, a scratch
// folder and the log captured, all removed afterwards).
#pragma once

#include "common/held_folder.h"
#include "common/run_lock.h"
#include "log/logger.h"

#include <spdlog/sinks/base_sink.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

// (level name, message), e.g. {"info", "END"}.
using LogRecord = std::pair<std::string, std::string>;

// Keeps every message it receives with its level, in order; the idea of
// spdlog's own tests/test_sink.h.
class RecordingSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    std::vector<LogRecord> records();
    void clear();

protected:
    void sink_it_(const spdlog::details::log_msg& message) override;
    void flush_() override {}

private:
    std::vector<LogRecord> records_;
};

// Points avLogger at a recording sink for its lifetime, then puts the
// previous logger back. Captures nest.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<LogRecord> records() const;
    std::vector<std::string> messages() const;  // every level
    std::vector<std::string> infos() const;     // info level only
    // One info message, counted from the first or being the last. When there
    // is no such message the test fails (and gets ""): never undefined
    // behaviour, so one missing line fails one test, not the whole binary.
    std::string info(std::size_t index) const;
    std::string lastInfo() const;
    void clear();

private:
    std::shared_ptr<RecordingSink> sink_;
    std::shared_ptr<spdlog::logger> previous_;
};

// A machine of the test's own. The Linux build gets a fresh ProgramData
// (named by VELMORA_PROGRAMDATA) with its registry stand-in; the Windows build
// keeps the fixed C:\ProgramData and the real registry. Both get a fresh
// scratch folder and the log captured. Everything is removed afterwards.
struct ScratchMachine {
    ScratchMachine();
    ~ScratchMachine();
    ScratchMachine(const ScratchMachine&) = delete;
    ScratchMachine& operator=(const ScratchMachine&) = delete;

    // The UTF-8 text that names `name` (UTF-8) in the scratch folder; "" names
    // the folder itself, with its separator at the end.
    std::string path(const std::string& name) const;

#ifndef _WIN32
    // The registry stand-in, keys spelt as on Windows
    // ("HKEY_LOCAL_MACHINE\\SOFTWARE\\Contoso"); parents are created.
    void addRegistryKey(const std::string& key) const;
    void setRegistryValue(const std::string& key, const std::string& name, const std::string& bytes) const;
    // A key that exists but cannot be read (made readable again at the end).
    void denyRegistryKey(const std::string& key);
#endif

    std::filesystem::path root;  // holds everything of this machine that is removed
    std::filesystem::path programData;
    std::filesystem::path scratch;
    LogCapture log;

private:
    std::vector<std::filesystem::path> denied_;
};

// Whole files, as bytes. writeFile fails the test when it cannot write.
std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// Product lists and products the test Security Center has not seen released;
// 0 off Windows, where the sanitizer build finds leaks instead.
long liveSecurityCenterObjects();

// A run lock taken by a holder that then died without letting go: a thread
// that ended owning the mutex on Windows (the mutex is abandoned; the value
// returned keeps its handle open, to be dropped at the test's end), a child
// process that exited holding the lock elsewhere (an empty lock).
RunLock runLockOfADeadHolder();

// A folder of the test's own (not the shared one) held as the layer holds
// its folders; fails the test and gives nothing when it cannot be opened.
HeldFolder holdFolder(const std::filesystem::path& folder);

// The platform half of ScratchMachine (test_support_win.cpp / _posix.cpp).
std::filesystem::path makeScratchRoot();
std::filesystem::path useProgramDataBelow(const std::filesystem::path& root);
void releaseProgramData();

}  // namespace velmora
