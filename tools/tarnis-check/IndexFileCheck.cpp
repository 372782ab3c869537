#include "tools/tarnis-check/IndexFileCheck.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <utility>

#include "engine/base/EngineError.h"
#include "engine/base/EngineTexts.h"
#include "engine/base/Scramble.h"
#include "engine/index/IndexKey.h"
#include "engine/values/Collation.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/KeyEncoding.h"
#include "rtl/Format.h"
#include "tools/tarnis-check/CheckTexts.h"
#include "tools/tarnis-check/CheckedFile.h"
#include "tools/tarnis-check/IndexTreeCheck.h"

namespace tarnischeck {

namespace {

using namespace engine;

// An append is refused once the end of file passes 2,000,000,000, so the end of file never passes the
// first multiple of 4096 above it.
constexpr std::uint64_t MaxEndOfFile = 2000003072;

// The reading of the header page: the image, or why there is none.
struct HeaderRead {
    std::optional<IndexHeaderImage> image;
    std::string problem;
};

class IndexHeaderReader : protected CheckedFile {
public:
    explicit IndexHeaderReader(TableCheck& check) : CheckedFile(check, check.Files().IndexFile) {}

    HeaderRead Load() {
        HeaderRead result;
        IndexHeaderImage image;
        try {
            if (!Exists()) {
                result.problem = std::string(texts::FileMissing);
                return result;
            }
            if (!OpenShared(result.problem)) return result;
            image.FileSize = fileSize_;
            const std::size_t got = ReadAt(0, image.Bytes.data(), image.Bytes.size());
            if (got < image.Bytes.size()) {
                result.problem = rtl::Format(texts::ShortIndexHeader, {Num(got)});
                return result;
            }
        } catch (const ETARNISEngineError& error) {
            // A read that fails (the file shrank, or the device failed).
            result.problem = error.Message();
            return result;
        }
        if (check_.Record().Header.Protected != 0) {
            UnscrambleBuffer(image.Bytes.data(), image.Bytes.size(), DataSeed);
        }
        image.NamesFit = DecodeIndexFileHeader(image.Bytes, image.Header);
        result.image = std::move(image);
        return result;
    }
};

class IndexFileChecker : private IndexHeaderReader {
public:
    IndexFileChecker(TableCheck& check, bool matchRecords)
        : IndexHeaderReader(check), matchRecords_(matchRecords) {}

    void Run() {
        HeaderRead read = Load();
        if (!read.image) {
            Error(texts::FilePlace, std::move(read.problem));
            return;
        }
        // Key lengths, field numbers and the scrambling all rest on the record file's descriptors.
        if (!check_.Record().DescriptorsRead) return;
        image_ = std::move(*read.image);
        const TIndexFileHeader& header = image_.Header;
        if (header.Version != IndexFileVersion) {
            // Another version lays its file out in another way: nothing further can be judged.
            Error(texts::HeaderPlace, rtl::Format(texts::WrongVersion, {Num(header.Version)}));
            return;
        }
        const std::size_t errorsBefore = ErrorCount();
        CheckEndOfFile();
        CheckSlots();
        CheckCounts();
        CheckUnusedBytes();
        // The walk trusts the header's end of file, roots, free-list heads and key lengths.
        if (ErrorCount() == errorsBefore) CheckIndexTrees(check_, image_, matchRecords_);
    }

private:
    std::size_t ErrorCount() const {
        return static_cast<std::size_t>(
            std::count_if(check_.Findings().begin(), check_.Findings().end(),
                          [](const Finding& f) { return f.Level == Severity::Error; }));
    }

    static std::string SlotPlace(std::size_t slot) { return rtl::Format(texts::IndexPlace, {Num(slot)}); }

    void CheckEndOfFile() {
        const std::uint32_t end = image_.Header.EndOfFile.Value;
        if (end % PageSize != 0 || end < PageSize || end > MaxEndOfFile) {
            Error(texts::HeaderPlace, rtl::Format(texts::EndOfFileWrong, {Num(end)}));
        }
        if (image_.FileSize < static_cast<std::int64_t>(end)) {
            Error(texts::HeaderPlace,
                  rtl::Format(texts::FileShorterThanEnd,
                              {Num(static_cast<std::uint64_t>(std::max<std::int64_t>(image_.FileSize, 0))),
                               Num(end)}));
        } else if (image_.FileSize != static_cast<std::int64_t>(end)) {
            Warning(texts::HeaderPlace,
                    rtl::Format(texts::FileSizeDiffers,
                                {Num(static_cast<std::uint64_t>(image_.FileSize)), Num(end)}));
        }
    }

