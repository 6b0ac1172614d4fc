#include "app/posture_stage.h"

#include "app/json_file.h"
#include "app/verdict_file.h"
#include "common/machine_paths.h"
#include "common/text.h"
#include "log/logger.h"
#include "posture/policy_parser.h"
#include "posture/posture_evaluation.h"
#include "posture/posture_rule.h"
#include "registry/registry_access.h"

#include <exception>

namespace velmora {

namespace {

// The model name, logged when the registry gives one; "-" otherwise.
std::string readModelName() {
    std::string model = "-";
    try {
        std::u16string name;
        if (readSystemProductName(name)) {
            model = wideToUtf8(name);
            avLogger->info("SystemModel: [{}]", model);
        }
    } catch (const std::exception&) {
        // The verdict file is still written, with the model as it stands.
    }
    return model;
}

}  // namespace

std::string saveVerdict(const OpenFolder& folder, const std::string& name, bool isVpnBlock,
                        const std::string& message) {
    std::optional<VerdictFile> file = openVerdictFile(folder, name);
    if (!file) return "-";
    const std::string model = readModelName();
    writeVerdictFile(std::move(*file), isVpnBlock, message, model);
    return model;
}

// The policy is only ever read through const references: a policy nested very
// deep would overflow the stack if it were copied, since copies recurse.
void runPostureStage(const OpenFolder& logs, bool haveInventoryDocument, const SecurityInventory& inventory) {
    const std::string policyPath = logs.path + pathSeparator() + "postureData.json";
    bool policyRead = false;
    const nlohmann::json policy = getJsonFromFile(logs, "postureData.json", policyRead);
    std::string systemModel = "-";

    if (!policyRead || !haveInventoryDocument) {
        avLogger->info("json from posturedata is not valid! jsFilePath = [{}]", policyPath);
    } else {
        PostureRule rule;
        std::string message;
        const bool parsed = parseAllServerJs(policy, rule, message);
        avLogger->info("parseAllServerJs res: [{}], msg: [{}]", parsed, message);
        logPostureRule(rule);
        const bool block = evaluatePostureDataWithAVInfo(rule, inventory, message);
        avLogger->info("evaluatePostureDataWithAVInfo res: [{}], msg: [{}]", block, message);
        systemModel = saveVerdict(logs, "check.json", block, message);
    }
    avLogger->info("SystemModel end: [{}]", systemModel);
}

}  // namespace velmora
