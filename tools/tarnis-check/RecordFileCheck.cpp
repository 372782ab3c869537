#include "tools/tarnis-check/RecordFileCheck.h"

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/FileBytes.h"
#include "engine/base/Scramble.h"
#include "engine/file/FileHandler.h"
#include "engine/records/FreeSlotChain.h"
#include "engine/records/RecordHeader.h"
#include "engine/values/Collation.h"
#include "engine/values/FieldConversion.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/KeyEncoding.h"
#include "engine/values/LocaleSettings.h"
#include "rtl/Format.h"
#include "rtl/Text.h"
#include "tools/tarnis-check/CheckTexts.h"
#include "tools/tarnis-check/CheckedFile.h"
#include "tools/tarnis-check/IndexFileCheck.h"

namespace tarnischeck {

namespace {

using namespace engine;

// Slots are read this many bytes at a time (at least one slot), so that a large table needs little memory.
constexpr std::size_t SlotChunkBytes = 65536;
// A finding that many slots share is listed for this many of them, then counted.
constexpr int MaxFindingsPerKind = 20;
// A large-object field's value: a 32-bit block offset, or a negated handle.
constexpr std::size_t BlobValueBytes = 4;
// Header bytes that are always zero.
constexpr std::size_t HeaderUnusedEnd = DataFileHeaderSize;

// Findings about single slots, of which a damaged file may have thousands.
enum class SlotIssue : std::uint8_t {
    BadStatus,
    BadRecordId,
    DuplicateRecordId,
    OwnNumberWrong,
    IdAboveLast,
    ChainNotDeleted,
    ChainLoop,
    LinkOutOfRange,
    OffChain,
    LinkWithoutPrimary
};

// How a table with an index file treats its deleted slots.
enum class ChainMode : std::uint8_t { Unknown, PrimaryIndex, NoPrimaryIndex };

class RecordFileChecker : private CheckedFile {
public:
    explicit RecordFileChecker(TableCheck& check) : CheckedFile(check, check.Files().DataFile) {}

    void Run() {
        if (!OpenFile()) return;
        if (!CheckHeader()) return;
        if (!CheckDescriptors()) return;
        if (!CheckSlotArea()) return;
        ScanSlots();
        CheckChain();
        ReportSlotCounts();
    }

private:
    bool OpenFile() {
        std::string failure;
        if (OpenShared(failure)) return true;
        check_.SetUnreadable(std::move(failure));
        return false;
    }

    void SlotFinding(SlotIssue issue, Severity level, std::uint32_t slot, std::string text) {
        SlotCount& count = slotCounts_[issue];
        count.level = level;
        if (++count.total > MaxFindingsPerKind) return;
        count.lastListed = slot;
        const std::string place = rtl::Format(texts::SlotPlace, {Num(slot)});
        if (level == Severity::Error) {
            Error(place, std::move(text));
        } else {
            Warning(place, std::move(text));
        }
    }

    void ReportSlotCounts() {
        for (const auto& [issue, count] : slotCounts_) {
            if (count.total <= MaxFindingsPerKind) continue;
            std::string text = rtl::Format(texts::MoreSlotsLikeThis,
                                           {Num(count.total - MaxFindingsPerKind), Num(count.lastListed)});
            if (count.level == Severity::Error) {
                Error(texts::SlotsPlace, std::move(text));
            } else {
                Warning(texts::SlotsPlace, std::move(text));
            }
        }
    }

    // ---- Header ----

