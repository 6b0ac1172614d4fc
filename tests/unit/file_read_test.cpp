// Reading a whole file: every byte, the size limit exact to the byte, and a
// read error never taken for the end of the file.
#include "common/file_io.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace velmora {

namespace {

ReadFileHandle fileHolding(const std::string& bytes) {
    ReadFileHandle file(std::tmpfile());
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file.get());
        std::rewind(file.get());
    }
    return file;
}

std::string patterned(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + i / 251);
    return bytes;
}

}  // namespace

TEST(ReadWholeFile, ReadsEveryByteOfFilesAroundThePieceSizes) {
    for (std::size_t size : {0u, 1u, 4095u, 4096u, 4097u, 12288u, 12289u, 3000000u}) {
        const std::string expected = patterned(size);
        ReadFileHandle file = fileHolding(expected);
        ASSERT_TRUE(file);
        std::string bytes = "left over";
        ASSERT_TRUE(readWholeFile(file.get(), bytes)) << size;
        EXPECT_EQ(bytes.size(), size);
        EXPECT_TRUE(bytes == expected) << size;
    }
}

TEST(ReadWholeFile, TheLimitAdmitsExactlyMaxBytes) {
    for (std::size_t limit : {0u, 1u, 4096u, 10000u}) {
        for (std::size_t size : {limit, limit + 1}) {
            ReadFileHandle file = fileHolding(patterned(size));
            ASSERT_TRUE(file);
            std::string bytes;
            EXPECT_EQ(readWholeFile(file.get(), bytes, limit), size <= limit) << limit << " " << size;
        }
    }
}

TEST(ReadWholeFile, AReadErrorIsNotAnEndOfFile) {
    // A stream opened for writing only cannot be read: its first read fails.
    ScratchMachine machine;
    ReadFileHandle file(std::fopen(machine.path("read-error").c_str(), "wb"));
    ASSERT_TRUE(file);
    std::fputs("written", file.get());
    std::string bytes;
    EXPECT_FALSE(readWholeFile(file.get(), bytes));
}

}  // namespace velmora
