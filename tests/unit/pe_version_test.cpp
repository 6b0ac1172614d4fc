// The PE version-resource reader and the block queries, on hand-built images
// (PE32 and PE32+, damaged on purpose) and on the test executables, including
// every truncation and random byte flips. Buffers are allocated to their exact
// size so that the sanitizer build catches any read past them.
#include "inventory/file_info.h"
#include "inventory/pe_version_block.h"
#include "inventory/pe_version_query.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "file_info_test_support.h"

namespace velmora {

using file_info_test::fixture;
using Bytes = std::vector<std::uint8_t>;

namespace {

void put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put32(Bytes& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void set16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void set32(Bytes& b, std::size_t at, std::uint32_t v) {
    set16(b, at, v & 0xFFFF);
    set16(b, at + 2, v >> 16);
}

void pad4(Bytes& out) {
    while (out.size() % 4 != 0) out.push_back(0);
}

// A node of a version block as the resource compiler lays it out.
struct Node {
    std::u16string key;
    Bytes value;
    std::uint16_t valueLength = 0;
    std::uint16_t type = 1;
    std::vector<Node> children;
};

void encode(const Node& node, Bytes& out) {
    pad4(out);
    const std::size_t start = out.size();
    put16(out, 0);
    put16(out, node.valueLength);
    put16(out, node.type);
    for (char16_t c : node.key) put16(out, c);
    put16(out, 0);
    pad4(out);
    out.insert(out.end(), node.value.begin(), node.value.end());
    for (const Node& child : node.children) encode(child, out);
    set16(out, start, static_cast<std::uint32_t>(out.size() - start));
}

Node text(std::u16string key, const std::u16string& value) {
    Node node{std::move(key), {}, static_cast<std::uint16_t>(value.size() + 1), 1, {}};
    for (char16_t c : value) put16(node.value, c);
    put16(node.value, 0);
    return node;
}

Node binary(std::u16string key, Bytes value) {
    const auto length = static_cast<std::uint16_t>(value.size());
    return Node{std::move(key), std::move(value), length, 0, {}};
}

Bytes fixedInfo(std::uint32_t signature) {
    Bytes v;
    for (std::uint32_t field : {signature, 0x00010000u, 0x00010002u, 0x012C0004u, 0x00070000u, 0xFFFF000Cu})
        put32(v, field);
    while (v.size() < 52) v.push_back(0);
    return v;
}

Node standardRoot() {
    Node strings{u"040904B0", {}, 0, 1,
                 {text(u"ProductName", u"Hand Built"), text(u"Comments", u""), text(u"Caf\u00e9", u"cr\u00e8me")}};
    Node root = binary(u"VS_VERSION_INFO", fixedInfo(0xFEEF04BD));
    root.children = {Node{u"StringFileInfo", {}, 0, 1, {strings}},
                     Node{u"VarFileInfo", {}, 0, 1, {binary(u"Translation", {0x09, 0x04, 0xB0, 0x04})}}};
    return root;
}

Bytes standardBlock() {
    Bytes block;
    encode(standardRoot(), block);
    return block;
}

// Offsets of the hand-built image that the damage tests patch.
constexpr std::size_t kPeOffset = 0x40;
constexpr std::size_t kRsrcFileOffset = 0x400;
constexpr std::uint32_t kRsrcRva = 0x1000;
constexpr std::size_t kTypeEntry = kRsrcFileOffset + 16;
constexpr std::size_t kNameEntry = kRsrcFileOffset + 0x18 + 16;
constexpr std::size_t kLanguageEntry = kRsrcFileOffset + 0x30 + 16;
constexpr std::size_t kDataEntry = kRsrcFileOffset + 0x48;

struct ImageOptions {
    bool pe32Plus = true;
    std::uint32_t nameId = 1;
    std::size_t padding = 0;  // size of a section of zeros after the resources
};

void putSection(Bytes& out, const char* name, std::uint32_t virtualSize, std::uint32_t rva, std::uint32_t rawSize,
                std::uint32_t rawOffset) {
    Bytes header(40, 0);
    std::memcpy(header.data(), name, std::strlen(name));
    set32(header, 8, virtualSize);
    set32(header, 12, rva);
    set32(header, 16, rawSize);
    set32(header, 20, rawOffset);
    out.insert(out.end(), header.begin(), header.end());
}

std::uint32_t alignUp(std::uint32_t value, std::uint32_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }

// A minimal image: headers, ".rsrc" with one version resource (type 16, the
// given name, language 0x409), and optionally a ".pad" section of zeros.
Bytes buildImage(const Bytes& block, const ImageOptions& options = {}) {
    Bytes image(kPeOffset, 0);
    image[0] = 'M';
    image[1] = 'Z';
    set32(image, 0x3C, kPeOffset);
    const std::uint16_t optionalSize = options.pe32Plus ? 240 : 224;
    for (char c : {'P', 'E', '\0', '\0'}) image.push_back(static_cast<std::uint8_t>(c));
    put16(image, options.pe32Plus ? 0x8664 : 0x14C);
    put16(image, options.padding ? 2 : 1);
    for (int i = 0; i < 3; ++i) put32(image, 0);
    put16(image, optionalSize);
    put16(image, 0x0102);
    const std::size_t optional = image.size();
    image.resize(optional + optionalSize, 0);
    set16(image, optional, options.pe32Plus ? 0x20B : 0x10B);
    const std::size_t directories = optional + (options.pe32Plus ? 112 : 96);
    set32(image, directories - 4, 16);
    const std::uint32_t rsrcSize = static_cast<std::uint32_t>(0x58 + block.size());
    const std::uint32_t rsrcRawSize = alignUp(rsrcSize, 0x200);
    const std::uint32_t padRva = kRsrcRva + alignUp(rsrcSize, 0x1000);
    const auto padSize = static_cast<std::uint32_t>(options.padding);
    set32(image, directories + 16, kRsrcRva);
    set32(image, directories + 20, rsrcSize);
    putSection(image, ".rsrc", rsrcSize, kRsrcRva, rsrcRawSize, kRsrcFileOffset);
    if (padSize) putSection(image, ".pad", padSize, padRva, padSize, kRsrcFileOffset + rsrcRawSize);
    image.resize(kRsrcFileOffset, 0);
    // Three directory levels of one entry each, then the data entry.
    const std::uint32_t entries[3][2] = {{16, 0x80000018}, {options.nameId, 0x80000030}, {0x409, 0x48}};
    for (const auto& entry : entries) {
        for (int i = 0; i < 3; ++i) put32(image, 0);
        put16(image, 0);
        put16(image, 1);
        put32(image, entry[0]);
        put32(image, entry[1]);
    }
    put32(image, kRsrcRva + 0x58);
    put32(image, static_cast<std::uint32_t>(block.size()));
    put32(image, 0);
    put32(image, 0);
    image.insert(image.end(), block.begin(), block.end());
    image.resize(kRsrcFileOffset + rsrcRawSize + padSize, 0);
    return image;
}

// A root whose block ends exactly where the raw data of its section ends:
// buildImage puts 0x58 bytes of resource tree before the block and rounds the
// section up to 0x200 bytes, so tree and block fill 0x200 bytes exactly.
Node rootFillingItsSection() {
    Node root = standardRoot();
    std::vector<Node>& strings = root.children[0].children[0].children;
    strings.emplace_back();
    for (std::u16string filler;; filler += u'f') {
        strings.back() = text(u"Filler", filler);
        Bytes block;
        encode(root, block);
        if (0x58 + block.size() >= 0x200) {
            EXPECT_EQ(0x58 + block.size(), 0x200u) << "the block does not end at its section's end";
            return root;
        }
    }
}

bool readBlock(const Bytes& image, Bytes& block) {
    // An exact-size copy: any read beyond it is a heap overflow under ASan.
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[image.size() + (image.empty() ? 1 : 0)]);
    if (!image.empty()) std::memcpy(exact.get(), image.data(), image.size());
    return readVersionBlockFromPe(exact.get(), image.size(), block);
}

// Every query the program makes; the answers only have to be safe.
void queryEverything(const Bytes& block) {
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[block.size() + 1]);
    if (!block.empty()) std::memcpy(exact.get(), block.data(), block.size());
    FixedVersionInfo fixed;
    VersionTranslation translation;
    std::string value;
    readFixedVersionInfo(exact.get(), block.size(), fixed);
    readFirstTranslation(exact.get(), block.size(), translation);
    for (const char* key : {"ProductName", "CompanyName", "Comments", "InternalName"}) {
        readVersionString(exact.get(), block.size(), std::string("\\StringFileInfo\\040904b0\\") + key, value);
    }
}

Bytes readImage(const std::string& path) {
    const std::string bytes = readFile(path);
    return Bytes(bytes.begin(), bytes.end());
}

}  // namespace