    bool CheckHeader() {
        std::array<std::uint8_t, DataFileHeaderSize> bytes{};
        if (fileSize_ < static_cast<std::int64_t>(DataFileHeaderSize) ||
            ReadAt(0, bytes.data(), bytes.size()) < bytes.size()) {
            Error(texts::HeaderPlace,
                  rtl::Format(texts::ShortHeader, {Num(std::max<std::int64_t>(fileSize_, 0))}));
            return false;
        }
        TDataFileHeader& header = check_.Record().Header;
        DecodeDataFileHeader(bytes, header);
        if (bytes[HeaderDescriptionOffset] > MaxDescriptionLength) {
            Error(texts::HeaderPlace,
                  rtl::Format(texts::DescriptionTooLong, {Num(bytes[HeaderDescriptionOffset])}));
        }
        if (bytes[HeaderPasswordOffset] > MaxPasswordLength) {
            Error(texts::HeaderPlace,
                  rtl::Format(texts::PasswordTooLong, {Num(bytes[HeaderPasswordOffset])}));
        }
        if (header.Version != DataFileVersion) {
            // Another version lays its file out in another way: nothing further can be judged.
            Error(texts::HeaderPlace, rtl::Format(texts::WrongVersion, {Num(header.Version)}));
            return false;
        }
        if (header.BlockSize != 0 &&
            (header.BlockSize < MinBlobBlockSize || header.BlockSize > MaxBlobBlockSize)) {
            Error(texts::HeaderPlace, rtl::Format(texts::BadBlockSize, {Num(header.BlockSize)}));
        }
        const std::size_t passwordLength = bytes[HeaderPasswordOffset];
        if (header.Protected != 0 && (passwordLength < 1 || passwordLength > MaxPasswordLength)) {
            Error(texts::HeaderPlace, rtl::Format(texts::ProtectedPassword, {Num(passwordLength)}));
        } else if (header.Protected == 0 && passwordLength != 0) {
            Error(texts::HeaderPlace, rtl::Format(texts::UnprotectedPassword, {Num(passwordLength)}));
        }
        localeKnown_ = header.LanguageId == 0 || IsLocaleInstalled(header.LanguageId, header.SortId);
        if (!localeKnown_) {
            Error(texts::HeaderPlace,
                  rtl::Format(texts::UnknownLocale, {Num(header.LanguageId), Num(header.SortId)}));
        }
        if (header.LastRecordId > MaxRecordId) {
            Error(texts::HeaderPlace, rtl::Format(texts::RecordIdTooLarge, {Num(header.LastRecordId.Value)}));
        }
        if (header.ImageChanged > 1) {
            Warning(texts::HeaderPlace, rtl::Format(texts::ImageChangedMark, {Num(header.ImageChanged)}));
        }
        if (std::any_of(bytes.begin() + HeaderUnusedOffset, bytes.begin() + HeaderUnusedEnd,
                        [](std::uint8_t b) { return b != 0; })) {
            Warning(texts::HeaderPlace, std::string(texts::UnusedHeaderBytes));
        }
        if (header.FieldCount > MaxFieldCount) {
            Error(texts::HeaderPlace, rtl::Format(texts::TooManyFields, {Num(header.FieldCount)}));
            return false;
        }
        return true;
    }

    // ---- Field descriptors ----

    bool CheckDescriptors() {
        RecordFileFacts& facts = check_.Record();
        const TDataFileHeader& header = facts.Header;
        const std::size_t count = header.FieldCount;
        slotStart_ = SlotAreaStart(header.FieldCount);
        std::vector<std::uint8_t> bytes(count * FieldDescSize);
        if (fileSize_ < slotStart_ || ReadAt(DataFileHeaderSize, bytes.data(), bytes.size()) < bytes.size()) {
            Error(texts::DescriptorsPlace,
                  rtl::Format(texts::ShortDescriptors, {Num(fileSize_), Num(slotStart_), Num(count)}));
            return false;
        }
        if (header.Protected != 0) UnscrambleBuffer(bytes.data(), bytes.size(), DataSeed);
        facts.Fields.assign(count, TFieldDesc{});
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* block = bytes.data() + i * FieldDescSize;
            DecodeFieldDesc(std::span<const std::uint8_t, FieldDescSize>(block, FieldDescSize),
                            facts.Fields[i]);
            CheckDescriptorBytes(i + 1, block);
        }
        facts.DescriptorsRead = true;
        CheckNames();
        CheckLayout();
        return true;
    }

    std::string FieldPlace(std::size_t position) const {
        return rtl::Format(texts::FieldPlace, {Num(position)});
    }

