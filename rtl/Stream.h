// TStream: a sequence of bytes read and written at a position; TMemoryStream keeps them in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "rtl/Exceptions.h"

namespace rtl {

// A stream that could not read or write all the bytes asked for (ReadBuffer, WriteBuffer).
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream();

    // Read and Write move up to count bytes at the position and advance it by the number moved, which they
    // return. Seek sets the position and returns it.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    // Streams of a fixed or engine-managed length ignore it.
    virtual void SetSize(std::int64_t newSize);

    std::int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
    // The length, found by seeking to the end; the position is kept.
    std::int64_t Size();

    // All of count bytes or EStreamError.
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);
    // Copies count bytes from the source's position, or, for a count of 0, the whole source from its
    // beginning; returns the number copied.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    // Writing past the end fills the gap with zeros.
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    // Any position may be set, also past the end; a negative one reads and writes nothing.
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    // Grows with zeros or cuts; the position is kept unless it lay past the new end.
    void SetSize(std::int64_t newSize) override;

    const std::byte* Memory() const { return bytes_.data(); }
    const std::vector<std::byte>& Bytes() const { return bytes_; }
    void Clear();
    // Replaces the contents with the whole of the source stream; the position goes to 0.
    void LoadFromStream(TStream& source);
    // Writes the whole contents to the destination at its position.
    void SaveToStream(TStream& destination) const;

private:
    std::vector<std::byte> bytes_;
    std::int64_t position_ = 0;
};

}  // namespace rtl
