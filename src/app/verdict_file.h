// The verdict file the VPN client reads back: three CR LF lines holding the
// verdict digit, the evaluation's message and the machine's model name.
#pragma once

#include <optional>
#include <string>

#include "common/held_replace.h"

namespace velmora {

// A verdict file opened for writing, not yet written. It replaces the file
// whole once written (held_replace.h).
struct VerdictFile {
    std::string path;  // for the log
    HeldReplacement output;
};

// Opens folder/name. Nothing when it cannot be opened; that is logged here,
// and a file an earlier run left stays as it was.
std::optional<VerdictFile> openVerdictFile(const OpenFolder& folder, const std::string& name);

// Writes the three lines and closes the file. Every outcome is logged;
// nothing is returned. A line break in the model name is written as a space,
// so that the file keeps its three lines.
void writeVerdictFile(VerdictFile file, bool isVpnBlock, const std::string& message, const std::string& systemModel);

}  // namespace velmora
