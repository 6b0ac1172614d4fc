// The verdict file the VPN client reads back: three CR LF lines holding the
// verdict digit, the evaluation's message and the machine's model name.
#pragma once

#include <optional>
#include <string>

#include "common/file_replace.h"

namespace velmora {

// A verdict file opened for writing, not yet written. It replaces the file
// at path whole once written (file_replace.h).
struct VerdictFile {
    std::string path;
    FileReplacement output;
};

// Opens the file at path. Nothing when it cannot be opened; that is logged
// here, and a file an earlier run left stays as it was.
std::optional<VerdictFile> openVerdictFile(const std::string& path);

// Writes the three lines and closes the file. Every outcome is logged;
// nothing is returned. A line break in the model name is written as a space,
// so that the file keeps its three lines.
void writeVerdictFile(VerdictFile file, bool isVpnBlock, const std::string& message, const std::string& systemModel);

}  // namespace velmora