    // The rules of one descriptor that need no other descriptor.
    void CheckDescriptorBytes(std::size_t position, const std::uint8_t* block) {
        const TFieldDesc& field = check_.Record().Fields[position - 1];
        const std::string place = FieldPlace(position);
        if (field.FieldNumber != position) {
            Error(place, rtl::Format(texts::FieldNumberWrong, {Num(field.FieldNumber), Num(position)}));
        }
        if (block[FieldNameOffset] > MaxFieldNameLength) {
            Error(place, rtl::Format(texts::NameTooLong, {Num(block[FieldNameOffset])}));
        }
        const std::pair<std::size_t, std::string_view> textRooms[] = {
            {FieldMinimumOffset, texts::MinimumText},
            {FieldMaximumOffset, texts::MaximumText},
            {FieldDefaultOffset, texts::DefaultText}};
        for (const auto& [offset, what] : textRooms) {
            if (block[offset] > MaxFieldTextLength) {
                Error(place, rtl::Format(texts::TextTooLong, {what, Num(block[offset])}));
            }
        }
        if (field.FieldType == FieldTypeNone) Error(place, std::string(texts::TypeZero));
        if (RetainsFieldSize(field.FieldType)) {
            if (field.Size > MaxRetainedFieldSize)
                Error(place, rtl::Format(texts::SizeTooLarge, {Num(field.Size)}));
        } else if (field.Size != 0) {
            Error(place, rtl::Format(texts::SizeNotZero, {Num(field.Size), Num(field.FieldType)}));
        }
        if (field.FieldType != FieldTypeBcd && field.Scale != 0) {
            Error(place, rtl::Format(texts::ScaleNotZero, {Num(field.Scale), Num(field.FieldType)}));
        }
        const std::uint16_t stored = StoredFieldSize(field.FieldType, field.Size);
        if (field.StoredSize != stored) {
            Error(place, rtl::Format(texts::StoredSizeWrong, {Num(field.StoredSize), Num(field.FieldType),
                                                              Num(field.Size), Num(stored)}));
        }
        if (field.StoredScale != field.Scale) {
            Error(place, rtl::Format(texts::StoredScaleWrong, {Num(field.StoredScale), Num(field.Scale)}));
        }
        if (LoadU32(block + FieldCompiledOffset) != 0) Warning(place, std::string(texts::CompiledNotZero));
        CheckFieldTexts(place, field);
    }

    // Defaults and limits must read as values of the field's type in the table's own formats.
    void CheckFieldTexts(const std::string& place, const TFieldDesc& field) {
        if (!localeKnown_) return;
        const TDataFileHeader& header = check_.Record().Header;
        const LocaleFormatSwap formats(header.LanguageId, header.SortId, name_);
        const std::pair<const std::string*, std::string_view> fieldTexts[] = {
            {&field.MinValue, texts::MinimumText},
            {&field.MaxValue, texts::MaximumText},
            {&field.DefaultValue, texts::DefaultText}};
        for (const auto& [text, what] : fieldTexts) {
            if (!IsValidFieldText(*text, field.FieldType)) {
                Error(place, rtl::Format(texts::TextInvalid, {what, *text, Num(field.FieldType)}));
            }
        }
    }

    void CheckNames() {
        const TDataFileHeader& header = check_.Record().Header;
        const Collation* collation = localeKnown_ ? FindCollation(header.LanguageId, header.SortId) : nullptr;
        if (collation == nullptr) collation = &ByteOrderCollation();
        std::unordered_map<std::string, std::size_t> firstWithName;
        const std::vector<TFieldDesc>& fields = check_.Record().Fields;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::string& name = fields[i].Name;
            const std::string place = FieldPlace(i + 1);
            if (name.empty()) {
                Error(place, std::string(texts::NameEmpty));
                continue;
            }
            if (rtl::Trim(name) != name) Error(place, rtl::Format(texts::NameNotTrimmed, {name}));
            if (!IsLetterChar(name.front())) Error(place, rtl::Format(texts::NameNotLetter, {name}));
            const auto [first, added] =
                firstWithName.try_emplace(collation->ChangeCase(name, LetterCase::Upper), i + 1);
            if (!added) Error(place, rtl::Format(texts::NameDuplicate, {name, Num(first->second)}));
        }
    }

