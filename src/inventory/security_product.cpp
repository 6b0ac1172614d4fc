#include "inventory/security_product.h"

#include "common/enum_names.h"

namespace velmora {

static const EnumNameEntry kAvStateNames[] = {
    {AV_DISABLED, "AV_DISABLED"}, {AV_ENABLED, "AV_ENABLED"}, {AV_SNOOZED, "AV_SNOOZED"}};

static const EnumNameEntry kAvSignatureStatusNames[] = {
    {AVSIGNATURE_STATUS_UP_TO_DATE, "AVSIGNATURE_STATUS_UP_TO_DATE"},
    {AVSIGNATURE_STATUS_OUT_OF_DATE, "AVSIGNATURE_STATUS_OUT_OF_DATE"}};

std::string avStateName(std::int32_t value) { return lookupEnumName(value, kAvStateNames); }

std::string avSignatureStatusName(std::int32_t value) { return lookupEnumName(value, kAvSignatureStatusNames); }

}  // namespace velmora
