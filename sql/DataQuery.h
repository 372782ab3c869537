// TDataQuery: one SQL statement: its settings and callbacks, the model its text is parsed into (kind, flags,
// source tables, select list, targets and values, ORDER BY and GROUP BY items, the condition trees and the
// parameters), the table handles it owns, the scanner over its text, and the calls that drive it (prepare,
// parameters, execute).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/expr/ExprNode.h"
#include "engine/records/FieldDesc.h"
#include "engine/table/DataFile.h"
#include "engine/values/LocaleSettings.h"
#include "sql/Aggregate.h"
#include "sql/ExpressionParser.h"
#include "sql/QueryElements.h"
#include "sql/SourceDataFile.h"
#include "sql/TypeChecker.h"

namespace sql {

enum class StatementType : std::uint8_t {
    None = 0,  // not parsed yet
    Select = 1,
    Insert = 2,
    Update = 3,
    Delete = 4,
};

// What Prepare answers for a statement it will not prepare: the engine's 11047, which the query component
// passes to its result check like any other code.
inline constexpr std::uint16_t ErrStatementNotPreparable = engine::ErrOsError;

// Told of the record a statement's row loop has moved to: its number, the percentage done, and a flag the
// callback sets to stop the loop after the current row.
using ProgressEvent = std::function<void(std::int32_t current, std::int32_t percent, bool& abort)>;

// The part of the progress scale one walk over the rows reports in: a statement that walks its rows twice
// reports each walk in its own part, so that the percentage rises once.
struct ProgressPart {
    std::int32_t From = 0;
    std::int32_t To = 100;
};

class TDataQuery {
public:
    // The owner is the query component that made the statement; the statement keeps it and never uses it.
    // The result table's handle is made here, closed, with the statement as its owner.
    explicit TDataQuery(void* owner = nullptr);
    // Frees the source tables (each closing its handle), the result table, the select list, the targets,
    // the values, the ORDER BY and GROUP BY items, both condition trees, Params and the scanner's text, in
    // this order, whatever state the statement is in. Raises nothing: a handle whose close fails is closed
    // all the same, and its failure goes to the application's exception handler (rtl::HandleException).
    ~TDataQuery();
    TDataQuery(const TDataQuery&) = delete;
    TDataQuery& operator=(const TDataQuery&) = delete;

    // --- Interface (DataQuery.cpp) ------------------------------------------------------------------------

    // Stored unless a SELECT has run: its tables were opened with the old settings.
    void SetDatabaseDirectory(std::string_view directory);
    void SetStrictChangeDetection(bool strict);
    // Each replaces the callback set before; an empty one removes it.
    void SetPasswordCallback(engine::TDataFile::PasswordEvent callback);
    void SetProgressCallback(ProgressEvent callback);

    // Reads the statement text into the model and binds it. Answers ErrStatementNotPreparable, changing
    // nothing, when the statement was prepared before (whether that succeeded or not: parsing appends to the
    // lists) or a SELECT has run; else 0. Parse and bind failures raise engine error 11949 (or the engine's
    // own error of opening or creating a table), leaving what was built to the destructor.
    std::uint16_t Prepare(std::string_view text);
    // Binds the parsed model (Binding.cpp): opens the tables, ties every column to its table and field,
    // expands "*", names the result columns and decides a SELECT live or copied; a copied SELECT gets its
    // result table designed, created and opened (ResultTable.cpp); INSERT and UPDATE get their targets bound
    // and their constant values checked. Raises engine error 11949, or the engine's error of an open or a
    // create; tables opened before a failure stay with the statement, which closes them when freed.
    void BindStatement();

