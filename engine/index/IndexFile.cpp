#include "engine/index/IndexFile.h"

#include <algorithm>
#include <array>
#include <string>

#include "engine/base/EngineError.h"
#include "engine/base/EngineStrings.h"
#include "engine/base/EngineTexts.h"
#include "engine/base/FileBytes.h"
#include "engine/base/Scramble.h"
#include "engine/records/TableDefinition.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/KeyEncoding.h"
#include "rtl/Text.h"

namespace engine {

namespace {

// The index file's extension, replacing the record file's.
constexpr std::string_view IndexFileExtension = ".IDX";

// A root or free-list head points at a page of the file: 0 (none) or a page offset below the end of file.
bool IsPageReference(std::uint32_t offset, PageOffset endOfFile) noexcept {
    return offset == 0 ||
           (offset % PageSize == 0 && offset >= FirstPageOffset.Value && offset < endOfFile.Value);
}

// Slots 1..30 hold the secondary indexes; a non-unique one's keys carry the record-ID suffix.
bool IsSecondarySlot(std::size_t slot) noexcept {
    return slot >= 1 && slot <= MaxSecondaryIndexes;
}

void CopyDefinition(const TIndexDescriptor& from, TIndexDescriptor& to) {
    to.KeyLength = from.KeyLength;
    to.Descending = from.Descending;
    to.CaseInsensitive = from.CaseInsensitive;
    to.Unique = from.Unique;
    to.Compression = from.Compression;
    to.FieldCount = from.FieldCount;
    to.FieldDescending = from.FieldDescending;
    to.FieldNumbers = from.FieldNumbers;
}

}  // namespace

TIndexFile::TIndexFile(IndexFileOwner& owner, TableFileOwner& tableOwner, TVisibleRecords& visible)
    : owner_(owner), tableOwner_(&tableOwner), bitmaps_(visible) {}

TIndexFile::~TIndexFile() {
    Close();
}

std::string TIndexFile::TranslateFileName(std::string_view name) const {
    return StripExtension(rtl::Trim(name)) + std::string(IndexFileExtension);
}

void TIndexFile::Raise(std::uint16_t code, std::string_view indexName) const {
    RaiseEngineError(code, FileName(), {}, indexName);
}

bool TIndexFile::Scrambled() const noexcept {
    return TableOwner().TableProtected();
}

// ---- Open, close, create ----

void TIndexFile::Open() {
    if (IsOpen()) return;
    TFileHandler::Open();
    try {
        locks_.Forget();
        ReadHeader();
        FitPageCaches();
        cursor_ = TIndexCursor{};
        cursor_.Position.Ordinal = 1;
        cursor_.Position.BeforeFirst = cursor_.Position.AfterLast = false;
        cursor_.Range.First = 1;
        cursor_.Range.Last = static_cast<std::int32_t>(header_.RecordCount);
        bitmaps_.FreeTableBitmaps();
        current_ = PrimaryIndexSlot;
        LoadIndexSettings();
        if (HasNoPrimaryIndex()) {
            ComputeRangeOrdinals();
            // Natural order reads the visible bitmap: the live slots, through the filters.
            bitmaps_.RebuildFilterBitmaps();
            bitmaps_.BuildVisibleBitmap();
            SelectIndexForBuild(PrimaryIndexSlot);
        }
        if (!owner_.RepairMode()) First();
    } catch (...) {
        Close();
        throw;
    }
}

void TIndexFile::Close() {
    bitmaps_.Clear();
    FreeAllPages();
    locks_.Forget();
    cursor_ = TIndexCursor{};
    header_ = TIndexFileHeader{};
    current_ = PrimaryIndexSlot;
    settings_ = TIndexSettings{};
    if (IsOpen()) TFileHandler::Close();
}

void TIndexFile::CreateFile() {
    TFileHandler::CreateFile();
    header_ = NewIndexFileHeader();
    current_ = PrimaryIndexSlot;
    RefreshKeyOrders();
    LoadIndexSettings();
}

// ---- Header ----

void TIndexFile::ReadHeader() {
    std::array<std::uint8_t, IndexHeaderSize> bytes{};
    ReadAt(0, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    if (Scrambled()) UnscrambleBuffer(bytes.data(), bytes.size(), DataSeed);
    TIndexFileHeader header;
    const bool namesFit = DecodeIndexFileHeader(bytes, header);
    if (header.Version != IndexFileVersion) Raise(ErrWrongVersion);
    const std::int64_t size = GetSize();
    if (size < 0) Raise(ErrRead);
    if (!namesFit || !HeaderIsSound(header, size)) Raise(ErrHeaderCorrupt);
    header.HeaderChanged = 0;
    header_ = std::move(header);
    RefreshKeyOrders();
}

void TIndexFile::RefreshKeyOrders() {
    const std::vector<TFieldDesc>& fields = owner_.PhysicalFields();
    for (std::size_t slot = 0; slot < IndexSlotCount; ++slot) {
        const TIndexDescriptor& index = header_.Indexes[slot];
        const bool defined = (slot == PrimaryIndexSlot && index.KeyLength > 0) ||
                             (IsSecondarySlot(slot) && slot <= header_.SecondaryCount) ||
                             slot == SysDeletedSlot;
        keyOrders_[slot] = defined ? TKeyOrder(index, static_cast<std::uint8_t>(slot), fields,
                                               owner_.GetLanguageId(), owner_.GetSortId(), FileName())
                                   : TKeyOrder();
    }
}

std::optional<std::uint32_t> TIndexFile::KeyLengthOfFields(const TIndexDescriptor& descriptor,
                                                           bool suffix) const {
    const std::vector<TFieldDesc>& fields = owner_.PhysicalFields();
    std::uint32_t length = suffix ? RecordIdSuffixLength : 0;
    const std::size_t count = std::min<std::size_t>(descriptor.FieldCount, MaxIndexFields);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t number = descriptor.FieldNumbers[i];
        if (number == 0 || number > fields.size()) return std::nullopt;
        length += fields[number - 1u].StoredSize + 1u;
    }
    return length;
}

bool TIndexFile::HeaderIsSound(const TIndexFileHeader& header, std::int64_t fileSize) const {
    // Everything below, and every page fetch and append later, trusts these figures.
    if (header.SecondaryCount > MaxSecondaryIndexes) return false;
    if (header.EndOfFile.Value % PageSize != 0 || header.EndOfFile < FirstPageOffset ||
        header.EndOfFile.Value > fileSize) {
        return false;
    }
    // A table made without a primary index has its slot empty; one with has its key there. A keyless slot
    // of a table said to have one would take every record with a key of no length.
    const bool keyless = header.Indexes[PrimaryIndexSlot].KeyLength == 0;
    if (keyless != (header.NoPrimaryIndex != 0)) return false;
    for (std::size_t slot = 0; slot < IndexSlotCount; ++slot) {
        const TIndexDescriptor& index = header.Indexes[slot];
        if (!IsPageReference(index.RootPage, header.EndOfFile) ||
            !IsPageReference(index.FreePageHead, header.EndOfFile)) {
            return false;
        }
        const bool defined = (slot == PrimaryIndexSlot && !keyless) ||
                             (IsSecondarySlot(slot) && slot <= header.SecondaryCount) ||
                             slot == SysDeletedSlot;
        // A tree or free list in a slot without a definition would be walked with keys of no length.
        if (!defined) {
            if (index.RootPage != 0 || index.FreePageHead != 0) return false;
            continue;
        }
        if (index.FieldCount > MaxIndexFields || index.Compression > MaxCompression ||
            index.KeyLength > MaxKeyBytes) {
            return false;
        }
        const std::optional<std::uint32_t> expected =
            slot == SysDeletedSlot ? SysDeletedKeyLength
                                   : KeyLengthOfFields(index, IsSecondarySlot(slot) && index.Unique == 0);
        if (expected != index.KeyLength) return false;
    }
    return true;
}

void TIndexFile::WriteHeader(bool force) {
    if (!force && header_.HeaderChanged == 0) return;
    ++header_.ChangeCounter;
    std::array<std::uint8_t, IndexHeaderSize> bytes{};
    EncodeIndexFileHeader(header_, bytes);
    // The image in memory stays plain: only the copy written is scrambled.
    if (Scrambled()) ScrambleBuffer(bytes.data(), bytes.size(), DataSeed);
    WriteAt(0, bytes.data(), static_cast<std::int32_t>(bytes.size()));
    header_.HeaderChanged = 0;
}

bool TIndexFile::HeaderChanged() {
    std::array<std::uint8_t, sizeof(std::uint32_t)> counter{};
    ReadAt(IndexChangeCounterOffset, counter.data(), static_cast<std::int32_t>(counter.size()));
    // Scrambling steps its seed byte by byte from the start, so the counter unscrambles alone.
    if (Scrambled()) UnscrambleBuffer(counter.data(), counter.size(), DataSeed);
    if (LoadU32(counter.data()) == header_.ChangeCounter) return false;
    ReadHeader();
    return true;
}

void TIndexFile::Truncate() {
    // A write of no bytes sets the end of the file.
    WriteAt(IndexHeaderSize, nullptr, 0);
    header_.Version = IndexFileVersion;
    header_.EndOfFile = FirstPageOffset;
    header_.RecordCount = 0;
    for (std::size_t slot = 0; slot < IndexSlotCount; ++slot) {
        if (slot > header_.SecondaryCount && slot != SysDeletedSlot) continue;
        header_.Indexes[slot].RootPage = 0;
        header_.Indexes[slot].FreePageHead = 0;
    }
    // The header follows the cut at once: a header that counted the pages cut away would be refused by the
    // next read of it (a rollback's or another open's).
    WriteHeader(true);
    LoadIndexSettings();
    // The pages cached from the file are gone with it.
    InvalidatePages();
    ClearPosition();
    cursor_.Range.First = cursor_.Range.Last = 0;
    // The records are gone; the next write or rebuild builds the bitmaps again from none.
    bitmaps_.FreeTableBitmaps();
}

void TIndexFile::IncRecordCount() noexcept {
    ++header_.RecordCount;
    MarkHeaderChanged();
}

void TIndexFile::DecRecordCount() noexcept {
    if (header_.RecordCount > 0) --header_.RecordCount;
    MarkHeaderChanged();
}

PageOffset TIndexFile::GetRootPosition() const noexcept {
    const TIndexDescriptor* const index = CurrentDescriptor();
    return index != nullptr ? PageOffset(index->RootPage) : NoPage;
}

void TIndexFile::SetRootPosition(PageOffset offset) noexcept {
    if (current_ == NaturalOrderIndex || header_.Indexes[current_].RootPage == offset.Value) return;
    header_.Indexes[current_].RootPage = offset.Value;
    MarkHeaderChanged();
}

PageOffset TIndexFile::GetFreePagePosition() const noexcept {
    const TIndexDescriptor* const index = CurrentDescriptor();
    if (index == nullptr) return NoPage;
    return index->FreePageHead != 0 ? PageOffset(index->FreePageHead) : header_.EndOfFile;
}

void TIndexFile::SetFreeListHead(PageOffset offset) noexcept {
    if (current_ == NaturalOrderIndex || header_.Indexes[current_].FreePageHead == offset.Value) return;
    header_.Indexes[current_].FreePageHead = offset.Value;
    MarkHeaderChanged();
}

// ---- Current index ----

bool TIndexFile::IsSelectableIndex(int n) const noexcept {
    return (n >= 0 && n <= header_.SecondaryCount) || n == SysDeletedSlot || n == NaturalOrderIndex;
}

const TIndexDescriptor& TIndexFile::GetIndexDescriptor(int n) const {
    if (n == NaturalOrderIndex || !IsSelectableIndex(n)) Raise(ErrInvalidIndexName, std::to_string(n));
    return header_.Indexes[static_cast<std::size_t>(n)];
}

std::optional<std::uint8_t> TIndexFile::FindIndexByName(std::string_view name) const {
    if (name.empty()) return PrimaryIndexSlot;
    const std::uint16_t languageId = owner_.GetLanguageId();
    const std::uint16_t sortId = owner_.GetSortId();
    const std::string key = NameCompareKey(name, languageId, sortId, FileName());
    for (std::uint8_t slot = 1; slot <= header_.SecondaryCount; ++slot) {
        const std::string& candidate = header_.Indexes[slot].Name;
        // Case mapping keeps the length, so names of another length cannot match.
        if (candidate.size() != key.size()) continue;
        if (NameCompareKey(candidate, languageId, sortId, FileName()) == key) return slot;
    }
    return std::nullopt;
}

void TIndexFile::SelectIndex(int n) {
    if (!IsSelectableIndex(n)) Raise(ErrInvalidIndexName, std::to_string(n));
    if (n == current_) return;
    current_ = static_cast<std::uint8_t>(n);
    LoadIndexSettings();
}

bool TIndexFile::SelectIndexByName(std::string_view name) {
    const std::optional<std::uint8_t> found = FindIndexByName(name);
    if (!found) return false;
    SelectIndex(*found);
    return true;
}

const TIndexDescriptor* TIndexFile::CurrentDescriptor() const noexcept {
    return current_ == NaturalOrderIndex ? nullptr : &header_.Indexes[current_];
}

void TIndexFile::LoadIndexSettings() {
    SelectIndexForBuild(current_);
    // An active filter keeps bitmap mode on whatever index is current.
    bitmaps_.SetBitmapModeByIndex();
}

void TIndexFile::SelectIndexForBuild(std::uint8_t n) noexcept {
    current_ = n;
    const TIndexDescriptor* const index = CurrentDescriptor();
    if (index == nullptr) {
        settings_ = TIndexSettings{};
    } else {
        settings_ = {index->Name,       index->KeyLength, index->FieldCount,     index->Compression,
                     index->Descending, index->Unique,    index->CaseInsensitive};
    }
}

bool TIndexFile::SelectIndexForField(std::uint16_t fieldNumber, bool caseInsensitive, bool anyCase) noexcept {
    if (HasNoPrimaryIndex()) return false;
    const std::vector<TFieldDesc>& fields = owner_.PhysicalFields();
    if (fieldNumber == 0 || fieldNumber > fields.size()) return false;
    const bool isString = fields[fieldNumber - 1u].FieldType == FieldTypeString;
    for (std::uint8_t n = PrimaryIndexSlot; n <= header_.SecondaryCount && n < SysDeletedSlot; ++n) {
        const TIndexDescriptor& index = header_.Indexes[n];
        if (index.KeyLength == 0 || index.FieldCount == 0 || index.FieldNumbers[0] != fieldNumber) continue;
        if (index.Descending == 0 && index.FieldDescending[0] != 0) continue;
        if (!anyCase && isString && (index.CaseInsensitive != 0) != caseInsensitive) continue;
        SelectIndexForBuild(n);
        return true;
    }
    return false;
}

TPageFormat TIndexFile::CurrentPageFormat() const noexcept {
    return PageFormat(current_);
}

TPageFormat TIndexFile::PageFormat(std::uint8_t n) const noexcept {
    TPageFormat format;
    format.IndexNumber = n;
    format.Scrambled = Scrambled();
    // Natural order has no pages.
    if (n >= IndexSlotCount) return format;
    const TIndexDescriptor& index = header_.Indexes[n];
    format.KeyLength = index.KeyLength;
    format.Descending = index.Descending;
    format.Unique = index.Unique;
    format.Compression = index.Compression;
    return format;
}

const TKeyOrder& TIndexFile::KeyOrderOf(std::uint8_t n) const noexcept {
    return keyOrders_[n < IndexSlotCount ? n : SysDeletedSlot];
}

// ---- Index definitions ----

void TIndexFile::CheckDefinition(const TIndexDescriptor& descriptor, bool suffix,
                                 std::string_view label) const {
    const std::vector<TFieldDesc>& fields = owner_.PhysicalFields();
    // An index without fields has no key: the definition rules refuse it for every index but the primary.
    if (descriptor.FieldCount == 0) Raise(ErrInvalidKeySize, label);
    for (std::size_t i = 0; i < descriptor.FieldCount; ++i) {
        const std::uint16_t number = descriptor.FieldNumbers[i];
        if (number == 0 || number > fields.size()) {
            RaiseEngineError(ErrInvalidIndexField, FileName(), std::to_string(number), label);
        }
        if (fields[number - 1u].FieldType == FieldTypeBlob) Raise(ErrInvalidIndexFieldType, label);
    }
    if (descriptor.Compression > MaxCompression ||
        KeyLengthOfFields(descriptor, suffix) != std::uint32_t{descriptor.KeyLength} ||
        descriptor.KeyLength > MaxKeyBytes) {
        Raise(ErrInvalidKeySize, label);
    }
}

void TIndexFile::AddPrimaryIndex(const TIndexDescriptor& descriptor) {
    if (!Exclusive()) Raise(ErrMustBeExclusive);
    const std::string_view label = texts::PrimaryIndexName;
    if (header_.Indexes[PrimaryIndexSlot].KeyLength > 0) Raise(ErrPrimaryIndexExists, label);
    if (descriptor.FieldCount > MaxIndexFields) Raise(ErrIndexLimits, label);
    if (descriptor.FieldCount == 0) {
        header_.NoPrimaryIndex = 1;
        ClearIndexDescriptor(header_.Indexes[PrimaryIndexSlot]);
    } else {
        CheckDefinition(descriptor, false, label);
        header_.NoPrimaryIndex = 0;
        TIndexDescriptor& slot = header_.Indexes[PrimaryIndexSlot];
        slot.Name.clear();
        CopyDefinition(descriptor, slot);
    }
    MarkHeaderChanged();
    RefreshKeyOrders();
    LoadIndexSettings();
}

void TIndexFile::AddSecondaryIndex(const TIndexDescriptor& descriptor) {
    if (!Exclusive()) Raise(ErrMustBeExclusive);
    const std::string& label = descriptor.Name;
    if (header_.SecondaryCount >= MaxSecondaryIndexes || descriptor.FieldCount > MaxIndexFields) {
        Raise(ErrIndexLimits, label);
    }
    if (label.empty()) Raise(ErrIndexNameMissing);
    if (!IsLetterChar(label.front())) Raise(ErrInvalidIndexName, label);
    const std::uint16_t languageId = owner_.GetLanguageId();
    const std::uint16_t sortId = owner_.GetSortId();
    const std::string key = NameCompareKey(rtl::Trim(label), languageId, sortId, FileName());
    for (std::size_t slot = 1; slot <= header_.SecondaryCount; ++slot) {
        if (NameCompareKey(rtl::Trim(header_.Indexes[slot].Name), languageId, sortId, FileName()) == key) {
            Raise(ErrIndexExists, label);
        }
    }
    CheckDefinition(descriptor, descriptor.Unique == 0, label);

    TIndexDescriptor& slot = header_.Indexes[header_.SecondaryCount + 1u];
    slot.Name = label.substr(0, MaxIndexNameLength);
    CopyDefinition(descriptor, slot);
    slot.RootPage = 0;
    ++header_.SecondaryCount;
    MarkHeaderChanged();
    RefreshKeyOrders();
    LoadIndexSettings();
}

}  // namespace engine
