// The parts of the held-folder layer that are the same on every system.
#include "common/held_folder.h"

namespace velmora {

bool isOneComponent(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    // Both separators on every system: a name that is one component here
    // must be one on Windows too, and a NUL would cut it short.
    return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string heldErrorText(unsigned long error) {
    switch (error) {
    case kNameTaken: return "The name is taken";
    case kBusy: return "The file is in use";
    case kNotPlainFile: return "Not a plain file with one link";
    case kBadName: return "Not a name in the folder";
    default: return systemErrorText(error);
    }
}

}  // namespace velmora
