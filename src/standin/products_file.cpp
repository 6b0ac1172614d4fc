#include "standin/products_file.h"

#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>

#include <nlohmann/json.hpp>

#include "common/file_io.h"
#include "common/machine_paths.h"
#include "common/text.h"

namespace velmora {

using nlohmann::json;

namespace {

// A machine description is a few kilobytes; anything far larger is a mistake.
constexpr std::size_t kMaxFileBytes = 16u * 1024u * 1024u;

struct NamedCall {
    const char* name;
    ScCall call;
};

const NamedCall kCallNames[] = {
    {"CoCreateInstance", SC_CALL_CO_CREATE_INSTANCE},
    {"Initialize", SC_CALL_INITIALIZE},
    {"get_Count", SC_CALL_GET_COUNT},
    {"get_Item", SC_CALL_GET_ITEM},
    {"get_ProductName", SC_CALL_GET_PRODUCT_NAME},
    {"get_ProductState", SC_CALL_GET_PRODUCT_STATE},
    {"get_SignatureStatus", SC_CALL_GET_SIGNATURE_STATUS},
    {"get_RemediationPath", SC_CALL_GET_REMEDIATION_PATH},
    {"get_ProductStateTimestamp", SC_CALL_GET_PRODUCT_STATE_TIMESTAMP},
};

bool readInt32(const json& value, std::int32_t& out) {
    if (value.is_number_unsigned()) {
        auto v = value.get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) return false;
        out = static_cast<std::int32_t>(v);
        return true;
    }
    if (value.is_number_integer()) {
        auto v = value.get<std::int64_t>();
        if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
        out = static_cast<std::int32_t>(v);
        return true;
    }
    return false;
}

bool readText(const json& product, const char* key, ServedText& out) {
    auto it = product.find(key);
    if (it == product.end()) return true;
    if (!it->is_string()) return false;
    // The parser only accepts valid UTF-8, so the conversion cannot fail;
    // an empty string stays a present, empty text.
    out.present = true;
    out.text = utf8ToWide(it->get_ref<const std::string&>());
    return true;
}

bool readCodeUnits(const json& units, ServedText& out) {
    if (!units.is_array()) return false;
    std::u16string text;
    for (const auto& unit : units) {
        std::int32_t value = 0;
        if (!readInt32(unit, value) || value < 0 || value > 0xFFFF) return false;
        text += static_cast<char16_t>(value);
    }
    out.present = true;
    out.text = std::move(text);
    return true;
}

bool readProduct(const json& item, ServedProduct& out) {
    if (!item.is_object()) return false;
    auto units = item.find("name_utf16");
    if (units != item.end()) {
        if (!readCodeUnits(*units, out.name)) return false;
    } else if (!readText(item, "name", out.name)) {
        return false;
    }
    if (!readText(item, "remediation_path", out.remediationPath)) return false;
    if (!readText(item, "timestamp", out.timestamp)) return false;
    auto state = item.find("state");
    if (state != item.end() && !readInt32(*state, out.state)) return false;
    auto signature = item.find("signature_status");
    if (signature != item.end() && !readInt32(*signature, out.signatureStatus)) return false;
    return true;
}

bool readProductList(const json& root, const char* key, std::vector<ServedProduct>& out) {
    auto it = root.find(key);
    if (it == root.end()) return true;
    if (!it->is_array()) return false;
    for (const auto& item : *it) {
        ServedProduct product;
        if (!readProduct(item, product)) return false;
        out.push_back(std::move(product));
    }
    return true;
}

bool readHresult(const json& value, std::int32_t& out) {
    return value.is_string() && hresultFromText(value.get_ref<const std::string&>(), out);
}

bool readCall(const json& value, ScCall& out) {
    if (!value.is_string()) return false;
    for (const auto& entry : kCallNames) {
        if (value.get_ref<const std::string&>() == entry.name) {
            out = entry.call;
            return true;
        }
    }
    return false;
}

bool readProvider(const json& value, std::uint32_t& out) {
    if (!value.is_string()) return false;
    const auto& name = value.get_ref<const std::string&>();
    if (name == "antivirus") out = 4;
    else if (name == "antispyware") out = 8;
    else if (name == "firewall") out = 1;
    else return false;
    return true;
}

bool readFailure(const json& item, InjectedFailure& out) {
    if (!item.is_object()) return false;
    auto call = item.find("call");
    auto hresult = item.find("hresult");
    if (call == item.end() || !readCall(*call, out.call)) return false;
    if (hresult == item.end() || !readHresult(*hresult, out.hresult)) return false;
    auto provider = item.find("provider");
    if (provider != item.end() && !readProvider(*provider, out.provider)) return false;
    auto index = item.find("index");
    if (index != item.end()) {
        if (!index->is_number_integer()) return false;
        if (!index->is_number_unsigned() && index->get<std::int64_t>() < 0) return false;
        out.everyIndex = false;
        out.index = index->get<std::uint64_t>();
    }
    auto dangling = item.find("dangling_out");
    if (dangling != item.end()) {
        if (!dangling->is_boolean()) return false;
        out.danglingOut = dangling->get<bool>();
    }
    return true;
}

bool readFailures(const json& root, std::vector<InjectedFailure>& out) {
    auto it = root.find("failures");
    if (it == root.end()) return true;
    if (!it->is_array()) return false;
    for (const auto& item : *it) {
        InjectedFailure failure;
        if (!readFailure(item, failure)) return false;
        out.push_back(failure);
    }
    return true;
}

bool readDelay(const json& root, std::uint32_t& out) {
    auto it = root.find("delay_ms");
    if (it == root.end()) return true;
    if (!it->is_number_unsigned() || it->get<std::uint64_t>() > std::numeric_limits<std::uint32_t>::max()) {
        return false;
    }
    out = static_cast<std::uint32_t>(it->get<std::uint64_t>());
    return true;
}

bool readAll(const json& root, ServedProducts& out) {
    return root.is_object() && readProductList(root, "antivirus", out.antivirus) &&
           readProductList(root, "antispyware", out.antispyware) &&
           readProductList(root, "firewall", out.firewall) && readFailures(root, out.failures) &&
           readDelay(root, out.delayMs);
}

bool isListLevelCall(ScCall call) {
    return call == SC_CALL_CO_CREATE_INSTANCE || call == SC_CALL_INITIALIZE || call == SC_CALL_GET_COUNT;
}

}  // namespace

