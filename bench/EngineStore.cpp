#include "bench/EngineStore.h"

#include <array>
#include <optional>
#include <stdexcept>

#include "engine/base/EngineError.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/base/FileBytes.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/expr/FilterBlob.h"
#include "engine/records/IndexDescriptor.h"
#include "engine/values/FieldTypes.h"
#include "tests/engine/support/TableDefs.h"

namespace bench {

namespace {

constexpr std::uint16_t IdField = 1;
constexpr std::uint16_t NameField = 2;
constexpr std::uint16_t ErrorsField = 3;
constexpr std::uint16_t KphField = 4;
constexpr std::uint16_t NetKphField = 5;
constexpr std::uint16_t DateField = 6;
constexpr std::uint16_t TimeField = 7;
constexpr std::uint16_t MemoField = 8;
// The string field's size: 39 characters and the zero.
constexpr std::uint8_t NameSize = 40;
// The large-object block size the program's tables use.
constexpr std::uint32_t BlobBlockSize = 512;
constexpr int NaturalOrder = 255;

engine::TIndexDescriptor Index(const char* name, std::initializer_list<std::uint16_t> fields,
                               bool caseInsensitive = false) {
    engine::TIndexDescriptor index;
    index.Name = name;
    index.CaseInsensitive = caseInsensitive ? 1 : 0;
    std::size_t i = 0;
    for (std::uint16_t number : fields) index.FieldNumbers.at(i++) = number;
    index.FieldCount = static_cast<std::uint8_t>(i);
    return index;
}

std::string TablePath(const std::filesystem::path& directory) {
    return (directory / "results").string();
}

std::vector<std::uint8_t> FloatBytes(double value) {
    std::vector<std::uint8_t> bytes(8);
    engine::StoreF64(bytes.data(), value);
    return bytes;
}

std::vector<std::uint8_t> TextBytes(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// A filter blob as the dataset's filter text writes it, one comparison of a field with a constant at a time.
class BlobBuilder {
public:
    // field op constant, the constant's stored bytes of the engine type given.
    std::uint16_t Compare(engine::ExprOperator op, const char* field, std::uint16_t type,
                          std::vector<std::uint8_t> value) {
        const std::uint16_t compare = writer_.AppendNode(engine::ncBinary, op);
        writer_.SetNodeOperand(compare, 0, FieldNode(field));
        writer_.SetNodeOperand(compare, 1, Constant(type, std::move(value)));
        return compare;
    }
    // field = constant for a string, letter case ignored: the node the dataset's filter text writes for a
    // case-insensitive filter, which an index on the field that ignores case serves.
    std::uint16_t EqualIgnoringCase(const char* field, const std::string& text) {
        const std::uint16_t compare = writer_.AppendNode(engine::ncCompare, engine::opEqual);
        writer_.SetNodeOperand(compare, 0, 1);
        writer_.SetNodeOperand(compare, 1, 0);
        writer_.SetNodeOperand(compare, 2, FieldNode(field));
        writer_.SetNodeOperand(compare, 3, Constant(engine::FieldTypeString, TextBytes(text)));
        return compare;
    }
    // The AND node, appended before its operands as the blob requires; its operands are set after.
    std::uint16_t And() { return writer_.AppendNode(engine::ncBinary, engine::opAnd); }
    void SetOperand(std::uint16_t node, std::size_t index, std::uint16_t operand) {
        writer_.SetNodeOperand(node, index, operand);
    }
    std::vector<std::uint8_t> Blob() const { return writer_.Blob(); }

private:
    std::uint16_t FieldNode(const char* field) {
        const std::uint16_t node = writer_.AppendNode(engine::ncField, engine::opField);
        std::vector<std::uint8_t> name(field, field + std::char_traits<char>::length(field) + 1);
        writer_.SetNodeOperand(node, 1, writer_.AppendLiteral(name));
        return node;
    }
    std::uint16_t Constant(std::uint16_t type, std::vector<std::uint8_t> value) {
        const std::uint16_t node = writer_.AppendNode(engine::ncConstant, engine::opConstant);
        writer_.SetNodeOperand(node, 0, type);
        writer_.SetNodeOperand(node, 1, static_cast<std::uint16_t>(value.size()));
        writer_.SetNodeOperand(node, 2, writer_.AppendLiteral(value));
        return node;
    }

    engine::TFilterBlobWriter writer_;
};

// The table's read lock held across one scan, as the SQL engine holds it for a statement and SQLite holds its
// shared lock from a statement's first step to its reset: the change check runs once for the scan, not on
// every record fetched that is not cached.
class ScanReadLock {
public:
    explicit ScanReadLock(engine::TDataFile& table) : table_(table) { table_.AcquireReadLock(); }
    ~ScanReadLock() {
        try {
            table_.ReleaseReadLock();
        } catch (...) {
            // An unlock that fails leaves the lock to the table's close; the scan's own failure counts.
        }
    }
    ScanReadLock(const ScanReadLock&) = delete;
    ScanReadLock& operator=(const ScanReadLock&) = delete;

private:
    engine::TDataFile& table_;
};

}  // namespace

EngineStore::~EngineStore() {
    try {
        Close();
    } catch (...) {
        // A failure to close is reported by an explicit Close; a destructor can only let it go.
    }
}

void EngineStore::Create(const std::filesystem::path& directory, TableKind kind) {
    std::vector<engine::TFieldDesc> fields = {
        enginetest::AutoIncDef(IdField, "ID"),
        enginetest::FieldDef(NameField, "NAME", engine::FieldTypeString, NameSize),
        enginetest::FieldDef(ErrorsField, "TOTERRS", engine::FieldTypeInteger),
        enginetest::FieldDef(KphField, "KPH", engine::FieldTypeFloat),
        enginetest::FieldDef(NetKphField, "NKPH", engine::FieldTypeFloat),
        enginetest::FieldDef(DateField, "TESTDATE", engine::FieldTypeDate),
        enginetest::FieldDef(TimeField, "TESTTIME", engine::FieldTypeTime),
        enginetest::FieldDef(MemoField, "ERRORS", engine::FieldTypeBlob)};
    std::vector<engine::TIndexDescriptor> indexes;
    if (kind == TableKind::Indexed) {
        indexes = {Index("", {IdField}), Index("ByName", {NameField}, true), Index("ByErrors", {ErrorsField}),
                   Index("ByWhen", {DateField, TimeField})};
    } else {
        indexes = {Index("", {})};
    }
    engine::TDataFile table;
    table.SetFileName(TablePath(directory));
    table.SetExclusive(true);
    table.CreateTable(0, 0, 0, 0, false, "", "", BlobBlockSize, fields, indexes, kind == TableKind::Plain);
}

void EngineStore::Open(const std::filesystem::path& directory, TableKind, Access access) {
    Close();
    table_ = std::make_unique<engine::TDataFile>();
    table_->SetFileName(TablePath(directory));
    table_->SetExclusive(access == Access::Exclusive);
    table_->Open();
    image_.assign(table_->GetRecordBufferSize(), 0);
}

void EngineStore::Close() {
    if (!table_) return;
    std::unique_ptr<engine::TDataFile> table = std::move(table_);
    table->Close();
}

void EngineStore::SetStored(std::uint16_t field, const void* bytes, std::size_t size) {
    table_->SetField(false, field, image_,
                     std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(bytes), size));
}

void EngineStore::FillImage(const ResultRow& row) {
    table_->InitRecord(image_);
    std::array<std::uint8_t, 8> value{};
    SetStored(NameField, row.Name.data(), row.Name.size());
    engine::StoreU32(value.data(), static_cast<std::uint32_t>(row.Errors));
    SetStored(ErrorsField, value.data(), 4);
    engine::StoreF64(value.data(), row.Kph);
    SetStored(KphField, value.data(), 8);
    engine::StoreF64(value.data(), row.NetKph);
    SetStored(NetKphField, value.data(), 8);
    engine::StoreU32(value.data(), static_cast<std::uint32_t>(row.TestDate));
    SetStored(DateField, value.data(), 4);
    engine::StoreU32(value.data(), static_cast<std::uint32_t>(row.TestTime));
    SetStored(TimeField, value.data(), 4);
}

void EngineStore::Insert(const ResultRow& row, const std::string* memo) {
    FillImage(row);
    if (memo) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(memo->data());
        const auto size = static_cast<std::int32_t>(memo->size());
        engine::CheckEngineResult(table_->OpenBlob(false, MemoField, engine::BlobOpenReadWrite, image_));
        engine::CheckEngineResult(
            table_->WriteBlob(false, MemoField, std::span(bytes, memo->size()), size, 0, image_));
    }
    table_->InsertRecord(image_, true);
    if (memo) table_->FreeBlobs();
    if (table_->GetRecordId(image_).Value != static_cast<std::uint32_t>(row.Id)) {
        throw std::runtime_error("engine: record " + std::to_string(row.Id) + " took another ID");
    }
}