    void CheckSlots() {
        const TIndexFileHeader& header = image_.Header;
        std::size_t count = header.SecondaryCount;
        if (count > MaxSecondaryIndexes) {
            Error(texts::HeaderPlace, rtl::Format(texts::TooManySecondaryIndexes, {Num(count)}));
            count = MaxSecondaryIndexes;
        }
        for (std::size_t slot = 0; slot < IndexSlotCount; ++slot) {
            const TIndexDescriptor& index = header.Indexes[slot];
            CheckPageReference(slot, texts::RootText, index.RootPage);
            CheckPageReference(slot, texts::FreeHeadText, index.FreePageHead);
            const bool secondary = slot >= 1 && slot <= MaxSecondaryIndexes;
            if (secondary && slot > count) {
                if (index.KeyLength != 0) {
                    Warning(SlotPlace(slot),
                            rtl::Format(texts::UnusedSlotDefined, {Num(count), Num(index.KeyLength)}));
                }
                CheckNoPages(slot);
                continue;
            }
            if (slot == PrimaryIndexSlot && index.KeyLength == 0) {
                CheckNoPages(slot);
                continue;
            }
            CheckDescriptor(slot, secondary && index.Unique == 0);
            if (secondary) CheckSecondaryName(slot);
        }
        CheckSysDeleted();
    }

    // A slot without a definition has no tree and no free list: the engine refuses the file otherwise.
    void CheckNoPages(std::size_t slot) {
        const TIndexDescriptor& index = image_.Header.Indexes[slot];
        if (index.RootPage != 0) {
            Error(SlotPlace(slot), rtl::Format(texts::UndefinedSlotPages, {texts::RootText, Num(index.RootPage)}));
        }
        if (index.FreePageHead != 0) {
            Error(SlotPlace(slot),
                  rtl::Format(texts::UndefinedSlotPages, {texts::FreeHeadText, Num(index.FreePageHead)}));
        }
    }

    void CheckPageReference(std::size_t slot, std::string_view what, std::uint32_t offset) {
        const std::uint32_t end = image_.Header.EndOfFile.Value;
        if (offset == 0 || (offset % PageSize == 0 && offset >= PageSize && offset < end)) return;
        Error(SlotPlace(slot), rtl::Format(texts::PageReferenceWrong, {what, Num(offset), Num(end)}));
    }

    // The rules every defined descriptor follows.
    void CheckDescriptor(std::size_t slot, bool suffix) {
        const TIndexDescriptor& index = image_.Header.Indexes[slot];
        const std::vector<TFieldDesc>& fields = check_.Record().Fields;
        const std::string place = SlotPlace(slot);
        const std::uint8_t nameLength =
            image_.Bytes[IndexDescriptorsOffset + slot * IndexDescriptorSize + IndexNameOffset];
        if (nameLength > MaxIndexNameLength) Error(place, rtl::Format(texts::NameTooLong, {Num(nameLength)}));
        if (index.FieldCount > MaxIndexFields) {
            Error(place, rtl::Format(texts::KeyFieldCountTooLarge, {Num(index.FieldCount)}));
        }
        if (index.Compression > MaxCompression) {
            Error(place, rtl::Format(texts::CompressionTooLarge, {Num(index.Compression)}));
        }
        if (index.KeyLength > MaxKeyBytes) {
            Error(place, rtl::Format(texts::KeyLengthTooLarge, {Num(index.KeyLength)}));
        }
        std::uint32_t expected = suffix ? RecordIdSuffixLength : 0;
        bool known = true;
        const std::size_t count = std::min<std::size_t>(index.FieldCount, MaxIndexFields);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t number = index.FieldNumbers[i];
            if (number == 0 || number > fields.size()) {
                Error(place,
                      rtl::Format(texts::KeyFieldOutside, {Num(i + 1), Num(number), Num(fields.size())}));
                known = false;
                continue;
            }
            const TFieldDesc& field = fields[number - 1u];
            if (field.FieldType == FieldTypeBlob) {
                Error(place, rtl::Format(texts::KeyFieldLargeObject, {Num(i + 1), Num(number)}));
            }
            expected += StoredFieldSize(field.FieldType, field.Size) + 1u;
        }
        // "Sys Deleted" has a key of its own: CheckSysDeleted.
        if (slot != SysDeletedSlot && known && expected != index.KeyLength) {
            Error(place, rtl::Format(texts::KeyLengthMismatch, {Num(index.KeyLength), Num(expected)}));
        }
    }

