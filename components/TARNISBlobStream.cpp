#include "components/TARNISBlobStream.h"

#include <algorithm>
#include <limits>

#include "components/TARNISDataSet.h"
#include "db/BlobField.h"
#include "db/DatabaseError.h"
#include "db/Messages.h"
#include "engine/base/EngineError.h"
#include "engine/blob/BlobBuffer.h"
#include "rtl/ExceptionHook.h"

namespace components {

namespace {

// The engine's offsets and counts are signed 32-bit.
constexpr std::int64_t kEngineLimit = std::numeric_limits<std::int32_t>::max();

// The engine's short read: the value ended before the count, or the position lies at or past its end.
constexpr std::uint16_t kEndOfBlob = engine::ErrEndOfBlob;

// a + b, held at the int64 limits instead of wrapping.
std::int64_t AddHeld(std::int64_t a, std::int64_t b) noexcept {
    std::int64_t sum = 0;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

}  // namespace

TTARNISBlobStream::TTARNISBlobStream(TTARNISDataSet& dataSet, db::TBlobField& field, db::TBlobStreamMode mode)
    : field_(field), dataSet_(dataSet), fieldNo_(static_cast<std::uint16_t>(field.FieldNo())) {
    // A writer is refused before the buffer is looked at: without one it would report every write as done.
    if (mode != db::bmRead && !field_.Modified()) {
        if (field_.ReadOnly()) db::DatabaseErrorFmt(db::kFieldReadOnly, {field_.DisplayName()});
        if (dataSet_.State() != db::dsEdit && dataSet_.State() != db::dsInsert)
            db::DatabaseError(db::kNotEditing);
    }
    buffer_ = dataSet_.GetActiveRecBuf();
    if (buffer_ == nullptr || dataSet_.Handle() == nullptr) return;
    dataSet_.AddBufferUser();
    registered_ = true;
    try {
        if (!field_.Modified()) {
            const std::uint8_t engineMode =
                mode == db::bmRead ? engine::BlobOpenRead : engine::BlobOpenReadWrite;
            Check(dataSet_.Handle()->OpenBlob(true, fieldNo_, engineMode, Image()));
        }
        opened_ = true;
        if (mode == db::bmWrite) Truncate();
    } catch (...) {
        Release();
        throw;
    }
}

TTARNISBlobStream::~TTARNISBlobStream() {
    Release();
    if (!modified_) return;
    try {
        dataSet_.DataEvent(db::deFieldChange, {.Field = &field_});
    } catch (...) {
        rtl::HandleCurrentException();
    }
}

void TTARNISBlobStream::Release() noexcept {
    if (opened_) {
        opened_ = false;
        if (modified_) field_.SetModified(true);
        // A written value stays open for the post or cancel, which closes it through the dataset.
        if (!field_.Modified() && dataSet_.Handle() != nullptr)
            engine::CleanUpKeepingError([&] { dataSet_.Handle()->CloseBlob(true, fieldNo_, Image()); });
    }
    if (registered_) {
        registered_ = false;
        dataSet_.RemoveBufferUser();
    }
}

std::span<std::uint8_t> TTARNISBlobStream::Image() const {
    return {reinterpret_cast<std::uint8_t*>(buffer_), dataSet_.RecordSize()};
}

void TTARNISBlobStream::Check(std::uint16_t code) const {
    // The engine stored the table and the field in the error context with the code.
    if (code != 0) engine::RaiseEngineException(code);
}

void TTARNISBlobStream::RequireEngineRange(std::int64_t end) const {
    if (position_ <= kEngineLimit && end <= kEngineLimit) return;
    engine::RaiseEngineError(engine::ErrInvalidBlobLength, dataSet_.Handle()->FileName(), field_.FieldName());
}

std::int64_t TTARNISBlobStream::Read(void* buffer, std::int64_t count) {
    // Past 2^31 - 1 lies past the end of any value.
    if (!opened_ || position_ > kEngineLimit) return 0;
    const auto asked = static_cast<std::int32_t>(std::min(count, kEngineLimit));
    std::int32_t countRead = 0;
    const std::span<std::uint8_t> destination(static_cast<std::uint8_t*>(buffer),
                                              static_cast<std::size_t>(std::max<std::int32_t>(asked, 0)));
    const std::uint16_t code = dataSet_.Handle()->ReadBlob(true, fieldNo_, countRead, asked, destination,
                                                           static_cast<std::int32_t>(position_), Image());
    if (code != 0 && code != kEndOfBlob) Check(code);
    position_ += countRead;
    return countRead;
}

std::int64_t TTARNISBlobStream::Write(const void* buffer, std::int64_t count) {
    if (!opened_) return 0;
    RequireEngineRange(AddHeld(position_, count));
    const std::span<const std::uint8_t> source(static_cast<const std::uint8_t*>(buffer),
                                               static_cast<std::size_t>(std::max<std::int64_t>(count, 0)));
    Check(dataSet_.Handle()->WriteBlob(true, fieldNo_, source, static_cast<std::int32_t>(count),
                                       static_cast<std::int32_t>(position_), Image()));
    position_ += count;
    modified_ = true;
    return count;
}

std::int64_t TTARNISBlobStream::Seek(std::int64_t offset, rtl::TSeekOrigin origin) {
    switch (origin) {
        case rtl::soBeginning:
            position_ = offset;
            break;
        case rtl::soCurrent:
            position_ = AddHeld(position_, offset);
            break;
        case rtl::soEnd:
            position_ = AddHeld(offset, GetBlobSize());
            break;
    }
    return position_;
}

void TTARNISBlobStream::Truncate() {
    if (!opened_) return;
    RequireEngineRange(position_);
    Check(dataSet_.Handle()->TruncateBlob(true, fieldNo_, static_cast<std::int32_t>(position_), Image()));
    modified_ = true;
}

std::int64_t TTARNISBlobStream::GetBlobSize() {
    if (!opened_) return 0;
    std::int32_t size = 0;
    Check(dataSet_.Handle()->GetBlobSize(true, fieldNo_, size, Image()));
    return size;
}

}  // namespace components
