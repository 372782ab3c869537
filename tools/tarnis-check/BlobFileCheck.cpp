#include "tools/tarnis-check/BlobFileCheck.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/Scramble.h"
#include "engine/blob/BlobFileHeader.h"
#include "engine/records/DataFileHeader.h"
#include "engine/values/FieldTypes.h"
#include "rtl/Format.h"
#include "tools/tarnis-check/CheckTexts.h"
#include "tools/tarnis-check/CheckedFile.h"

namespace tarnischeck {

namespace {

using namespace engine;

// Blocks are read this many bytes at a time (at least one block), so that a large file needs little memory
// beyond the block headers.
constexpr std::size_t BlockChunkBytes = 65536;
// Findings about values are listed up to this many, then counted.
constexpr int MaxValueFindings = 50;
// Who holds a block: nobody, the free list, or the value of that number (from 1).
constexpr std::uint32_t Unclaimed = 0;
constexpr std::uint32_t OnFreeList = 0xFFFFFFFF;

using tarnischeck::Num;

std::string Num(BlockOffset offset) {
    return Num(offset.Value);
}

class BlobFileChecker : private CheckedFile {
public:
    explicit BlobFileChecker(TableCheck& check) : CheckedFile(check, check.Files().BlobFile) {}

    void Run() {
        const RecordFileFacts& facts = check_.Record();
        if (!facts.DescriptorsRead) return;
        const bool hasBlobFields =
            std::any_of(facts.Fields.begin(), facts.Fields.end(),
                        [](const TFieldDesc& f) { return f.FieldType == FieldTypeBlob; });
        if (!hasBlobFields) return;
        blockSize_ = EffectiveBlobBlockSize(facts.Header);
        // The record file's check reports a block size outside this range; no block can be placed then.
        if (blockSize_ < MinBlobBlockSize || blockSize_ > MaxBlobBlockSize) return;
        payload_ = BlockPayloadSize(blockSize_);
        scrambled_ = facts.Header.Protected != 0;
        if (!OpenFile() || !CheckHeader()) return;
        ReadBlockHeaders();
        WalkFreeList();
        for (const BlobReference& value : facts.BlobValues) CheckValue(value);
        ReportOrphans();
        if (valueFindings_ > MaxValueFindings) {
            Error(texts::ValuesPlace,
                  rtl::Format(texts::MoreValueFindings, {Num(valueFindings_ - MaxValueFindings)}));
        }
    }

private:
    bool OpenFile() {
        if (!Exists()) {
            Error(texts::FilePlace, std::string(texts::BlobFileMissing));
            return false;
        }
        std::string failure;
        if (OpenShared(failure)) return true;
        Error(texts::FilePlace, std::move(failure));
        return false;
    }

    bool CheckHeader() {
        std::array<std::uint8_t, BlobFileHeaderSize> bytes{};
        if (fileSize_ < static_cast<std::int64_t>(bytes.size()) ||
            ReadAt(0, bytes.data(), bytes.size()) < bytes.size()) {
            Error(texts::HeaderPlace,
                  rtl::Format(texts::BlobShortHeader, {Num(std::max<std::int64_t>(fileSize_, 0))}));
            return false;
        }
        if (scrambled_) UnscrambleBuffer(bytes.data(), bytes.size(), DataSeed);
        header_ = DecodeBlobFileHeader(bytes);
        if (header_.Version != BlobFileVersion) {
            Error(texts::HeaderPlace, rtl::Format(texts::WrongVersion, {Num(header_.Version)}));
            return false;
        }
        if (std::any_of(bytes.begin() + BlobHeaderZeroOffset, bytes.end(),
                        [](std::uint8_t b) { return b != 0; })) {
            Warning(texts::HeaderPlace, std::string(texts::BlobUnusedHeaderBytes));
        }
        if (!IsBlockGridEnd(header_.EndOfFile, blockSize_)) {
            // Every link is judged against the end of file: nothing further can be.
            Error(texts::HeaderPlace,
                  rtl::Format(texts::EndOfFileOffGrid, {Num(header_.EndOfFile), Num(blockSize_)}));
            return false;
        }
        // Blocks reach the file before the header that counts them: a shorter file is damaged, and the block
        // table below is sized from the end of file only once the file holds it.
        if (fileSize_ < header_.EndOfFile.Value) {
            const auto size = static_cast<std::uint64_t>(std::max<std::int64_t>(fileSize_, 0));
            Error(texts::HeaderPlace, rtl::Format(texts::FileShorterThanEnd, {Num(size), Num(header_.EndOfFile)}));
            return false;
        }
        // An engine that stopped between writing blocks and writing the header leaves the file longer.
        if (fileSize_ != header_.EndOfFile.Value) {
            Warning(texts::FilePlace,
                    rtl::Format(texts::SizeNotEndOfFile, {Num(fileSize_), Num(header_.EndOfFile)}));
        }
        return true;
    }