TEST(PeVersionBlock, ReadsHandBuiltImagesOfBothKinds) {
    const Bytes block = standardBlock();
    for (bool pe32Plus : {false, true}) {
        Bytes found;
        ASSERT_TRUE(readBlock(buildImage(block, {pe32Plus, 1, 0}), found)) << pe32Plus;
        EXPECT_EQ(found, block);
    }
    Bytes found;
    EXPECT_FALSE(readBlock(buildImage(block, {true, 2, 0}), found)) << "only the name 1 is a version resource";
}

TEST(PeVersionBlock, ReadsOnlyTheBytesItNeeds) {
    const Bytes image = buildImage(standardBlock(), {true, 1, 4 * 1024 * 1024});
    std::uint64_t requested = 0;
    PeByteSource source;
    source.size = image.size();
    source.read = [&](std::uint64_t offset, std::size_t count, std::uint8_t* out) {
        requested += count;
        std::memcpy(out, image.data() + offset, count);
        return true;
    };
    Bytes found;
    ASSERT_TRUE(readVersionBlock(source, found));
    EXPECT_LT(requested, 2048u);
}

TEST(PeVersionBlock, RejectsDamagedStructures) {
    const Bytes good = buildImage(standardBlock());
    const std::size_t optional = kPeOffset + 24;
    const std::size_t resourceDirectory = optional + 112 + 16;
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        int width;
    } cases[] = {
        {"no MZ", 0, 'X', 1},
        {"PE header beyond the file", 0x3C, 0xFFFFFFF0, 4},
        {"PE header pointing at the DOS header", 0x3C, 0, 4},
        {"no PE signature", kPeOffset, 'X', 1},
        {"unknown optional header magic", optional, 0x999, 2},
        {"optional header too short for the directories", kPeOffset + 20, 100, 2},
        {"optional header beyond the file", kPeOffset + 20, 0xFFFF, 2},
        {"only two data directories", optional + 108, 2, 4},
        {"no resource directory", resourceDirectory, 0, 4},
        {"resource directory of size 0", resourceDirectory + 4, 0, 4},
        {"section table beyond the file", kPeOffset + 6, 0xFFFF, 2},
        {"no sections", kPeOffset + 6, 0, 2},
        {"huge entry count at the root", kRsrcFileOffset + 12, 0xFFFFFFFF, 4},
        {"no version type", kTypeEntry, 17, 4},
        {"version type is a leaf", kTypeEntry + 4, 0x18, 4},
        {"name directory beyond the section", kTypeEntry + 4, 0x80FFFFF0, 4},
        {"name level without entries", kRsrcFileOffset + 0x18 + 14, 0, 2},
        {"name is a leaf", kNameEntry + 4, 0x30, 4},
        {"language is a directory", kLanguageEntry + 4, 0x80000000, 4},
        {"data entry beyond the section", kLanguageEntry + 4, 0x7FFFFFF0, 4},
        {"data outside every section", kDataEntry, 0x90000000, 4},
        {"data running past its section", kDataEntry + 4, 0x10000, 4},
        {"data of size 0", kDataEntry + 4, 0, 4},
        {"data larger than the cap", kDataEntry + 4, kMaxVersionBlockSize + 1, 4},
        {"data larger than the file", kDataEntry + 4, kMaxVersionBlockSize, 4},
    };
    for (const Damage& d : cases) {
        Bytes image = good;
        if (d.width == 1) image[d.at] = static_cast<std::uint8_t>(d.value);
        if (d.width == 2) set16(image, d.at, d.value);
        if (d.width == 4) set32(image, d.at, d.value);
        Bytes found;
        EXPECT_FALSE(readBlock(image, found)) << d.what;
    }
    // A section whose raw data lies beyond the end of the file.
    Bytes image = good;
    set32(image, optional + 240 + 20, 0x7FFFFF00);
    Bytes found;
    EXPECT_FALSE(readBlock(image, found)) << "resource section beyond the file";
    EXPECT_FALSE(readVersionBlockFromPe(nullptr, 100, found));
    EXPECT_FALSE(readVersionBlock(PeByteSource{}, found));
}