bool parseServedProducts(const std::string& bytes, ServedProducts& out) {
    out = ServedProducts{};
    // The JSON parser stops at a NUL byte; JSON text never holds one.
    if (bytes.find('\0') != std::string::npos) return false;
    try {
        json root = json::parse(bytes, nullptr, false);
        ServedProducts parsed;
        if (!readAll(root, parsed)) return false;
        out = std::move(parsed);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::int32_t loadServedProducts(const std::string& path, ServedProducts& out) {
    out = ServedProducts{};
    unsigned long errorCode = 0;
    ReadFileHandle file(openSharedForReading(path, errorCode));
    if (!file) return kHrClassNotRegistered;
    std::string bytes;
    if (!readWholeFile(file.get(), bytes, kMaxFileBytes)) return kHrFail;
    file.reset();
    // A run creates a list for each kind it asks about, from the same file.
    // The same bytes parse to the same products, so the last good parse is
    // kept for them; a changed file is parsed anew.
    static std::mutex lastMutex;
    static std::string lastBytes;
    static ServedProducts lastParsed;
    static bool lastValid = false;
    std::lock_guard<std::mutex> lock(lastMutex);
    if (lastValid && bytes == lastBytes) {
        out = lastParsed;
        return kHrOk;
    }
    ServedProducts parsed;
    if (!parseServedProducts(bytes, parsed)) return kHrFail;
    lastValid = false;  // until both copies are whole, should one of them fail
    lastParsed = parsed;
    lastBytes = std::move(bytes);
    lastValid = true;
    out = std::move(parsed);
    return kHrOk;
}

std::string servedProductsPath() {
    const char sep = pathSeparator();
    return programDataDirectory() + sep + "SecurityCenter" + sep + "products.json";
}

const std::vector<ServedProduct>* servedProductsOf(const ServedProducts& served, std::uint32_t provider) {
    switch (provider) {
        case 4: return &served.antivirus;
        case 8: return &served.antispyware;
        case 1: return &served.firewall;
        default: return nullptr;
    }
}

const InjectedFailure* findInjectedFailure(const ServedProducts& served, ScCall call, std::uint32_t provider,
                                           std::uint64_t index) {
    for (const auto& failure : served.failures) {
        if (failure.call != call) continue;
        if (call != SC_CALL_CO_CREATE_INSTANCE && failure.provider != 0 && failure.provider != provider) continue;
        if (!isListLevelCall(call) && !failure.everyIndex && failure.index != index) continue;
        return &failure;
    }
    return nullptr;
}

}  // namespace velmora
