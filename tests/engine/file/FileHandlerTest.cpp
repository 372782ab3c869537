#include "engine/file/FileHandler.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineState.h"
#include "engine/base/EngineTexts.h"
#include "engine/os/PosixFile.h"
#include "tests/engine/support/HolderProcess.h"
#include "tests/engine/support/TempDirectory.h"

namespace {

namespace fs = std::filesystem;
using engine::TFileHandler;
using enginetest::HolderProcess;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The engine code an action raises; 0 when it raises nothing.
int CodeOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const engine::ETARNISEngineError& error) {
        return error.ErrorCode();
    }
    return 0;
}

int StoredOsError() {
    return engine::CurrentErrorContext().OsError;
}

bool IsRoot() {
    return geteuid() == 0;
}

struct Opener {
    bool exclusive;
    bool write;
};

std::unique_ptr<TFileHandler> MakeHandler(const std::string& name, Opener mode, bool inMemory = false) {
    auto handler = std::make_unique<TFileHandler>();
    handler->SetInMemory(inMemory);
    handler->SetFileName(name);
    handler->SetExclusive(mode.exclusive);
    handler->SetReadOnly(!mode.write);
    return handler;
}

// Starts the holder with the same open mode.
std::unique_ptr<HolderProcess> StartHolder(const std::string& name, Opener mode, int lifetimeMs = 60000) {
    return std::make_unique<HolderProcess>(name, mode.exclusive ? "exclusive" : "shared",
                                           mode.write ? "write" : "read", lifetimeMs);
}

constexpr Opener SharedWrite{false, true};
constexpr Opener SharedRead{false, false};
constexpr Opener ExclusiveWrite{true, true};
constexpr Opener ExclusiveRead{true, false};

class FileHandlerTest : public ::testing::Test {
protected:
    enginetest::TempDirectory directory_;
    engine::EngineGuard engine_;
};

// A descendant that forces an extension, as the table files do.
class DatHandler : public TFileHandler {
public:
    std::string TranslateFileName(std::string_view name) const override { return std::string(name) + ".DAT"; }
};

TEST(FileHandlerMapOSError, MapsErrnoAndStoresItsLow16Bits) {
    const struct {
        int error;
        int code;
    } cases[] = {
        {ENOENT, 11010}, {ENOTDIR, 11010}, {ENAMETOOLONG, 11010}, {ELOOP, 11010}, {EMFILE, 11012},
        {ENFILE, 11012}, {EACCES, 11013},  {EPERM, 11013},        {EROFS, 11013}, {EISDIR, 11013},
        {EBUSY, 11013},  {ETXTBSY, 11013}, {EAGAIN, 11013},       {EBADF, 11014}, {ENOMEM, 11016},
        {ENODEV, 11023}, {ENXIO, 11023},   {EXDEV, 11025},        {EIO, 11047},   {ENOSPC, 11047},
        {EEXIST, 11047}, {0, 11047},
    };
    engine::EngineGuard engine;
    for (const auto& c : cases) {
        EXPECT_EQ(TFileHandler::MapOSError(c.error), c.code) << "errno " << c.error;
        EXPECT_EQ(StoredOsError(), c.error);
    }
    TFileHandler::MapOSError(0x12345);
    EXPECT_EQ(StoredOsError(), 0x2345);
}

TEST_F(FileHandlerTest, OpenOfAMissingFileRaises11010WithoutASystemError) {
    engine::SetOsErrorContext(4321);
    for (const char* name : {"missing.DAT", "nodir/missing.DAT"}) {
        auto handler = MakeHandler(name, SharedWrite);
        EXPECT_EQ(CodeOf([&] { handler->Open(); }), engine::ErrInvalidPath) << name;
        EXPECT_FALSE(handler->IsOpen());
        EXPECT_EQ(handler->Handle(), -1);
        EXPECT_EQ(StoredOsError(), 4321);
    }
}

TEST_F(FileHandlerTest, AFileWithoutWriteBitsOpensReadOnly) {
    WriteFile("ro.DAT", "bytes");
    fs::permissions("ro.DAT", fs::perms(0444));
    auto handler = MakeHandler("ro.DAT", SharedWrite);
    handler->Open();
    EXPECT_TRUE(handler->ReadOnly());
    EXPECT_TRUE(handler->AttributeReadOnly());
    EXPECT_EQ(CodeOf([&] { handler->Write("x", 1); }), engine::ErrWrite);
    EXPECT_EQ(Contents("ro.DAT"), "bytes");
    handler->Close();
    EXPECT_TRUE(handler->ReadOnly());

    // The attribute flag describes the last open; ReadOnly stays as that open left it.
    fs::permissions("ro.DAT", fs::perms(0644));
    handler->Open();
    EXPECT_FALSE(handler->AttributeReadOnly());
    EXPECT_TRUE(handler->ReadOnly());
}

