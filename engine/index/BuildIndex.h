// TBuildIndex: the index current for one bitmap build or condition analysis, the caller's index put back on
// every exit.
#pragma once

#include <cstdint>

#include "engine/index/IndexFile.h"

namespace engine {

// Switches only the current index and its settings (SelectIndexForBuild): the bitmap mode, the bitmaps and
// the cursor's page, ordinal, flags and range stay as they are, for the index read here is only a means of
// reading.
class TBuildIndex {
public:
    // Remembers the current index, leaving it current.
    explicit TBuildIndex(TIndexFile& file) noexcept : file_(file), was_(file.CurrentIndex()) {}
    // Remembers the current index and makes index n current.
    TBuildIndex(TIndexFile& file, std::uint8_t n) noexcept : TBuildIndex(file) {
        file_.SelectIndexForBuild(n);
    }
    ~TBuildIndex() { file_.SelectIndexForBuild(was_); }
    TBuildIndex(const TBuildIndex&) = delete;
    TBuildIndex& operator=(const TBuildIndex&) = delete;

private:
    TIndexFile& file_;
    std::uint8_t was_;
};

}  // namespace engine
