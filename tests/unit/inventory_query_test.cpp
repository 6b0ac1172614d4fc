// The Security Center enumeration against the Security Center the machine
// offers (the stand-in on Linux, the test COM server under Wine), described
// by products.json, as it reaches the inventory document and the slots.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "app/inventory_document.h"
#include "common/status_codes.h"
#include "inventory/inventory_slots.h"
#include "inventory/security_center.h"
#include "inventory/security_query.h"
#include "standin/products_file.h"
#include "test_support.h"

namespace velmora {

using nlohmann::json;

namespace {

// Writes (text non-null) or removes (null) the products.json being served.
void writeServedProducts(const char* text) {
    const std::filesystem::path path = std::filesystem::u8path(servedProductsPath());
    std::error_code ignored;
    if (text == nullptr) {
        std::filesystem::remove(path, ignored);
        return;
    }
    std::filesystem::create_directories(path.parent_path(), ignored);
    writeFile(path, text);
}

class SecurityQuery : public testing::Test {
protected:
    void SetUp() override { ASSERT_GE(scStart(), 0); }
    void TearDown() override {
        // Every list and product handed out must have been released.
        EXPECT_EQ(liveSecurityCenterObjects(), 0);
        scStop();
        writeServedProducts(nullptr);
    }

    // Reads one kind into both outputs, as the inventory stage does.
    std::int32_t query(std::uint32_t provider) {
        const KindReading reading = readSecurityCenterProducts(provider);
        addKindToDocument(document, reading);
        fillInventorySlots(reading, inventory);
        return reading.status;
    }

    ScratchMachine machine;
    json document;
    SecurityInventory inventory;
};

const char* kThreeAntivirus = R"({"antivirus": [
    {"name": "Alpha AV", "state": 0, "signature_status": 1, "remediation_path": "C:\\nowhere\\alpha.exe",
     "timestamp": "Mon, 07 Dec 2026 09:00:00 GMT"},
    {"name": "Beta AV", "state": 1, "signature_status": 0, "remediation_path": "%ProgramFiles%\\beta.exe",
     "timestamp": "t2"},
    {"name": "Gamma AV", "state": 2, "timestamp": "t3"}]})";

TEST_F(SecurityQuery, AntivirusProductsFillTheDocumentAndTheSlots) {
    writeServedProducts(kThreeAntivirus);
    EXPECT_EQ(query(PROVIDER_ANTIVIRUS), 0);
    EXPECT_EQ(document, json::parse(R"({"av": [
        {"last_update": "Mon, 07 Dec 2026 09:00:00 GMT", "name": "Alpha AV", "reporting_exe": "C:\\nowhere\\alpha.exe",
         "signature_status": "up-to-date", "state": "on", "version": ""},
        {"last_update": "t2", "name": "Beta AV", "reporting_exe": "%ProgramFiles%\\beta.exe",
         "signature_status": "out-of-date", "state": "off", "version": ""},
        {"last_update": "t3", "name": "Gamma AV", "signature_status": "up-to-date", "state": "snoozed"}]})"));
    EXPECT_EQ(inventory.productCount, 3u);
    const SecurityProductInfo& first = inventory.products[0];
    EXPECT_EQ(first.avName, "Alpha AV");
    EXPECT_EQ(first.reportingExe, "C:\\nowhere\\alpha.exe");
    EXPECT_EQ(first.avVersion, "");
    EXPECT_EQ(first.avLastUpdateTime, "Mon, 07 Dec 2026 09:00:00 GMT");
    EXPECT_EQ(first.avStateEnum, AV_ENABLED);
    EXPECT_EQ(first.signatureStatusEnum, AVSIGNATURE_STATUS_UP_TO_DATE);
    EXPECT_EQ(inventory.products[1].signatureStatusEnum, AVSIGNATURE_STATUS_OUT_OF_DATE);
    // No remediation path returned: the slot keeps its initial path and version.
    EXPECT_EQ(inventory.products[2].reportingExe, "NA");
    EXPECT_EQ(inventory.products[2].avVersion, "0.0.0.0");
    EXPECT_EQ(inventory.products[2].avStateEnum, AV_SNOOZED);
    EXPECT_TRUE(machine.log.records().empty());
}

