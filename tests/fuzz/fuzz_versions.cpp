// libFuzzer target: two version texts (split at the first NUL byte) read and
// compared under every operator. Checks that comparing is consistent: a text
// equals itself, and exactly one of less/equal/greater holds.
#include "fuzz_common.h"
#include "posture/version_compare.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzProgramData();  // the quiet logger
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string policy = input.substr(0, split);
    const std::string product = split == std::string::npos ? std::string("1.0") : input.substr(split + 1);

    parseVersionNumbers(input);
    if (product.empty()) return 0;
    const bool less = compareVersions(policy, product, OPERATOR_ENUM_LESSTHAN);
    const bool equal = compareVersions(policy, product, OPERATOR_ENUM_EQUAL);
    const bool greater = compareVersions(policy, product, OPERATOR_ENUM_GREATERTHAN);
    if (less + equal + greater != 1) std::abort();
    if (compareVersions(policy, product, OPERATOR_ENUM_NOTEQUAL) == equal) std::abort();
    if (compareVersions(policy, product, OPERATOR_ENUM_LESSTHAN_OR_EQUAL) != (less || equal)) std::abort();
    if (compareVersions(policy, product, OPERATOR_ENUM_GREATERTHAN_OR_EQUAL) != (greater || equal)) std::abort();
    if (compareVersions(policy, product, OPERATOR_ENUM_EXIST)) std::abort();
    if (compareVersions(product, product, OPERATOR_ENUM_EQUAL) != true) std::abort();
    return 0;
}
