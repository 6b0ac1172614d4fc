// The stand-in for ExpandEnvironmentStringsW: the same rules over the
// process environment, so that a path a test serves expands alike on both
// targets.
#include "common/environment.h"

#include "common/text.h"

#include <cstdlib>
#include <cstring>

extern char** environ;

namespace velmora {

namespace {

// The value of the variable, its name matched as Windows matches it (ASCII
// letter case ignored); nullptr when it is not set.
const char* variableValue(const std::string& name) {
    if (name.empty() || name.find('=') != std::string::npos) return nullptr;
    if (const char* exact = std::getenv(name.c_str())) return exact;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        const char* equals = std::strchr(*entry, '=');
        if (equals != nullptr && equalsIgnoreAsciiCase(std::string_view(*entry, equals - *entry), name)) {
            return equals + 1;
        }
    }
    return nullptr;
}

}  // namespace

std::string expandEnvironmentStrings(const std::string& text) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find('%', at);
        const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) break;  // no reference left
        out.append(text, at, open - at);
        const char* value = variableValue(text.substr(open + 1, close - open - 1));
        // A name that is not set stays, both '%' included, and the text goes
        // on after it.
        out += value != nullptr ? std::string(value) : text.substr(open, close - open + 1);
        at = close + 1;
    }
    out.append(text, at, std::string::npos);
    return out;
}

std::optional<std::string> environmentVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr) return std::nullopt;
    return std::string(value);
}

}  // namespace velmora