TEST(PeVersionQuery, FindsValuesLikeVerQueryValue) {
    const Bytes block = standardBlock();
    struct Case {
        const char* subBlock;
        bool found;
        const char* text;
    } cases[] = {
        {"\\StringFileInfo\\040904b0\\ProductName", true, "Hand Built"},
        {"\\stringfileinfo\\040904B0\\PRODUCTNAME", true, "Hand Built"},  // keys ignore ASCII case
        {"StringFileInfo\\\\040904b0\\ProductName\\", true, "Hand Built"},  // empty parts are skipped
        {"\\StringFileInfo\\040904b0\\Comments", true, ""},
        {"\\StringFileInfo\\040904b0\\Caf\xC3\xA9", true, "cr\xC3\xA8me"},
        {"\\StringFileInfo\\040904b0\\CompanyName", false, ""},
        {"\\StringFileInfo\\040704e4\\ProductName", false, ""},
        {"\\StringFileInfo\\040904b0\\ProductName\\Deeper", false, ""},
        {"\\StringFileInfo\\040904b0\\ProductNam", false, ""},
        {"\\VarFileInfo\\Translation", true, "\x09\x04\xB0\x04"},  // binary: bytes up to the first zero
    };
    for (const Case& c : cases) {
        std::string value = "unchanged";
        EXPECT_EQ(readVersionString(block.data(), block.size(), c.subBlock, value), c.found) << c.subBlock;
        if (c.found) {
            EXPECT_EQ(value, c.text) << c.subBlock;
        }
    }
    FixedVersionInfo fixed;
    ASSERT_TRUE(readFixedVersionInfo(block.data(), block.size(), fixed));
    EXPECT_EQ(fixed.signature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.fileVersionMS, 0x00010002u);
    EXPECT_EQ(fixed.fileVersionLS, 0x012C0004u);
    EXPECT_EQ(fixed.productVersionMS, 0x00070000u);
    EXPECT_EQ(fixed.productVersionLS, 0xFFFF000Cu);
    VersionTranslation translation;
    ASSERT_TRUE(readFirstTranslation(block.data(), block.size(), translation));
    EXPECT_EQ(translation.language, 0x409);
    EXPECT_EQ(translation.codePage, 0x4B0);
}

