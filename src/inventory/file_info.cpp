// Placeholder until the version-resource reader lands.
#include "inventory/file_info.h"

std::string getFileExtension(const std::string& path) {
    (void)path;
    return {};
}

void getFileInfo(const char* path, FileInfo& info) {
    info = FileInfo{};
    info.filePath = path;
}
