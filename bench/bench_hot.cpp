// Benchmarks of the work one run does: the Security Center query of three
// kinds with nine products each (Linux stand-in), parse and evaluation of a
// 1 MB policy, and the version reader on a 10 MB executable.
//
// VELMORA_BENCH_EXE names an executable with a version resource; the 10 MB
// file is made from it by appending data after its image, as installers do.
#include "inventory/file_info.h"
#include "app/inventory_document.h"
#include "inventory/inventory_slots.h"
#include "log/logger.h"
#include "posture/policy_parser.h"
#include "posture/posture_evaluation.h"

#include <benchmark/benchmark.h>
#include <spdlog/sinks/null_sink.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace velmora;

namespace fs = std::filesystem;

namespace {

fs::path scratch() {
    static fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("velmora-bench-" + std::to_string(::getpid()));
        fs::create_directories(d);
        setenv("VELMORA_PROGRAMDATA", d.c_str(), 1);
        return d;
    }();
    return dir;
}

void quietLogger() {
    if (!avLogger) avLogger = std::make_shared<spdlog::logger>("bench", std::make_shared<spdlog::sinks::null_sink_mt>());
}

nlohmann::json product(int i, bool antivirus) {
    nlohmann::json p = {{"name", "Contoso Product " + std::to_string(i)}, {"state", i % 3}, {"signature_status", 1}};
    if (antivirus) p["timestamp"] = "Mon, 07 Dec 2026 09:00:00 GMT";
    p["remediation_path"] = "C:\\Program Files\\Contoso\\p" + std::to_string(i) + ".exe";
    return p;
}

void writeProducts() {
    nlohmann::json doc;
    for (int i = 0; i < 9; ++i) {
        doc["antivirus"].push_back(product(i, true));
        doc["antispyware"].push_back(product(i, false));
        doc["firewall"].push_back(product(i, false));
    }
    fs::create_directories(scratch() / "SecurityCenter");
    std::ofstream(scratch() / "SecurityCenter" / "products.json") << doc.dump();
}

std::string onePolicyMegabyte() {
    nlohmann::json policy = {
        {"endpoint_posture_check", 1},      {"av_value", 1},
        {"av_operator", "equal"},           {"av_action", 1},
        {"av_version_value", "4.18.2.1"},   {"av_version_operator", "greater_than"},
        {"av_version_action", 0},           {"os_version_value", "windows_10,windows_11"},
        {"os_version_operator", "equal"},   {"os_version_action", 1},
        {"registry_value", "0"},            {"registry_operator", "exist"},
        {"registry_action", 0},
    };
    // Members the parser does not look at still have to be read.
    nlohmann::json filler = nlohmann::json::array();
    while (filler.dump().size() < 1000000) filler.push_back({{"id", filler.size()}, {"text", std::string(80, 'x')}});
    policy["other"] = filler;
    return policy.dump();
}

SecurityInventory enabledInventory() {
    SecurityInventory inventory;
    inventory.productCount = 9;
    for (auto& slot : inventory.products) {
        slot.avStateEnum = AV_ENABLED;
        slot.avVersion = "4.18.2301.6";
    }
    inventory.os = WIN_10;
    return inventory;
}

void BM_QueryThreeKindsNineProducts(benchmark::State& state) {
    quietLogger();
    writeProducts();
    for (auto _ : state) {
        nlohmann::json document;
        SecurityInventory inventory;
        for (std::uint32_t kind : {4u, 8u, 1u}) {
            const KindReading reading = readSecurityCenterProducts(kind);
            addKindToDocument(document, reading);
            fillInventorySlots(reading, inventory);
        }
        benchmark::DoNotOptimize(inventory);
        benchmark::DoNotOptimize(document);
    }
}
BENCHMARK(BM_QueryThreeKindsNineProducts)->Unit(benchmark::kMicrosecond);

void BM_ParseAndEvaluateOneMegabytePolicy(benchmark::State& state) {
    quietLogger();
    const std::string text = onePolicyMegabyte();
    const SecurityInventory inventory = enabledInventory();
    for (auto _ : state) {
        nlohmann::json policy = nlohmann::json::parse(text, nullptr, true, false);
        PostureRule rule;
        std::string message;
        parseAllServerJs(policy, rule, message);
        benchmark::DoNotOptimize(evaluatePostureDataWithAVInfo(rule, inventory, message));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseAndEvaluateOneMegabytePolicy)->Unit(benchmark::kMillisecond);

void BM_VersionReaderTenMegabyteExecutable(benchmark::State& state) {
    quietLogger();
    const char* source = std::getenv("VELMORA_BENCH_EXE");
    if (source == nullptr) {
        state.SkipWithError("VELMORA_BENCH_EXE is not set");
        return;
    }
    const fs::path big = scratch() / "big.exe";
    fs::copy_file(source, big, fs::copy_options::overwrite_existing);
    {
        std::ofstream out(big, std::ios::binary | std::ios::app);
        const std::string block(1 << 20, '\x5a');
        while (fs::file_size(big) < 10u * 1024 * 1024) out.write(block.data(), block.size()), out.flush();
    }
    for (auto _ : state) {
        FileInfo info;
        getFileInfo(big.c_str(), info);
        benchmark::DoNotOptimize(info.productVersion);
    }
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(big));
}
BENCHMARK(BM_VersionReaderTenMegabyteExecutable)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