TEST_F(SecurityQuery, StatesAndSignatureStatusesMapAsTheSecurityCenterMeansThem) {
    struct Case {
        int state;
        const char* stateText;
        std::int32_t stateValue;
        int signature;
        const char* signatureText;
        std::int32_t signatureValue;
    };
    const Case cases[] = {
        {0, "on", AV_ENABLED, 1, "up-to-date", AVSIGNATURE_STATUS_UP_TO_DATE},
        {1, "off", AV_DISABLED, 0, "out-of-date", AVSIGNATURE_STATUS_OUT_OF_DATE},
        {2, "snoozed", AV_SNOOZED, 2, "out-of-date", AVSIGNATURE_STATUS_OUT_OF_DATE},
        {3, "expired", AV_DISABLED, -1, "out-of-date", AVSIGNATURE_STATUS_OUT_OF_DATE},
        {7, "expired", AV_DISABLED, 1, "up-to-date", AVSIGNATURE_STATUS_UP_TO_DATE},
        {-5, "expired", AV_DISABLED, 1, "up-to-date", AVSIGNATURE_STATUS_UP_TO_DATE},
    };
    json products = json::array();
    for (const auto& c : cases) products.push_back({{"name", "p"}, {"state", c.state}, {"signature_status", c.signature}});
    writeServedProducts(json{{"antivirus", products}}.dump().c_str());
    ASSERT_EQ(query(PROVIDER_ANTIVIRUS), 0);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(document["av"][i]["state"], cases[i].stateText);
        EXPECT_EQ(document["av"][i]["signature_status"], cases[i].signatureText);
        EXPECT_EQ(inventory.products[i].avStateEnum, cases[i].stateValue);
        EXPECT_EQ(inventory.products[i].signatureStatusEnum, cases[i].signatureValue);
    }
}

TEST_F(SecurityQuery, OtherKindsGoToTheDocumentOnlyWithTheirOwnMembers) {
    writeServedProducts(R"({"antivirus": [{"name": "AV", "state": 0, "timestamp": "t"}],
        "antispyware": [{"name": "AS", "state": 1, "signature_status": 1, "timestamp": "never shown"}],
        "firewall": [{"name": "FW", "state": 2, "signature_status": 1, "remediation_path": "fw.exe", "timestamp": "x"},
                     {"name": "FW2"}]})");
    ASSERT_EQ(query(PROVIDER_ANTIVIRUS), 0);
    const SecurityInventory afterAntivirus = inventory;
    ASSERT_EQ(query(PROVIDER_ANTISPYWARE), 0);
    ASSERT_EQ(query(PROVIDER_FIREWALL), 0);
    EXPECT_EQ(document["antispyware"], json::parse(R"([{"name": "AS", "signature_status": "up-to-date", "state": "off"}])"));
    EXPECT_EQ(document["firewall"], json::parse(R"([{"name": "FW", "reporting_exe": "fw.exe", "state": "snoozed",
        "version": ""}, {"name": "FW2", "state": "on"}])"));
    // The antivirus product keeps its slot; the other kinds never overwrite it.
    EXPECT_EQ(inventory.productCount, 1u);
    EXPECT_EQ(inventory.products[0].avName, "AV");
    EXPECT_EQ(inventory.products[0].avLastUpdateTime, "t");
    EXPECT_EQ(inventory.products[1].avName, afterAntivirus.products[1].avName);
}

TEST_F(SecurityQuery, ANamelessProductIsStillReadButNotCounted) {
    writeServedProducts(R"({"antivirus": [{"name": "first"}, {"state": 0, "remediation_path": "x.exe"}]})");
    ASSERT_EQ(query(PROVIDER_ANTIVIRUS), 0);
    EXPECT_EQ(document["av"][1], json::parse(R"({"reporting_exe": "x.exe", "signature_status": "up-to-date",
        "state": "on", "version": ""})"));
    EXPECT_EQ(inventory.productCount, 1u);
    EXPECT_EQ(inventory.products[1].avName, "NA");
    EXPECT_EQ(inventory.products[1].reportingExe, "x.exe");
    EXPECT_EQ(inventory.products[1].avStateEnum, AV_ENABLED);
}

TEST_F(SecurityQuery, TextsAreConvertedExactlyAndInvalidUtf16BecomesEmpty) {
    writeServedProducts(R"({"antivirus": [
        {"name_utf16": [65, 55296, 66], "timestamp": ""},
        {"name_utf16": [65, 0, 66]},
        {"name": "Contoso \u00e9\u20ac\ud83d\ude00"}]})");
    ASSERT_EQ(query(PROVIDER_ANTIVIRUS), 0);
    // Returned, though not convertible: an empty name still counts as a name.
    EXPECT_EQ(document["av"][0]["name"], "");
    EXPECT_EQ(document["av"][0]["last_update"], "");
    EXPECT_EQ(inventory.products[0].avLastUpdateTime, "");
    EXPECT_EQ(document["av"][1]["name"], std::string("A\0B", 3));
    EXPECT_EQ(inventory.products[2].avName, "Contoso \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(inventory.productCount, 3u);
}

