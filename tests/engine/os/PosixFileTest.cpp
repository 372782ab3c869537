#include "engine/os/PosixFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "tests/engine/support/TempDirectory.h"

namespace {

namespace fs = std::filesystem;

// The buffer a copy moves through, as the file handler gives it.
std::span<std::uint8_t> CopyBuffer() {
    static std::vector<std::uint8_t> chunk(engine::CopyChunkSize);
    return chunk;
}

// A descriptor closed with the test.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(PosixFile, CopiesTheWholeFileFromItsStart) {
    enginetest::TempDirectory directory;
    std::string bytes(200000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13);
    Write("source.DAT", bytes);
    Write("target.DAT", std::string(300000, 'x'));  // longer: must end up exactly as long as the source
    Fd source(open("source.DAT", O_RDONLY | O_CLOEXEC));
    lseek(source.Get(), 5000, SEEK_SET);
    EXPECT_EQ(engine::CopyFileByHandle(source.Get(), "target.DAT", CopyBuffer()), 0);
    EXPECT_EQ(Contents("target.DAT"), bytes);
}

TEST(PosixFile, CopyFromADirectoryFailsAndLeavesNoFile) {
    enginetest::TempDirectory directory;
    fs::create_directory("sub");
    Fd source(open("sub", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    EXPECT_EQ(engine::CopyFileByHandle(source.Get(), "copy.DAT", CopyBuffer()), -EISDIR);
    EXPECT_FALSE(fs::exists("copy.DAT"));
}

TEST(PosixFile, CopyNeverEmptiesAFileSomebodyHoldsExclusively) {
    enginetest::TempDirectory directory;
    Write("source.DAT", "new");
    Write("busy.DAT", "old contents");
    Fd holder(open("busy.DAT", O_RDWR | O_CLOEXEC));
    ASSERT_EQ(engine::LockShareByte(holder.Get(), true), 0);
    Fd source(open("source.DAT", O_RDONLY | O_CLOEXEC));
    EXPECT_LT(engine::CopyFileByHandle(source.Get(), "busy.DAT", CopyBuffer()), 0);
    EXPECT_EQ(Contents("busy.DAT"), "old contents");
}

TEST(PosixFile, CopyIntoAMissingDirectoryFails) {
    enginetest::TempDirectory directory;
    Write("source.DAT", "abc");
    Fd source(open("source.DAT", O_RDONLY | O_CLOEXEC));
    EXPECT_EQ(engine::CopyFileByHandle(source.Get(), "missing\\copy.DAT", CopyBuffer()), -ENOENT);
}

TEST(PosixFile, ShareByteLocksExcludeEachOther) {
    enginetest::TempDirectory directory;
    Write("t.DAT", "");
    Fd a(open("t.DAT", O_RDWR | O_CLOEXEC));
    Fd b(open("t.DAT", O_RDWR | O_CLOEXEC));
    EXPECT_EQ(engine::LockShareByte(a.Get(), false), 0);
    EXPECT_EQ(engine::LockShareByte(b.Get(), false), 0);
    EXPECT_LT(engine::LockShareByte(b.Get(), true), 0);
}

TEST(PosixFile, ReserveCreatesOnlyNewFiles) {
    enginetest::TempDirectory directory;
    EXPECT_EQ(engine::ReserveNewFile("new.DAT"), 0);
    EXPECT_TRUE(fs::exists("new.DAT"));
    EXPECT_EQ(engine::ReserveNewFile("new.DAT"), -EEXIST);
}

TEST(PosixFile, AHeldFileIsKnownByItsIdentityNotItsName) {
    enginetest::TempDirectory directory;
    ASSERT_EQ(engine::ReserveNewFile("r.DAT"), 0);
    const engine::HeldFile held("r.DAT");
    EXPECT_TRUE(held.IsAt("r.DAT"));
    EXPECT_TRUE(held.IsAt("R.dat"));
    EXPECT_FALSE(held.IsAt("other.DAT"));
    // Deleted and made again under the same name, empty as before: another file.
    ASSERT_EQ(engine::DeleteDiskFile("r.DAT"), 0);
    EXPECT_FALSE(held.IsAt("r.DAT"));
    ASSERT_EQ(engine::ReserveNewFile("r.DAT"), 0);
    EXPECT_FALSE(held.IsAt("r.DAT"));
    EXPECT_FALSE(engine::HeldFile("missing.DAT").IsAt("missing.DAT"));
}

// Threads reserving one name in turn, each deleting its file as a failed create does and then cleaning up
// through its hold: no clean-up ever takes the file another thread has just reserved. KEYVALE_STRESS_SCALE
// multiplies the rounds.
TEST(PosixFile, ACleanUpByIdentityLeavesAnotherThreadsReservation) {
    enginetest::TempDirectory directory;
    const char* scaleText = std::getenv("KEYVALE_STRESS_SCALE");
    const int scale = scaleText != nullptr && std::atoi(scaleText) > 0 ? std::atoi(scaleText) : 1;
    const int rounds = 300 * scale;
    std::atomic<int> lost{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < rounds;) {
                if (engine::ReserveNewFile("n.DAT") != 0) {
                    std::this_thread::yield();
                    continue;
                }
                ++round;
                const engine::HeldFile held("n.DAT");
                // The reservation is this thread's until it deletes it: nobody else may have taken it.
                if (!held.IsAt("n.DAT")) ++lost;
                std::this_thread::yield();
                if (!held.IsAt("n.DAT")) ++lost;
                engine::DeleteDiskFile("n.DAT");
                std::this_thread::yield();
                if (held.IsAt("n.DAT")) engine::DeleteDiskFile("n.DAT");
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(lost.load(), 0);
}

TEST(PosixFile, NamesForTheOperatingSystem) {
    EXPECT_EQ(engine::ToOsPath("dir\\caf\xE9.DAT"), "dir/caf\u00E9.DAT");
    enginetest::TempDirectory directory;
    EXPECT_EQ(engine::CurrentDirectory(), fs::current_path().string());
}

TEST(PosixFile, DelaySleepsMoreThanTheGivenTime) {
    for (const int ms : {0, 15}) {
        const auto start = std::chrono::steady_clock::now();
        engine::Delay(ms);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(ms + 1));
    }
}

TEST(PosixFile, ResolvesTheLastPartWithoutLetterCase) {
    enginetest::TempDirectory directory;
    fs::create_directory("sub");
    Write("sub/config.DAT", "");
    Write("A.DAT", "");
    Write("a.DAT", "");
    Write("caf\u00E9.DAT", "");
    const struct {
        const char* name;
        const char* path;
    } cases[] = {
        {"sub\\Config.Dat", "sub/config.DAT"},  // the directory as spelled, the file as found
        {"A.DAT", "A.DAT"},                     // an exact spelling wins
        {"a.dat", "A.DAT"},                     // else the first match in byte order
        {"CAF\xC9.dat", "caf\u00E9.DAT"},       // accented letters match their other case
        {"new.Dat", "new.Dat"},                 // nothing found: as spelled
        {"SUB/config.DAT", "SUB/config.DAT"},   // only the last part is looked for
    };
    for (const auto& c : cases) EXPECT_EQ(engine::ResolvePath(c.name), c.path) << c.name;
}

TEST(PosixFile, OpeningAFifoNeitherBlocksNorSucceeds) {
    enginetest::TempDirectory directory;
    ASSERT_EQ(mkfifo("pipe.DAT", 0666), 0);
    for (const auto access : {engine::FileAccess::Read, engine::FileAccess::ReadWrite}) {
        EXPECT_EQ(engine::OpenFileHandle("pipe.DAT", {access, false, false, false}), -EPERM);
    }
    EXPECT_EQ(engine::CreateFileHandle("pipe.DAT", false), -EPERM);
}

}  // namespace

TEST(PosixFile, AnArmedFaultFailsOnlyTheNthCallOfItsKindOnItsFile) {
    enginetest::TempDirectory directory;
    Write("t.DAT", "abcdef");
    Write("other.DAT", "xyz");
    const Fd first(engine::OpenFileHandle("t.DAT", {engine::FileAccess::ReadWrite, false, false, false}));
    const Fd second(engine::OpenFileHandle("t.dat", {engine::FileAccess::Read, false, false, false}));
    const Fd other(engine::OpenFileHandle("other.DAT", {engine::FileAccess::ReadWrite, false, false, false}));
    ASSERT_GE(first.Get(), 0);
    ASSERT_GE(second.Get(), 0);
    ASSERT_GE(other.Get(), 0);
    char buffer[8] = {};
    ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Read, "T.dat", 3, EIO));
    // Another file and writes do not count; every descriptor of the file does.
    EXPECT_EQ(engine::ReadAt(other.Get(), buffer, 3, 0), 3);
    EXPECT_EQ(engine::WriteAt(first.Get(), "A", 1, 0), 0);
    EXPECT_EQ(engine::ReadAt(first.Get(), buffer, 2, 0), 2);
    EXPECT_EQ(engine::ReadAt(second.Get(), buffer, 2, 0), 2);
    EXPECT_FALSE(engine::IoFaultFired());
    EXPECT_EQ(engine::ReadAt(second.Get(), buffer, 2, 0), -EIO);
    EXPECT_TRUE(engine::IoFaultFired());
    EXPECT_EQ(engine::ReadAt(first.Get(), buffer, 6, 0), 6);
    EXPECT_EQ(std::string(buffer, 6), "Abcdef");
    EXPECT_EQ(engine::IoFaultCallsSeen(), 4);

    // A write fault leaves the file as it was.
    ASSERT_TRUE(engine::ArmIoFault(engine::IoCall::Write, "t.DAT", 1, ENOSPC));
    EXPECT_EQ(engine::WriteAt(first.Get(), "zz", 2, 0), -ENOSPC);
    EXPECT_EQ(engine::WriteAt(first.Get(), "B", 1, 0), 0);
    EXPECT_EQ(Contents("t.DAT"), "Bbcdef");

    engine::DisarmIoFault();
    EXPECT_FALSE(engine::IoFaultFired());
    EXPECT_FALSE(engine::ArmIoFault(engine::IoCall::Read, "missing.DAT", 1, EIO));
    EXPECT_EQ(engine::ReadAt(first.Get(), buffer, 1, 0), 1);
}
