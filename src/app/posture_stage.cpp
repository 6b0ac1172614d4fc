#include "app/posture_stage.h"

#include "app/json_file.h"
#include "app/verdict_file.h"
#include "common/machine_paths.h"
#include "log/logger.h"
#include "posture/policy_parser.h"
#include "posture/posture_evaluation.h"
#include "posture/posture_rule.h"

// The policy is only ever read through const references: a policy nested very
// deep would overflow the stack if it were copied, since copies recurse.
void runPostureStage(const nlohmann::json& document, const SecurityInventory& inventory) {
    const std::string policyPath = vpnLogFile("postureData.json");
    bool policyRead = false;
    const nlohmann::json policy = getJsonFromFile(policyPath, policyRead);
    std::string systemModel = "-";

    if (!policyRead || !document.is_object()) {
        avLogger->info("json from posturedata is not valid! jsFilePath = [{}]", policyPath);
    } else {
        PostureRule rule;
        std::string message;
        const bool parsed = parseAllServerJs(policy, rule, message);
        avLogger->info("parseAllServerJs res: [{}], msg: [{}]", parsed, message);
        logPostureRule(rule);
        const bool block = evaluatePostureDataWithAVInfo(rule, inventory, message);
        avLogger->info("evaluatePostureDataWithAVInfo res: [{}], msg: [{}]", block, message);
        writeVerdictFile(vpnLogFile("check.json"), block, message, systemModel);
    }
    avLogger->info("SystemModel end: [{}]", systemModel);
}
