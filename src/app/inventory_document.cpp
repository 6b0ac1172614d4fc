#include "app/inventory_document.h"

#include <exception>
#include <optional>

#include "common/file_replace.h"
#include "common/text.h"
#include "inventory/security_product.h"
#include "log/logger.h"

namespace velmora {

using nlohmann::json;

namespace {

const char* kindMember(std::uint32_t provider) {
    switch (provider) {
        case PROVIDER_FIREWALL: return "firewall";
        case PROVIDER_ANTIVIRUS: return "av";
        case PROVIDER_ANTISPYWARE: return "antispyware";
        default: return nullptr;
    }
}

const char* stateText(ProductState state) {
    switch (state) {
        case ProductState::On: return "on";
        case ProductState::Off: return "off";
        case ProductState::Snoozed: return "snoozed";
        case ProductState::Expired: break;
    }
    return "expired";
}

bool hasAnyMember(const ProductReading& product) {
    return product.name || product.state || product.signaturesUpToDate || product.reportingExe || product.version ||
           product.lastUpdate;
}

// document[key][index], creating the object, the array, the null elements
// before index and the product object as needed.
json& productObject(json& document, const char* key, std::size_t index) {
    if (!document.is_object()) document = json::object();
    json& products = document[key];
    if (!products.is_array()) products = json::array();
    while (products.size() <= index) products.push_back(nullptr);
    json& product = products[index];
    if (!product.is_object()) product = json::object();
    return product;
}

void writeProduct(const ProductReading& product, json& object) {
    if (product.name) object["name"] = *product.name;
    if (product.state) object["state"] = stateText(*product.state);
    if (product.signaturesUpToDate) object["signature_status"] = *product.signaturesUpToDate ? "up-to-date" : "out-of-date";
    if (product.reportingExe) object["reporting_exe"] = *product.reportingExe;
    if (product.version) object["version"] = *product.version;
    if (product.lastUpdate) object["last_update"] = *product.lastUpdate;
}

void saveCompact(const std::string& compact, const std::u16string& outputPath) {
    const std::string shownPath = wideToUtf8(outputPath);
    std::optional<FileReplacement> file = beginReplacement(outputPath, LinkAtTarget::WriteThrough);
    if (!file) {
        avLogger->info("avInfo js open file for saving failed!: file: [{}]! check permission...", shownPath);
        return;
    }
    // Every step is checked, so a full disk or a lost device is not reported
    // as a saved file; an incomplete file does not replace an earlier one.
    const bool written = writeToReplacement(*file, compact) == 0;
    const bool finished = finishReplacement(*file, written) == 0;
    if (written && finished) {
        avLogger->info("avInfo: js succesfully saved to file {}", shownPath);
    } else {
        avLogger->info("avInfo js write to file failed!: file: [{}]!", shownPath);
    }
}

}  // namespace

void addKindToDocument(json& document, const KindReading& reading) {
    const char* key = kindMember(reading.provider);
    if (key == nullptr) return;
    for (std::size_t index = 0; index < reading.products.size(); ++index) {
        const ProductReading& product = reading.products[index];
        if (hasAnyMember(product)) writeProduct(product, productObject(document, key, index));
    }
}

void completeInventoryDocument(json& document, const std::string& osText) {
    bool isAvInstalled = false;
    try {
        isAvInstalled = document["av"].size() >= 1;
    } catch (const std::exception&) {
        // Not an object after all: nothing is installed as far as we know.
    }
    document["os"] = osText;
    document["is_av_installed"] = isAvInstalled;
}

void publishInventoryDocument(json& document, const std::u16string& outputPath, const std::string& osText) {
    completeInventoryDocument(document, osText);
    std::string indented;
    std::string compact;
    try {
        indented = document.dump(5, ' ', false, json::error_handler_t::strict);
        compact = document.dump();
    } catch (const std::exception& e) {
        // Only text that is not UTF-8 gets here; nothing half-made is saved.
        avLogger->info("avInfo: document cannot be written: {}", e.what());
        return;
    }
    avLogger->info("avInfo: \n{}\n", indented);
    saveCompact(compact, outputPath);
}

}  // namespace velmora
