// The command line: kind switches and the output path.
#pragma once

#include <string>
#include <vector>

#include "inventory/security_product.h"

namespace velmora {

struct CommandLine {
    std::vector<ProviderKind> kinds;  // in command-line order, repeats included
    std::u16string outputPath;        // empty unless an argument held "-outpath="
};

// Applies the matching rules to one argument: "-av", "-as", "-fw" compared
// whole without regard to ASCII letter case; otherwise the text after the
// first "-outpath=" (case-sensitive, anywhere in the argument) becomes the
// output path, the last such argument winning; anything else is ignored.
void applyArgument(const std::u16string& argument, CommandLine& commandLine);

// The four usage lines, in order.
const std::vector<std::string>& usageLines();

}  // namespace velmora
