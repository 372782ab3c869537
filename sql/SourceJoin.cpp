// The nested-loop join over the source tables: each table loops over the rows of its links' targets for
// every one of its own rows, the last link innermost.
#include <algorithm>

#include "sql/SourceDataFile.h"

namespace sql {

bool TSourceDataFile::PositionLink(std::size_t i) {
    TSourceDataLink& link = *Links[i];
    link.Matched = false;
    if (link.Condition) link.SetFilter();
    // A target that cannot start has no row for this outer row: a left outer link still yields its
    // unmatched row (AdvanceLink gives it, the target being exhausted), any other link fails.
    if (!link.Target->JoinFirst() && link.JoinType != jkLeftOuter) return false;
    if (i + 1 == Links.size()) return true;  // the last link is only started: the first JoinNext reads
    CurrentLink = static_cast<std::int32_t>(i);
    return AdvanceLink();
}

bool TSourceDataFile::JoinFirst() {
    exhausted_ = false;
    Table->SetToBegin();
    if (Links.empty()) return true;
    for (;;) {
        if (Table->GetNextRecord(RecordBuffer) != 0) {
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
        if (Table->GetNextRecord(RecordBuffer) == 0) return true;
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
            if (Table->GetNextRecord(RecordBuffer) != 0) {
                exhausted_ = true;
                return false;
            }
            CurrentLink = 0;
            positioned = ResetLinks();
        }
        CurrentLink = last;
    }
}

void TSourceDataFile::ClearJoinRows() {
    // A zeroed record image reads every field as NULL.
    std::fill(RecordBuffer.begin(), RecordBuffer.end(), std::uint8_t{0});
    for (const auto& link : Links) link->Target->ClearJoinRows();
}

}  // namespace sql