// Values shorter than what the program reads from them are not used at all.
TEST(PeVersionQuery, RefusesValuesTooShortToRead) {
    Node root = standardRoot();
    root.value.resize(4);
    root.valueLength = 4;
    root.children[1].children[0] = binary(u"Translation", {0x09, 0x04});
    Bytes block;
    encode(root, block);
    FixedVersionInfo fixed;
    VersionTranslation translation;
    EXPECT_FALSE(readFixedVersionInfo(block.data(), block.size(), fixed));
    EXPECT_FALSE(readFirstTranslation(block.data(), block.size(), translation));
    // A root value declared longer than the block holds is cut to what exists.
    Bytes cut(block.begin(), block.begin() + 40);
    set16(cut, 2, 52);
    EXPECT_FALSE(readFixedVersionInfo(cut.data(), cut.size(), fixed));
}

TEST(PeVersionQuery, MalformedNodesGiveNoValue) {
    const Bytes good = standardBlock();
    const std::string productName = "\\StringFileInfo\\040904b0\\ProductName";
    struct Case {
        const char* what;
        std::size_t at;
        std::uint16_t value;
    } cases[] = {
        {"root shorter than a header", 0, 5},
        {"root key without terminator", 0, 8},
    };
    for (const Case& c : cases) {
        Bytes block = good;
        set16(block, c.at, c.value);
        VersionValue value;
        EXPECT_FALSE(findVersionValue(block.data(), block.size(), "\\", value)) << c.what;
    }
    VersionValue value;
    EXPECT_FALSE(findVersionValue(good.data(), 5, "\\", value));
    EXPECT_FALSE(findVersionValue(nullptr, 0, "\\", value));
    // A root claiming more than the block still answers from what is there.
    Bytes longer = good;
    set16(longer, 0, 0xFFFF);
    std::string text;
    EXPECT_TRUE(readVersionString(longer.data(), longer.size(), productName, text));
    EXPECT_EQ(text, "Hand Built");
    // A string without its terminator ends at its node.
    Node root = standardRoot();
    Node& name = root.children[0].children[0].children[0];
    name.value.resize(name.value.size() - 2);
    name.valueLength = 40;
    Bytes unterminated;
    encode(root, unterminated);
    EXPECT_TRUE(readVersionString(unterminated.data(), unterminated.size(), productName, text));
    EXPECT_EQ(text.substr(0, 10), "Hand Built");
}

TEST(PeVersionBlock, ReadsTheTestExecutable) {
    VELMORA_REQUIRE_FIXTURES();
    Bytes block;
    ASSERT_TRUE(readBlock(readImage(fixture("full.exe")), block));
    std::string text;
    EXPECT_TRUE(readVersionString(block.data(), block.size(), "\\StringFileInfo\\040904b0\\InternalName", text));
    EXPECT_EQ(text, "fixture-full");
    EXPECT_FALSE(readBlock(readImage(fixture("no_resource.exe")), block));
}

