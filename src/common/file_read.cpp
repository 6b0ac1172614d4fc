#include "common/file_io.h"

#include <algorithm>

namespace velmora {

// Reads straight into the string, in growing pieces: no large buffer on the
// stack, whose fresh pages would each cost a page fault in a short run.
bool readWholeFile(std::FILE* file, std::string& bytes, std::size_t maxBytes) {
    bytes.clear();
    std::size_t piece = 4096;
    while (true) {
        const std::size_t held = bytes.size();
        // One byte past the limit is asked for, to tell a file of exactly
        // maxBytes from a longer one.
        const std::size_t want = maxBytes - held < piece ? maxBytes - held + 1 : piece;
        bytes.resize(held + want);
        const std::size_t got = std::fread(&bytes[held], 1, want, file);
        bytes.resize(held + got);
        if (bytes.size() > maxBytes) return false;
        if (got < want) break;
        piece = std::min<std::size_t>(piece * 2, std::size_t{1} << 24);
    }
    return std::ferror(file) == 0;
}

}  // namespace velmora
