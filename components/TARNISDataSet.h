// TTARNISDataSet: the dataset over one open engine table handle: record buffers, navigation, bookmarks,
// editing and the field definitions read from the engine's descriptors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "db/DataSet.h"
#include "engine/records/FieldDesc.h"
#include "engine/table/DataFile.h"

namespace components {

// Layout of one record buffer (sizes in bytes; all offsets size_t, since an engine image of up to 65,535
// bytes plus the calculated area and a key of up to 1,040 bytes outgrow 16 bits):
//
// | offset                 | size            | content                                                   |
// |------------------------|-----------------|-----------------------------------------------------------|
// | 0                      | record size     | the engine's record image, its calculated area included   |
// | record size            | CalcFieldsSize  | per calculated or lookup field at its Offset: a not-null  |
// |                        |                 | byte (1 has a value), then the value in its DataSize      |
// | record-info offset     | 8               | i32 record number (-1 for a new record), u8 bookmark flag |
// |                        |                 | (0 current, 1 before first, 2 after last, 3 inserted)     |
// | record-info offset + 8 | BookmarkSize    | the engine's bookmark of the record (GetKeySize bytes)     |
//
// Descendants provide the open handle (CreateHandle); the record layout, field definitions and bookmark
// size are rebuilt at each open.
class TTARNISDataSet : public db::TDataSet {
public:
    explicit TTARNISDataSet(rtl::TComponent* owner = nullptr);
    // Closes the dataset.
    ~TTARNISDataSet() override;

    // The open engine table; null while closed.
    engine::TDataFile* Handle() const noexcept { return handle_; }

    bool GetFieldData(db::TField* field, void* buffer) override;
    void SetFieldData(db::TField* field, const void* buffer) override;
    using db::TDataSet::GetFieldData;
    using db::TDataSet::SetFieldData;
    bool GetCurrentRecord(db::TRecordBuffer buffer) override;
    // True only when the record the bookmark names is still there: the engine lands on the nearest
    // following record for a deleted one, so the bookmark read after the move must equal the one given.
    bool BookmarkValid(const std::byte* bookmark) override;
    int CompareBookmarks(const std::byte* bookmark1, const std::byte* bookmark2) override;
    using db::TDataSet::CompareBookmarks;
    bool IsSequenced() override { return !Filtered(); }
    // A TTARNISBlobStream over a large-object field's value in the active buffer.
    std::unique_ptr<rtl::TStream> CreateBlobStream(db::TField* field, db::TBlobStreamMode mode) override;
    void SetRecNo(int value) override;

    // The layout of the present open.
    std::size_t RecordSize() const noexcept { return recordSize_; }
    std::size_t RecInfoOffset() const noexcept { return recInfoOffset_; }
    std::size_t BookmarkOffset() const noexcept { return bookmarkOffset_; }
    std::size_t BufferSize() const noexcept { return bufferSize_; }

protected:
    // An open handle for the dataset, or null; the dataset frees it in DestroyHandle unless the SQL engine
    // keeps it (QueryOwned).
    virtual engine::TDataFile* CreateHandle() { return nullptr; }
    // Closes and frees the handle, except one the SQL engine keeps; tolerates a half-opened handle.
    virtual void DestroyHandle();
    // Called at the end of the cursor set-up of InternalOpen.
    virtual void PrepareCursor() {}
    // Adds the definition of one engine field; a type with no framework type is skipped.
    void AddFieldDesc(const engine::TFieldDesc& desc, bool required, int fieldNo);

    // The buffer field access uses in the present state; null when there is none.
    db::TRecordBuffer GetActiveRecBuf();
    // The current record as stored, read into the old-value buffer.
    db::TRecordBuffer GetOldRecord();

    // Hooks of the framework.
    std::size_t GetRecordBufferSize() override { return bufferSize_; }
    std::size_t GetRecordSize() override { return recordSize_; }
    db::TGetResult GetRecord(db::TRecordBuffer buffer, db::TGetMode mode, bool doCheck) override;
    void InternalInitRecord(db::TRecordBuffer buffer) override;
    void InitRecord(db::TRecordBuffer buffer) override;
    void ClearCalcFields(db::TRecordBuffer buffer) override;
    void GetBookmarkData(db::TRecordBuffer buffer, std::byte* data) override;
    void SetBookmarkData(db::TRecordBuffer buffer, const std::byte* data) override;
    db::TBookmarkFlag GetBookmarkFlag(db::TRecordBuffer buffer) override;
    void SetBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) override;
    void OpenCursor(bool infoQuery) override;
    void CloseCursor() override;
    bool IsCursorOpen() override { return handle_ != nullptr; }
    void InternalOpen() override;
    void InternalClose() override;
    void InternalInitFieldDefs() override;
    void InternalFirst() override;
    void InternalLast() override;
    void InternalGotoBookmark(const std::byte* bookmark) override;
    void InternalSetToRecord(db::TRecordBuffer buffer) override;
    void InternalRefresh() override;
    void InternalEdit() override;
    void InternalPost() override;
    void InternalCancel() override;
    void InternalDelete() override;
    void InternalAddRecord(db::TRecordBuffer buffer, bool append) override;
    bool GetCanModify() override { return canModify_; }
    int GetRecordCount() override;
    int GetRecNo() override;
    void SetStateFieldValue(db::TDataSetState state, db::TField* field, const rtl::Variant& value) override;
    void CloseBlob(db::TField* field) override;
    void DataConvert(db::TField* field, const void* source, void* destination, bool toNative) override;

    // Field reads in the filter state come from here (set while a record filter runs).
    db::TRecordBuffer filterBuffer_ = nullptr;

private:
    friend class TTARNISBlobStream;

    std::span<std::uint8_t> Image(db::TRecordBuffer buffer) const;
    std::span<std::uint8_t> BookmarkSpan(std::byte* bookmark) const;
    std::span<const std::uint8_t> BookmarkSpan(const std::byte* bookmark) const;
    std::int32_t RecordNumber(db::TRecordBuffer buffer) const;
    void SetRecordNumber(db::TRecordBuffer buffer, std::int32_t number) const;
    void CheckResult(std::uint16_t code) const;

    engine::TDataFile* handle_ = nullptr;
    bool canModify_ = false;
    std::size_t recordSize_ = 0;
    std::size_t recInfoOffset_ = 0;
    std::size_t bookmarkOffset_ = 0;
    std::size_t bufferSize_ = 0;
    // The stored state of the current record, for OldValue.
    std::vector<std::byte> oldValueBuffer_;
};

// The framework's field type and definition size for an engine field; ftUnknown for a field that gets no
// definition.
struct FieldDefShape {
    db::TFieldType type = db::ftUnknown;
    int size = 0;
};
FieldDefShape FieldDefShapeOf(const engine::TFieldDesc& desc) noexcept;

}  // namespace components
