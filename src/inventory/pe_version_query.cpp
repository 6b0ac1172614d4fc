#include "inventory/pe_version_query.h"

#include <algorithm>
#include <vector>

#include "common/text.h"

namespace velmora {

namespace {

constexpr std::size_t kNodeHeaderSize = 6;        // wLength, wValueLength, wType
constexpr std::size_t kFixedFileInfoSize = 52;    // sizeof(VS_FIXEDFILEINFO)

// One node: header, zero-terminated UTF-16 key, value and children, each part
// starting on a 4-byte boundary of the block. `end` is the node's declared end
// cut to its parent's.
struct VersionNode {
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t keyStart = 0;
    std::size_t keyUnits = 0;
    VersionValue value;
    std::size_t childrenStart = 0;
};

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::size_t alignUp4(std::size_t offset, std::size_t limit) {
    return offset >= limit ? limit : std::min(limit, (offset + 3) & ~std::size_t{3});
}

bool parseNode(const std::uint8_t* b, std::size_t start, std::size_t limit, VersionNode& node) {
    if (start > limit || limit - start < kNodeHeaderSize) return false;
    const std::size_t length = le16(b + start);
    if (length < kNodeHeaderSize) return false;
    node.start = start;
    node.end = start + std::min(length, limit - start);
    std::size_t pos = start + kNodeHeaderSize;
    while (true) {
        if (node.end - pos < 2) return false;  // the key has no terminator inside the node
        if (le16(b + pos) == 0) break;
        pos += 2;
    }
    node.keyStart = start + kNodeHeaderSize;
    node.keyUnits = (pos - node.keyStart) / 2;
    node.value.isText = le16(b + start + 4) == 1;
    const std::size_t declared = std::size_t{le16(b + start + 2)} * (node.value.isText ? 2 : 1);
    node.value.offset = alignUp4(pos + 2, node.end);
    node.value.size = std::min(declared, node.end - node.value.offset);
    node.childrenStart = alignUp4(node.value.offset + declared, node.end);
    return true;
}

char16_t foldAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c; }

bool keyEquals(const std::uint8_t* b, const VersionNode& node, const std::u16string& key) {
    if (node.keyUnits != key.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (foldAscii(le16(b + node.keyStart + 2 * i)) != foldAscii(key[i])) return false;
    }
    return true;
}

bool findChild(const std::uint8_t* b, const VersionNode& parent, const std::u16string& key, VersionNode& found) {
    std::size_t pos = parent.childrenStart;
    while (pos < parent.end) {
        VersionNode child;
        if (!parseNode(b, pos, parent.end, child)) return false;
        if (keyEquals(b, child, key)) {
            found = child;
            return true;
        }
        pos = alignUp4(child.end, parent.end);  // a node is at least 6 bytes: always moves on
    }
    return false;
}

std::vector<std::string> splitSubBlock(const std::string& subBlock) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= subBlock.size()) {
        std::size_t end = subBlock.find('\\', start);
        if (end == std::string::npos) end = subBlock.size();
        if (end > start) parts.push_back(subBlock.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

}  // namespace

bool findVersionValue(const std::uint8_t* block, std::size_t size, const std::string& subBlock,
                      VersionValue& value) {
    VersionNode node;
    if (!block || !parseNode(block, 0, size, node)) return false;
    for (const std::string& part : splitSubBlock(subBlock)) {
        const std::u16string key = utf8ToWide(part);
        if (key.empty() || !findChild(block, node, key, node)) return false;
    }
    value = node.value;
    return true;
}

bool readFixedVersionInfo(const std::uint8_t* block, std::size_t size, FixedVersionInfo& fixed) {
    VersionValue value;
    if (!findVersionValue(block, size, "\\", value) || value.size < kFixedFileInfoSize) return false;
    const std::uint8_t* p = block + value.offset;
    fixed.signature = le32(p);
    fixed.fileVersionMS = le32(p + 8);
    fixed.fileVersionLS = le32(p + 12);
    fixed.productVersionMS = le32(p + 16);
    fixed.productVersionLS = le32(p + 20);
    return true;
}

bool readFirstTranslation(const std::uint8_t* block, std::size_t size, VersionTranslation& first) {
    VersionValue value;
    if (!findVersionValue(block, size, "\\VarFileInfo\\Translation", value) || value.size < 4) return false;
    first.language = le16(block + value.offset);
    first.codePage = le16(block + value.offset + 2);
    return true;
}

bool readVersionString(const std::uint8_t* block, std::size_t size, const std::string& entryPath,
                       std::string& text) {
    VersionValue value;
    if (!findVersionValue(block, size, entryPath, value)) return false;
    const std::uint8_t* p = block + value.offset;
    if (!value.isText) {
        // A binary value is handed over as its bytes up to the first zero,
        // which is what the ANSI query leaves at the returned address.
        const std::size_t length = std::find(p, p + value.size, 0) - p;
        text.assign(reinterpret_cast<const char*>(p), length);
        return true;
    }
    std::u16string units;
    for (std::size_t i = 0; i + 1 < value.size && le16(p + i) != 0; i += 2) units.push_back(le16(p + i));
    text = wideToUtf8(units);
    return true;
}

}  // namespace velmora