TEST_F(FileHandlerTest, OpenRefusesWhatIsNotARegularFileWith11013) {
    fs::create_directory("dir.DAT");
    ASSERT_EQ(mkfifo("fifo.DAT", 0666), 0);
    WriteFile("secret.DAT", "x");
    fs::permissions("secret.DAT", fs::perms::none);
    for (const char* name : {"dir.DAT", "fifo.DAT", "secret.DAT"}) {
        // Root reads any file: the unreadable one is only unreadable for others.
        if (IsRoot() && std::string(name) == "secret.DAT") continue;
        for (const Opener mode : {SharedWrite, SharedRead, ExclusiveRead}) {
            auto handler = MakeHandler(name, mode);
            EXPECT_EQ(CodeOf([&] { handler->Open(); }), engine::ErrAccessDenied) << name;
            EXPECT_FALSE(handler->IsOpen());
        }
    }
}

TEST_F(FileHandlerTest, OpenRefusesAFileLongerThanTheLargestOffset) {
    WriteFile("big.DAT", "");
    fs::resize_file("big.DAT", engine::MaxFileSize + 1);
    auto handler = MakeHandler("big.DAT", SharedRead);
    EXPECT_EQ(CodeOf([&] { handler->Open(); }), engine::ErrHeaderCorrupt);
    EXPECT_FALSE(handler->IsOpen());

    fs::resize_file("big.DAT", engine::MaxFileSize);
    handler->Open();
    EXPECT_EQ(handler->GetSize(), engine::MaxFileSize);
}

TEST_F(FileHandlerTest, NamesResolveTheirLastPartWithoutLetterCase) {
    WriteFile("config.DAT", "stored");
    auto handler = MakeHandler("config.dat", SharedRead);
    handler->Open();
    EXPECT_EQ(handler->FileName(), "config.dat");
    char buffer[6];
    EXPECT_EQ(handler->Read(buffer, 6, false), 6);
    EXPECT_EQ(std::string(buffer, 6), "stored");
    EXPECT_TRUE(handler->FileExists());
    handler->Close();

    // Create reuses the existing spelling instead of making a second file.
    auto creator = MakeHandler("Config.Dat", ExclusiveWrite);
    creator->CreateFile();
    creator->Write("new", 3);
    creator->Close();
    EXPECT_EQ(Contents("config.DAT"), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

TEST_F(FileHandlerTest, SharingBetweenHandlersAndPrograms) {
    const struct {
        Opener first;
        Opener second;
        bool secondOpens;
    } cases[] = {
        {ExclusiveWrite, SharedWrite, false},    {SharedWrite, ExclusiveWrite, false},
        {SharedWrite, SharedWrite, true},        {SharedRead, SharedWrite, true},
        {ExclusiveRead, SharedRead, false},      {SharedRead, ExclusiveRead, false},
        {ExclusiveWrite, ExclusiveWrite, false},
    };
    WriteFile("s.DAT", "data");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "first exclusive " << c.first.exclusive << " write " << c.first.write
                     << ", second exclusive " << c.second.exclusive << " write " << c.second.write);
        const int expected = c.secondOpens ? 0 : engine::ErrAccessDenied;
        {
            auto first = MakeHandler("s.DAT", c.first);
            first->Open();
            auto second = MakeHandler("s.DAT", c.second);
            EXPECT_EQ(CodeOf([&] { second->Open(); }), expected) << "in one process";
        }
        {
            auto holder = StartHolder("s.DAT", c.first);
            ASSERT_TRUE(holder->Ready()) << holder->Greeting();
            auto second = MakeHandler("s.DAT", c.second);
            EXPECT_EQ(CodeOf([&] { second->Open(); }), expected) << "after the holder";
        }
        {
            auto first = MakeHandler("s.DAT", c.first);
            first->Open();
            auto holder = StartHolder("s.DAT", c.second);
            EXPECT_EQ(holder->Greeting(), c.secondOpens ? "ready" : "error 11013") << "holder second";
        }
    }
}

TEST_F(FileHandlerTest, CreateNeverEmptiesAFileOpenElsewhere) {
    WriteFile("busy.DAT", "keep me");
    auto creator = MakeHandler("busy.DAT", ExclusiveWrite);
    {
        auto holder = StartHolder("busy.DAT", SharedRead);
        ASSERT_TRUE(holder->Ready()) << holder->Greeting();
        EXPECT_EQ(CodeOf([&] { creator->CreateFile(); }), engine::ErrAccessDenied);
        EXPECT_FALSE(creator->IsOpen());
    }
    {
        auto other = MakeHandler("busy.DAT", SharedRead);
        other->Open();
        EXPECT_EQ(CodeOf([&] { creator->CreateFile(); }), engine::ErrAccessDenied);
    }
    EXPECT_EQ(Contents("busy.DAT"), "keep me");
    creator->CreateFile();
    EXPECT_EQ(Contents("busy.DAT"), "");
}

