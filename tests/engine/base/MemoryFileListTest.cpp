#include "engine/base/MemoryFileList.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using engine::TMemoryFile;
using engine::TMemoryFileList;

constexpr std::int32_t InvalidPath = -11010;
constexpr std::int32_t AccessDenied = -11013;

TEST(MemoryFileList, SharingFollowsTheExclusiveFlags) {
    TMemoryFileList list;
    TMemoryFile* file = nullptr;
    EXPECT_EQ(list.CreateFile("T.DAT", file), 1);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->Exclusive());
    TMemoryFile* other = nullptr;
    EXPECT_EQ(list.OpenFile("T.DAT", other, false), AccessDenied);
    EXPECT_EQ(other, nullptr);
    file->CloseHandle(1);

    EXPECT_EQ(list.OpenFile("T.DAT", other, false), 1);
    EXPECT_EQ(list.OpenFile("T.DAT", other, false), 2);
    EXPECT_EQ(list.OpenFile("T.DAT", other, true), AccessDenied);
    EXPECT_EQ(list.CreateFile("T.DAT", other), AccessDenied);
    other->CloseHandle(1);
    other->CloseHandle(2);

    EXPECT_EQ(list.OpenFile("T.DAT", other, true), 1);
    EXPECT_EQ(list.OpenFile("T.DAT", other, false), AccessDenied);
}

TEST(MemoryFileList, CreatingAnUnopenedFileEmptiesIt) {
    TMemoryFileList list;
    TMemoryFile* file = nullptr;
    const std::int32_t h = list.CreateFile("T.DAT", file);
    file->Write(h, "data", 4);
    file->CloseHandle(h);
    TMemoryFile* again = nullptr;
    EXPECT_EQ(list.CreateFile("t.dat", again), 1);
    EXPECT_EQ(again, file);
    EXPECT_EQ(again->Size(), 0);
    EXPECT_EQ(list.Count(), 1);
}

TEST(MemoryFileList, NamesMatchTrimmedAndWithoutCase) {
    TMemoryFileList list;
    TMemoryFile* file = nullptr;
    file = nullptr;
    list.CreateFile("foo.DAT", file);
    file->CloseHandle(1);
    EXPECT_TRUE(list.FileExists(" FOO.dat "));
    TMemoryFile* found = nullptr;
    EXPECT_EQ(list.OpenFile(" FOO.dat ", found, false), 1);
    EXPECT_EQ(found->Name(), "foo.DAT");
    EXPECT_FALSE(list.FileExists("foo.IDX"));
    EXPECT_EQ(list.OpenFile("bar.DAT", found, false), InvalidPath);
}

TEST(MemoryFileList, NamesWithoutABaseNameAreRefused) {
    TMemoryFileList list;
    TMemoryFile* file = nullptr;
    for (const char* name : {".DAT", "", "  .DAT", "dir\\.DAT", "dir/", "C:"}) {
        EXPECT_EQ(list.CreateFile(name, file), InvalidPath) << name;
    }
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_GT(list.CreateFile("dir\\x.DAT", file), 0);
}

TEST(MemoryFileList, RenameNeedsAClosedFileAndAFreeName) {
    TMemoryFileList list;
    TMemoryFile* a = nullptr;
    TMemoryFile* b = nullptr;
    list.CreateFile("A.DAT", a);
    list.CreateFile("B.DAT", b);
    EXPECT_FALSE(list.RenameFile("A.DAT", "C.DAT"));  // open
    a->CloseHandle(1);
    b->CloseHandle(1);
    EXPECT_FALSE(list.RenameFile("A.DAT", " b.dat"));  // taken
    EXPECT_FALSE(list.RenameFile("X.DAT", "C.DAT"));   // missing
    EXPECT_TRUE(list.RenameFile("A.DAT", "a.dat"));    // its own name in another form
    EXPECT_EQ(a->Name(), "a.dat");
    EXPECT_TRUE(list.RenameFile("A.DAT", "C.DAT"));
    EXPECT_TRUE(list.FileExists("C.DAT"));
    EXPECT_FALSE(list.FileExists("A.DAT"));
    EXPECT_EQ(list.Count(), 2);
}

TEST(MemoryFileList, DeleteNeedsAClosedFile) {
    TMemoryFileList list;
    TMemoryFile* file = nullptr;
    list.CreateFile("T.DAT", file);
    EXPECT_FALSE(list.DeleteFile("T.DAT"));
    file->CloseHandle(1);
    EXPECT_TRUE(list.DeleteFile("t.dat"));
    EXPECT_FALSE(list.FileExists("T.DAT"));
    EXPECT_FALSE(list.DeleteFile("T.DAT"));
}

TEST(MemoryFileList, CopyTakesTheWholeSourceFromItsStart) {
    for (const std::int32_t size : {0, 65535, 200000}) {
        TMemoryFileList list;
        TMemoryFile* source = nullptr;
        const std::int32_t h = list.CreateFile("S.DAT", source);
        std::string bytes(static_cast<std::size_t>(size), '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
        source->Write(h, bytes.data(), size);
        source->Seek(h, 3, 0);
        EXPECT_EQ(list.CopyFile(*source, h, "C.DAT"), 0) << size;
        EXPECT_EQ(source->Seek(h, 0, 1), size);

        TMemoryFile* copy = nullptr;
        const std::int32_t c = list.OpenFile("C.DAT", copy, false);
        ASSERT_EQ(c, 1) << size;  // the copy's own handle was closed
        std::string read(static_cast<std::size_t>(size), '\0');
        EXPECT_EQ(copy->Read(c, read.data(), size), size);
        EXPECT_EQ(read, bytes);
        EXPECT_EQ(list.CopyFile(*source, h, "C.DAT"), AccessDenied);
        EXPECT_EQ(list.CopyFile(*source, h, ".DAT"), InvalidPath);
    }
}

}  // namespace
