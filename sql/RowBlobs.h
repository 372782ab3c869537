// RowBlobs: the large-object values one result row's copy opened, released when the row is done.
#pragma once

#include <memory>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/table/DataFile.h"
#include "sql/SourceDataFile.h"

namespace sql {

// After the row is stored (or fails to be), the result's open values are dropped and every source row gets
// its references back. Inactive for a select list without a large-object column.
class RowBlobs {
public:
    RowBlobs(engine::TDataFile& result, const std::vector<std::unique_ptr<TSourceDataFile>>& sources,
             bool active)
        : result_(result), sources_(sources), active_(active) {}
    RowBlobs(const RowBlobs&) = delete;
    RowBlobs& operator=(const RowBlobs&) = delete;
    ~RowBlobs() {
        if (!active_) return;
        result_.FreeBlobs();
        for (const auto& source : sources_) {
            engine::CleanUpKeepingError(
                [&] { source->Table->SaveBlobReferences(false, source->RecordBuffer); });
            source->Table->FreeBlobs();
        }
    }

private:
    engine::TDataFile& result_;
    const std::vector<std::unique_ptr<TSourceDataFile>>& sources_;
    bool active_;
};

}  // namespace sql