TEST_F(FileHandlerTest, TheHolderAnswersEveryLine) {
    WriteFile("h.DAT", "");
    auto missing = StartHolder("missing.DAT", SharedRead);
    EXPECT_EQ(missing->Greeting(), "error 11010");
    EXPECT_EQ(missing->WaitForExit(), 1);

    auto holder = StartHolder("h.DAT", SharedWrite);
    ASSERT_TRUE(holder->Ready()) << holder->Greeting();
    EXPECT_EQ(holder->Send("jump 1 2"), "unknown");
    EXPECT_EQ(holder->Send("lock 1"), "bad");
    EXPECT_EQ(holder->Send("lock 1 2 3"), "bad");
    EXPECT_EQ(holder->Send("unlock 1 1"), "fail");
    EXPECT_EQ(holder->Send("lock 1 1"), "ok");
    EXPECT_EQ(holder->Send("unlock 1 1"), "ok");
    EXPECT_EQ(holder->Release(), 0);
}

TEST_F(FileHandlerTest, ALockExcludesOtherHandlersAndPrograms) {
    WriteFile("l.DAT", "");
    auto a = MakeHandler("l.DAT", SharedWrite);
    auto b = MakeHandler("l.DAT", SharedWrite);
    a->Open();
    b->Open();
    auto holder = StartHolder("l.DAT", SharedWrite);
    ASSERT_TRUE(holder->Ready()) << holder->Greeting();

    EXPECT_TRUE(a->LockRange(100, 1, true));
    EXPECT_FALSE(b->LockRange(100, 1, true));
    EXPECT_FALSE(holder->Lock(100, 1));
    // The same handler's overlapping locks conflict too, and only an exact held range unlocks.
    EXPECT_FALSE(a->LockRange(100, 1, true));
    EXPECT_FALSE(a->LockRange(99, 2, true));
    EXPECT_FALSE(a->LockRange(100, 2, true));
    EXPECT_FALSE(a->LockRange(100, 2, false));
    EXPECT_FALSE(a->LockRange(101, 1, false));
    EXPECT_FALSE(b->LockRange(100, 1, false));
    EXPECT_TRUE(a->LockRange(100, 1, false));
    EXPECT_TRUE(holder->Lock(100, 1));
    EXPECT_FALSE(a->LockRange(100, 1, true));
}

TEST_F(FileHandlerTest, UnlockingOneOfTwoAdjacentBytesKeepsTheOther) {
    WriteFile("l.DAT", "");
    auto a = MakeHandler("l.DAT", SharedWrite);
    a->Open();
    ASSERT_TRUE(a->LockRange(100, 1, true));
    ASSERT_TRUE(a->LockRange(101, 1, true));
    ASSERT_TRUE(a->LockRange(100, 1, false));
    auto holder = StartHolder("l.DAT", SharedWrite);
    ASSERT_TRUE(holder->Ready()) << holder->Greeting();
    EXPECT_TRUE(holder->Lock(100, 1));
    EXPECT_FALSE(holder->Lock(101, 1));
}

TEST_F(FileHandlerTest, LocksGoWithTheirHandlerOrProgram) {
    WriteFile("l.DAT", "");
    auto a = MakeHandler("l.DAT", SharedWrite);
    a->Open();
    {
        auto holder = StartHolder("l.DAT", SharedWrite);
        ASSERT_TRUE(holder->Ready()) << holder->Greeting();
        ASSERT_TRUE(holder->Lock(200, 10));
        EXPECT_FALSE(a->LockRange(205, 1, true));
        EXPECT_EQ(holder->Release(), 0);
        EXPECT_TRUE(a->LockRange(205, 1, true));
    }
    {
        // A holder nobody releases gives up when its time runs out.
        auto holder = StartHolder("l.DAT", SharedWrite, 300);
        ASSERT_TRUE(holder->Ready()) << holder->Greeting();
        ASSERT_TRUE(holder->Lock(300, 1));
        EXPECT_EQ(holder->ReadLine(), "");
        EXPECT_EQ(holder->WaitForExit(), 2);
        EXPECT_TRUE(a->LockRange(300, 1, true));
    }
    // Closing drops the handler's locks and its record of them.
    auto b = MakeHandler("l.DAT", SharedWrite);
    b->Open();
    EXPECT_FALSE(b->LockRange(205, 1, true));
    a->Close();
    EXPECT_TRUE(b->LockRange(205, 1, true));
    a->Open();
    EXPECT_FALSE(a->LockRange(205, 1, true));
    EXPECT_TRUE(a->LockRange(300, 1, true));
}