TEST_F(SecurityQuery, AKindWithoutProductsLeavesEverythingAsItWas) {
    writeServedProducts(R"({"antivirus": [], "firewall": [{"name": "fw"}]})");
    EXPECT_EQ(query(PROVIDER_ANTIVIRUS), 0);
    EXPECT_EQ(query(PROVIDER_ANTISPYWARE), 0);
    EXPECT_TRUE(document.is_null());
    EXPECT_EQ(inventory.productCount, 0u);
}

TEST_F(SecurityQuery, UnknownProvidersAreRefusedWithoutTouchingAnything) {
    writeServedProducts(kThreeAntivirus);
    for (std::uint32_t provider : {0u, 2u, 3u, 5u, 16u, 0xFFFFFFFFu}) {
        EXPECT_EQ(query(provider), kHrInvalidArg) << provider;
    }
    EXPECT_TRUE(document.is_null());
    EXPECT_EQ(inventory.productCount, 0u);
    EXPECT_TRUE(machine.log.records().empty());
}

TEST_F(SecurityQuery, AMissingOrBrokenDescriptionFailsTheCreation) {
    struct Case {
        const char* file;
        std::int32_t expected;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, kHrClassNotRegistered, "CoCreateInstance returned error = -7ffbfeac"},
        {"[]", kHrFail, "CoCreateInstance returned error = -7fffbffb"},
        {"{\"antivirus\": [{\"name\": 5}]}", kHrFail, "CoCreateInstance returned error = -7fffbffb"},
        {"{\"antivirus\": [", kHrFail, "CoCreateInstance returned error = -7fffbffb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        LogCapture caseLog;
        writeServedProducts(c.file);
        EXPECT_EQ(query(PROVIDER_ANTIVIRUS), c.expected);
        EXPECT_EQ(caseLog.records(), (std::vector<LogRecord>{{"error", c.message}}));
    }
    EXPECT_TRUE(document.is_null());
}

// A failure at each call, for the middle one of three products: the earlier
// products are complete, the failing one holds what was read before it.
TEST_F(SecurityQuery, AFailingCallEndsTheQueryWithItsCode) {
    struct Case {
        const char* call;
        const char* middle;  // what the document holds for product 1 afterwards ("" : nothing)
        std::uint32_t count;
    };
    const Case cases[] = {
        {"Initialize", nullptr, 0},
        {"get_Count", nullptr, 0},
        {"get_Item", "", 1},
        {"get_ProductName", "", 1},
        {"get_ProductState", R"({"name": "Beta AV"})", 2},
        {"get_SignatureStatus", R"({"name": "Beta AV", "state": "off"})", 2},
        {"get_RemediationPath", R"({"name": "Beta AV", "signature_status": "out-of-date", "state": "off"})", 2},
        {"get_ProductStateTimestamp", R"({"name": "Beta AV", "reporting_exe": "%ProgramFiles%\\beta.exe",
            "signature_status": "out-of-date", "state": "off", "version": ""})", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        LogCapture caseLog;
        json withFailure = json::parse(kThreeAntivirus);
        withFailure["failures"] = {{{"provider", "antivirus"}, {"call", c.call}, {"index", 1}, {"hresult", "0x8000FFFF"}},
                                   {{"provider", "firewall"}, {"call", "get_Item"}, {"hresult", "0x80004005"}}};
        writeServedProducts(withFailure.dump().c_str());
        document = nullptr;
        inventory = SecurityInventory{};
        EXPECT_EQ(query(PROVIDER_ANTIVIRUS), kHrUnexpected);
        EXPECT_EQ(caseLog.records(), (std::vector<LogRecord>{
                                         {"error", std::string(c.call) + " returned error = -7fff0001"}}));
        EXPECT_EQ(inventory.productCount, c.count);
        if (c.middle == nullptr) {
            EXPECT_TRUE(document.is_null());
            continue;
        }
        ASSERT_TRUE(document["av"].is_array());
        EXPECT_EQ(document["av"][0]["name"], "Alpha AV");
        EXPECT_EQ(document["av"][0].size(), 6u);
        if (*c.middle == '\0') {
            EXPECT_EQ(document["av"].size(), 1u);
        } else {
            ASSERT_EQ(document["av"].size(), 2u);
            EXPECT_EQ(document["av"][1], json::parse(c.middle));
        }
    }
}

