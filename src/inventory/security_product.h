// The security products the Security Center reports, as the program keeps them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "system/system_identity.h"

namespace velmora {

// The Security Center's own provider numbers.
enum ProviderKind : std::uint32_t {
    PROVIDER_FIREWALL = 1,
    PROVIDER_ANTIVIRUS = 4,
    PROVIDER_ANTISPYWARE = 8,
};

enum AvState : std::int32_t {
    AV_DISABLED = 0,
    AV_ENABLED = 1,
    AV_SNOOZED = 2,
};

enum AvSignatureStatus : std::int32_t {
    AVSIGNATURE_STATUS_UP_TO_DATE = 0,
    AVSIGNATURE_STATUS_OUT_OF_DATE = 1,
};

// Member identifiers ("AV_ENABLED"); "" for a value that is no member.
std::string avStateName(std::int32_t value);
std::string avSignatureStatusName(std::int32_t value);

struct SecurityProductInfo {
    std::string avName = "NA";
    std::string reportingExe = "NA";
    std::int32_t signatureStatusEnum = AVSIGNATURE_STATUS_OUT_OF_DATE;
    std::int32_t avStateEnum = AV_DISABLED;
    std::string avVersion = "0.0.0.0";
    std::string avLastUpdateTime = "NA";
};

constexpr std::size_t kInventorySlots = 9;

struct SecurityInventory {
    std::array<SecurityProductInfo, kInventorySlots> products{};
    std::uint32_t productCount = 0;  // leading slots that the report and the evaluation read
    WinVersion os = WIN_UNKNOWN;
};

}  // namespace velmora