TEST_F(FileHandlerTest, AnExclusiveHandlerTakesNoKernelLock) {
    // Nobody can change a file without write bits, so its exclusive open lets readers in.
    WriteFile("ro.DAT", "");
    fs::permissions("ro.DAT", fs::perms(0444));
    auto a = MakeHandler("ro.DAT", ExclusiveRead);
    a->Open();
    EXPECT_TRUE(a->LockRange(100, 1, true));
    EXPECT_TRUE(a->LockRange(100, 1, true));
    EXPECT_TRUE(a->LockRange(5, 1, false));
    auto holder = StartHolder("ro.DAT", SharedRead);
    ASSERT_TRUE(holder->Ready()) << holder->Greeting();
    EXPECT_TRUE(holder->Lock(100, 1));
}

TEST_F(FileHandlerTest, AReadOnlyHandlersLockConflictsWithAWritersButNotWithAReaders) {
    WriteFile("l.DAT", "");
    auto reader = MakeHandler("l.DAT", SharedRead);
    reader->Open();
    auto holder = StartHolder("l.DAT", SharedWrite);
    ASSERT_TRUE(holder->Ready()) << holder->Greeting();
    ASSERT_TRUE(holder->Lock(100, 1));
    EXPECT_FALSE(reader->LockRange(100, 1, true));
    ASSERT_TRUE(holder->Unlock(100, 1));
    EXPECT_TRUE(reader->LockRange(100, 1, true));
    EXPECT_FALSE(holder->Lock(100, 1));

    auto otherReader = MakeHandler("l.DAT", SharedRead);
    otherReader->Open();
    EXPECT_TRUE(otherReader->LockRange(100, 1, true));
}

TEST_F(FileHandlerTest, LockRangesMustBeNonEmptyAndBelowTheShareByte) {
    WriteFile("l.DAT", "");
    auto a = MakeHandler("l.DAT", SharedWrite);
    a->Open();
    EXPECT_FALSE(a->LockRange(100, 0, true));
    EXPECT_FALSE(a->LockRange(-1, 1, true));
    EXPECT_FALSE(a->LockRange(0x7FFFFFFF, 2, true));
    EXPECT_FALSE(a->LockRange(engine::ShareByteOffset, 1, true));
    // The highest lock ranges the engine uses: the write semaphore and the table lock.
    EXPECT_TRUE(a->LockRange(0x7FFFFFFF, 1, true));
    EXPECT_TRUE(a->LockRange(2047483645, 100000001, true));
    auto closed = MakeHandler("l.DAT", SharedWrite);
    EXPECT_FALSE(closed->LockRange(100, 1, true));
}

TEST_F(FileHandlerTest, DeleteAndRenameLeaveAFileThatIsOpenElsewhere) {
    WriteFile("d.DAT", "contents");
    const std::function<std::unique_ptr<HolderProcess>()> holders[] = {
        [] { return StartHolder("d.DAT", SharedRead); },
        [] { return StartHolder("d.DAT", ExclusiveWrite); },
    };
    auto target = MakeHandler("d.DAT", ExclusiveWrite);
    {
        auto other = MakeHandler("d.DAT", SharedRead);
        other->Open();
        EXPECT_EQ(CodeOf([&] { target->DeleteFile(); }), engine::ErrDelete);
        EXPECT_EQ(StoredOsError(), EAGAIN);
        EXPECT_EQ(CodeOf([&] { target->RenameFile("e.DAT"); }), engine::ErrOsError);
    }
    for (const auto& start : holders) {
        auto holder = start();
        ASSERT_TRUE(holder->Ready()) << holder->Greeting();
        EXPECT_EQ(CodeOf([&] { target->DeleteFile(); }), engine::ErrDelete);
        EXPECT_EQ(CodeOf([&] { target->RenameFile("e.DAT"); }), engine::ErrOsError);
        EXPECT_EQ(target->FileName(), "d.DAT");
    }
    EXPECT_EQ(Contents("d.DAT"), "contents");
    EXPECT_FALSE(fs::exists("e.DAT"));

    target->RenameFile("e.DAT");
    EXPECT_EQ(target->FileName(), "e.DAT");
    EXPECT_EQ(Contents("e.DAT"), "contents");
    target->DeleteFile();
    EXPECT_FALSE(fs::exists("e.DAT"));
    EXPECT_EQ(CodeOf([&] { target->DeleteFile(); }), engine::ErrDelete);
    EXPECT_EQ(StoredOsError(), ENOENT);
}

