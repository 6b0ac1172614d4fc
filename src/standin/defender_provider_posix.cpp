// Linux stand-in for Defender's status provider: the answer is served from
// <ProgramData>/Defender/status.json, read afresh at each question.
#include "inventory/defender_provider.h"

#include "standin/defender_status_file.h"

namespace velmora {

std::int32_t askDefenderProvider(DefenderProperties& properties) { return serveDefenderStatus(properties); }

}  // namespace velmora
