// TDataFile's large-object values: a record buffer's large-object fields opened, read, written, sized and
// closed through the large-object file's open values (declared in DataFile.h).
#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include "engine/base/EngineError.h"
#include "engine/base/FileBytes.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/index/RecordKey.h"
#include "engine/records/RecordHeader.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"
#include "engine/values/FieldTypes.h"

namespace engine {

namespace {

// The descriptor of a large-object field with room in the image; none for a number outside the set or any
// other field, which has no value to open.
const TFieldDesc* BlobField(const TDataFile& table, bool workingSet, std::uint16_t fieldNumber) {
    const std::size_t count = workingSet ? table.GetFieldCount() : table.PhysicalFields().size();
    if (fieldNumber == 0 || fieldNumber > count) return nullptr;
    const TFieldDesc& field = table.GetFieldDesc(workingSet, fieldNumber);
    return field.FieldType == FieldTypeBlob && !field.LacksRoom() ? &field : nullptr;
}

// The field's stored i32: a first block, 0, or an open value's negated handle. 8962 for a short image.
std::int32_t FieldValue(const TDataFile& table, const TFieldDesc& field,
                        std::span<const std::uint8_t> image) {
    std::array<std::uint8_t, sizeof(std::uint32_t)> value{};
    ReadStoredField(field, image, value, table.FileName());
    return static_cast<std::int32_t>(LoadU32(value.data()));
}

// A code answered for the field, stored in the error context so that a checker's message names the table
// and the field.
std::uint16_t Refuse(const TDataFile& table, std::uint16_t code, const TFieldDesc* field = nullptr) {
    SetErrorContext(code, table.FileName(), field != nullptr ? std::string_view(field->Name) : "", {}, {});
    return code;
}

// The field's value as the open value's handle: the handle for a negative value, else 0 (no handle).
std::int32_t HandleOf(std::int32_t fieldValue) noexcept {
    return fieldValue < 0 && fieldValue != std::numeric_limits<std::int32_t>::min() ? -fieldValue : 0;
}

// 10753, naming the field, or its number when the set has none of that number.
std::uint16_t RefuseField(const TDataFile& table, bool workingSet, std::uint16_t fieldNumber) {
    const std::size_t count = workingSet ? table.GetFieldCount() : table.PhysicalFields().size();
    if (fieldNumber == 0 || fieldNumber > count) {
        SetErrorContext(ErrInvalidBlobField, table.FileName(), std::to_string(fieldNumber), {}, {});
        return ErrInvalidBlobField;
    }
    return Refuse(table, ErrInvalidBlobField, &table.GetFieldDesc(workingSet, fieldNumber));
}

// The handle of the value open in the field: 10753 for no large-object field, 10030 for a value that is not
// negative.
std::uint16_t FieldHandle(const TDataFile& table, bool workingSet, std::uint16_t fieldNumber,
                          std::span<const std::uint8_t> image, std::int32_t& handle) {
    const TFieldDesc* const field = BlobField(table, workingSet, fieldNumber);
    if (field == nullptr) return RefuseField(table, workingSet, fieldNumber);
    handle = HandleOf(FieldValue(table, *field, image));
    return handle == 0 ? Refuse(table, ErrInvalidBlobHandle, field) : 0;
}

void StoreFieldValue(TDataFile& table, bool workingSet, std::uint16_t fieldNumber,
                     std::span<std::uint8_t> image, std::int32_t value) {
    std::array<std::uint8_t, sizeof(std::uint32_t)> bytes{};
    StoreU32(bytes.data(), static_cast<std::uint32_t>(value));
    // The field's own reference is no value of a calculation: a calculated field with room takes it too.
    table.SetField(workingSet, fieldNumber, image, std::span<const std::uint8_t>(bytes), true);
}

// Runs the action on every stored large-object field with room in the image, in field order.
template <class Action>
void EachBlobField(const TDataFile& table, Action action) {
    const std::size_t count = table.PhysicalFields().size();
    for (std::size_t n = 1; n <= count; ++n) {
        const auto number = static_cast<std::uint16_t>(n);
        if (const TFieldDesc* field = BlobField(table, false, number)) action(number, *field);
    }
}

}  // namespace

std::uint16_t TDataFile::OpenBlob(bool workingSet, std::uint16_t fieldNumber, std::uint8_t openMode,
                                  std::span<std::uint8_t> image) {
    TReadGuard read(*this);
    // The caches are fresh afterwards, whether or not another program changed the table.
    read.BeginIfStrict();
    const TFieldDesc* const field = BlobField(*this, workingSet, fieldNumber);
    if (field == nullptr) return RefuseField(*this, workingSet, fieldNumber);
    std::int32_t value = FieldValue(*this, *field, image);
    if (value < 0) {
        if (blobFile_.FindFieldValue(value) != nullptr) return 0;
        return Refuse(*this, ErrInvalidBlobOffset, field);
    }
    // A value the file gives is read as the record holds it now: another program may have rewritten it
    // since the image was fetched, and another record taken its freed blocks.
    if (value > 0 && SharesTable() &&
        (StrictChangeDetection() || blobFile_.Blocks().Peek(BlockOffset(static_cast<std::uint32_t>(value))) == nullptr)) {
        read.Begin();
        if (const std::uint16_t code = StoredBlobValue(*field, image, value)) return code;
    }
    std::int32_t handle = 0;
    const std::uint16_t code = blobFile_.OpenBlob(BlockOffset(static_cast<std::uint32_t>(value)), fieldNumber,
                                                  GetSlotNumber(image), openMode, handle);
    if (code == 0) StoreFieldValue(*this, workingSet, fieldNumber, image, -handle);
    read.End();
    return code;
}

std::uint16_t TDataFile::StoredBlobValue(const TFieldDesc& field, std::span<const std::uint8_t> image,
                                         std::int32_t& value) {
    const SlotNumber slot = GetSlotNumber(image);
    // An image of no stored record has nothing to compare with.
    if (slot == NoSlot) return 0;
    RecordPin record;
    // Under the read the caller holds, a fetch never meets another program's change.
    if (slot >= header_.NextSlotNumber || !GetRecord(slot, false, false, ReadForward, record) || !record ||
        record->Status() != RecordActive || record->Id() != GetRecordId(image)) {
        return Refuse(*this, ErrRecordNotFound, &field);
    }
    // The same record with another value: its value now, as any fetch after the change would show it.
    value = FieldValue(*this, field, record->Image());
    return 0;
}

std::uint16_t TDataFile::CloseBlob(bool workingSet, std::uint16_t fieldNumber,
                                   std::span<std::uint8_t> image) {
    std::int32_t handle = 0;
    if (const std::uint16_t code = FieldHandle(*this, workingSet, fieldNumber, image, handle)) return code;
    BlockOffset first;
    const std::uint16_t code = blobFile_.CloseBlob(handle, first);
    if (code == 0)
        StoreFieldValue(*this, workingSet, fieldNumber, image, static_cast<std::int32_t>(first.Value));
    return code;
}

std::uint16_t TDataFile::ReadBlob(bool workingSet, std::uint16_t fieldNumber, std::int32_t& countRead,
                                  std::int32_t count, std::span<std::uint8_t> destination,
                                  std::int32_t offset, std::span<const std::uint8_t> image) {
    countRead = 0;
    std::int32_t handle = 0;
    if (const std::uint16_t code = FieldHandle(*this, workingSet, fieldNumber, image, handle)) return code;
    return blobFile_.ReadBlob(handle, offset, count, destination, countRead);
}

std::uint16_t TDataFile::WriteBlob(bool workingSet, std::uint16_t fieldNumber,
                                   std::span<const std::uint8_t> source, std::int32_t count,
                                   std::int32_t offset, std::span<const std::uint8_t> image) {
    std::int32_t handle = 0;
    if (const std::uint16_t code = FieldHandle(*this, workingSet, fieldNumber, image, handle)) return code;
    return blobFile_.WriteBlob(handle, offset, count, source);
}

std::uint16_t TDataFile::TruncateBlob(bool workingSet, std::uint16_t fieldNumber, std::int32_t size,
                                      std::span<const std::uint8_t> image) {
    std::int32_t handle = 0;
    if (const std::uint16_t code = FieldHandle(*this, workingSet, fieldNumber, image, handle)) return code;
    return blobFile_.TruncateBlob(handle, size);
}

std::uint16_t TDataFile::GetBlobSize(bool workingSet, std::uint16_t fieldNumber, std::int32_t& size,
                                     std::span<const std::uint8_t> image) {
    size = 0;
    std::int32_t handle = 0;
    if (const std::uint16_t code = FieldHandle(*this, workingSet, fieldNumber, image, handle)) return code;
    return blobFile_.GetBlobSize(handle, size);
}

bool TDataFile::IsBlobOpen(bool workingSet, std::uint16_t fieldNumber,
                           std::span<const std::uint8_t> image) const {
    const TFieldDesc* const field = BlobField(*this, workingSet, fieldNumber);
    return field != nullptr && blobFile_.FindFieldValue(FieldValue(*this, *field, image)) != nullptr;
}

void TDataFile::FreeBlobs() noexcept {
    if (header_.BlobFieldCount != 0) blobFile_.FreeAllBuffers();
}

void TDataFile::SaveBlobReferences(bool workingSet, std::span<std::uint8_t> image) {
    if (header_.BlobFieldCount == 0) return;
    blobFile_.StoreFirstBlocks([&](std::uint16_t fieldNumber, BlockOffset first) {
        StoreFieldValue(*this, workingSet, fieldNumber, image, static_cast<std::int32_t>(first.Value));
    });
}

// ---- Large-object values at a record change ----

std::vector<TBlobBuffer*> TDataFile::RecordBlobValues(std::span<const std::uint8_t> image) const {
    std::vector<TBlobBuffer*> values;
    if (header_.BlobFieldCount == 0) return values;
    EachBlobField(*this, [&](std::uint16_t, const TFieldDesc& field) {
        TBlobBuffer* const value = blobFile_.FindFieldValue(FieldValue(*this, field, image));
        if (value != nullptr && std::find(values.begin(), values.end(), value) == values.end()) {
            values.push_back(value);
        }
    });
    return values;
}

void TDataFile::CheckRecordBlobs(std::span<const std::uint8_t> image, bool fresh) {
    if (header_.BlobFieldCount == 0) return;
    EachBlobField(*this, [&](std::uint16_t, const TFieldDesc& field) {
        const std::int32_t value = FieldValue(*this, field, image);
        if (value < 0 && blobFile_.FindFieldValue(value) == nullptr) {
            RaiseEngineError(ErrInvalidBlobOffset, FileName(), field.Name);
        }
    });
    blobFile_.CheckSave(RecordBlobValues(image), fresh);
}

void TDataFile::SaveRecordBlobs(SlotNumber slot, std::span<std::uint8_t> record,
                                std::vector<BlockOffset>* retired) {
    if (header_.BlobFieldCount == 0) return;
    const std::vector<TBlobBuffer*> values = RecordBlobValues(record);
    for (TBlobBuffer* const value : values) value->SetOwnerSlot(slot);
    blobFile_.SaveValues(values, retired);
    EachBlobField(*this, [&](std::uint16_t number, const TFieldDesc& field) {
        if (const TBlobBuffer* value = blobFile_.FindFieldValue(FieldValue(*this, field, record))) {
            StoreFieldValue(*this, false, number, record, static_cast<std::int32_t>(value->FirstBlock().Value));
        }
    });
}

void TDataFile::CheckRecordChains(SlotNumber slot, std::span<const std::uint8_t> record) {
    if (header_.BlobFieldCount == 0) return;
    EachBlobField(*this, [&](std::uint16_t, const TFieldDesc& field) {
        const std::int32_t value = FieldValue(*this, field, record);
        if (value > 0) blobFile_.CheckChainAt(BlockOffset(static_cast<std::uint32_t>(value)), slot);
    });
}

void TDataFile::FreeRecordChains(SlotNumber slot, std::span<std::uint8_t> record) {
    if (header_.BlobFieldCount == 0) return;
    EachBlobField(*this, [&](std::uint16_t number, const TFieldDesc& field) {
        const std::int32_t value = FieldValue(*this, field, record);
        // A stored record holds no handle: anything below 1 names no chain.
        if (value > 0) {
            const BlockOffset first(static_cast<std::uint32_t>(value));
            BlockOffset freed = first;
            blobFile_.FreeChainAt(freed, slot);
            for (OpenBlobValue& open : blobFile_.OpenValues()) {
                if (open.Value->OwnerSlot() == slot && open.Value->FirstBlock() == first) {
                    open.Value->SetFirstBlock(BlockOffset{});
                }
            }
        }
        if (value != 0) StoreFieldValue(*this, false, number, record, 0);
    });
}

}  // namespace engine