    // Offsets, and the header's sums over the fields.
    void CheckLayout() {
        RecordFileFacts& facts = check_.Record();
        const TDataFileHeader& header = facts.Header;
        std::uint32_t offset = FirstFieldOffset;
        std::uint32_t calcArea = 0;
        std::uint32_t blobFields = 0;
        for (std::size_t i = 0; i < facts.Fields.size(); ++i) {
            const TFieldDesc& field = facts.Fields[i];
            const std::uint16_t stored = StoredFieldSize(field.FieldType, field.Size);
            const std::uint32_t expected = field.IsAutoInc()      ? AutoIncFieldOffset
                                           : field.IsCalculated() ? 0
                                                                  : offset;
            if (field.Offset != expected) {
                Error(FieldPlace(i + 1), rtl::Format(texts::OffsetWrong, {Num(field.Offset), Num(expected)}));
            }
            if (field.IsCalculated()) {
                calcArea += stored + 1u;
            } else if (!field.IsAutoInc()) {
                offset += stored + 1u;
            }
            if (field.FieldType == FieldTypeBlob) ++blobFields;
        }
        if (header.BlobFieldCount != blobFields) {
            Error(texts::HeaderPlace,
                  rtl::Format(texts::BlobCountMismatch, {Num(header.BlobFieldCount), Num(blobFields)}));
        }
        if (blobFields > MaxBlobFieldCount) {
            Error(texts::HeaderPlace, rtl::Format(texts::TooManyBlobFields, {Num(blobFields)}));
        }
        if (header.RecordSize != offset) {
            Error(texts::HeaderPlace,
                  rtl::Format(texts::RecordSizeMismatch, {Num(header.RecordSize), Num(offset)}));
        }
        if (header.CalcAreaSize != calcArea) {
            Error(texts::HeaderPlace,
                  rtl::Format(texts::CalcAreaMismatch, {Num(header.CalcAreaSize), Num(calcArea)}));
        }
        const std::uint32_t imageSize = header.RecordSize + static_cast<std::uint32_t>(header.CalcAreaSize);
        if (imageSize > MaxRecordImageSize) {
            Error(texts::HeaderPlace, rtl::Format(texts::RecordImageTooLarge, {Num(imageSize)}));
        }
    }

    // ---- Slot area and slots ----

    bool CheckSlotArea() {
        RecordFileFacts& facts = check_.Record();
        const TDataFileHeader& header = facts.Header;
        recordSize_ = header.RecordSize;
        if (recordSize_ < RecordHeaderSize) {
            Error(texts::SlotAreaPlace, rtl::Format(texts::RecordSizeTooSmall, {Num(recordSize_)}));
            return false;
        }
        const std::int64_t area = fileSize_ - slotStart_;
        const std::int64_t counted = std::int64_t{header.NextSlotNumber.Value} - 1;
        if (counted >= 0 && area >= counted * recordSize_) {
            // Only the counted slots are read; what follows is left by a program killed between an appended
            // slot and the header that counts it.
            facts.SlotCount = static_cast<std::uint32_t>(counted);
            if (area > counted * recordSize_) {
                Warning(texts::SlotAreaPlace,
                        rtl::Format(texts::BytesBeyondSlots, {Num(area - counted * recordSize_), Num(counted)}));
            }
        } else {
            if (area % recordSize_ != 0) {
                Error(texts::SlotAreaPlace, rtl::Format(texts::PartialSlot, {Num(area), Num(recordSize_)}));
            }
            facts.SlotCount = static_cast<std::uint32_t>(std::max<std::int64_t>(area, 0) / recordSize_);
            Error(texts::SlotAreaPlace,
                  rtl::Format(texts::SlotCountMismatch,
                              {Num(facts.SlotCount), Num(header.NextSlotNumber.Value)}));
        }
        if (facts.SlotCount > 0 && !WithinAppendLimit(SlotNumber(facts.SlotCount), recordSize_)) {
            Error(texts::SlotAreaPlace,
                  rtl::Format(texts::BeyondAppendLimit, {Num(facts.SlotCount), Num(recordSize_)}));
        }
        return true;
    }