void EngineStore::InsertShared(const ResultRow& row) {
    FillImage(row);
    table_->InsertRecord(image_, true);
}

bool EngineStore::GoToId(std::int32_t id) {
    table_->SetIndexNumber(0);
    std::fill(image_.begin(), image_.end(), 0);
    table_->SetRecordId(image_, engine::RecordId(static_cast<std::uint32_t>(id)));
    return table_->FindKey(false, image_, 1, false, 0);
}

void EngineStore::ReadFields() {
    // Room for the largest stored field read: the string and its zero.
    std::array<std::uint8_t, NameSize + 1> value{};
    for (std::uint16_t field = NameField; field <= TimeField; ++field) {
        table_->GetField(false, field, image_, value);
    }
}

bool EngineStore::FindId(std::int32_t id, Digest& digest) {
    if (!GoToId(id) || table_->GetCurrentRecord(image_, false) != 0) return false;
    ReadFields();
    std::array<std::uint8_t, 4> errors{};
    table_->GetField(false, ErrorsField, image_, errors);
    digest.Add(engine::LoadU32(errors.data()));
    return true;
}

bool EngineStore::FindName(const std::string& name, Digest& digest) {
    table_->SetIndexName("ByName");
    table_->InitRecord(image_);
    SetStored(NameField, name.data(), name.size());
    // The name alone, without the index's record-ID suffix: the first record of the name.
    if (!table_->FindKey(false, image_, 1, false, 0) || table_->GetCurrentRecord(image_, false) != 0) {
        return false;
    }
    ReadFields();
    digest.Add(table_->GetRecordId(image_).Value);
    return true;
}

