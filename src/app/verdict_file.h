// The verdict file the VPN client reads back: three CR LF lines holding the
// verdict digit, the evaluation's message and the machine's model name.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace velmora {

// Closes a verdict file dropped unwritten; writeVerdictFile closes the file
// itself, so that a failed close is reported.
struct VerdictFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// A verdict file opened for writing, created or truncated, not yet written.
struct VerdictFile {
    std::string path;
    std::unique_ptr<std::FILE, VerdictFileCloser> stream;
};

// Opens the file at path. Nothing when it cannot be opened; that is logged
// here, and a file an earlier run left stays as it was.
std::optional<VerdictFile> openVerdictFile(const std::string& path);

// Writes the three lines and closes the file. Every outcome is logged;
// nothing is returned.
void writeVerdictFile(VerdictFile file, bool isVpnBlock, const std::string& message, const std::string& systemModel);

}  // namespace velmora