    void ScanSlots() {
        RecordFileFacts& facts = check_.Record();
        const bool scrambled = facts.Header.Protected != 0;
        const std::size_t chunkSlots = std::max<std::size_t>(1, SlotChunkBytes / recordSize_);
        std::vector<std::uint8_t> chunk(chunkSlots * recordSize_);
        FindBlobFields();
        deleted_.assign(static_cast<std::size_t>(facts.SlotCount) + 1, false);
        std::uint32_t slot = 1;
        while (slot <= facts.SlotCount) {
            const std::size_t wanted = std::min<std::size_t>(chunkSlots, facts.SlotCount - slot + 1);
            const std::int64_t offset = slotStart_ + static_cast<std::int64_t>(slot - 1) * recordSize_;
            const std::size_t got = ReadAt(offset, chunk.data(), wanted * recordSize_) / recordSize_;
            for (std::size_t i = 0; i < got; ++i, ++slot) {
                std::uint8_t* image = chunk.data() + i * recordSize_;
                // Each slot is scrambled as one buffer of its own.
                if (scrambled) UnscrambleBuffer(image, recordSize_, DataSeed);
                const TRecordHeader record = DecodeRecordHeader(
                    std::span<const std::uint8_t, RecordHeaderSize>(image, RecordHeaderSize));
                CheckSlot(slot, record);
                if (record.Status == RecordActive) CollectBlobValues(slot, image);
            }
            if (got < wanted) break;
        }
        facts.SlotsScanned = true;
        CheckRecordIds();
    }

    void CheckSlot(std::uint32_t slot, const TRecordHeader& record) {
        if (record.Status == RecordDeleted) {
            deleted_[slot] = true;
            links_.emplace_back(slot, record.Link.Value);
            return;
        }
        if (record.Status != RecordActive) {
            SlotFinding(SlotIssue::BadStatus, Severity::Error, slot,
                        rtl::Format(texts::BadStatus, {Num(record.Status)}));
            return;
        }
        ++check_.Record().ActiveSlots;
        const std::uint32_t id = record.Id.Value;
        if (id < 1 || record.Id > MaxRecordId) {
            SlotFinding(SlotIssue::BadRecordId, Severity::Error, slot,
                        rtl::Format(texts::BadRecordId, {Num(id)}));
        } else {
            activeIds_.emplace_back(id, slot);
            const std::uint32_t last = check_.Record().Header.LastRecordId.Value;
            if (id > last) {
                SlotFinding(SlotIssue::IdAboveLast, Severity::Warning, slot,
                            rtl::Format(texts::IdAboveLast, {Num(id), Num(last)}));
            }
        }
        if (record.Link.Value != slot) {
            SlotFinding(SlotIssue::OwnNumberWrong, Severity::Warning, slot,
                        rtl::Format(texts::OwnNumberWrong, {Num(record.Link.Value)}));
        }
    }

