// The verdict file the VPN client reads back: three CR LF lines holding the
// verdict digit, the evaluation's message and the machine's model name.
#pragma once

#include <string>

// Rewrites the file at path. systemModel comes in as "-" and is replaced by
// the registry's model name when that can be read (only once the file is
// open). Every outcome is logged; nothing is returned.
void writeVerdictFile(const std::string& path, bool isVpnBlock, const std::string& message, std::string& systemModel);
