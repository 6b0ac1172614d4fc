// Finding the version resource (RT_VERSION) inside a PE file (PE32 and PE32+)
// and copying out its VS_VERSIONINFO block. Every structure comes from
// untrusted bytes: each offset, size and count is checked before use, and the
// reader asks only for the bytes it needs (headers, section table, resource
// tree, the block), so a large executable is not read whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace velmora {

// Random access to the bytes of a file or buffer. `read` fills `out` with
// `count` bytes from `offset` and returns false when it cannot; it is only
// asked for ranges inside [0, size).
struct PeByteSource {
    std::uint64_t size = 0;
    std::function<bool(std::uint64_t offset, std::size_t count, std::uint8_t* out)> read;
};

// Larger version resources are refused rather than allocated.
constexpr std::uint32_t kMaxVersionBlockSize = 64u * 1024 * 1024;

// The raw VS_VERSIONINFO block of the PE image. False when the bytes are not
// a PE image, have no version resource, or any structure on the way is out of
// bounds.
bool readVersionBlock(const PeByteSource& source, std::vector<std::uint8_t>& block);
bool readVersionBlockFromPe(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& block);

}  // namespace velmora
