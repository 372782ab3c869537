#include "engine/base/MemoryFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using engine::TMemoryFile;

std::vector<char> ReadAt(TMemoryFile& file, std::int32_t handle, std::int64_t position, std::int32_t count) {
    std::vector<char> bytes(static_cast<std::size_t>(count));
    file.Seek(handle, position, 0);
    bytes.resize(static_cast<std::size_t>(file.Read(handle, bytes.data(), count)));
    return bytes;
}

void WriteAt(TMemoryFile& file, std::int32_t handle, std::int64_t position, const std::string& bytes) {
    file.Seek(handle, position, 0);
    ASSERT_EQ(file.Write(handle, bytes.data(), static_cast<std::int32_t>(bytes.size())),
              static_cast<std::int32_t>(bytes.size()));
}

TEST(MemoryFile, CapacityGrowsInSteps65535) {
    TMemoryFile file("T.DAT");
    const std::int32_t h = file.OpenHandle();
    WriteAt(file, h, 0, "x");
    EXPECT_EQ(file.Size(), 1);
    EXPECT_EQ(file.Capacity(), 65535);
    WriteAt(file, h, 65535, "y");
    EXPECT_EQ(file.Size(), 65536);
    EXPECT_EQ(file.Capacity(), 131070);
    file.SetSize(0);
    EXPECT_EQ(file.Capacity(), 0);
    EXPECT_EQ(file.Size(), 0);
}

TEST(MemoryFile, ZeroCountWriteSetsTheSizeToThePosition) {
    TMemoryFile file("T.DAT");
    const std::int32_t h = file.OpenHandle();
    WriteAt(file, h, 0, std::string(100, 'a'));
    file.Seek(h, 10, 0);
    EXPECT_EQ(file.Write(h, nullptr, 0), 0);
    EXPECT_EQ(file.Size(), 10);
    file.Seek(h, 300, 0);
    file.Write(h, nullptr, 0);
    EXPECT_EQ(file.Size(), 300);
}

TEST(MemoryFile, ReadStopsAtTheEnd) {
    TMemoryFile file("T.DAT");
    const std::int32_t h = file.OpenHandle();
    WriteAt(file, h, 0, std::string(100, 'a'));
    EXPECT_EQ(ReadAt(file, h, 90, 100).size(), 10u);
    EXPECT_EQ(file.Seek(h, 0, 1), 100);
    EXPECT_EQ(ReadAt(file, h, 101, 5).size(), 0u);
    EXPECT_EQ(ReadAt(file, h, -1, 5).size(), 0u);
}

// A cut file that grows again shows zeros in the gap, as a disk file does, whether or not the cut
// gave back capacity.
TEST(MemoryFile, CutThenGrowReadsZeros) {
    for (const std::int64_t oldSize : {100, 100000}) {
        TMemoryFile file("T.DAT");
        const std::int32_t h = file.OpenHandle();
        WriteAt(file, h, 0, std::string(static_cast<std::size_t>(oldSize), '\xFF'));
        file.Seek(h, 10, 0);
        file.Write(h, nullptr, 0);
        WriteAt(file, h, oldSize - 1, "z");
        EXPECT_EQ(ReadAt(file, h, 10, static_cast<std::int32_t>(oldSize - 11)),
                  std::vector<char>(static_cast<std::size_t>(oldSize - 11), '\0'))
            << oldSize;
        file.SetSize(5);
        file.SetSize(50);
        EXPECT_EQ(ReadAt(file, h, 5, 45), std::vector<char>(45, '\0')) << oldSize;
    }
}

TEST(MemoryFile, WritesOutsideTheFileRangeChangeNothing) {
    TMemoryFile file("T.DAT");
    const std::int32_t h = file.OpenHandle();
    WriteAt(file, h, 0, "abc");
    const struct {
        std::int64_t position;
        std::int32_t count;
    } cases[] = {{-1, 1}, {-65536, 3}, {0x7FFFFFFF - 2, 3}, {0x7FFFFFFF, 1}, {-5, 0}, {0x80000000LL, 0}};
    const std::string bytes(3, 'q');
    for (const auto& c : cases) {
        file.Seek(h, c.position, 0);
        EXPECT_EQ(file.Write(h, bytes.data(), c.count), 0) << c.position;
        EXPECT_EQ(file.Size(), 3) << c.position;
        EXPECT_EQ(file.Capacity(), 65535) << c.position;
    }
    EXPECT_EQ(ReadAt(file, h, 0, 3), std::vector<char>({'a', 'b', 'c'}));
}

TEST(MemoryFile, HandlesHaveIndependentPositions) {
    TMemoryFile file("T.DAT");
    EXPECT_EQ(file.OpenHandle(), 1);
    EXPECT_EQ(file.OpenHandle(), 2);
    WriteAt(file, 1, 0, "hello");
    EXPECT_EQ(file.Seek(2, 0, 1), 0);
    char c = 0;
    EXPECT_EQ(file.Read(2, &c, 1), 1);
    EXPECT_EQ(c, 'h');
    EXPECT_EQ(file.Seek(1, 0, 1), 5);
    EXPECT_EQ(file.Seek(2, 0, 2), 5);
}

TEST(MemoryFile, HandleNumbersStayUniqueAfterClose) {
    TMemoryFile file("T.DAT");
    const std::int32_t a = file.OpenHandle();
    const std::int32_t b = file.OpenHandle();
    const std::int32_t c = file.OpenHandle();
    file.CloseHandle(a);
    file.CloseHandle(99);
    const std::int32_t d = file.OpenHandle();
    EXPECT_GT(d, 0);
    EXPECT_NE(d, b);
    EXPECT_NE(d, c);
    EXPECT_EQ(file.OpenCount(), 3);
    file.CloseHandle(b);
    file.CloseHandle(c);
    file.CloseHandle(d);
    EXPECT_EQ(file.OpenHandle(), 1);
}

TEST(MemoryFile, UnknownHandlesMoveNothing) {
    TMemoryFile file("T.DAT");
    const std::int32_t h = file.OpenHandle();
    WriteAt(file, h, 0, "abc");
    char buffer[3] = {};
    EXPECT_EQ(file.Read(7, buffer, 3), 0);
    EXPECT_EQ(file.Write(7, buffer, 3), 0);
    EXPECT_EQ(file.Seek(7, 2, 0), 0);
    EXPECT_EQ(file.Size(), 3);
}

TEST(MemoryFile, LockedRegionsExcludeOverlaps) {
    TMemoryFile file("T.DAT");
    EXPECT_TRUE(file.LockRange(100, 10));
    EXPECT_FALSE(file.LockRange(109, 1));
    EXPECT_FALSE(file.LockRange(95, 6));
    EXPECT_FALSE(file.LockRange(100, 10));  // locks belong to the file: the same handle conflicts too
    EXPECT_TRUE(file.LockRange(110, 1));
    EXPECT_TRUE(file.LockRange(95, 5));
    EXPECT_FALSE(file.UnlockRange(100, 5));
    EXPECT_TRUE(file.UnlockRange(100, 10));
    EXPECT_TRUE(file.LockRange(105, 1));
    // The engine's lock bytes sit near the top of the 2 GB range.
    EXPECT_TRUE(file.LockRange(0x7FFF0000, 65535));
    EXPECT_FALSE(file.LockRange(0x7FFFFFFE, 1));
}

}  // namespace