void EngineStore::FetchAll(Digest& digest) {
    while (table_->GetNextRecord(image_) == 0) {
        ReadFields();
        digest.Add(table_->GetRecordId(image_).Value);
    }
}

void EngineStore::ErrorsRange(std::int32_t low, std::int32_t high, WalkLock lock, Digest& digest) {
    std::optional<ScanReadLock> scan;
    if (lock == WalkLock::Held) scan.emplace(*table_);
    table_->SetIndexName("ByErrors");
    std::vector<std::uint8_t> start(table_->GetRecordBufferSize());
    std::vector<std::uint8_t> end(table_->GetRecordBufferSize());
    std::array<std::uint8_t, 4> value{};
    engine::StoreU32(value.data(), static_cast<std::uint32_t>(low));
    table_->SetField(false, ErrorsField, start, std::span<const std::uint8_t>(value));
    engine::StoreU32(value.data(), static_cast<std::uint32_t>(high));
    table_->SetField(false, ErrorsField, end, std::span<const std::uint8_t>(value));
    table_->SetRange(false, start, 1, end, 1);
    table_->SetToBegin();
    FetchAll(digest);
    table_->CancelRange();
}

void EngineStore::ScanAll(Digest& digest) {
    const ScanReadLock scan(*table_);
    table_->SetIndexNumber(NaturalOrder);
    table_->SetToBegin();
    FetchAll(digest);
}