    // Copies the parameter values into the Params nodes, the i-th descriptor's into the i-th node: its
    // FieldType, SubType, StoredSize (as the node's Size) and StoredScale (as its Scale), and its slot at
    // Offset in the buffer: a flag byte (0 for NULL) and StoredSize value bytes, copied even for NULL. More
    // descriptors than nodes raise 11949 "Internal parameter error" once the nodes are filled; nodes beyond
    // the descriptors keep their values. A slot not wholly inside the buffer raises the same before any of it
    // is copied. Answers 0.
    std::uint16_t SetParams(std::span<const engine::TFieldDesc> descriptors,
                            std::span<const std::uint8_t> buffer);
    // Runs the statement. The result is null first; a SELECT then hands out its result table, or the single
    // source table for a live result, marked QueryOwned (the statement keeps closing and freeing it). Answers
    // 0 on success.
    std::uint16_t Execute(engine::TDataFile*& result);
    // The joined rows: JoinFirst and JoinNext on the first source table.
    bool StartRows();
    bool NextRow();
    // Calls the progress callback, when one is set, with its three arguments; answers the abort flag.
    bool DoProgress(std::int32_t current, std::int32_t percent, bool& abort);

    // --- Binding (Binding.cpp)
    // ------------------------------------------------------------------------------
    //
    // Table, field, correlation and result names compare without regard to case (rtl::AnsiCompareText).

    // Type-checks every select-list tree under the built-in US settings and takes its type fields into the
    // column; a tree that is one column makes the column a plain one. 11949 for a column over 250 bytes.
    void CheckColumnExprSizes();
    // The type checker's resolver: binds a column node to its table and stored field; false when none has it.
    bool ResolveColumn(engine::TExprNode& node);
    // The table holding the column, its field number in fieldNumber (untouched for an empty name or "*",
    // which give the table itself): without a correlation name the first table having the field, with one
    // the tables of that correlation name. Null when none.
    TSourceDataFile* FindSourceField(std::string_view correlation, std::string_view name,
                                     std::uint16_t& fieldNumber);
    // The table of the correlation name; the first table for an empty one; null when none.
    TSourceDataFile* FindSourceTable(std::string_view correlation);
    // The select-list column an ORDER BY or GROUP BY item names, its ResultFieldNumber in fieldNumber:
    // with a correlation name by correlation and column name; without, by column name or by result name.
    // Aggregate columns are found by their column name only when included. Null when none.
    TResultDataField* FindResultColumn(bool includeAggregates, std::string_view name,
                                       std::uint16_t& fieldNumber, std::string_view correlation);
    // Puts one plain column per stored field of the table (but a "Row___No" field) at position, numbered
    // from column + 1 on; position ends after them.
    void ExpandAllColumns(TSourceDataFile& table, std::uint16_t& column, std::size_t& position);
    // Appends one target column per stored field of the table, in field order.
    void ExpandAllTargetColumns(TSourceDataFile& table);
    // Fills every target column from its field's descriptor.
    void ResolveTargetColumns();
    // Type-checks the INSERT or UPDATE values under the built-in US settings; a constant of another type
    // than its column is read as a date, time or date-time, or must be comparable with it.
    void CheckValueTypes();
    // The alias's last 30 characters, else a caption from the column name and aggregate; then made unique
    // among the other select-list columns' result names.
    void MakeResultColumnName(std::string_view name, std::string_view alias, std::string& resultName,
                              const TResultDataField& column, AggregateKind aggregate);
    // base + "_" + suffix within 30 characters, the base cut at its front when needed.
    static std::string MakeUniqueColumnName(std::string_view base, std::uint32_t suffix);
    // Same field count, whole-index descending and case flags, fields and per-field descending flags.
    static bool IndexDefsMatch(const engine::TIndexDescriptor& a, const engine::TIndexDescriptor& b) noexcept;
    // Gives the live source table the select list as its working field set.
    void SetupLiveResult();

    // --- Planning: join links (JoinAnalysis.cpp) -----------------------------------------------------------
    //
    // Binding turns the WHERE tree (every ON condition ANDed in) into join links, the bind-time part of the
    // residual condition (BoundResidual) and what is left for the table filters (WhereCondition), and puts
    // the tables in join order. Outer joins keep the standard meaning of ON and WHERE: a condition applied
    // after an outer join that names a table of its null side goes to the residual, evaluated on the joined
    // row after the unmatched row is made NULL.

