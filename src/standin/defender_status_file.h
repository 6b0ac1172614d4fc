// The description of Microsoft Defender's status provider that tests hand to
// the program: <ProgramData>/Defender/status.json. One reader serves the
// Linux stand-in and the test WMI provider for Windows, so both answer the
// same file the same way.
//
//   { "AMServiceEnabled": true, "AntivirusEnabled": true, "AntispywareEnabled": true,
//     "RealTimeProtectionEnabled": true, "AMRunningMode": "Normal",
//     "AMProductVersion": "4.18.24090.11", "AntivirusSignatureAge": 1,
//     "DefenderSignaturesOutOfDate": false, "delay_ms": 0 }
//
// Each member is the class property of the same name with its JSON type
// (boolean, string, or a whole number from 0 to 2^32 - 1 for the age); an
// absent member is a property the instance does not have. "delay_ms" (same
// range) makes the provider answer only after that many milliseconds. Other
// members are ignored; anything else that does not fit makes the file
// unusable.
#pragma once

#include <cstdint>
#include <string>

#include "common/status_codes.h"
#include "inventory/defender_provider.h"

namespace velmora {

struct DefenderStatusFile {
    DefenderProperties properties;
    std::uint32_t delayMs = 0;
};

// Parses the file's bytes. False (and out left empty) when they are not a
// JSON object of the shape above.
bool parseDefenderStatusFile(const std::string& bytes, DefenderStatusFile& out);

// <ProgramData><sep>Defender<sep>status.json
std::string defenderStatusFilePath();

// True when the file exists and can be opened: the provider's namespace is there.
bool defenderStatusFilePresent();

// One query of the provider: reads the file afresh and answers after its
// delay. 0, kHrWbemInvalidNamespace when the file cannot be opened,
// kHrWbemFailed when it cannot be read or has a bad shape.
std::int32_t serveDefenderStatus(DefenderProperties& out);

}  // namespace velmora