TEST_F(FileHandlerTest, RenameNeverReplacesAFile) {
    WriteFile("a.DAT", "a");
    WriteFile("b.DAT", "b");
    auto handler = MakeHandler("a.DAT", SharedWrite);
    for (const char* target : {"b.DAT", "B.dat"}) {
        EXPECT_EQ(CodeOf([&] { handler->RenameFile(target); }), engine::ErrOsError) << target;
        EXPECT_EQ(engine::GetEngineErrorMessage(engine::ErrOsError),
                  "An unknown operating system error #17 occurred with data file a.DAT");
    }
    EXPECT_EQ(Contents("a.DAT"), "a");
    EXPECT_EQ(Contents("b.DAT"), "b");
    EXPECT_EQ(handler->FileName(), "a.DAT");

    // A change of letter case alone renames the file itself.
    handler->RenameFile("A.dat");
    EXPECT_EQ(Contents("A.dat"), "a");
    EXPECT_FALSE(fs::exists("a.DAT"));
}

TEST_F(FileHandlerTest, ANameTooLongToKeepIsRefused) {
    WriteFile("short.DAT", "x");
    DatHandler handler;
    handler.SetFileName("short");
    EXPECT_EQ(handler.FileName(), "short.DAT");
    // 252 characters fit with the extension; one more would have to be cut.
    EXPECT_EQ(CodeOf([&] { handler.SetFileName(std::string(251, 'n')); }), 0);
    EXPECT_EQ(CodeOf([&] { handler.SetFileName(std::string(252, 'n')); }), engine::ErrInvalidPath);
    EXPECT_EQ(handler.FileName(), std::string(251, 'n') + ".DAT");
    handler.SetFileName("short");
    EXPECT_EQ(CodeOf([&] { handler.RenameFile(std::string(252, 'n')); }), engine::ErrInvalidPath);
    EXPECT_EQ(handler.FileName(), "short.DAT");
    EXPECT_TRUE(fs::exists("short.DAT"));
}

TEST_F(FileHandlerTest, AFileWithoutWriteBitsCannotBeChanged) {
    // The superuser too: the mode bits, not the caller's rights, make a file read-only for the engine.
    WriteFile("ro.DAT", "kept");
    fs::permissions("ro.DAT", fs::perms(0444));
    auto handler = MakeHandler("ro.DAT", ExclusiveWrite);
    EXPECT_EQ(CodeOf([&] { handler->CreateFile(); }), engine::ErrAccessDenied);
    EXPECT_EQ(CodeOf([&] { handler->DeleteFile(); }), engine::ErrDelete);
    EXPECT_EQ(StoredOsError(), EACCES);
    EXPECT_EQ(CodeOf([&] { handler->RenameFile("other.DAT"); }), engine::ErrOsError);
    EXPECT_EQ(Contents("ro.DAT"), "kept");
}

TEST_F(FileHandlerTest, ChangesWhileOpenAreRefused) {
    WriteFile("o.DAT", "");
    auto handler = MakeHandler("o.DAT", SharedWrite);
    handler->Open();
    const struct {
        const char* what;
        std::function<void()> same;
        std::function<void()> change;
    } setters[] = {
        {"InMemory", [&] { handler->SetInMemory(false); }, [&] { handler->SetInMemory(true); }},
        {"Exclusive", [&] { handler->SetExclusive(false); }, [&] { handler->SetExclusive(true); }},
        {"ReadOnly", [&] { handler->SetReadOnly(false); }, [&] { handler->SetReadOnly(true); }},
        {"FileName", [&] { handler->SetFileName("o.DAT"); }, [&] { handler->SetFileName("p.DAT"); }},
        {"CreateFile", [] {}, [&] { handler->CreateFile(); }},
        {"DeleteFile", [] {}, [&] { handler->DeleteFile(); }},
        {"RenameFile", [] {}, [&] { handler->RenameFile("p.DAT"); }},
    };
    for (const auto& setter : setters) {
        EXPECT_EQ(CodeOf(setter.same), 0) << setter.what;
        EXPECT_EQ(CodeOf(setter.change), engine::ErrFileInUse) << setter.what;
    }
    EXPECT_TRUE(handler->IsOpen());
    EXPECT_FALSE(handler->InMemory());
    EXPECT_FALSE(handler->Exclusive());
    EXPECT_FALSE(handler->ReadOnly());
    EXPECT_EQ(handler->FileName(), "o.DAT");

    handler->SetWriteThrough(true);
    EXPECT_FALSE(handler->WriteThrough());
    handler->Close();
    handler->SetWriteThrough(true);
    EXPECT_TRUE(handler->WriteThrough());
    handler->Open();
    handler->Write("through", 7);
    EXPECT_EQ(Contents("o.DAT"), "through");
}