    // Links every table to the next in list order without a condition; a table on the null side of an outer
    // join is linked only from the nearest earlier table on the same side of every outer join.
    void SetupDefaultLinks();
    // Type-checks WhereCondition, takes out the outer joins' ON conditions and what follows them, then runs
    // AnalyseJoinNode; a tree consumed whole leaves WhereCondition null and HasWhere false.
    void AnalyseJoinConditions();
    // What became of a node the join analysis looked at.
    enum class JoinFate : std::uint8_t { Kept, Linked, ToResidual };
    // Two-table comparisons become links; a cross-table disjunction (and a NOT over one) is left in the
    // slot for the caller to move to the residual. A Linked node is gone from the slot.
    JoinFate AnalyseJoinNode(std::unique_ptr<engine::TExprNode>& slot, engine::TExprNode* parent);
    // ResidualCondition := the tree, or an AND over the old residual (left) and the tree (right);
    // HasResidual := true.
    void AddResidualCondition(std::unique_ptr<engine::TExprNode> tree);
    // Some table other than through the ignored link has a conditional link to the table.
    bool IsJoinTarget(const TSourceDataLink* ignore, const TSourceDataFile* table) const noexcept;
    // Sources by ascending TableNumber, equal numbers in list order, then numbered 1, 2, ...
    void SortSourceTables();
    // Drops unneeded unconditional links, joins a table that several conditional links target through one
    // of them, then makes the links a tree rooted at the first table and checks every outer join against it.
    void PruneLinks();
    // The conditional links reaching one table merged into the link from the latest table before it.
    void MergeJoinTargets();
    // The refusal of a table whose join conditions cannot be joined through one link, naming the tables
    // that have a link to it.
    [[noreturn]] void RaiseTargetNotCombinable(const TSourceDataFile& target) const;

    // --- Planning: table filters (PushDown.cpp) -----------------------------------------------------------
    //
    // Every run derives its filters and residual condition afresh from the current parameter values:
    // ResidualCondition := a copy of BoundResidual, then a copy of WhereCondition is split into table
    // filters and residual parts. HasWhere and HasResidual then describe the run. Call after
    // CloseAllSourceFilters.
    void ApplyWhereToSources();
    // Splits the node in the slot (a node of the run's copy): an AND is split, any other node naming at
    // most one table is pushed whole to it (naming none: to the first table), one naming several goes to
    // the residual. True when the node left the slot's tree.
    bool SplitWhere(std::unique_ptr<engine::TExprNode>& slot);
    // Installs the condition as an active filter on the table, or (unindexed, copied result, no join, not
    // aggregates only) moves its rewritten copy to the residual and frees it: false then.
    bool PushFilterToSource(std::unique_ptr<engine::TExprNode>& slot, TSourceDataFile& table);
    // The copy of a condition a table filter gets: prefix compares for 'abc*' and LIKE 'abc%', and the
    // constant sides, IN items and BETWEEN bounds evaluated (EvaluateToConstant).
    std::unique_ptr<engine::TExprNode> RewriteForFilter(const engine::TExprNode& node);
    // The expression evaluated on the tables' current rows, as a constant node. A number or date of another
    // type than the model takes the model's type only when the conversion is exact; otherwise it keeps its
    // own, compared record by record under the mixed-type rules.
    std::unique_ptr<engine::TExprNode> EvaluateToConstant(const engine::TExprNode& model,
                                                          const engine::TExprNode& expression);
    // The value of that constant node alone.
    engine::ExprValue EvaluateToValue(const engine::TExprNode& model, const engine::TExprNode& expression);
    // The evaluator's column procedure: the column's field from its SourceTable's RecordBuffer (physical
    // field set). Owner is the statement; data is not used.
    static void FetchColumnValue(void* owner, void* data, const engine::TExprNode& column,
                                 engine::ExprValue& value);
    // Clears every link's filter handle, dropping its filter, then drops every source table's filters.
    void CloseAllSourceFilters();
    // Type-check WhereCondition, the residual condition binding made, and one link condition under the
    // built-in US settings (restored on every way out); 11949 when the tree is not boolean.
    void CheckWhereCondition();
    void CheckResidualCondition();
    void CheckLinkCondition(engine::TExprNode& condition);
    void CheckCondition(engine::TExprNode& condition, ParamTyping params = ParamTyping::Strict);

