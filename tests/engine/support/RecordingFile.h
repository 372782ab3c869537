// Engine file objects for tests that record the position and size of every read and write.
#pragma once

#include <cstdint>
#include <vector>

namespace enginetest {

struct FileAccess {
    std::int64_t offset;
    std::int32_t count;
    friend bool operator==(const FileAccess&, const FileAccess&) = default;
};

// The file object of the type given (a record, index or large-object file), recording its accesses.
template <class File>
class RecordingFile : public File {
public:
    using File::File;
    // Closes here, so that the close's writes are recorded too.
    ~RecordingFile() override { this->Close(); }

    std::int32_t Read(void* buffer, std::int32_t count, bool allowShortRead) override {
        reads.push_back({this->Seek(0, 1), count});
        return File::Read(buffer, count, allowShortRead);
    }
    void Write(const void* buffer, std::int32_t count) override {
        writes.push_back({this->Seek(0, 1), count});
        File::Write(buffer, count);
    }

    std::vector<FileAccess> reads;
    std::vector<FileAccess> writes;
};

}  // namespace enginetest
