// TTARNISBlobStream: the stream a dataset hands out for a large-object field, reading and writing the value
// opened in the engine on the dataset's active record buffer.
#pragma once

#include <cstdint>
#include <span>

#include "db/DataSet.h"
#include "rtl/Stream.h"

namespace db {
class TBlobField;
}

namespace components {

class TTARNISDataSet;

// A value written through the stream stays open in the record buffer until the record is posted or
// cancelled: the destructor marks the field modified and leaves it open, and the dataset's CloseBlob closes
// it then. A stream made where the dataset has no active buffer (an empty dataset in Browse) reads nothing.
//
// Positions are 64-bit here and 32-bit in the engine: nothing is narrowed. A read from a position past
// 2^31 - 1 finds nothing; a write or truncation whose position or end passes it raises 10029 and changes
// nothing. Every engine failure raises ETARNISEngineError, except the short read of the value's end (8711).
//
// The stream points into a record buffer: it registers with the dataset as a buffer user for its life, and
// must not outlive the dataset's buffers (the dataset asserts that).
class TTARNISBlobStream : public rtl::TStream {
public:
    // Write and read-write need an editable field and the edit or insert state ("Field '%s' cannot be
    // modified", "Dataset not in edit or insert mode"), whether or not there is a buffer; then the value is
    // opened (once per edit: a value a stream wrote earlier is open still and is used again). The write mode
    // starts with an empty value.
    TTARNISBlobStream(TTARNISDataSet& dataSet, db::TBlobField& field, db::TBlobStreamMode mode);
    // Never raises: a failure of the field-change notification goes to the application's handler.
    ~TTARNISBlobStream() override;
    TTARNISBlobStream(const TTARNISBlobStream&) = delete;
    TTARNISBlobStream& operator=(const TTARNISBlobStream&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    // From the beginning, the position or the value's end; the result is not compared with the size.
    std::int64_t Seek(std::int64_t offset, rtl::TSeekOrigin origin) override;
    // Cuts the value at the position.
    void Truncate();
    // The value's size; 0 for a stream that opened nothing.
    std::int64_t GetBlobSize();

    bool Opened() const noexcept { return opened_; }
    bool Modified() const noexcept { return modified_; }

private:
    // The record image the value lives in.
    std::span<std::uint8_t> Image() const;
    // Raises the engine error for a nonzero code, naming the table and the field.
    void Check(std::uint16_t code) const;
    // 10029 unless the position and the end lie within the engine's 32-bit offsets.
    void RequireEngineRange(std::int64_t end) const;
    // Lets the value go unless a write left it for the post: the destructor's release, also after a failed
    // construction.
    void Release() noexcept;

    db::TBlobField& field_;
    TTARNISDataSet& dataSet_;
    db::TRecordBuffer buffer_ = nullptr;
    std::uint16_t fieldNo_ = 0;
    bool opened_ = false;
    bool modified_ = false;
    bool registered_ = false;
    std::int64_t position_ = 0;
};

}  // namespace components