void EngineStore::SetErrors(std::int32_t id, std::int32_t errors) {
    if (!GoToId(id)) throw std::runtime_error("engine: no record " + std::to_string(id) + " to modify");
    // As a dataset's edit does: the record fetched with its lock, changed, posted and unlocked.
    engine::CheckEngineResult(table_->GetCurrentRecord(image_, true));
    std::array<std::uint8_t, 4> value{};
    engine::StoreU32(value.data(), static_cast<std::uint32_t>(errors));
    SetStored(ErrorsField, value.data(), 4);
    table_->ModifyRecord(image_, true, true);
}

void EngineStore::Delete(std::int32_t id) {
    if (!GoToId(id)) throw std::runtime_error("engine: no record " + std::to_string(id) + " to delete");
    table_->DeleteRecord(true);
}

void EngineStore::Filtered(const std::vector<std::uint8_t>& blob, Digest& digest) {
    const ScanReadLock scan(*table_);
    table_->SetIndexNumber(NaturalOrder);
    engine::TFilter* filter = nullptr;
    engine::CheckEngineResult(table_->AddFilter(nullptr, blob, filter, false, nullptr, false, nullptr));
    engine::CheckEngineResult(table_->ActivateFilter(filter));
    table_->SetToBegin();
    FetchAll(digest);
    engine::CheckEngineResult(table_->DropFilter(filter));
}

void EngineStore::FilterNetKph(double limit, Digest& digest) {
    BlobBuilder blob;
    blob.Compare(engine::opGreater, "NKPH", engine::FieldTypeFloat, FloatBytes(limit));
    Filtered(blob.Blob(), digest);
}

void EngineStore::FilterKphAndName(double limit, const std::string& name, Digest& digest) {
    BlobBuilder blob;
    const std::uint16_t both = blob.And();
    blob.SetOperand(both, 0,
                    blob.Compare(engine::opGreater, "KPH", engine::FieldTypeFloat, FloatBytes(limit)));
    blob.SetOperand(both, 1, blob.EqualIgnoringCase("NAME", name));
    Filtered(blob.Blob(), digest);
}

void EngineStore::FilterErrorsBetween(std::int32_t low, std::int32_t high, Digest& digest) {
    const auto bound = [](std::int32_t value) {
        std::vector<std::uint8_t> bytes(4);
        engine::StoreU32(bytes.data(), static_cast<std::uint32_t>(value));
        return bytes;
    };
    BlobBuilder blob;
    const std::uint16_t both = blob.And();
    blob.SetOperand(both, 0,
                    blob.Compare(engine::opGreaterEqual, "TOTERRS", engine::FieldTypeInteger, bound(low)));
    blob.SetOperand(both, 1,
                    blob.Compare(engine::opLessEqual, "TOTERRS", engine::FieldTypeInteger, bound(high)));
    Filtered(blob.Blob(), digest);
}

void EngineStore::ReadMemos(Digest& digest) {
    const ScanReadLock scan(*table_);
    table_->SetIndexNumber(NaturalOrder);
    table_->SetToBegin();
    std::vector<std::uint8_t> memo;
    while (table_->GetNextRecord(image_) == 0) {
        std::int32_t size = 0;
        engine::CheckEngineResult(table_->OpenBlob(false, MemoField, engine::BlobOpenRead, image_));
        engine::CheckEngineResult(table_->GetBlobSize(false, MemoField, size, image_));
        memo.resize(static_cast<std::size_t>(size));
        std::int32_t read = 0;
        if (size > 0) {
            engine::CheckEngineResult(table_->ReadBlob(false, MemoField, read, size, memo, 0, image_));
        }
        engine::CheckEngineResult(table_->CloseBlob(false, MemoField, image_));
        std::uint64_t sum = static_cast<std::uint64_t>(read);
        for (std::int32_t i = 0; i < read; ++i) sum += memo[static_cast<std::size_t>(i)];
        digest.Add(sum);
    }
}

}  // namespace bench
