// libFuzzer target: policy bytes go through the same path as a run's policy
// file: getJsonFromFile, parseAllServerJs, logPostureRule and the evaluation
// (registry rules probe an empty stand-in below a private ProgramData).
#include "app/json_file.h"
#include "fuzz_common.h"
#include "posture/policy_parser.h"
#include "posture/posture_evaluation.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace velmora;

namespace {

SecurityInventory sampleInventory() {
    SecurityInventory inventory;
    inventory.productCount = 2;
    inventory.products[0].avStateEnum = AV_ENABLED;
    inventory.products[0].avVersion = "4.18.2305.7";
    inventory.products[1].avStateEnum = AV_SNOOZED;
    inventory.os = WIN_10;
    return inventory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string policyPath = [] {
        const auto programData = fuzzProgramData();
        std::filesystem::create_directories(programData / "Registry" / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Contoso");
        return (programData / "postureData.json").string();
    }();
    std::FILE* file = std::fopen(policyPath.c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);

    static const HeldFolder folder = [] {
        unsigned long error = 0;
        return openProgramData(error);
    }();
    if (!folder) return 0;
    bool policyRead = false;
    const nlohmann::json policy = getJsonFromFile(*folder, "postureData.json", policyRead);
    if (!policyRead) return 0;
    PostureRule rule;
    std::string message;
    parseAllServerJs(policy, rule, message);
    logPostureRule(rule);
    evaluatePostureDataWithAVInfo(rule, sampleInventory(), message);
    static const char* const kOutcomes[] = {"endpoint_posture_check is not enabled!", "av", "av_version", "os",
                                            "registry", "doesn't matched with any field!"};
    for (const char* outcome : kOutcomes) {
        if (message == outcome) return 0;
    }
    std::abort();  // the message must end as one of the six texts
}