// A cut-off file either still holds the whole block (and gives exactly it) or
// gives nothing.
TEST(PeVersionBlock, EveryTruncationIsSafe) {
    std::vector<Bytes> images = {buildImage(standardBlock(), {false, 1, 0}), buildImage(standardBlock())};
    if (!file_info_test::fixtureDir().empty()) images.push_back(readImage(fixture("full.exe")));
    for (const Bytes& image : images) {
        Bytes whole;
        ASSERT_TRUE(readBlock(image, whole));
        for (std::size_t length = 0; length < image.size(); ++length) {
            Bytes found;
            if (readBlock(Bytes(image.begin(), image.begin() + length), found)) {
                ASSERT_EQ(found, whole) << length;
            }
        }
        for (std::size_t length = 0; length <= whole.size(); ++length) {
            queryEverything(Bytes(whole.begin(), whole.begin() + length));
        }
    }
}

TEST(PeVersionBlock, RandomByteFlipsAreSafe) {
    std::vector<Bytes> images = {buildImage(standardBlock(), {false, 1, 0}), buildImage(standardBlock())};
    if (!file_info_test::fixtureDir().empty()) images.push_back(readImage(fixture("full.exe")));
    std::mt19937 random(20240607);
    for (const Bytes& image : images) {
        Bytes whole;
        ASSERT_TRUE(readBlock(image, whole));
        // Headers and the resource tree with its block are where damage matters.
        const std::size_t blockAt = static_cast<std::size_t>(
            std::search(image.begin(), image.end(), whole.begin(), whole.end()) - image.begin());
        const std::size_t treeAt = blockAt > 0x400 ? blockAt - 0x400 : 0;
        for (int round = 0; round < 4000; ++round) {
            Bytes damaged = image;
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int i = 0; i < flips; ++i) {
                const bool inHeaders = random() % 2 == 0;
                const std::size_t at = inHeaders ? random() % 0x400 : treeAt + random() % (blockAt + whole.size() - treeAt);
                damaged[at % damaged.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
            }
            Bytes found;
            if (readBlock(damaged, found)) queryEverything(found);
        }
        for (int round = 0; round < 4000; ++round) {
            Bytes damaged = whole;
            damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
            queryEverything(damaged);
        }
    }
}

// The same hand-built images through getFileInfo: on Windows the system reads
// them, elsewhere the program's own reader; both must agree, and a fixed
// information block that is too short or carries the wrong signature gives no
// version numbers while the strings are still read. A block that ends exactly
// at its section's end is read whole.
TEST(PeVersionBlock, GetFileInfoAgreesOnHandBuiltImages) {
    Node shortFixed = standardRoot();
    shortFixed.value.resize(8);
    shortFixed.valueLength = 8;
    Node wrongSignature = standardRoot();
    wrongSignature.value = fixedInfo(0xFEEF04BC);
    Node noTranslation = standardRoot();
    noTranslation.children.pop_back();
    struct Case {
        const char* name;
        Node root;
        const char* fileVersion;
        const char* productVersion;
        const char* productName;
        std::uint32_t nameId = 1;
    } cases[] = {
        {"good.exe", standardRoot(), "1.2.300.4", "7.0.65535.12", "Hand Built"},
        {"short_fixed.exe", shortFixed, "", "", "Hand Built"},
        {"wrong_signature.exe", wrongSignature, "", "", "Hand Built"},
        {"no_translation.exe", noTranslation, "1.2.300.4", "7.0.65535.12", ""},
        {"section_end.exe", rootFillingItsSection(), "1.2.300.4", "7.0.65535.12", "Hand Built"},
        // A whole version resource under the name 2: the system sees no version.
        {"other_name.exe", standardRoot(), "", "", "", 2},
    };
    ScratchMachine machine;
    for (const Case& c : cases) {
        for (bool pe32Plus : {false, true}) {
            Bytes block;
            encode(c.root, block);
            const Bytes image = buildImage(block, {pe32Plus, c.nameId, 0});
            writeFile(machine.scratch / c.name, std::string(image.begin(), image.end()));
            FileInfo info;
            getFileInfo(machine.path(c.name).c_str(), info);
            EXPECT_EQ(info.fileVersion, c.fileVersion) << c.name << pe32Plus;
            EXPECT_EQ(info.productVersion, c.productVersion) << c.name << pe32Plus;
            EXPECT_EQ(info.productName, c.productName) << c.name << pe32Plus;
            EXPECT_EQ(info.comments, "") << c.name << pe32Plus;
            EXPECT_EQ(info.fileSize, image.size()) << c.name << pe32Plus;
        }
    }
}

}  // namespace velmora