TEST_F(FileHandlerTest, CreateNeedsAClosedExclusiveHandler) {
    auto shared = MakeHandler("c.DAT", SharedWrite);
    EXPECT_EQ(CodeOf([&] { shared->CreateFile(); }), engine::ErrMustBeExclusive);
    EXPECT_FALSE(fs::exists("c.DAT"));
    auto exclusive = MakeHandler("c.DAT", ExclusiveWrite);
    exclusive->CreateFile();
    EXPECT_EQ(CodeOf([&] { exclusive->CreateFile(); }), engine::ErrFileInUse);
}

TEST_F(FileHandlerTest, CopyOfAClosedHandlerDoesNothing) {
    WriteFile("src.DAT", "abc");
    for (const bool inMemory : {false, true}) {
        auto handler = MakeHandler("src.DAT", SharedRead, inMemory);
        handler->CopyFile("copy.DAT");
        EXPECT_FALSE(fs::exists("copy.DAT"));
        EXPECT_FALSE(engine::GetEngineSession().MemoryFiles().FileExists("copy.DAT"));
    }
}

TEST_F(FileHandlerTest, CopiesAreByteIdenticalAndLeaveThePositionAtTheEnd) {
    std::string bytes(150000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
    const auto length = static_cast<std::int32_t>(bytes.size());
    for (const bool inMemory : {false, true}) {
        SCOPED_TRACE(inMemory ? "in memory" : "on disk");
        auto source = MakeHandler("src.DAT", ExclusiveWrite, inMemory);
        source->CreateFile();
        source->Write(bytes.data(), length);
        source->Seek(10, 0);
        source->CopyFile("copy.DAT");
        EXPECT_EQ(source->Seek(0, 1), length);

        auto copy = MakeHandler("copy.DAT", SharedRead, inMemory);
        copy->Open();
        std::string read(bytes.size() + 1, '\0');
        EXPECT_EQ(copy->Read(read.data(), length + 1, true), length);
        read.resize(bytes.size());
        EXPECT_EQ(read, bytes);
    }
}

TEST_F(FileHandlerTest, CopyOntoAFileHeldElsewhereKeepsIt) {
    WriteFile("src.DAT", "new bytes");
    WriteFile("target.DAT", "old bytes");
    auto source = MakeHandler("src.DAT", SharedRead);
    source->Open();
    {
        auto holder = StartHolder("target.DAT", SharedRead);
        ASSERT_TRUE(holder->Ready()) << holder->Greeting();
        EXPECT_EQ(CodeOf([&] { source->CopyFile("target.DAT"); }), engine::ErrAccessDenied);
        EXPECT_EQ(Contents("target.DAT"), "old bytes");
    }
    // The copy goes over the existing spelling, not into a second file.
    source->CopyFile("TARGET.dat");
    EXPECT_EQ(Contents("target.DAT"), "new bytes");
    EXPECT_FALSE(fs::exists("TARGET.dat"));
}

// The same input and output cases against a disk file and an in-memory file.
class FileHandlerIoTest : public FileHandlerTest, public ::testing::WithParamInterface<bool> {
protected:
    // A created handler holding the bytes, at position 0.
    std::unique_ptr<TFileHandler> Created(const std::string& bytes) {
        auto handler = MakeHandler("io.DAT", ExclusiveWrite, GetParam());
        handler->CreateFile();
        handler->Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        handler->Seek(0, 0);
        return handler;
    }
};

TEST_P(FileHandlerIoTest, WriteOfNothingCutsOrLengthensAtThePosition) {
    auto handler = Created(std::string(100, 'x'));
    EXPECT_EQ(handler->Seek(40, 0), 40);
    handler->Write(nullptr, 0);
    EXPECT_EQ(handler->GetSize(), 40);
    EXPECT_EQ(handler->Seek(70, 0), 70);
    handler->Write(nullptr, 0);
    EXPECT_EQ(handler->GetSize(), 70);
    char byte = 1;
    handler->Seek(60, 0);
    handler->Read(&byte, 1, false);
    EXPECT_EQ(byte, 0);
}

TEST_P(FileHandlerIoTest, AShortReadIsAllowedOnlyWhenAsked) {
    std::string bytes(50, '\0');
    for (int i = 0; i < 50; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<char>('0' + i % 10);
    auto handler = Created(bytes);
    char buffer[100];
    handler->Seek(40, 0);
    EXPECT_EQ(handler->Read(buffer, 100, true), 10);
    EXPECT_EQ(std::string(buffer, 10), bytes.substr(40));
    EXPECT_EQ(handler->Read(buffer, 100, true), 0);
    handler->Seek(40, 0);
    EXPECT_EQ(CodeOf([&] { handler->Read(buffer, 100, false); }), engine::ErrRead);
}

TEST_P(FileHandlerIoTest, GetSizeLeavesThePositionAtTheEnd) {
    auto handler = Created("abcde");
    handler->Seek(2, 0);
    EXPECT_EQ(handler->GetSize(), 5);
    handler->Write("f", 1);
    EXPECT_EQ(handler->GetSize(), 6);
    char buffer[6];
    handler->Seek(0, 0);
    handler->Read(buffer, 6, false);
    EXPECT_EQ(std::string(buffer, 6), "abcdef");
}

TEST_P(FileHandlerIoTest, AFailedSeekLosesThePosition) {
    auto handler = Created("abcde");
    char byte = 0;
    for (const auto& [offset, origin] :
         {std::pair{-1, 0}, std::pair{-6, 2}, std::pair{-4, 1}, std::pair{0, 3}}) {
        handler->Seek(3, 0);
        EXPECT_EQ(handler->Seek(offset, origin), -1) << offset << " from " << origin;
        EXPECT_EQ(CodeOf([&] { handler->Write("z", 1); }), engine::ErrWrite);
        EXPECT_EQ(CodeOf([&] { handler->Write(nullptr, 0); }), engine::ErrWrite);
        EXPECT_EQ(CodeOf([&] { handler->Read(&byte, 1, true); }), engine::ErrRead);
        EXPECT_EQ(handler->Seek(1, 1), -1);
    }
    EXPECT_EQ(handler->Seek(-5, 2), 0);
    handler->Write("z", 1);
    EXPECT_EQ(handler->Read(&byte, 1, false), 1);
    EXPECT_EQ(byte, 'b');
    EXPECT_EQ(handler->GetSize(), 5);
}

TEST_P(FileHandlerIoTest, WritesStopAtTheLargestOffset) {
    auto handler = Created("abc");
    handler->Seek(engine::MaxFileSize - 2, 0);
    EXPECT_EQ(CodeOf([&] { handler->Write("wxyz", 4); }), engine::ErrWrite);
    handler->Seek(engine::MaxFileSize + 1, 0);
    EXPECT_EQ(CodeOf([&] { handler->Write(nullptr, 0); }), engine::ErrWrite);
    EXPECT_EQ(handler->GetSize(), 3);
}

TEST_P(FileHandlerIoTest, AReadOnlyHandlerRefusesWritesButACreatedOneWrites) {
    auto creator = MakeHandler("io.DAT", ExclusiveRead, GetParam());
    creator->CreateFile();
    creator->Write("abc", 3);
    creator->Close();
    auto reader = MakeHandler("io.DAT", SharedRead, GetParam());
    reader->Open();
    EXPECT_EQ(CodeOf([&] { reader->Write("x", 1); }), engine::ErrWrite);
    EXPECT_EQ(CodeOf([&] { reader->Write(nullptr, 0); }), engine::ErrWrite);
    EXPECT_EQ(reader->GetSize(), 3);
}

INSTANTIATE_TEST_SUITE_P(DiskAndMemory, FileHandlerIoTest, ::testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "InMemory" : "OnDisk";
                         });

TEST_F(FileHandlerTest, SystemFailuresRaiseWithTheirErrorNumber) {
    WriteFile("f.DAT", "0123456789");
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    auto handler = MakeHandler("f.DAT", SharedWrite);
    handler->Open();
    // A pipe in place of the file's descriptor refuses positioned reads and writes, sizing and syncing.
    ASSERT_EQ(dup2(pipeEnds[0], handler->Handle()), handler->Handle());
    char byte = 0;
    const struct {
        const char* what;
        std::function<void()> action;
        int code;
        int error;
    } cases[] = {
        {"read", [&] { handler->Read(&byte, 1, true); }, engine::ErrRead, ESPIPE},
        {"write", [&] { handler->Write("x", 1); }, engine::ErrWrite, ESPIPE},
        {"cut", [&] { handler->Write(nullptr, 0); }, engine::ErrWrite, EINVAL},
        {"flush", [&] { handler->Flush(); }, engine::ErrWrite, EINVAL},
    };
    for (const auto& c : cases) {
        engine::SetOsErrorContext(0);
        EXPECT_EQ(CodeOf(c.action), c.code) << c.what;
        EXPECT_EQ(StoredOsError(), c.error) << c.what;
    }
    handler->Close();
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_EQ(Contents("f.DAT"), "0123456789");
}

TEST_F(FileHandlerTest, InMemoryFilesFollowTheSessionList) {
    auto handler = MakeHandler("m.DAT", ExclusiveWrite, true);
    EXPECT_EQ(CodeOf([&] { handler->Open(); }), engine::ErrInvalidPath);
    EXPECT_FALSE(handler->FileExists());
    handler->CreateFile();
    EXPECT_NE(handler->MemoryFile(), nullptr);
    EXPECT_GT(handler->Handle(), 0);
    handler->Write("memory", 6);
    handler->Close();
    EXPECT_EQ(handler->MemoryFile(), nullptr);
    EXPECT_EQ(handler->Handle(), 0);
    EXPECT_TRUE(handler->FileExists());
    EXPECT_FALSE(fs::exists("m.DAT"));

    auto other = MakeHandler("M.dat", SharedRead, true);
    other->Open();
    EXPECT_EQ(CodeOf([&] { handler->Open(); }), engine::ErrAccessDenied);
    EXPECT_EQ(CodeOf([&] { handler->DeleteFile(); }), engine::ErrDelete);
    EXPECT_EQ(CodeOf([&] { handler->RenameFile("n.DAT"); }), engine::ErrOsError);
    EXPECT_TRUE(other->LockRange(10, 5, true));
    EXPECT_FALSE(other->LockRange(14, 1, true));
    other->Close();
    handler->RenameFile("n.DAT");
    EXPECT_EQ(handler->FileName(), "n.DAT");
    handler->DeleteFile();
    EXPECT_FALSE(handler->FileExists());
}

// Trace lines, one per operation, as they reach the log.
class FileHandlerTraceTest : public FileHandlerTest {
protected:
    static std::string Log() { return Contents(std::string(engine::texts::TraceLogName)); }
};

TEST_F(FileHandlerTraceTest, OperationsWriteTheirLines) {
    WriteFile("tarnisio.log", "earlier\r\n");
    {
        auto handler = MakeHandler("t.DAT", ExclusiveWrite);
        handler->SetTrace(true);
        handler->CreateFile();
        handler->Write("hello", 5);
        handler->Seek(1, 0);
        char buffer[3];
        handler->Read(buffer, 3, false);
        handler->GetSize();
        handler->LockRange(5, 1, true);
        handler->Flush();
        handler->Close();
        handler->FileExists();
        handler->SetExclusive(false);
        handler->Open();
        handler->LockRange(100, 2, true);
        handler->LockRange(100, 2, false);
        handler->CopyFile("u.DAT");
    }
    EXPECT_EQ(Log(),
              "earlier\r\n"
              "Creation of file t.DAT\r\n"
              "Write to file t.DAT of 5\r\n"
              "Seek in file t.DAT from 0 to position 1\r\n"
              "Read from file t.DAT of 3\r\n"
              "Get size of file t.DAT\r\n"
              "Flush to disk for file t.DAT\r\n"
              "Close of file t.DAT\r\n"
              "File exists test for file t.DAT\r\n"
              "Open of file t.DAT\r\n"
              "Lock in file t.DAT from position 100 for 2\r\n"
              "Unlock in file t.DAT from position 100 for 2\r\n"
              "Copy of file t.DAT to u.DAT\r\n"
              "Close of file t.DAT\r\n");

    auto handler = MakeHandler("t.DAT", SharedRead);
    handler->SetTrace(true);
    handler->RenameFile("v.DAT");
    handler->DeleteFile();
    const std::string log = Log();
    EXPECT_NE(log.find("Rename of file t.DAT to v.DAT\r\nDeletion of file v.DAT\r\n"), std::string::npos);
}

TEST_F(FileHandlerTraceTest, LongLinesAreCutButKeepTheirLineEnd) {
    const std::string name(240, 'n');
    WriteFile(name, "");
    auto handler = MakeHandler(name, SharedRead);
    handler->SetTrace(true);
    handler->Open();
    handler->Close();
    const std::string open = "Open of file " + name;
    const std::string close = "Close of file " + name;
    EXPECT_EQ(Log(), open.substr(0, 253) + "\r\n" + close.substr(0, 253) + "\r\n");
}

TEST_F(FileHandlerTraceTest, ALogThatCannotBeWrittenChangesNothing) {
    fs::create_directory("tarnisio.log");
    WriteFile("t.DAT", "abc");
    auto handler = MakeHandler("t.DAT", SharedWrite);
    handler->SetTrace(true);
    handler->Open();
    EXPECT_EQ(handler->GetSize(), 3);
    EXPECT_TRUE(handler->LockRange(1, 1, true));
    EXPECT_TRUE(handler->FileExists());
    engine::SetOsErrorContext(77);
    auto missing = MakeHandler("missing.DAT", SharedRead);
    missing->SetTrace(true);
    EXPECT_EQ(CodeOf([&] { missing->Open(); }), engine::ErrInvalidPath);
    EXPECT_FALSE(missing->FileExists());
    EXPECT_EQ(engine::CurrentErrorContext().Code, engine::ErrInvalidPath);
    EXPECT_EQ(engine::CurrentErrorContext().FileName, "missing.DAT");
    EXPECT_EQ(StoredOsError(), 77);
}

}  // namespace
