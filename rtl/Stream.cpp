#include "rtl/Stream.h"

#include <algorithm>
#include <cstring>

#include "rtl/Messages.h"

namespace rtl {

TStream::~TStream() = default;

void TStream::SetSize(std::int64_t) {}

std::int64_t TStream::Size() {
    const std::int64_t position = Seek(0, soCurrent);
    const std::int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EStreamError(std::string(kStreamReadError));
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EStreamError(std::string(kStreamWriteError));
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    // Copied in blocks so that a large stream needs no buffer of its own size.
    constexpr std::int64_t kBlockSize = 64 * 1024;
    std::vector<std::byte> block(static_cast<std::size_t>(std::min(count, kBlockSize)));
    std::int64_t copied = 0;
    while (copied < count) {
        const std::int64_t n = std::min(count - copied, kBlockSize);
        source.ReadBuffer(block.data(), n);
        WriteBuffer(block.data(), n);
        copied += n;
    }
    return copied;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
    const auto size = static_cast<std::int64_t>(bytes_.size());
    if (count <= 0 || position_ < 0 || position_ >= size) return 0;
    const std::int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, bytes_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0 || position_ < 0) return 0;
    const std::int64_t end = position_ + count;
    if (end > static_cast<std::int64_t>(bytes_.size())) bytes_.resize(static_cast<std::size_t>(end));
    std::memcpy(bytes_.data() + position_, buffer, static_cast<std::size_t>(count));
    position_ = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    switch (origin) {
        case soBeginning:
            position_ = offset;
            break;
        case soCurrent:
            position_ += offset;
            break;
        case soEnd:
            position_ = static_cast<std::int64_t>(bytes_.size()) + offset;
            break;
    }
    return position_;
}

void TMemoryStream::SetSize(std::int64_t newSize) {
    bytes_.resize(static_cast<std::size_t>(std::max<std::int64_t>(newSize, 0)));
    position_ = std::min(position_, static_cast<std::int64_t>(bytes_.size()));
}

void TMemoryStream::Clear() {
    bytes_.clear();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& source) {
    source.SetPosition(0);
    const std::int64_t size = source.Size();
    std::vector<std::byte> bytes(static_cast<std::size_t>(size));
    source.ReadBuffer(bytes.data(), size);
    bytes_ = std::move(bytes);
    position_ = 0;
}

void TMemoryStream::SaveToStream(TStream& destination) const {
    destination.WriteBuffer(bytes_.data(), static_cast<std::int64_t>(bytes_.size()));
}

}  // namespace rtl
