// Name lookup for the program's enumerations: a table of (value, member
// identifier) pairs searched in order, so non-contiguous values work. A value
// that is no member gives an empty text.
#pragma once

#include <cstddef>
#include <string>

namespace velmora {

struct EnumNameEntry {
    int value;
    const char* name;
};

template <std::size_t N>
std::string lookupEnumName(int value, const EnumNameEntry (&table)[N]) {
    for (const auto& entry : table) {
        if (entry.value == value) return entry.name;
    }
    return {};
}

}  // namespace velmora