    // --- Statement parser (StatementParser.cpp) ----------------------------------------------------------
    //
    // Reads the one SELECT, INSERT, UPDATE or DELETE statement that Scanner holds into the model, under the
    // built-in US number and date settings (the thread's own are back on every exit). Raises engine error
    // 11949 at the first fault; what was built up to then stays in the lists, owned as everything else.
    void ParseStatement();

    // List items: each parses one item from the current token on into the given element.
    void ParseSourceColumn(TResultDataField& column);
    void ParseInsertColumn(TUpdateDataField& target);
    void ParseUpdateColumn(TUpdateDataField& target);
    void ParseInsertValue(TUpdateDataValue& value);
    void ParseUpdateValue(TUpdateDataValue& value);
    // Parses one WHERE or ON condition, ANDs it into WhereCondition from the left and collects its
    // parameters; returns the new condition, which WhereCondition owns.
    engine::TExprNode* ParseWhereClause();
    // Appends the tree's "?" nodes to Params in the order they stand in the text.
    void CollectParams(engine::TExprNode* node);
    // Stamps the join kind on the comparisons of an ON condition that join two columns: through NOT and the
    // other unary operators, AND and OR, and nothing else.
    void MarkJoinType(std::uint8_t joinKind, engine::TExprNode* node);
    // Refuses a correlation name that a table read before already has (without regard to case).
    void CheckDuplicateCorrelation(std::string_view name);

    // --- The statement ----------------------------------------------------------------------------------

    void* Owner;
    bool Executed = false;          // a SELECT has run: the statement cannot be prepared again
    std::string DatabaseDirectory;  // for table names without a path part; ends in "/" unless empty
    StatementType StatementKind = StatementType::None;
    bool RequestLive = false;  // an editable result is wished; INTO clears it, INSERT, UPDATE, DELETE set it
    bool Distinct = false;
    bool HasAverages = false;              // the select list holds AVG
    std::uint16_t AverageCountFields = 0;  // hidden count fields of the result table
    bool HasComputedColumns = false;       // the select list holds expression columns
    bool HasResidual = false;              // ResidualCondition is set
    bool HasJoin = false;                  // more than one table: a join or a comma
    bool HasWhere = false;                 // a WHERE or an ON condition was read
    bool HasOrderBy = false;
    bool OrderByUsesIndex = false;  // the ORDER BY is an index of the single source table
    std::uint8_t OrderByIndex = 0;  // that index's number
    bool Grouped = false;           // GROUP BY, or a select list of aggregates only
    bool AllAggregates = false;     // every select-list column is an aggregate
    bool SharedOrderIndex = false;  // the ORDER BY index serves the grouping or DISTINCT too
    bool LiveResult = false;        // the result is the source table itself
    bool IntoMemory = false;
    std::string IntoTableName;  // empty without INTO
    // The result table's handle, owned for the statement's life; opened only by binding.
    std::unique_ptr<engine::TDataFile> ResultTable;
    bool WithLocks = false;
    bool Encrypted = false;
    std::string EncryptionPassword;

    std::vector<std::unique_ptr<TSourceDataFile>> Sources;  // FROM order, a RIGHT JOIN's table first
    std::vector<std::unique_ptr<TResultDataField>> ResultColumns;
    std::vector<std::unique_ptr<TUpdateDataField>> TargetColumns;
    std::vector<std::unique_ptr<TUpdateDataValue>> Values;  // in the order of TargetColumns
    std::vector<std::unique_ptr<TOrderByDataField>> OrderBy;
    bool NoCase = false;  // NOCASE, for the whole ORDER BY
    std::vector<std::unique_ptr<TGroupByDataField>> GroupBy;
    std::unique_ptr<engine::TExprNode> WhereCondition;  // WHERE with every ON condition ANDed in
    // The run's residual condition, evaluated on every joined row; ApplyWhereToSources derives it.
    std::unique_ptr<engine::TExprNode> ResidualCondition;
    // What the join analysis moved to the residual at binding; each run starts its residual from a copy.
    std::unique_ptr<engine::TExprNode> BoundResidual;
    // The run's copy of WhereCondition after the split: the conditions installed as table filters.
    std::unique_ptr<engine::TExprNode> RunWhereCondition;
    // The "?" nodes of the value trees and of the condition trees, in the order they stand in the text; the
    // trees own them. SetParams writes into these very nodes, so they must live as long as the statement:
    // no step may free a node held here. Binding moves WHERE nodes into links and BoundResidual, which
    // keep them; runs work on copies made after SetParams, so that every run sees the values set for it.
    std::vector<engine::TExprNode*> Params;