    // Every block's header; blocks past the file's end read as zero, as the engine would find them.
    void ReadBlockHeaders() {
        const std::size_t count = (header_.EndOfFile.Value - FirstBlockOffset) / blockSize_;
        headers_.resize(count);
        claims_.assign(count, Unclaimed);
        const std::size_t chunkBlocks = std::max<std::size_t>(1, BlockChunkBytes / blockSize_);
        std::vector<std::uint8_t> chunk(chunkBlocks * blockSize_);
        for (std::size_t first = 0; first < count; first += chunkBlocks) {
            const std::size_t blocks = std::min(chunkBlocks, count - first);
            std::fill(chunk.begin(), chunk.end(), 0);
            ReadAt(FirstBlockOffset + static_cast<std::int64_t>(first) * blockSize_, chunk.data(),
                   blocks * blockSize_);
            for (std::size_t i = 0; i < blocks; ++i) {
                std::uint8_t* header = chunk.data() + i * blockSize_;
                // A block's header is scrambled as a buffer of its own.
                if (scrambled_) UnscrambleBuffer(header, BlockHeaderSize, DataSeed);
                headers_[first + i] = DecodeBlockHeader(
                    std::span<const std::uint8_t, BlockHeaderSize>(header, BlockHeaderSize));
            }
        }
    }

    bool IsBlock(BlockOffset offset) const { return IsBlockOffset(offset, header_.EndOfFile, blockSize_); }
    std::size_t IndexOf(BlockOffset offset) const { return (offset.Value - FirstBlockOffset) / blockSize_; }

    void WalkFreeList() {
        BlockOffset previous;
        for (BlockOffset at = header_.FreeHead; at != BlockOffset{};
             previous = at, at = headers_[IndexOf(at)].Next) {
            if (!IsBlock(at)) {
                Error(texts::FreeListPlace, previous == BlockOffset{}
                                                ? rtl::Format(texts::FreeHeadInvalid, {Num(at)})
                                                : rtl::Format(texts::LinkInvalid, {Num(previous), Num(at)}));
                return;
            }
            std::uint32_t& claim = claims_[IndexOf(at)];
            if (claim == OnFreeList) {
                Error(texts::FreeListPlace, rtl::Format(texts::FreeListCircular, {Num(at)}));
                return;
            }
            claim = OnFreeList;
        }
    }

    void ValueFinding(const BlobReference& value, std::string text) {
        if (++valueFindings_ > MaxValueFindings) return;
        Error(rtl::Format(texts::ValuePlace, {Num(value.Slot), Num(value.Field)}), std::move(text));
    }

