#include "inventory/inventory_slots.h"

#include <algorithm>
#include <optional>

#include "log/logger.h"

namespace velmora {

namespace {

// Only antivirus products make up the inventory: the other kinds would
// overwrite its slots with products that are no antivirus.
std::optional<std::size_t> inventorySlotOf(std::uint32_t provider, std::size_t index) {
    if (provider != PROVIDER_ANTIVIRUS || index >= kInventorySlots) return std::nullopt;
    return index;
}

std::int32_t avStateOf(ProductState state) {
    switch (state) {
        case ProductState::On: return AV_ENABLED;
        case ProductState::Snoozed: return AV_SNOOZED;
        case ProductState::Off:
        case ProductState::Expired: break;
    }
    return AV_DISABLED;
}

void fillSlot(const ProductReading& product, SecurityProductInfo& slot) {
    if (product.name) slot.avName = *product.name;
    if (product.state) slot.avStateEnum = avStateOf(*product.state);
    if (product.signaturesUpToDate) {
        slot.signatureStatusEnum =
            *product.signaturesUpToDate ? AVSIGNATURE_STATUS_UP_TO_DATE : AVSIGNATURE_STATUS_OUT_OF_DATE;
    }
    if (product.reportingExe) slot.reportingExe = *product.reportingExe;
    if (product.version) slot.avVersion = *product.version;
    if (product.lastUpdate) slot.avLastUpdateTime = *product.lastUpdate;
}

}  // namespace

void noteProductOutsideInventory(std::uint32_t provider, std::uint32_t index) {
    if (provider != PROVIDER_ANTIVIRUS || inventorySlotOf(provider, index)) return;
    avLogger->info("av product {} is left out of the inventory, which holds {} products; it is kept in the "
                   "document only",
                   index, kInventorySlots);
}

void fillInventorySlots(const KindReading& reading, SecurityInventory& inventory) {
    for (std::size_t index = 0; index < reading.products.size(); ++index) {
        const std::optional<std::size_t> slot = inventorySlotOf(reading.provider, index);
        if (!slot) continue;
        const ProductReading& product = reading.products[index];
        fillSlot(product, inventory.products[*slot]);
        if (product.name) inventory.productCount = static_cast<std::uint32_t>(index + 1);
    }
}

void reportInventory(SecurityInventory inventory) {
    avLogger->info("os: {}", winVersionName(inventory.os));
    avLogger->info("Total av installed: {}", inventory.productCount);
    const std::size_t shown = std::min<std::size_t>(inventory.productCount, kInventorySlots);
    for (std::size_t j = 0; j < shown; ++j) {
        const SecurityProductInfo& product = inventory.products[j];
        avLogger->info("\tavName: {}", product.avName);
        avLogger->info("\tavVersion: {}", product.avVersion);
        avLogger->info("\treportingExe: {}", product.reportingExe);
        avLogger->info("\tavLastUpdateTime: {}", product.avLastUpdateTime);
        avLogger->info("\tavStateEnum: {}", avStateName(product.avStateEnum));
        avLogger->info("\tsignatureStatusEnum: {}", avSignatureStatusName(product.signatureStatusEnum));
        avLogger->info("");
    }
}

}  // namespace velmora