    // The callbacks. What the caller needs beside its arguments travels in the function object. Binding
    // hands the password callback to each source table's open.
    ProgressEvent ProgressProc;
    engine::TDataFile::PasswordEvent PasswordProc;

    std::uint8_t LockRetryCount = 15;  // the query component's default lock retries
    std::uint16_t LockWaitTime = 100;  // and its default wait between them, in milliseconds
    bool StrictChangeDetection = false;
    std::uint16_t LanguageId = engine::DefaultLanguageId();  // for evaluations and the result table
    std::uint16_t SortId = 0;

    TExpressionParser Scanner{this};

    // An outer join: the table its JOIN reads, its FROM position and the tables of its null side (LEFT: that
    // table; RIGHT: every table before it in the FROM text).
    struct TOuterJoin {
        TSourceDataFile* Table = nullptr;
        std::uint16_t Position = 0;
        std::vector<TSourceDataFile*> NullSide;
        bool OnNullSide(const TSourceDataFile* table) const noexcept;
    };
    std::vector<TOuterJoin> OuterJoins;  // in FROM order; found by SetupDefaultLinks

private:
    // Outer-join planning steps (JoinAnalysis.cpp).
    void FindOuterJoins();
    // Same side of every outer join.
    bool SameJoinSide(const TSourceDataFile* a, const TSourceDataFile* b) const noexcept;
    // The nearest table before `table` in list order on the same side of every outer join; null when none.
    TSourceDataFile* NearestSameSide(const TSourceDataFile* table) const noexcept;
    // The outer joins' ON conditions: links, link conditions and null-side filters; conditions applied after
    // an outer join that name its null side go to the residual.
    void AnalyseOuterConditions();
    // Walking the tables in join order: unreached tables linked, links to reached tables dropped.
    void BuildLinkTree();
    // Each outer join is one left outer link whose target reaches exactly its null side; 11949 otherwise.
    void CheckOuterJoins() const;

    // The run itself (Execute.cpp): table filters, the row loops, INSERT, UPDATE and DELETE.
    std::uint16_t RunStatement(engine::TDataFile*& result);
    // The live result: the first source table, filtered and in the ORDER BY index's order.
    engine::TDataFile* RunLiveSelect();
    // The copied result: the result table filled from the joined rows; 11047 (no result) when a
    // large-object copy failed.
    std::uint16_t RunCopiedSelect(engine::TDataFile*& result);
    // The row loop over the joined rows, with progress and abort; each row passing the residual condition
    // goes to handleRow. A handleRow answering false ends the loop. False when the progress callback
    // aborted the walk.
    bool RunRowLoop(const std::function<bool()>& handleRow, ProgressPart part = {});
    // The tree (a column's expression or an aggregate's argument) on the current joined row, in the
    // column's type; NULL when it has no value there or the type cannot hold it.
    engine::ExprValue EvaluateColumn(const TResultDataField& column, const engine::TExprNode& tree);
    // The checks of a run under the built-in US settings: WhereCondition, the bound residual and, with
    // links, every link condition (ApplyLinkFilters).
    void CheckConditions(bool withLinks);
    // Builds the result row for the current joined row into image: plain columns copied (large objects
    // through the large-object layer unless withBlobs is false), expression columns evaluated; aggregate
    // columns stay NULL. False when a large-object copy failed (11047).
    bool BuildResultRow(std::span<std::uint8_t> image, bool withBlobs = true);
    // Copies a large-object column's value into image's result field; false when the source's value does
    // not stay open.
    bool CopyBlobColumn(const TResultDataField& column, std::span<std::uint8_t> image);
    // The copied SELECT's three row loops (Execute.cpp, ExecuteGroups.cpp); false when a large-object copy
    // failed.
    bool RunPlainRows(std::span<std::uint8_t> image);
    void RunGroupedRows(std::span<std::uint8_t> image, TGroupStates& groups);
    void RunAggregateRows(TGroupStates& groups);
    // Folds the current joined row into the group's states (one per aggregate column, in select-list order).
    void AccumulateRow(TGroupStates::Group& group);
    // Stores each aggregate's final value into the group's record: an AVG its sum / count (0.0 without
    // values) and the count in its hidden field; 11949 for a sum that does not fit its column.
    void FinishGroup(TGroupStates::Group& group);
    // Checks every sum, then finishes and inserts every group's record in the order the groups came.
    void StoreGroups(TGroupStates& groups);
    // An aggregate's argument on the current joined row, in the column's type; NULL when it has no value.
    engine::ExprValue AggregateArgument(const TResultDataField& column);
    // Some plain select-list column is a large object.
    bool CopiesBlobs() const;
    // The result table's index for the run: the one that finds a row's group or duplicate, else natural
    // order.
    void SelectRunIndex();
    // INSERT, UPDATE and DELETE (ExecuteChange.cpp), each under the table lock.
    void RunInsert();
    void RunChange();
    // Computes every row's new record image without writing one, so that a value or record the statement
    // would refuse on some row refuses it before the first row changes; reports progress in the part
    // given. False when the progress callback aborted it.
    bool CheckUpdateRows(ProgressPart part);
    // Evaluates value i against the target's current row and stores it into image's field, converted to
    // the column's type; a NULL result leaves an INSERT's field as initialised and blanks an UPDATE's. A
    // value past the column's range raises the overflow text. context ends the error texts.
    void StoreValue(std::size_t i, std::span<std::uint8_t> image, std::string_view context);