    // The chain of one value: owned by its slot throughout, linked both ways, as many blocks as its length
    // takes, all full but the last, the length in the first only, and no block that anything else holds.
    void CheckValue(const BlobReference& value) {
        if (value.Value < 0) {
            ValueFinding(
                value,
                rtl::Format(texts::OpenHandle,
                            {Num(static_cast<std::uint64_t>(-static_cast<std::int64_t>(value.Value)))}));
            return;
        }
        values_.push_back(value);
        const std::uint32_t number = static_cast<std::uint32_t>(values_.size());
        const BlockOffset first(static_cast<std::uint32_t>(value.Value));
        if (!IsBlock(first)) {
            ValueFinding(value, rtl::Format(texts::FirstBlockInvalid, {Num(first)}));
            return;
        }
        const TBlockHeader& head = headers_[IndexOf(first)];
        const std::uint32_t total = head.TotalLength;
        if (head.Previous != BlockOffset{}) {
            ValueFinding(value, rtl::Format(texts::FirstHasPrevious, {Num(first), Num(head.Previous)}));
        }
        if (total == 0) ValueFinding(value, rtl::Format(texts::LengthZero, {Num(first)}));
        const std::uint64_t expected =
            std::max<std::uint64_t>(1, (static_cast<std::uint64_t>(total) + payload_ - 1) / payload_);
        BlockOffset previous;
        BlockOffset at = first;
        for (std::uint64_t passed = 1;; ++passed) {
            std::uint32_t& claim = claims_[IndexOf(at)];
            if (claim == OnFreeList) {
                ValueFinding(value, rtl::Format(texts::BlockOnFreeList, {Num(at)}));
                return;
            }
            if (claim == number) {
                ValueFinding(value, rtl::Format(texts::BlockTwiceInChain, {Num(at)}));
                return;
            }
            if (claim != Unclaimed) {
                const BlobReference& other = values_[claim - 1];
                ValueFinding(value, rtl::Format(texts::BlockInTwoChains,
                                                {Num(at), Num(other.Slot), Num(other.Field)}));
                return;
            }
            claim = number;
            const TBlockHeader& block = headers_[IndexOf(at)];
            if (block.Owner.Value != value.Slot) {
                ValueFinding(value, rtl::Format(texts::BlockOwner, {Num(at), Num(block.Owner.Value)}));
            }
            if (previous != BlockOffset{} && block.Previous != previous) {
                ValueFinding(
                    value, rtl::Format(texts::PreviousWrong, {Num(at), Num(block.Previous), Num(previous)}));
            }
            if (previous != BlockOffset{} && block.TotalLength != 0) {
                ValueFinding(value, rtl::Format(texts::TotalNotFirst, {Num(at), Num(block.TotalLength)}));
            }
            if (block.BytesUsed > payload_) {
                ValueFinding(
                    value, rtl::Format(texts::UsedTooLarge, {Num(at), Num(block.BytesUsed), Num(payload_)}));
            }
            if (passed < expected) {
                if (block.BytesUsed != payload_) {
                    ValueFinding(value, rtl::Format(texts::BlockNotFull,
                                                    {Num(at), Num(block.BytesUsed), Num(payload_)}));
                }
                if (block.Next == BlockOffset{}) {
                    ValueFinding(value,
                                 rtl::Format(texts::ChainShort, {Num(passed), Num(total), Num(expected)}));
                    return;
                }
            } else {
                const std::uint64_t last = total - (expected - 1) * payload_;
                if (total != 0 && block.BytesUsed != last) {
                    ValueFinding(value, rtl::Format(texts::LastBlockUsed,
                                                    {Num(at), Num(block.BytesUsed), Num(total), Num(last)}));
                }
                if (block.Next != BlockOffset{}) {
                    ValueFinding(value, rtl::Format(texts::ChainLong, {Num(expected), Num(total)}));
                }
                return;
            }
            if (!IsBlock(block.Next)) {
                ValueFinding(value, rtl::Format(texts::LinkInvalid, {Num(at), Num(block.Next)}));
                return;
            }
            previous = at;
            at = block.Next;
        }
    }

    // Blocks nobody holds are lost room, not damage: an engine that stopped part-way leaves them.
    void ReportOrphans() {
        std::size_t count = 0;
        std::size_t firstIndex = 0;
        for (std::size_t i = 0; i < claims_.size(); ++i) {
            if (claims_[i] != Unclaimed) continue;
            if (count++ == 0) firstIndex = i;
        }
        if (count == 0) return;
        const std::uint64_t first = FirstBlockOffset + static_cast<std::uint64_t>(firstIndex) * blockSize_;
        Warning(texts::BlocksPlace, rtl::Format(texts::OrphanBlocks, {Num(count), Num(first)}));
    }

    std::uint32_t blockSize_ = 0;
    std::uint32_t payload_ = 0;
    bool scrambled_ = false;
    TBlobFileHeader header_;
    std::vector<TBlockHeader> headers_;
    // Per block: Unclaimed, OnFreeList, or the number of the value whose chain holds it.
    std::vector<std::uint32_t> claims_;
    // The values with chains, numbered from 1 in the order they were checked.
    std::vector<BlobReference> values_;
    int valueFindings_ = 0;
};

}  // namespace

void CheckBlobFile(TableCheck& check) {
    try {
        BlobFileChecker(check).Run();
    } catch (const ETARNISEngineError& error) {
        // A read that fails part-way ends the check of this file.
        check.Error(check.Files().BlobFile, texts::FilePlace, error.Message());
    }
}

}  // namespace tarnischeck
