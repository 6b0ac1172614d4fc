#include "inventory/pe_version_block.h"

#include <cstring>

namespace velmora {

namespace {

constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kVersionResourceType = 16;  // RT_VERSION
constexpr std::uint32_t kVersionResourceName = 1;   // VS_VERSION_INFO
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kSectionHeaderSize = 40;

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

struct PeLayout {
    std::vector<Section> sections;
    std::uint32_t resourceRva = 0;
};

struct ResourceEntry {
    std::uint32_t name = 0;    // an ID unless the high bit is set
    std::uint32_t offset = 0;  // a subdirectory when the high bit is set
};

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool fits(const PeByteSource& source, std::uint64_t offset, std::uint64_t count) {
    return offset <= source.size && count <= source.size - offset;
}

bool readBytes(const PeByteSource& source, std::uint64_t offset, std::size_t count, std::uint8_t* out) {
    if (!fits(source, offset, count)) return false;
    return count == 0 || source.read(offset, count, out);
}

bool readSections(const PeByteSource& source, std::uint64_t tableOffset, std::uint16_t count,
                  PeLayout& layout) {
    // Checked before the allocation, so a made-up count costs nothing.
    if (!fits(source, tableOffset, std::uint64_t{count} * kSectionHeaderSize)) return false;
    std::vector<std::uint8_t> table(std::size_t{count} * kSectionHeaderSize);
    if (!readBytes(source, tableOffset, table.size(), table.data())) return false;
    layout.sections.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* header = table.data() + i * kSectionHeaderSize;
        layout.sections[i] = {le32(header + 12), le32(header + 8), le32(header + 16), le32(header + 20)};
    }
    return true;
}

// The resource directory's RVA from the optional header; false when the image
// has none.
bool readResourceRva(const std::vector<std::uint8_t>& optional, std::uint32_t& rva) {
    if (optional.size() < 2) return false;
    const std::uint16_t magic = le16(optional.data());
    std::size_t directories;
    if (magic == kPe32Magic) {
        directories = 96;
    } else if (magic == kPe32PlusMagic) {
        directories = 112;
    } else {
        return false;
    }
    const std::size_t entry = directories + kResourceDirectoryIndex * 8;
    if (optional.size() < entry + 8) return false;
    if (le32(optional.data() + directories - 4) <= kResourceDirectoryIndex) return false;
    rva = le32(optional.data() + entry);
    return rva != 0 && le32(optional.data() + entry + 4) != 0;
}

bool readLayout(const PeByteSource& source, PeLayout& layout) {
    std::uint8_t dos[64];
    if (!readBytes(source, 0, sizeof dos, dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    const std::uint64_t peOffset = le32(dos + 0x3C);
    std::uint8_t coff[24];
    if (!readBytes(source, peOffset, sizeof coff, coff) || std::memcmp(coff, "PE\0\0", 4) != 0) return false;
    const std::uint16_t sectionCount = le16(coff + 6);
    std::vector<std::uint8_t> optional(le16(coff + 20));
    if (!readBytes(source, peOffset + sizeof coff, optional.size(), optional.data())) return false;
    if (!readResourceRva(optional, layout.resourceRva)) return false;
    return readSections(source, peOffset + sizeof coff + optional.size(), sectionCount, layout);
}

// The file offset of [rva, rva + count) when the range lies wholly inside the
// file bytes of one section.
bool rvaToOffset(const PeLayout& layout, std::uint64_t rva, std::uint64_t count, std::uint64_t& offset) {
    for (const Section& section : layout.sections) {
        if (rva < section.virtualAddress) continue;
        const std::uint64_t delta = rva - section.virtualAddress;
        const std::uint64_t extent = section.virtualSize != 0 ? section.virtualSize : section.rawSize;
        if (delta >= extent) continue;
        if (count > section.rawSize || delta > section.rawSize - count) return false;
        offset = std::uint64_t{section.rawOffset} + delta;
        return true;
    }
    return false;
}

bool readAtRva(const PeByteSource& source, const PeLayout& layout, std::uint64_t rva, std::size_t count,
               std::uint8_t* out) {
    std::uint64_t offset = 0;
    return rvaToOffset(layout, rva, count, offset) && readBytes(source, offset, count, out);
}

// The entries of the resource directory at `directoryOffset` (relative to the
// start of the resource tree, like every offset inside it).
bool readDirectory(const PeByteSource& source, const PeLayout& layout, std::uint32_t directoryOffset,
                   std::vector<ResourceEntry>& entries) {
    const std::uint64_t rva = std::uint64_t{layout.resourceRva} + directoryOffset;
    std::uint8_t header[16];
    if (!readAtRva(source, layout, rva, sizeof header, header)) return false;
    const std::size_t count = std::size_t{le16(header + 12)} + le16(header + 14);
    std::uint64_t offset = 0;
    if (!rvaToOffset(layout, rva + sizeof header, count * 8, offset) || !fits(source, offset, count * 8))
        return false;
    std::vector<std::uint8_t> raw(count * 8);
    if (!readBytes(source, offset, raw.size(), raw.data())) return false;
    entries.resize(count);
    for (std::size_t i = 0; i < count; ++i) entries[i] = {le32(raw.data() + i * 8), le32(raw.data() + i * 8 + 4)};
    return true;
}

bool isSubdirectory(const ResourceEntry& entry) { return (entry.offset & kHighBit) != 0; }

bool findById(const std::vector<ResourceEntry>& entries, std::uint32_t id, ResourceEntry& found) {
    for (const ResourceEntry& entry : entries) {
        if ((entry.name & kHighBit) == 0 && entry.name == id) {
            found = entry;
            return true;
        }
    }
    return false;
}

// Type RT_VERSION, name VS_VERSION_INFO, then a language: its data entry.
//
// Both builds must give the same fields, so this finds what GetFileVersionInfoW
// finds. That call looks the resource up as FindResourceW(module,
// MAKEINTRESOURCE(VS_VERSION_INFO), RT_VERSION) would: by the integer ID 1
// only. A version resource stored under another ID or under a string name is
// no version resource to it (the file has none), so none is taken here either.
//
// Of several languages, the system's resource loader picks by the user
// interface language (LdrFindResource's fallback: neutral, the thread's and
// the user's UI languages, the system's, English, then any). This reader has
// no UI language: it takes the first language stored, which in a well-formed
// file (entries sorted by ID) is the lowest language ID, neutral (0) when
// there is one. Files with one language, nearly all, give the same on both.
bool findVersionDataEntry(const PeByteSource& source, const PeLayout& layout, std::uint32_t& dataEntry) {
    std::vector<ResourceEntry> entries;
    ResourceEntry chosen;
    if (!readDirectory(source, layout, 0, entries) || !findById(entries, kVersionResourceType, chosen) ||
        !isSubdirectory(chosen))
        return false;
    if (!readDirectory(source, layout, chosen.offset & ~kHighBit, entries) ||
        !findById(entries, kVersionResourceName, chosen) || !isSubdirectory(chosen))
        return false;
    if (!readDirectory(source, layout, chosen.offset & ~kHighBit, entries) || entries.empty()) return false;
    if (isSubdirectory(entries.front())) return false;
    dataEntry = entries.front().offset;
    return true;
}

}  // namespace

bool readVersionBlock(const PeByteSource& source, std::vector<std::uint8_t>& block) {
    if (!source.read) return false;
    PeLayout layout;
    std::uint32_t dataEntry = 0;
    if (!readLayout(source, layout) || !findVersionDataEntry(source, layout, dataEntry)) return false;
    std::uint8_t entry[16];
    if (!readAtRva(source, layout, std::uint64_t{layout.resourceRva} + dataEntry, sizeof entry, entry)) return false;
    const std::uint32_t dataRva = le32(entry);
    const std::uint32_t dataSize = le32(entry + 4);
    std::uint64_t offset = 0;
    if (dataSize == 0 || dataSize > kMaxVersionBlockSize || !rvaToOffset(layout, dataRva, dataSize, offset) ||
        !fits(source, offset, dataSize))
        return false;
    std::vector<std::uint8_t> bytes(dataSize);
    if (!readBytes(source, offset, bytes.size(), bytes.data())) return false;
    block = std::move(bytes);
    return true;
}

bool readVersionBlockFromPe(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& block) {
    if (!data) return false;
    PeByteSource source;
    source.size = size;
    source.read = [data](std::uint64_t offset, std::size_t count, std::uint8_t* out) {
        std::memcpy(out, data + offset, count);
        return true;
    };
    return readVersionBlock(source, block);
}

}  // namespace velmora