TEST_F(SecurityQuery, FailuresHitOnlyTheirProviderAndProduct) {
    writeServedProducts(R"({"antivirus": [{"name": "a"}, {"name": "b"}], "firewall": [{"name": "f"}],
        "failures": [{"provider": "firewall", "call": "get_ProductState", "hresult": "0x80070005"},
                     {"provider": "antivirus", "call": "get_ProductName", "index": 5, "hresult": "0x80004005"}]})");
    EXPECT_EQ(query(PROVIDER_ANTIVIRUS), 0);
    EXPECT_EQ(document["av"].size(), 2u);
    EXPECT_EQ(query(PROVIDER_FIREWALL), static_cast<std::int32_t>(0x80070005u));
    EXPECT_EQ(document["firewall"], json::parse(R"([{"name": "f"}])"));
    EXPECT_EQ(machine.log.messages(), std::vector<std::string>{"get_ProductState returned error = -7ff8fffb"});
}

TEST_F(SecurityQuery, TheResultIsThatOfTheLastCall) {
    // A success code other than S_OK from the last call made comes back as it is.
    writeServedProducts(R"({"antivirus": [{"name": "a"}, {"name": "b"}], "firewall": [{"name": "f"}],
        "failures": [{"call": "get_ProductStateTimestamp", "index": 1, "hresult": "0x00000001"},
                     {"call": "get_ProductStateTimestamp", "index": 0, "hresult": "0x00000002"},
                     {"call": "get_RemediationPath", "provider": "firewall", "hresult": "0x00000003"}]})");
    EXPECT_EQ(query(PROVIDER_ANTIVIRUS), 1);
    EXPECT_EQ(query(PROVIDER_FIREWALL), 3);
}

TEST_F(SecurityQuery, ATenthProductGoesToTheDocumentOnly) {
    json products = json::array();
    for (int i = 0; i < 11; ++i) products.push_back({{"name", "p" + std::to_string(i)}, {"state", 0}});
    writeServedProducts(json{{"antivirus", products}}.dump().c_str());
    ASSERT_EQ(query(PROVIDER_ANTIVIRUS), 0);
    EXPECT_EQ(document["av"].size(), 11u);
    EXPECT_EQ(document["av"][10]["name"], "p10");
    EXPECT_EQ(inventory.productCount, 9u);
    EXPECT_EQ(inventory.products[8].avName, "p8");
    const auto messages = machine.log.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "av product 9 is left out of the inventory, which holds 9 products; it is kept in the "
                           "document only");
}

// The note of a product left out stands where that product's reading begins,
// before the failure of its getters.
TEST_F(SecurityQuery, ALeftOutProductIsNotedBeforeItsFailure) {
    json products = json::array();
    for (int i = 0; i < 11; ++i) products.push_back({{"name", "p" + std::to_string(i)}});
    json withFailure{{"antivirus", products},
                     {"failures", {{{"call", "get_ProductState"}, {"index", 10}, {"hresult", "0x80004005"}}}}};
    writeServedProducts(withFailure.dump().c_str());
    EXPECT_EQ(query(PROVIDER_ANTIVIRUS), kHrFail);
    const std::string leftOut = " is left out of the inventory, which holds 9 products; it is kept in the document only";
    EXPECT_EQ(machine.log.records(), (std::vector<LogRecord>{{"info", "av product 9" + leftOut},
                                                             {"info", "av product 10" + leftOut},
                                                             {"error", "get_ProductState returned error = -7fffbffb"}}));
}

TEST_F(SecurityQuery, ASecondQueryOfTheSameKindRewritesTheSameSlots) {
    writeServedProducts(kThreeAntivirus);
    ASSERT_EQ(query(PROVIDER_ANTIVIRUS), 0);
    writeServedProducts(R"({"antivirus": [{"state": 1, "timestamp": "new"}]})");
    ASSERT_EQ(query(PROVIDER_ANTIVIRUS), 0);
    // Product 0 changed; what the second query did not write stays.
    EXPECT_EQ(document["av"].size(), 3u);
    EXPECT_EQ(document["av"][0]["name"], "Alpha AV");
    EXPECT_EQ(document["av"][0]["state"], "off");
    EXPECT_EQ(document["av"][0]["last_update"], "new");
    EXPECT_EQ(inventory.productCount, 3u);
    EXPECT_EQ(inventory.products[0].avStateEnum, AV_DISABLED);
    EXPECT_EQ(inventory.products[0].avLastUpdateTime, "new");
}

}  // namespace

}  // namespace velmora
