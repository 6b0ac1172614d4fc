#include "inventory_test_machine.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "standin/products_file.h"
#include "log/logger.h"

namespace velmora {

void writeServedProducts(const char* text) {
    const std::string path = servedProductsPath();
    if (text == nullptr) {
        std::remove(path.c_str());
        return;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    const std::string bytes(text);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}

InventoryLogCapture::InventoryLogCapture()
    : sink(std::make_shared<spdlog::sinks::ringbuffer_sink_mt>(4096)), previous(avLogger) {
    auto logger = std::make_shared<spdlog::logger>("inventory-test", sink);
    logger->set_level(spdlog::level::trace);
    avLogger = logger;
}

InventoryLogCapture::~InventoryLogCapture() { avLogger = previous; }

std::vector<std::pair<std::string, std::string>> InventoryLogCapture::records() const {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& record : sink->last_raw()) {
        const auto level = spdlog::level::to_string_view(record.level);
        out.emplace_back(std::string(level.data(), level.size()),
                         std::string(record.payload.data(), record.payload.size()));
    }
    return out;
}

std::vector<std::string> InventoryLogCapture::messages() const {
    std::vector<std::string> out;
    for (auto& record : records()) out.push_back(record.second);
    return out;
}

}  // namespace velmora
