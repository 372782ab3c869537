#include "rtl/Stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using rtl::TMemoryStream;

std::string Contents(const TMemoryStream& s) {
    return std::string(reinterpret_cast<const char*>(s.Memory()), s.Bytes().size());
}

TEST(MemoryStream, ReadWriteAndSeekFromEachOrigin) {
    TMemoryStream s;
    EXPECT_EQ(s.Write("hello world", 11), 11);
    EXPECT_EQ(s.Size(), 11);
    EXPECT_EQ(s.Position(), 11);
    EXPECT_EQ(s.Seek(6, rtl::soBeginning), 6);
    char buf[16] = {};
    EXPECT_EQ(s.Read(buf, 16), 5);  // a short read at the end
    EXPECT_EQ(std::string(buf, 5), "world");
    EXPECT_EQ(s.Read(buf, 1), 0);
    EXPECT_EQ(s.Seek(-5, rtl::soEnd), 6);
    EXPECT_EQ(s.Seek(-6, rtl::soCurrent), 0);
    s.Write("J", 1);
    EXPECT_EQ(Contents(s), "Jello world");
}

TEST(MemoryStream, PositionsPastTheEndAndBeforeTheStart) {
    TMemoryStream s;
    s.Write("ab", 2);
    s.Seek(5, rtl::soBeginning);
    char c = 0;
    EXPECT_EQ(s.Read(&c, 1), 0);
    EXPECT_EQ(s.Position(), 5);  // a read past the end leaves the position
    s.Write("z", 1);             // a write there fills the gap with zeros
    EXPECT_EQ(Contents(s), std::string("ab\0\0\0z", 6));
    s.Seek(-3, rtl::soBeginning);
    EXPECT_EQ(s.Read(&c, 1), 0);
    EXPECT_EQ(s.Write("x", 1), 0);
    s.SetSize(1);
    EXPECT_EQ(Contents(s), "a");
    EXPECT_EQ(s.Position(), -3);
    s.SetPosition(1);
    s.SetSize(0);
    EXPECT_EQ(s.Position(), 0);
}

TEST(MemoryStream, BufferedTransfersRaiseOnShortMoves) {
    TMemoryStream source;
    source.Write("0123456789", 10);
    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(source, 0), 10);  // 0: the whole source from its beginning
    EXPECT_EQ(Contents(copy), "0123456789");
    source.SetPosition(8);
    EXPECT_THROW(copy.CopyFrom(source, 5), rtl::EStreamError);
    char buf[4];
    source.SetPosition(9);
    EXPECT_THROW(source.ReadBuffer(buf, 2), rtl::EStreamError);

    std::vector<char> big(200000, 'x');
    TMemoryStream large;
    large.WriteBuffer(big.data(), static_cast<std::int64_t>(big.size()));
    TMemoryStream loaded;
    loaded.Write("old", 3);
    loaded.LoadFromStream(large);
    EXPECT_EQ(loaded.Size(), 200000);
    EXPECT_EQ(loaded.Position(), 0);
    TMemoryStream saved;
    loaded.SaveToStream(saved);
    EXPECT_EQ(saved.Bytes(), loaded.Bytes());
}

// A stream without a size of its own: SetSize is the base's and does nothing.
class FixedStream : public rtl::TStream {
public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t offset, rtl::TSeekOrigin origin) override {
        if (origin == rtl::soEnd) position_ = 100 + offset;
        if (origin == rtl::soBeginning) position_ = offset;
        if (origin == rtl::soCurrent) position_ += offset;
        return position_;
    }
    std::int64_t position_ = 0;
};

TEST(Stream, SizeKeepsThePositionAndSetSizeIsANoOp) {
    FixedStream s;
    s.SetPosition(7);
    EXPECT_EQ(s.Size(), 100);
    EXPECT_EQ(s.Position(), 7);
    s.SetSize(3);
    EXPECT_EQ(s.Size(), 100);
    EXPECT_THROW(s.WriteBuffer("a", 1), rtl::EStreamError);
    s.WriteBuffer("a", 0);  // nothing asked, nothing to fail
}

}  // namespace
