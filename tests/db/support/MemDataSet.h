// TMemDataSet: a dataset over rows held in memory, built on the framework's hooks alone, for tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/DataSet.h"
#include "db/FieldType.h"

namespace db_test {

struct MemColumn {
    std::string Name;
    db::TFieldType Type = db::ftUnknown;
    int Size = 0;  // characters, bytes, or a BCD value's decimals
    bool Required = false;
};

// The rows stay while the dataset is closed and opened again. Each row carries an id, which is its
// bookmark; new rows go before the record that was current at Insert, or at the end for Append. A
// BCD value is kept in the table engine's scaled-integer form, so the dataset converts it (DataConvert)
// like the engine's datasets do. Large objects live in a store of their own; a write stream copies the
// value into a new one, which the record takes at post.
//
// Record buffer layout:
// | offset                    | size             | content                                          |
// | column offset             | 1 + value size   | not-null byte, then the value (large object: id) |
// | RecordSize                | CalcFieldsSize   | calculated fields: not-null byte, value          |
// | RecordSize + calc         | 4                | record number (-1 for a new record)              |
// | RecordSize + calc + 4     | 1                | bookmark flag                                    |
// | RecordSize + calc + 8     | 4                | bookmark: the row id                             |
class TMemDataSet : public db::TDataSet {
public:
    explicit TMemDataSet(rtl::TComponent* owner = nullptr);
    ~TMemDataSet() override;

    // The columns; only while closed. Removes every row.
    void SetColumns(std::vector<MemColumn> columns);
    void SetReadOnly(bool readOnly);
    // The master source the dataset follows (it reads nothing from it): the source's chain must not lead
    // back here.
    void SetMasterSource(db::TDataSource* source);

    // Failure switches: the next InternalOpen (after it made the fields), InternalEdit or InternalPost
    // raises, once.
    void FailNextOpen() { failNextOpen_ = true; }
    void FailNextEdit() { failNextEdit_ = true; }
    void FailNextPost() { failNextPost_ = true; }

    int StoredRowCount() const { return static_cast<int>(rows_.size()); }
    // Changes a stored row (0-based, in stored order) behind the record buffers, as another program would:
    // the buffers keep what they read until the record is read again (Edit, Refresh, a move). Only while
    // open; not for large-object fields.
    void SetStoredValue(int row, std::string_view fieldName, const rtl::Variant& value);
    // Calls of CloseBlob since the dataset was made.
    int CloseBlobCount() const { return closeBlobCount_; }
    // The buffer field access uses in the present state.
    db::TRecordBuffer GetActiveRecBuf();

    bool Locate(std::string_view keyFields, const rtl::Variant& keyValues,
                db::TLocateOptions options) override;
    rtl::Variant Lookup(std::string_view keyFields, const rtl::Variant& keyValues,
                        std::string_view resultFields) override;
    bool GetFieldData(db::TField* field, void* buffer) override;
    void SetFieldData(db::TField* field, const void* buffer) override;
    using db::TDataSet::GetFieldData;
    using db::TDataSet::SetFieldData;
    std::unique_ptr<rtl::TStream> CreateBlobStream(db::TField* field, db::TBlobStreamMode mode) override;
    bool GetCurrentRecord(db::TRecordBuffer buffer) override;
    bool BookmarkValid(const std::byte* bookmark) override;
    int CompareBookmarks(const std::byte* bookmark1, const std::byte* bookmark2) override;
    using db::TDataSet::CompareBookmarks;
    bool IsSequenced() override { return !Filtered(); }
    void SetRecNo(int value) override;

protected:
    std::size_t GetRecordBufferSize() override;
    std::size_t GetRecordSize() override { return recordSize_; }
    db::TGetResult GetRecord(db::TRecordBuffer buffer, db::TGetMode mode, bool doCheck) override;
    void InternalInitRecord(db::TRecordBuffer buffer) override;
    void InitRecord(db::TRecordBuffer buffer) override;
    void ClearCalcFields(db::TRecordBuffer buffer) override;
    void GetBookmarkData(db::TRecordBuffer buffer, std::byte* data) override;
    void SetBookmarkData(db::TRecordBuffer buffer, const std::byte* data) override;
    db::TBookmarkFlag GetBookmarkFlag(db::TRecordBuffer buffer) override;
    void SetBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) override;
    bool IsCursorOpen() override { return open_; }
    void InternalOpen() override;
    void InternalClose() override;
    void InternalInitFieldDefs() override;
    void InternalFirst() override { cursor_ = -1; }
    void InternalLast() override { cursor_ = static_cast<std::ptrdiff_t>(rows_.size()); }
    void InternalGotoBookmark(const std::byte* bookmark) override;
    void InternalSetToRecord(db::TRecordBuffer buffer) override;
    void InternalEdit() override;
    void InternalPost() override;
    void InternalDelete() override;
    void InternalAddRecord(db::TRecordBuffer buffer, bool append) override;
    bool GetCanModify() override { return !readOnly_; }
    int GetRecordCount() override;
    int GetRecNo() override;
    db::TDataSource* GetDataSource() override { return masterSource_; }
    void CloseBlob(db::TField* field) override;
    void DataConvert(db::TField* field, const void* source, void* destination, bool toNative) override;

private:
    friend class MemBlobStream;

    struct Row {
        std::uint32_t Id = 0;
        std::vector<std::byte> Image;
    };

    std::size_t ValueSize(std::size_t column) const;
    std::size_t InfoOffset() const { return recordSize_ + CalcFieldsSize(); }
    std::size_t BookmarkOffset() const { return InfoOffset() + 8; }
    void SetRecordNumber(db::TRecordBuffer buffer, std::int32_t number);
    std::ptrdiff_t FindRow(std::uint32_t id) const;
    // A new row from the buffer's record at the index; the cursor goes onto it.
    void AddRow(db::TRecordBuffer buffer, std::ptrdiff_t at);
    std::uint32_t BufferRowId(db::TRecordBuffer buffer);
    bool Accepts(std::ptrdiff_t index);
    // 1-based position of the row among the rows the filter accepts.
    int VisiblePosition(std::ptrdiff_t index);
    void FillBuffer(db::TRecordBuffer buffer, std::ptrdiff_t index);
    std::ptrdiff_t FindMatch(std::string_view keyFields, const rtl::Variant& keyValues,
                             db::TLocateOptions options);
    // Large objects.
    std::uint32_t BlobId(db::TRecordBuffer buffer, int fieldNo) const;
    void SetBlobId(db::TRecordBuffer buffer, int fieldNo, std::uint32_t id);
    std::string& BlobValue(std::uint32_t id) { return blobs_[id]; }
    std::uint32_t NewBlob(std::string value);
    void DropUnusedBlobs();

    std::vector<MemColumn> columns_;
    std::vector<std::size_t> offsets_;
    std::size_t recordSize_ = 0;
    std::vector<Row> rows_;
    std::uint32_t nextRowId_ = 1;
    std::ptrdiff_t cursor_ = -1;  // a row index; -1 before the first, rows_.size() after the last
    bool open_ = false;
    bool readOnly_ = false;
    db::TDataSource* masterSource_ = nullptr;
    std::vector<std::byte> filterBuffer_;
    std::vector<std::byte> oldBuffer_;
    std::map<std::uint32_t, std::string> blobs_;
    std::uint32_t nextBlobId_ = 1;
    int closeBlobCount_ = 0;
    bool failNextOpen_ = false;
    bool failNextEdit_ = false;
    bool failNextPost_ = false;
};

}  // namespace db_test