    // Binding steps (Binding.cpp).
    void BindSelect();
    void BindChange();
    void OpenSource(TSourceDataFile& source);
    void BindSelectColumn(TResultDataField& column, std::uint16_t& counter);
    void BindCountAll(TResultDataField& column);
    // Replaces the "*" column at position by the fields it stands for; position ends after them.
    void ExpandAllColumnsAt(std::size_t& position, std::uint16_t& counter);
    void FindOrderByIndex();
    // The column an ORDER BY or GROUP BY item names, by name or number; 11949 naming the item and the
    // clause (contextText) when there is none.
    TResultDataField& ResolveClauseItem(const TClauseColumn& item, bool includeAggregates,
                                        std::string_view context);

    // Result table steps (ResultTable.cpp): design, name, create, open and working field set.
    void CreateResultTable();
    std::vector<engine::TFieldDesc> DesignResultFields() const;
    std::vector<engine::TIndexDescriptor> DesignResultIndexes();
    std::string ResultTableName() const;
    void OpenResultTable();
    void SetupResultWorkingFields();

    // Parse steps (StatementParser.cpp).
    void ParseSelect();
    void ParseFromClause();
    void ParseJoin(std::uint16_t& tableCounter);
    void ParseOptionalWhere();
    void ParseOrderAndGroup();
    void ParseInsert();
    void ParseUpdate();
    void ParseDelete();
    void ParseStatementEnd(std::string_view keyword);
    void ParseAlias(TResultDataField& column);
    TSourceDataFile& ParseTable(std::uint16_t position, bool atFront, std::string_view missingName);
    void ParseCorrelation(TSourceDataFile& table, bool asAllowed, bool stringAllowed,
                          std::initializer_list<std::string_view> notNames);
    bool ParseClauseColumn(TClauseColumn& item);
    void ParseValue(TUpdateDataValue& value);
    void TakeTarget(TUpdateDataField& target, std::unique_ptr<engine::TExprNode> tree);
    // Scanner shorthands: an identifier or quoted string; its checked text, consumed; a keyword consumed
    // or the pattern raised with the current token.
    bool TokenIsName() const noexcept;
    std::string TakeName();
    void ExpectKeyword(std::string_view keyword, std::string_view pattern);
    [[noreturn]] void Fail(std::string_view pattern) const;

    struct TextLess {
        bool operator()(const std::string& a, const std::string& b) const noexcept;
    };
    std::set<std::string, TextLess> correlations_;  // of the tables read so far
    int whereLevels_ = 0;                           // levels of WhereCondition
    bool prepared_ = false;                         // Prepare has started once
};

}  // namespace sql
