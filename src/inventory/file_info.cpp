// File name, extension, version resource, size and last-write time of one
// file. The platform layer (version_resource.h) answers the questions that
// need the system; everything decided here is the same on both targets.
#include "inventory/file_info.h"

#include <cstdio>
#include <exception>
#include <stdexcept>

#include "common/text.h"
#include "inventory/version_resource.h"
#include "log/logger.h"
#include "log/report_sites.h"

namespace velmora {

namespace {

constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr std::uint64_t kTicksPerSecond = 10000000;          // 100-ns units
constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;

// What a path text that is not UTF-8 reports.
constexpr const char* kPathNotInCodePage =
    "No mapping for the Unicode character exists in the target multi-byte code page.";

// Path texts are UTF-8 on both targets (Windows opens files by their wide
// names).
std::u16string pathToWide(const std::string& path) {
    if (path.empty()) return {};
    std::u16string wide = utf8ToWide(path);
    if (wide.empty()) throw std::runtime_error(kPathNotInCodePage);
    return wide;
}

void logException(const char* function, int site, const std::exception& error) {
    if (!avLogger) return;
    try {
        avLogger->error(std::string("Exception in Func [") + function + ":" + std::to_string(site) +
                        "]: " + error.what());
    } catch (const std::exception&) {
        // Nothing sensible is left to do when even the report cannot be made.
    }
}

bool isSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// "\\?\", "\??\" and "\\.\" followed by a name: the root name is the first
// three characters.
bool hasDevicePrefix(const std::u16string& p) {
    if (p.size() < 4 || !isSeparator(p[0]) || !isSeparator(p[3])) return false;
    if (p.size() > 4 && isSeparator(p[4])) return false;
    return (isSeparator(p[1]) && (p[2] == u'?' || p[2] == u'.')) || (p[1] == u'?' && p[2] == u'?');
}

// Length of the root name: a drive ("C:"), a device prefix, or a network
// server ("\\server"). The root name never belongs to the final component.
std::size_t rootNameLength(const std::u16string& p) {
    if (p.size() >= 2 && isAsciiLetter(p[0]) && p[1] == u':') return 2;
    if (hasDevicePrefix(p)) return 3;
    if (p.size() >= 3 && isSeparator(p[0]) && isSeparator(p[1]) && !isSeparator(p[2])) {
        std::size_t end = 3;
        while (end < p.size() && !isSeparator(p[end])) ++end;
        return end;
    }
    return 0;
}

std::u16string finalComponent(const std::u16string& path) {
    const std::size_t root = rootNameLength(path);
    std::size_t start = root;
    for (std::size_t i = root; i < path.size(); ++i) {
        if (isSeparator(path[i])) start = i + 1;
    }
    return path.substr(start);
}

// The extension of a final component: cut at the first ':' (an alternate
// stream is not part of the name); "." and ".." and names that only start
// with a '.' have none.
std::u16string extensionOf(const std::u16string& component) {
    const std::u16string name = component.substr(0, component.find(u':'));
    if (name == u"." || name == u"..") return {};
    const std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string::npos || dot == 0) return {};
    return name.substr(dot);
}

std::string versionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", static_cast<int>(mostSignificant >> 16),
                  static_cast<int>(mostSignificant & 0xFFFF), static_cast<int>(leastSignificant >> 16),
                  static_cast<int>(leastSignificant & 0xFFFF));
    return text;
}

std::string stringEntryPath(const VersionTranslation& translation, const char* key) {
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04x%04x\\",
                  static_cast<unsigned>(translation.language), static_cast<unsigned>(translation.codePage));
    return prefix + std::string(key);
}

void readVersionStrings(std::vector<std::uint8_t>& block, FileInfo& info) {
    VersionTranslation first;
    if (!queryFirstTranslation(block, first)) return;
    static const struct {
        const char* key;
        std::string FileInfo::*field;
    } kStrings[] = {
        {"ProductName", &FileInfo::productName},   {"CompanyName", &FileInfo::companyName},
        {"FileDescription", &FileInfo::fileDescription}, {"OriginalFilename", &FileInfo::originalFilename},
        {"Comments", &FileInfo::comments},         {"InternalName", &FileInfo::internalName},
    };
    for (const auto& entry : kStrings) {
        std::string text;
        if (queryVersionString(block, stringEntryPath(first, entry.key), text)) info.*entry.field = text;
    }
}

void readVersionResource(const char* path, FileInfo& info) {
    std::vector<std::uint8_t> block;
    if (!loadVersionBlock(path, block)) return;
    FixedVersionInfo fixed;
    if (queryFixedVersionInfo(block, fixed) && fixed.signature == kFixedInfoSignature) {
        info.fileVersion = versionText(fixed.fileVersionMS, fixed.fileVersionLS);
        info.productVersion = versionText(fixed.productVersionMS, fixed.productVersionLS);
    }
    readVersionStrings(block, info);
}

}  // namespace

std::string getFileExtension(const std::string& path) {
    try {
        return wideToUtf8(extensionOf(finalComponent(pathToWide(path))));
    } catch (const std::exception& error) {
        logException("getFileExtension", kReportSiteGetFileExtension, error);
        return {};
    }
}

void getFileInfo(const char* path, FileInfo& info) {
    // A null path is read as the empty one rather than dereferenced.
    const std::string pathText = path ? path : "";
    FileInfo gathered;
    FileAttributes attributes;
    try {
        gathered.fileName = wideToUtf8(finalComponent(pathToWide(pathText)));
        gathered.extension = getFileExtension(pathText);
        if (equalsIgnoreAsciiCase(gathered.extension, ".exe")) readVersionResource(pathText.c_str(), gathered);
        FileAttributes found;
        if (readFileAttributes(pathText.c_str(), found)) attributes = found;
    } catch (const std::exception& error) {
        logException("getFileInfo", kReportSiteGetFileInfo, error);
    }
    gathered.filePath = pathText;
    gathered.fileNameLength = static_cast<std::uint32_t>(gathered.fileName.size());
    gathered.fileSize = attributes.size;
    gathered.lastWriteTime =
        static_cast<std::int64_t>(attributes.lastWriteTime / kTicksPerSecond) - kSecondsFrom1601To1970;
    info = std::move(gathered);
}

}  // namespace velmora