    void CheckSecondaryName(std::size_t slot) {
        const std::string& name = image_.Header.Indexes[slot].Name;
        const std::string place = SlotPlace(slot);
        if (name.empty()) {
            Error(place, std::string(texts::NameEmpty));
            return;
        }
        if (!IsLetterChar(name.front())) Error(place, rtl::Format(texts::NameNotLetter, {name}));
        const TDataFileHeader& record = check_.Record().Header;
        const Collation* collation = FindCollation(record.LanguageId, record.SortId);
        if (collation == nullptr) collation = &ByteOrderCollation();
        const auto [first, added] =
            firstWithName_.try_emplace(collation->ChangeCase(name, LetterCase::Upper), slot);
        if (!added) Error(place, rtl::Format(texts::IndexNameDuplicate, {name, Num(first->second)}));
    }

    void CheckSysDeleted() {
        const TIndexDescriptor& index = image_.Header.Indexes[SysDeletedSlot];
        const std::string place = SlotPlace(SysDeletedSlot);
        if (index.Name != engine::texts::SysDeletedIndexName) {
            Error(place, rtl::Format(texts::SysDeletedName, {index.Name}));
        }
        if (index.KeyLength != SysDeletedKeyLength) {
            Error(place, rtl::Format(texts::SysDeletedKeyLength, {Num(index.KeyLength)}));
        }
        if (index.FieldCount != 0)
            Error(place, rtl::Format(texts::SysDeletedFields, {Num(index.FieldCount)}));
        if (index.Compression != 0) {
            Error(place, rtl::Format(texts::SysDeletedCompression, {Num(index.Compression)}));
        }
    }

    void CheckCounts() {
        const TIndexFileHeader& header = image_.Header;
        const std::uint16_t primaryKey = header.Indexes[PrimaryIndexSlot].KeyLength;
        if ((header.NoPrimaryIndex != 0) != (primaryKey == 0)) {
            Error(texts::HeaderPlace,
                  rtl::Format(texts::NoPrimaryFlagWrong, {Num(header.NoPrimaryIndex), Num(primaryKey)}));
        }
        const RecordFileFacts& record = check_.Record();
        if (record.SlotsScanned && header.RecordCount != record.ActiveSlots) {
            // The journal puts back a change cut short: no count is ever left off, by one or more.
            Error(texts::HeaderPlace,
                  rtl::Format(texts::RecordCountWrong, {Num(header.RecordCount), Num(record.ActiveSlots)}));
        }
    }

    void CheckUnusedBytes() {
        const std::pair<std::size_t, std::size_t> areas[] = {{IndexZeroAreaOffset, IndexRecordCountOffset},
                                                             {IndexTailOffset, IndexHeaderSize}};
        for (const auto& [from, to] : areas) {
            if (std::any_of(image_.Bytes.begin() + static_cast<std::ptrdiff_t>(from),
                            image_.Bytes.begin() + static_cast<std::ptrdiff_t>(to),
                            [](std::uint8_t b) { return b != 0; })) {
                Warning(texts::HeaderPlace, rtl::Format(texts::UnusedBytes, {Num(from), Num(to - 1)}));
            }
        }
    }

    const bool matchRecords_;
    IndexHeaderImage image_;
    // Secondary names upper-cased under the table's locale, with the first slot that has each.
    std::unordered_map<std::string, std::size_t> firstWithName_;
};

}  // namespace

std::optional<IndexHeaderImage> ReadIndexHeader(TableCheck& check) {
    return IndexHeaderReader(check).Load().image;
}

void CheckIndexFile(TableCheck& check) {
    IndexFileChecker(check, true).Run();
}

void CheckIndexFileWithoutRecords(TableCheck& check) {
    IndexFileChecker(check, false).Run();
}

}  // namespace tarnischeck
