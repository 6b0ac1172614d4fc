// Paths of MAX_PATH (260) UTF-16 units or more on Windows.
//
// The program's manifest declares it longPathAware, but Windows honours that
// only where the machine's LongPathsEnabled value is 1, and by default it is
// 0: a file call with a longer path then fails. The \\?\ prefix lifts the
// limit on every release, for a path that is whole and normal: with the
// prefix Windows takes the rest as it stands, with no "." or ".." resolved,
// no "/" turned into "\" and no relative part completed.
#pragma once

#include <string>

namespace velmora {

// The form of path to hand to a file call, given fullPath, what the system
// made of path when it completed and normalised it (empty when it could
// not). A path that starts \\?\ or \\.\ already says how it is meant and is
// kept; so is one whose full form is shorter than MAX_PATH, which every
// release takes. A longer one becomes its full form with \\?\ in front, a UNC
// path \\server\share\... as \\?\UNC\server\share\...; a full form of any
// other kind (a device) is left to the system as it was given.
std::u16string withLongPathPrefix(const std::u16string& path, const std::u16string& fullPath);

#ifdef _WIN32
// withLongPathPrefix with the full path from GetFullPathNameW
// (long_path_win.cpp), as a wide string for the file functions.
std::wstring fileCallPath(const std::u16string& path);
#endif

}  // namespace velmora
