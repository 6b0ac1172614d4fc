// Where the program reads and writes on the machine.
//
// Windows keeps the fixed paths below C:\ProgramData. The Linux build puts the
// same layout below $VELMORA_PROGRAMDATA (when set and not empty) or /var/lib.
#pragma once

#include <string>

namespace velmora {

// The path separator of the target: '\\' on Windows, '/' elsewhere.
char pathSeparator();

// "C:\ProgramData" on Windows; $VELMORA_PROGRAMDATA or /var/lib elsewhere.
std::string programDataDirectory();

// The VPN client's log directory: <ProgramData>\Velmora\VelmoraVPN\logs.
std::string vpnLogDirectory();

}  // namespace velmora
