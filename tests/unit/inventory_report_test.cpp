// The inventory report in the log.
#include <gtest/gtest.h>

#include "inventory/inventory_slots.h"
#include "test_support.h"

namespace velmora {

namespace {

using Records = std::vector<LogRecord>;

TEST(InventoryReport, AnEmptyInventoryShowsOnlyTheSummary) {
    LogCapture log;
    SecurityInventory inventory;
    inventory.os = WIN_10;
    reportInventory(inventory);
    EXPECT_EQ(log.records(), (Records{{"info", "os: WIN_10"}, {"info", "Total av installed: 0"}}));
}

TEST(InventoryReport, CountedSlotsAreShownFieldByFieldWithTheirNames) {
    LogCapture log;
    SecurityInventory inventory;
    inventory.os = static_cast<WinVersion>(7);  // no WinVersion member
    inventory.productCount = 2;
    inventory.products[0] = {"Alpha {}", "C:\\a.exe", AVSIGNATURE_STATUS_UP_TO_DATE, AV_SNOOZED, "1.2.3.4", "t"};
    inventory.products[1].avStateEnum = -1;
    inventory.products[1].signatureStatusEnum = 2;
    inventory.products[2].avName = "not counted";
    reportInventory(inventory);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                  "os: ", "Total av installed: 2",
                                  "\tavName: Alpha {}", "\tavVersion: 1.2.3.4", "\treportingExe: C:\\a.exe",
                                  "\tavLastUpdateTime: t", "\tavStateEnum: AV_SNOOZED",
                                  "\tsignatureStatusEnum: AVSIGNATURE_STATUS_UP_TO_DATE", "",
                                  "\tavName: NA", "\tavVersion: 0.0.0.0", "\treportingExe: NA",
                                  "\tavLastUpdateTime: NA", "\tavStateEnum: ", "\tsignatureStatusEnum: ", ""}));
}

TEST(InventoryReport, ACountBeyondTheSlotsNeverReadsPastThem) {
    LogCapture log;
    SecurityInventory inventory;
    inventory.productCount = 1000;
    reportInventory(inventory);
    const auto messages = log.messages();
    ASSERT_EQ(messages.size(), 2u + 7u * kInventorySlots);
    EXPECT_EQ(messages[1], "Total av installed: 1000");
}

}  // namespace

}  // namespace velmora
