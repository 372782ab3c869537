// A large-object file for tests without a record file: a table double that answers the file's questions and
// records its repair messages, a file that records its reads and writes, and crafted ".BLB" images.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/blob/BlobBuffer.h"
#include "engine/blob/BlobFile.h"
#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/RecordingFile.h"

namespace enginetest {

// Answers as the table handle would; BeginRead compares the file's change counter as the read protocol does
// for a shared table, dropping the blocks when it moved.
class FakeBlobTable : public engine::BlobFileOwner {
public:
    explicit FakeBlobTable(std::uint32_t blockSize = 512) : blockSize(blockSize) {}

    const std::string& TableFileName() const override { return name; }
    bool TableExclusive() const override { return exclusive; }
    bool StrictChangeDetection() const override { return strict; }
    bool TransactionLockHeld() const override { return transaction; }
    bool TableProtected() const override { return isProtected; }
    bool BeginRead() override {
        ++beginReads;
        if (exclusive || file == nullptr || !file->HeaderChanged()) return false;
        file->InvalidateBlocks();
        ++changesReported;
        return true;
    }
    std::uint32_t BlobBlockSize() const override { return blockSize; }
    bool RepairMode() const override { return repair; }
    void LogRepair(std::string_view message) override { log.emplace_back(message); }

    std::string name = "t.DAT";
    std::uint32_t blockSize;
    bool exclusive = true;
    bool strict = false;
    bool transaction = false;
    bool isProtected = false;
    bool repair = false;
    engine::TBlobFile* file = nullptr;
    int beginReads = 0;
    int changesReported = 0;
    std::vector<std::string> log;
};

// A large-object file that records its reads and writes.
using RecordingBlobFile = RecordingFile<engine::TBlobFile>;

// A table double with its large-object file "t.BLB", created or opened.
struct BlobTable {
    explicit BlobTable(std::uint32_t blockSize = 512, bool exclusive = true) : table(blockSize) {
        table.exclusive = exclusive;
        table.file = &file;
        file.SetFileName(table.name);
        file.SetExclusive(exclusive);
    }
    void Create() { file.CreateFile(); }
    void Open() { file.Open(); }

    FakeBlobTable table;
    RecordingBlobFile file{table};
};

// A value of the record in the slot, opened for reading and writing, with the given bytes.
inline engine::TBlobBuffer Value(engine::TBlobFile& file, std::uint32_t slot, std::uint32_t first = 0,
                                 std::uint8_t mode = engine::BlobOpenReadWrite) {
    return engine::TBlobBuffer(file, engine::SlotNumber(slot), 1, engine::BlockOffset(first), mode);
}

inline void Fill(engine::TBlobBuffer& value, const std::string& bytes) {
    value.SetSize(static_cast<std::int32_t>(bytes.size()));
    std::copy(bytes.begin(), bytes.end(), value.GetData());
}

inline std::string Text(const engine::TBlobBuffer& value) {
    return std::string(value.Bytes().begin(), value.Bytes().end());
}

// n bytes that differ from one position to the next, so that a misplaced block shows.
inline std::string Pattern(std::size_t n, int seed = 0) {
    std::string bytes(n, '\0');
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251 + seed) & 0xFF);
    return bytes;
}

// The fields of a block as the file stores them.
struct CraftedBlock {
    std::uint32_t previous = 0;
    std::uint32_t next = 0;
    std::uint32_t used = 0;
    std::uint32_t owner = 0;
    std::uint32_t total = 0;
    std::string payload;
};

// Header and block images of an unprotected ".BLB", independent of the engine's codecs.
inline std::string BlobHeaderImage(std::uint32_t counter, std::uint32_t freeHead, std::uint32_t endOfFile) {
    std::string header(512, '\0');
    PutLE(header, 0, 4, counter);
    header[8] = 3;
    PutLE(header, 9, 4, freeHead);
    PutLE(header, 13, 4, endOfFile);
    return header;
}

inline void PutBlock(std::string& file, std::uint32_t offset, std::uint32_t blockSize,
                     const CraftedBlock& block) {
    if (file.size() < offset + blockSize) file.resize(offset + blockSize, '\0');
    PutLE(file, offset, 4, block.previous);
    PutLE(file, offset + 4, 4, block.next);
    PutLE(file, offset + 8, 2, block.used);
    PutLE(file, offset + 10, 4, block.owner);
    PutLE(file, offset + 14, 4, block.total);
    file.replace(offset + 18, block.payload.size(), block.payload);
}

inline CraftedBlock GetBlock(const std::string& file, std::uint32_t offset, std::uint32_t blockSize) {
    CraftedBlock block;
    block.previous = GetLE(file, offset, 4);
    block.next = GetLE(file, offset + 4, 4);
    block.used = GetLE(file, offset + 8, 2);
    block.owner = GetLE(file, offset + 10, 4);
    block.total = GetLE(file, offset + 14, 4);
    block.payload = file.substr(offset + 18, blockSize - 18);
    return block;
}

}  // namespace enginetest