    // The large-object fields whose values lie inside the slot; the layout checks report the others.
    void FindBlobFields() {
        const std::vector<TFieldDesc>& fields = check_.Record().Fields;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const TFieldDesc& field = fields[i];
            if (field.FieldType == FieldTypeBlob && field.IsStored() && field.Offset >= FirstFieldOffset &&
                field.Offset + BlobValueBytes < recordSize_) {
                blobFields_.emplace_back(static_cast<std::uint32_t>(i + 1), field.Offset);
            }
        }
    }

    void CollectBlobValues(std::uint32_t slot, const std::uint8_t* image) {
        for (const auto& [field, offset] : blobFields_) {
            // The u32 after the field's null flag; record images keep their values little-endian.
            const auto value = static_cast<std::int32_t>(LoadU32(image + offset + 1));
            if (value != 0) check_.Record().BlobValues.push_back({slot, field, value});
        }
    }

    void CheckRecordIds() {
        // Sorted by ID, then slot: each repeat names the first slot that holds the ID.
        std::sort(activeIds_.begin(), activeIds_.end());
        std::size_t first = 0;
        for (std::size_t i = 1; i < activeIds_.size(); ++i) {
            if (activeIds_[i].first != activeIds_[first].first) {
                first = i;
                continue;
            }
            SlotFinding(SlotIssue::DuplicateRecordId, Severity::Error, activeIds_[i].second,
                        rtl::Format(texts::DuplicateRecordId,
                                    {Num(activeIds_[i].first), Num(activeIds_[first].second)}));
        }
    }

    // ---- Free-slot chain ----

    // The link a deleted slot holds.
    std::uint32_t LinkOf(std::uint32_t slot) const {
        const auto found =
            std::lower_bound(links_.begin(), links_.end(), std::make_pair(slot, std::uint32_t{0}));
        return found != links_.end() && found->first == slot ? found->second : 0;
    }

    // The index file's no-primary-index flag decides whether the chain is in use; without a readable index
    // file only the rules both kinds of table share are checked.
    ChainMode ReadChainMode() {
        const std::optional<IndexHeaderImage> index = ReadIndexHeader(check_);
        if (!index) return ChainMode::Unknown;
        return index->Header.NoPrimaryIndex != 0 ? ChainMode::NoPrimaryIndex : ChainMode::PrimaryIndex;
    }

    void CheckChain() {
        const RecordFileFacts& facts = check_.Record();
        const std::uint32_t head = facts.Header.FreeSlotHead.Value;
        const std::uint32_t next = facts.Header.NextSlotNumber.Value;
        if (head != 0 && head >= next) {
            Error(texts::ChainPlace, rtl::Format(texts::HeadOutOfRange, {Num(head), Num(next)}));
            return;
        }
        const ChainMode mode = ReadChainMode();
        if (mode == ChainMode::NoPrimaryIndex) {
            // The head names the slot deleted last; links are never followed and stay 0.
            if (head != 0 && head <= facts.SlotCount && !deleted_[head]) {
                SlotFinding(SlotIssue::ChainNotDeleted, Severity::Error, head,
                            std::string(texts::ChainNotDeleted));
            }
            for (const auto& [slot, link] : links_) {
                if (link != 0) {
                    SlotFinding(SlotIssue::LinkWithoutPrimary, Severity::Warning, slot,
                                rtl::Format(texts::LinkWithoutPrimary, {Num(link)}));
                }
            }
            return;
        }
        std::vector<bool> onChain(deleted_.size(), false);
        std::uint32_t previous = 0;
        for (std::uint32_t slot = head; slot != 0; previous = slot, slot = LinkOf(slot)) {
            if (slot > facts.SlotCount) {
                // A head below the next slot number can still lie beyond a file that holds fewer slots.
                if (previous == 0) {
                    Error(texts::ChainPlace,
                          rtl::Format(texts::HeadBeyondSlots, {Num(slot), Num(facts.SlotCount)}));
                } else {
                    SlotFinding(SlotIssue::LinkOutOfRange, Severity::Error, previous,
                                rtl::Format(texts::LinkOutOfRange, {Num(slot), Num(facts.SlotCount)}));
                }
                break;
            }
            if (onChain[slot]) {
                SlotFinding(SlotIssue::ChainLoop, Severity::Error, slot, std::string(texts::ChainLoop));
                break;
            }
            if (!deleted_[slot]) {
                SlotFinding(SlotIssue::ChainNotDeleted, Severity::Error, slot,
                            std::string(texts::ChainNotDeleted));
                break;
            }
            onChain[slot] = true;
        }
        if (mode != ChainMode::PrimaryIndex) return;
        for (const auto& entry : links_) {
            if (!onChain[entry.first]) {
                SlotFinding(SlotIssue::OffChain, Severity::Warning, entry.first,
                            std::string(texts::OffChain));
            }
        }
    }

    struct SlotCount {
        Severity level = Severity::Error;
        std::uint32_t total = 0;
        std::uint32_t lastListed = 0;
    };

    std::int64_t slotStart_ = 0;
    std::uint16_t recordSize_ = 0;
    bool localeKnown_ = false;
    // Per slot number: whether the slot is deleted; and the links of the deleted slots, by slot number.
    std::vector<bool> deleted_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> links_;
    // (field position, offset) of the large-object fields.
    std::vector<std::pair<std::uint32_t, std::uint16_t>> blobFields_;
    // (record ID, slot) of the active slots with a valid ID.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> activeIds_;
    std::map<SlotIssue, SlotCount> slotCounts_;
};

}  // namespace

void CheckRecordFile(TableCheck& check) {
    try {
        RecordFileChecker(check).Run();
    } catch (const ETARNISEngineError& error) {
        // A read that fails part-way (the file shrank, or the device failed) ends the check of this file.
        check.Error(check.Files().DataFile, texts::FilePlace, error.Message());
    }
}

}  // namespace tarnischeck
