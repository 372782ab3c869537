// TSourceDataFile: one table a statement reads or changes: its table handle, name, correlation name, place
// in the FROM text, current row and the join links to its inner tables.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/table/DataFile.h"
#include "sql/SourceDataLink.h"

namespace sql {

class TDataQuery;

// Closes a table handle a statement owns, on the statement's way out, where no caller can take a failure:
// it goes to the application's exception handler (rtl::HandleException). The handle is closed either way.
void CloseOwnedTable(engine::TDataFile& table) noexcept;

class TSourceDataFile {
public:
    // Makes the table's handle, closed, with the source table as its owner.
    explicit TSourceDataFile(TDataQuery* owner);
    // Frees the links and the row, then clears the handle's QueryOwned (which told the datasets using it
    // as a result to leave it to the statement), closes it (CloseOwnedTable) and frees it.
    ~TSourceDataFile();
    TSourceDataFile(const TSourceDataFile&) = delete;
    TSourceDataFile& operator=(const TSourceDataFile&) = delete;

    // Both setters do nothing while the table is open: the handle was opened under the old name.
    //
    // The table's file name. A name without a path part ("/", "\" or ":") is taken to lie in the
    // statement's DatabaseDirectory, which already ends in "/". While CorrelationName is empty, the name's
    // base name (no directory, no extension) becomes it. TableName keeps the whole path, however long: the
    // open refuses one the engine cannot take. An unchanged name changes nothing.
    void SetTableName(std::string_view name);
    void SetCorrelationName(std::string_view name);

    // Opens the table shared, writable only when live, with the statement's lock settings, change detection
    // and password callback; the callback goes again when the open returns, also when it fails. The table
    // is then in natural order and the row is emptied until AllocRecordBuffer sizes it.
    void Open(std::uint8_t lockRetryCount, std::uint16_t lockWaitTime, bool live, bool strictChangeDetection,
              const engine::TDataFile::PasswordEvent& passwordCallback);
    // The number of the stored field of that name, without regard to case (rtl::AnsiSameText); 0 for none.
    std::uint16_t FindField(std::string_view name) const;
    // The number and name of the first stored field; 0 and empty for a table without fields.
    void GetFirstField(std::uint16_t& number, std::string& name) const;
    // Sizes the row to the table's record image, zero-filled.
    void AllocRecordBuffer();
    // Merges the condition into the link to the target whose type is equal or unconditional, or appends a
    // new link. The operator is the comparison's, kept for the caller's choice of orientation only.
    void AddLink(std::uint8_t joinType, engine::ExprOperator op, TSourceDataFile* target,
                 std::unique_ptr<engine::TExprNode> condition);
    // CheckLinkCondition on each conditional link of the table.
    void ApplyLinkFilters();
    // One of the table's conditional links targets that table.
    bool IsLinkTarget(const TSourceDataFile* target) const noexcept;

    // --- The nested-loop join (SourceJoin.cpp) ---------------------------------------------------------
    //
    // The table is the outer loop of its links, the last link innermost; after each successful JoinNext
    // every table of the subtree holds its current row in RecordBuffer.

    // Rewinds the table and, with links, reads up to the first record whose links can all be positioned;
    // false when there is none. Without links nothing is read: the first JoinNext reads the first row.
    bool JoinFirst();
    // The next joined row of the subtree; false at its end.
    bool JoinNext();
    // Steps the link CurrentLink to its target's next row, or yields a left outer link's unmatched row
    // once when its target gave none for the outer row.
    bool AdvanceLink();
    // Positions the links from the last one down to CurrentLink for the current row; false at the first
    // that cannot be positioned.
    bool ResetLinks();
    // The unmatched row: this table's row and those of every table reached through its links all NULL.
    void ClearJoinRows();
    // From the next JoinFirst on, the join reads the rows listed from the key table instead of the table's
    // records, each passing when it passes the test as a filter on the table (none: every row passes). The
    // key table stays its link's and must outlive the reading.
    void ReadKeyRows(const TJoinKeyTable& keys, std::span<const std::uint32_t> rows,
                     std::unique_ptr<engine::TExprNode> test);
    // The join reads the table's own records again.
    void ReadOwnRows() noexcept;

    TDataQuery* Owner;
    std::unique_ptr<engine::TDataFile> Table;  // owned; opened by binding
    bool InMemory = false;                     // named with MEMORY
    std::uint16_t TableNumber = 0;             // from 1; after planning, the place in the join order
    std::uint16_t FromPosition = 0;  // the place in the FROM text, from 1; orders the tables of a bare "*"
    std::uint8_t JoinKind = jkNone;  // the kind of the join that read the table
    std::string TableName;           // directory and name
    std::string CorrelationName;     // the alias, or the table's base name
    // The table's current row, a record image of the table's record buffer size (RecordBufferSize); empty
    // until binding sizes it.
    std::vector<std::uint8_t> RecordBuffer;
    std::vector<std::unique_ptr<TSourceDataLink>> Links;  // to the inner tables, the last one innermost
    std::int32_t CurrentLink = 0;                         // the link the join is advancing

private:
    // Positions link i for the current row: its filter refreshed, its target started and, unless it is the
    // last link, the target's first row read (a left outer link yields its unmatched row when none).
    bool PositionLink(std::size_t i);
    // Rewinds the rows the join reads, and reads the next into RecordBuffer: the table's records, or those
    // of the key table listed for it; false at their end.
    void RewindRows();
    bool ReadRow();
    // The table's records ran out since the last JoinFirst: JoinNext answers false without reading, so a
    // left link's unmatched row is never followed by stale rows of the tables below it.
    bool exhausted_ = false;
    // The rows listed from a key table, when the join reads them (ReadKeyRows), and the next one's place.
    const TJoinKeyTable* keyRows_ = nullptr;
    std::span<const std::uint32_t> rows_;
    std::size_t nextRow_ = 0;
    std::unique_ptr<engine::TExprNode> rowTest_;
};

}  // namespace sql
