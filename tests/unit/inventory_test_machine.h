// What the inventory tests need from the machine they run on: a place for
// products.json that the Security Center (stand-in or test COM server)
// serves, a count of its live objects, and the log's messages.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <spdlog/sinks/ringbuffer_sink.h>
#include <spdlog/spdlog.h>

namespace velmora {

// Makes products.json writable for this test process: off Windows a fresh
// ProgramData folder of its own, on Windows the prefix's C:\ProgramData.
void prepareTestProgramData();

// Writes (text non-null) or removes (null) the products.json being served.
void writeServedProducts(const char* text);

// Product lists and products the test COM server has not seen released;
// 0 off Windows, where the sanitizer build finds leaks instead.
long liveSecurityCenterObjects();

// A temporary folder for output files, ending in the path separator.
std::string testScratchFolder();

// Points avLogger at memory for its lifetime.
struct InventoryLogCapture {
    InventoryLogCapture();
    ~InventoryLogCapture();
    InventoryLogCapture(const InventoryLogCapture&) = delete;
    InventoryLogCapture& operator=(const InventoryLogCapture&) = delete;

    // (level name, message) of every record so far.
    std::vector<std::pair<std::string, std::string>> records() const;
    std::vector<std::string> messages() const;

    std::shared_ptr<spdlog::sinks::ringbuffer_sink_mt> sink;
    std::shared_ptr<spdlog::logger> previous;
};

}  // namespace velmora
