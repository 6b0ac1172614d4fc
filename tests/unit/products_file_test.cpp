// The reader of products.json, the machine description both Security
// Center stand-ins serve.
#include <gtest/gtest.h>

#include <string>

#include "common/text.h"
#include "standin/products_file.h"
#include "test_support.h"

namespace velmora {

namespace {

TEST(ProductsFile, ReadsEveryMemberWithItsDefaults) {
    ServedProducts served;
    ASSERT_TRUE(parseServedProducts(R"({
        "antivirus": [{"name": "A", "state": 3, "signature_status": -7, "remediation_path": "",
                       "timestamp": "t", "unknown": [1, 2]}, {}],
        "antispyware": [{"name_utf16": [55296, 65], "name": "ignored"}],
        "failures": [{"call": "get_Item", "provider": "firewall", "index": 2, "hresult": "0x8000fFfF",
                      "dangling_out": true},
                     {"call": "Initialize", "hresult": "0x00000001"}],
        "comment": "unknown members are ignored"})", served));
    ASSERT_EQ(served.antivirus.size(), 2u);
    const ServedProduct& a = served.antivirus[0];
    EXPECT_TRUE(a.name.present);
    EXPECT_EQ(a.name.text, u"A");
    EXPECT_EQ(a.state, 3);
    EXPECT_EQ(a.signatureStatus, -7);
    EXPECT_TRUE(a.remediationPath.present);
    EXPECT_EQ(a.remediationPath.text, u"");
    EXPECT_EQ(a.timestamp.text, u"t");
    const ServedProduct& b = served.antivirus[1];
    EXPECT_FALSE(b.name.present);
    EXPECT_FALSE(b.remediationPath.present);
    EXPECT_FALSE(b.timestamp.present);
    EXPECT_EQ(b.state, 0);
    EXPECT_EQ(b.signatureStatus, 1);
    EXPECT_EQ(served.antispyware[0].name.text, (std::u16string{char16_t(0xD800), u'A'}));
    EXPECT_TRUE(served.firewall.empty());
    ASSERT_EQ(served.failures.size(), 2u);
    EXPECT_EQ(served.failures[0].call, SC_CALL_GET_ITEM);
    EXPECT_EQ(served.failures[0].provider, 1u);
    EXPECT_FALSE(served.failures[0].everyIndex);
    EXPECT_EQ(served.failures[0].index, 2u);
    EXPECT_EQ(served.failures[0].hresult, static_cast<std::int32_t>(0x8000FFFFu));
    EXPECT_TRUE(served.failures[0].danglingOut);
    EXPECT_FALSE(served.failures[1].danglingOut);
    EXPECT_EQ(served.failures[1].provider, 0u);
    EXPECT_TRUE(served.failures[1].everyIndex);
    EXPECT_EQ(served.failures[1].hresult, 1);
}

TEST(ProductsFile, RefusesEverythingOfAnotherShape) {
    const std::string bad[] = {
        "", " ", "null", "[]", "\"x\"", "{", "{}}", "{} {}", "\xEF\xBB\xBF{}x",
        "{\"antivirus\": {}}", "{\"antivirus\": [1]}", "{\"antivirus\": [[]]}",
        "{\"firewall\": [{\"name\": null}]}", "{\"firewall\": [{\"name\": 1}]}",
        "{\"firewall\": [{\"remediation_path\": []}]}", "{\"firewall\": [{\"timestamp\": false}]}",
        "{\"firewall\": [{\"state\": 1.5}]}", "{\"firewall\": [{\"state\": \"1\"}]}",
        "{\"firewall\": [{\"state\": 2147483648}]}", "{\"firewall\": [{\"state\": -2147483649}]}",
        "{\"firewall\": [{\"signature_status\": 18446744073709551615}]}",
        "{\"firewall\": [{\"name_utf16\": [65536]}]}", "{\"firewall\": [{\"name_utf16\": [-1]}]}",
        "{\"firewall\": [{\"name_utf16\": \"A\"}]}", "{\"firewall\": [{\"name_utf16\": [1.0]}]}",
        "{\"firewall\": [{\"name\": \"\xFF\"}]}",
        "{\"failures\": {}}", "{\"failures\": [1]}",
        "{\"failures\": [{\"hresult\": \"0x80004005\"}]}",
        "{\"failures\": [{\"call\": \"get_Item\"}]}",
        "{\"failures\": [{\"call\": \"get_item\", \"hresult\": \"0x80004005\"}]}",
        "{\"failures\": [{\"call\": \"Release\", \"hresult\": \"0x80004005\"}]}",
        "{\"failures\": [{\"call\": \"get_Item\", \"hresult\": \"0x8000400\"}]}",
        "{\"failures\": [{\"call\": \"get_Item\", \"hresult\": \"0x800040050\"}]}",
        "{\"failures\": [{\"call\": \"get_Item\", \"hresult\": \"0x8000400g\"}]}",
        "{\"failures\": [{\"call\": \"get_Item\", \"hresult\": \"-x80004005\"}]}",
        "{\"failures\": [{\"call\": \"get_Item\", \"hresult\": 2147500037}]}",
        "{\"failures\": [{\"call\": \"get_Item\", \"hresult\": \"0x80004005\", \"provider\": \"av\"}]}",
        "{\"failures\": [{\"call\": \"get_Item\", \"hresult\": \"0x80004005\", \"index\": -1}]}",
        "{\"failures\": [{\"call\": \"get_Item\", \"hresult\": \"0x80004005\", \"index\": \"1\"}]}",
        "{\"failures\": [{\"call\": \"get_Item\", \"hresult\": \"0x80004005\", \"dangling_out\": 1}]}",
        std::string("{\"antivirus\": []}\0", 18),
        std::string(100000, '[') ,
    };
    for (const auto& bytes : bad) {
        ServedProducts served;
        served.firewall.resize(1);
        EXPECT_FALSE(parseServedProducts(bytes, served)) << bytes.substr(0, 80);
        EXPECT_TRUE(served.firewall.empty());
    }
}

TEST(ProductsFile, FailuresMatchTheirCallProviderAndIndex) {
    ServedProducts served;
    ASSERT_TRUE(parseServedProducts(R"({"failures": [
        {"call": "get_ProductState", "provider": "antivirus", "index": 1, "hresult": "0x80000001"},
        {"call": "get_ProductState", "hresult": "0x80000002"},
        {"call": "get_Count", "provider": "firewall", "index": 9, "hresult": "0x80000003"},
        {"call": "CoCreateInstance", "provider": "firewall", "hresult": "0x80000004"}]})", served));
    struct Case {
        ScCall call;
        std::uint32_t provider;
        std::uint64_t index;
        bool found;
        std::uint32_t code;
    };
    const Case cases[] = {
        {SC_CALL_GET_PRODUCT_STATE, 4, 1, true, 0x80000001},   // the first entry that applies wins
        {SC_CALL_GET_PRODUCT_STATE, 4, 0, true, 0x80000002},
        {SC_CALL_GET_PRODUCT_STATE, 8, 1, true, 0x80000002},
        {SC_CALL_GET_COUNT, 1, 0, true, 0x80000003},            // list-level calls have no index
        {SC_CALL_GET_COUNT, 4, 0, false, 0},
        {SC_CALL_CO_CREATE_INSTANCE, 4, 0, true, 0x80000004},   // the provider is not known yet
        {SC_CALL_GET_ITEM, 4, 1, false, 0},
    };
    for (const auto& c : cases) {
        const InjectedFailure* failure = findInjectedFailure(served, c.call, c.provider, c.index);
        EXPECT_EQ(failure != nullptr, c.found) << c.call;
        if (c.found && failure != nullptr) {
            EXPECT_EQ(static_cast<std::uint32_t>(failure->hresult), c.code) << c.call;
        }
    }
}

TEST(ProductsFile, EachLoadReadsTheFileAsItIsNow) {
    ScratchMachine machine;
    const std::string path = machine.path("products.json");
    ServedProducts served;
    // Same length, other content; then back; then unusable; then the first again.
    const std::string first = R"({"antivirus": [{"name": "A"}]})";
    const std::string second = R"({"antivirus": [{"name": "B"}]})";
    const std::pair<std::string, const char*> steps[] = {
        {first, "A"}, {first, "A"}, {second, "B"}, {first, "A"}, {"{\"antivirus\": 1}", nullptr}, {first, "A"}};
    for (const auto& step : steps) {
        writeFile(path, step.first);
        if (step.second == nullptr) {
            EXPECT_EQ(loadServedProducts(path, served), kHrFail);
            continue;
        }
        ASSERT_EQ(loadServedProducts(path, served), kHrOk) << step.first;
        ASSERT_EQ(served.antivirus.size(), 1u);
        EXPECT_EQ(served.antivirus[0].name.text, utf8ToWide(step.second));
    }
}

TEST(ProductsFile, AMissingFileMeansNoSecurityCenter) {
    ServedProducts served;
    EXPECT_EQ(loadServedProducts("no-such-folder-for-velmora/products.json", served), kHrClassNotRegistered);
    EXPECT_EQ(servedProductsOf(served, 2), nullptr);
    EXPECT_EQ(servedProductsOf(served, 4), &served.antivirus);
}

}  // namespace

}  // namespace velmora
