// The nested-loop join over the source tables: each table loops over the rows of its links' targets for
// every one of its own rows, the last link innermost.
#include <algorithm>
#include <utility>

#include "engine/table/Filter.h"
#include "sql/SourceDataFile.h"

namespace sql {

bool TSourceDataFile::PositionLink(std::size_t i) {
    TSourceDataLink& link = *Links[i];
    link.Matched = false;
    if (link.Condition) link.PositionTarget();
    // A target that cannot start has no row for this outer row: a left outer link still yields its
    // unmatched row (AdvanceLink gives it, the target being exhausted), any other link fails.
    if (!link.Target->JoinFirst() && link.JoinType != jkLeftOuter) return false;
    if (i + 1 == Links.size()) return true;  // the last link is only started: the first JoinNext reads
    CurrentLink = static_cast<std::int32_t>(i);
    return AdvanceLink();
}

bool TSourceDataFile::JoinFirst() {
    exhausted_ = false;
    RewindRows();
    if (Links.empty()) return true;
    for (;;) {
        if (!ReadRow()) {
            exhausted_ = true;
            return false;
        }
        CurrentLink = 0;
        if (ResetLinks()) {
            CurrentLink = static_cast<std::int32_t>(Links.size()) - 1;
            return true;
        }
    }
}

bool TSourceDataFile::AdvanceLink() {
    TSourceDataLink& link = *Links[static_cast<std::size_t>(CurrentLink)];
    if (link.Target->JoinNext()) {
        link.Matched = true;
        return true;
    }
    if (link.JoinType == jkLeftOuter && !link.Matched) {
        link.Matched = true;
        link.Target->ClearJoinRows();
        return true;
    }
    return false;
}

bool TSourceDataFile::ResetLinks() {
    const std::int32_t first = CurrentLink;
    for (auto i = static_cast<std::int32_t>(Links.size()) - 1; i >= first; --i)
        if (!PositionLink(static_cast<std::size_t>(i))) return false;
    return true;
}

bool TSourceDataFile::JoinNext() {
    if (exhausted_) return false;
    if (Links.empty()) {
        if (ReadRow()) return true;
        exhausted_ = true;
        return false;
    }
    const auto last = static_cast<std::int32_t>(Links.size()) - 1;
    for (;;) {
        if (AdvanceLink()) return true;
        // The innermost link ran out: step an outer link and position the ones inside it again.
        bool positioned = false;
        for (std::int32_t j = CurrentLink - 1; j >= 0 && !positioned; --j) {
            for (;;) {
                CurrentLink = j;
                if (!AdvanceLink()) break;
                CurrentLink = j + 1;
                if (ResetLinks()) {
                    positioned = true;
                    break;
                }
            }
        }
        // Every link ran out: the table's own next row.
        while (!positioned) {
            if (!ReadRow()) {
                exhausted_ = true;
                return false;
            }
            CurrentLink = 0;
            positioned = ResetLinks();
        }
        CurrentLink = last;
    }
}

void TSourceDataFile::ReadKeyRows(const TJoinKeyTable& keys, std::span<const std::uint32_t> rows,
                                  std::unique_ptr<engine::TExprNode> test) {
    keyRows_ = &keys;
    rows_ = rows;
    nextRow_ = 0;
    rowTest_ = std::move(test);
}

void TSourceDataFile::ReadOwnRows() noexcept {
    keyRows_ = nullptr;
    rows_ = {};
    nextRow_ = 0;
    rowTest_.reset();
}

void TSourceDataFile::RewindRows() {
    if (keyRows_ != nullptr) {
        nextRow_ = 0;
        return;
    }
    Table->SetToBegin();
}

bool TSourceDataFile::ReadRow() {
    if (keyRows_ == nullptr) return Table->GetNextRecord(RecordBuffer) == 0;
    while (nextRow_ < rows_.size()) {
        const std::span<const std::uint8_t> image = keyRows_->Image(rows_[nextRow_++]);
        std::copy(image.begin(), image.end(), RecordBuffer.begin());
        if (!rowTest_) return true;
        const engine::TRecordTest test{rowTest_.get()};
        if (engine::EvaluateRecord(*Table, RecordBuffer, Table->GetSlotNumber(RecordBuffer), test)) return true;
    }
    return false;
}

void TSourceDataFile::ClearJoinRows() {
    // A zeroed record image reads every field as NULL.
    std::fill(RecordBuffer.begin(), RecordBuffer.end(), std::uint8_t{0});
    for (const auto& link : Links) link->Target->ClearJoinRows();
}

}  // namespace sql
