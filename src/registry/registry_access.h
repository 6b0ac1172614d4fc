// The registry primitives the program needs: whether a key can be opened for
// reading, and reading a string value. Windows uses the real registry; the
// Linux build uses a stand-in of folders and files below
// <ProgramData>/Registry/<root name>/ (a key is a folder, a string value a
// file holding its UTF-8 text; key and value names match without regard to
// ASCII letter case).
#pragma once

#include <string>

#include "common/status_codes.h"

namespace velmora {

enum class RegistryRoot { CurrentUser, LocalMachine, ClassesRoot, CurrentConfig, Users };

// Opens root\subkey for reading (KEY_READ, 64-bit view) and closes it at
// once. Returns the status the open returned: kErrorSuccess,
// kErrorFileNotFound, kErrorAccessDenied or another Windows error code.
long openRegistryKeyForRead(RegistryRoot root, const std::u16string& subkey);

// Reads the string value valueName of root\subkey. Returns kErrorSuccess
// and the text, or a Windows error code.
long readRegistryString(RegistryRoot root, const std::u16string& subkey, const std::u16string& valueName,
                        std::u16string& text);

// The machine's model name: "SystemProductName" under
// HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SystemInformation,
// read into 255 UTF-16 units (so at most 254 characters fit). False when the
// key or the value cannot be read.
bool readSystemProductName(std::u16string& text);

}  // namespace velmora
