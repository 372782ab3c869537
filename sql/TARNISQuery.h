// TTARNISQuery: the dataset over one SQL statement: its text with ":name" parameters, the statement prepared
// from it, the parameter block that binds the values, and the statement's result as the dataset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "components/TARNISDBDataSet.h"
#include "db/DataLink.h"
#include "engine/records/FieldDesc.h"
#include "rtl/Stream.h"
#include "sql/DataQuery.h"
#include "sql/SQLStrings.h"
#include "sql/TARNISParams.h"

namespace db {
class TDataSource;
}

namespace sql {

class TTARNISQuery;

// Told of each record a running statement moves to: the record number, the percentage done, and a flag
// that stops the run after the current row.
using TQueryProgressEvent =
    std::function<void(TTARNISQuery& query, int currentRecord, std::uint16_t percentDone, bool& abortQuery)>;

// A detail query's link to its master's data source: the query opens again when the master opens or moves.
class TTARNISQueryDataLink : public db::TDataLink {
public:
    explicit TTARNISQueryDataLink(TTARNISQuery& query) : query_(query) {}

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void RecordChanged(db::TField* field) override;

private:
    TTARNISQuery& query_;
};

// Rewrites the text in place: each ":name" outside quotes becomes "?" and, with a list, a parameter of the
// name (ftUnknown, ptUnknown) in the order of the text; "::" becomes ":". A name ends at CR, LF, a blank,
// ")", "," or ";" outside quotes, or at the end of the text; a name right after the colon in apostrophes or
// double quotes loses them.
void CreateParams(TTARNISParams* list, std::string& text);

// The engine field type a parameter of the data type binds as; 0 for the types that have none.
std::uint8_t EngineParamType(db::TFieldType type) noexcept;

// The parameter block a statement's SetParams reads, one descriptor per parameter (Params order) and the
// value buffer:
//
// descriptor (a TFieldDesc, all else zero; its 768-byte image through EncodeFieldDesc):
// | offset | width | field        | content                                                        |
// |--------|-------|--------------|----------------------------------------------------------------|
// | 0      | u16   | field number | position in Params + 1                                         |
// | 2      | 31    | name         | the parameter's name, at most 30 characters                    |
// | 84     | u8    | type         | EngineParamType of its data type                               |
// | 86     | u8    | size         | 255 for a string, else 0                                       |
// | 88     | u8    | stored size  | the native size                                                |
// | 89     | u8    | stored scale | 4 for a BCD, else 0                                            |
// | 90     | u16   | offset       | the slot's offset in the value buffer                          |
//
// value buffer: per parameter a slot, without gaps: a not-null byte (1 has a value) and the native value.
struct TParamBlock {
    std::vector<engine::TFieldDesc> Descriptors;
    std::vector<std::uint8_t> Buffer;
};

// The largest string a slot's size byte carries (254 characters and the zero), and the largest block the
// 16-bit offsets address.
inline constexpr std::size_t kMaxBoundStringSize = 255;
inline constexpr std::size_t kMaxParamBlockSize = 65535;

// The block of the parameters, each taken through Items (the first of its name). A parameter without a
// native form raises its type message, a string over 254 characters or a block over kMaxParamBlockSize
// bytes "Parameter '%s' is too large to bind", all before anything is bound.
TParamBlock BuildParamBlock(const TTARNISParams& params);

// The query runs its statement on the GUI thread; OnQueryProgress may let the event loop run. While the
// statement runs (Executing), Open, Close, ExecSQL, Disconnect, Prepare, UnPrepare and writes of SQL,
// Params, DataSource and RequestLive raise "Cannot perform this operation while the query is executing";
// the handler stops a run through its abort flag. Destroying the query from its own progress handler is not
// supported (a debug assertion catches it).
//
// Opening prepares a statement unless one is prepared (Prepare keeps one across closes), binds the
// parameters and runs it; a SELECT's result (the source table itself for a live result, else the result
// table) becomes the dataset's handle, which stays the statement's (QueryOwned). Closing lets the database
// go, and with its last reason the statement, its tables and temporary files. INSERT, UPDATE and DELETE run
// through ExecSQL only.
class TTARNISQuery : public components::TTARNISDBDataSet {
public:
    explicit TTARNISQuery(rtl::TComponent* owner = nullptr);
    ~TTARNISQuery() override;

    // Reads "1.21"; writes are ignored.
    std::string EngineVersion() const;
    void SetEngineVersion(std::string_view) {}

    // The SQL text. Changing it closes the query, frees its statement and, with ParamCheck, makes the
    // parameters anew from it, keeping the values of the names that remain.
    TSQLStrings& SQL() noexcept { return sql_; }
    // Takes the lines when their text differs from the present one.
    void SetSQL(std::vector<std::string> lines);
    void SetSQL(std::string_view text) { SetSQL(SplitLines(text)); }
    // The text the statement is prepared from: each parameter's ":name" as "?".
    const std::string& Text() const noexcept { return text_; }

    TTARNISParams& Params() noexcept { return *params_; }
    // Each parameter takes the value of the given list's parameter of exactly its name.
    void SetParams(const TTARNISParams& values);
    TTARNISParam& ParamByName(std::string_view name) const { return params_->ParamByName(name); }
    int ParamCount() const noexcept { return params_->Count(); }
    bool ParamCheck() const noexcept { return paramCheck_; }
    void SetParamCheck(bool value) noexcept { paramCheck_ = value; }

    // The master whose current record gives the values of the parameters not bound; "Circular datalinks
    // are not allowed" for a source whose chain leads back to this query.
    db::TDataSource* DataSource() const noexcept { return dataLink_.DataSource(); }
    void SetDataSource(db::TDataSource* value);

    bool RequestLive() const noexcept { return requestLive_; }
    void SetRequestLive(bool value);
    std::uint8_t LockRetryCount() const noexcept { return lockRetryCount_; }
    void SetLockRetryCount(std::uint8_t value);
    std::uint16_t LockWaitTime() const noexcept { return lockWaitTime_; }
    void SetLockWaitTime(std::uint16_t value);
    bool StrictChangeDetection() const noexcept { return strictChangeDetection_; }
    void SetStrictChangeDetection(bool value);

    TQueryProgressEvent OnQueryProgress;

    // Prepares the statement and keeps it (and the database) until UnPrepare, a change of the text or
    // Disconnect. Both raise "Cannot perform this operation on an open dataset" while open.
    void Prepare();
    void UnPrepare();
    bool Prepared() const noexcept { return prepared_; }
    // The prepared statement; null when there is none.
    TDataQuery* Statement() const noexcept { return statement_.get(); }
    bool Executing() const noexcept { return executing_; }

    // Runs an INSERT, UPDATE or DELETE: prepared (unless it is), bound and executed, holding the database for
    // the call; unprepared again afterwards unless Prepare keeps it. The dataset stays closed. A SELECT
    // raises "ExecSQL cannot run a SELECT statement" before it runs.
    void ExecSQL();

    // The stored "Data" block: read from the whole stream, written up to its first zero byte. Nothing else
    // uses it; a change of the text frees it.
    void ReadData(rtl::TStream& stream);
    void WriteData(rtl::TStream& stream) const;
    const std::vector<std::uint8_t>& StoredData() const noexcept { return storedData_; }

    void SetActive(bool active) override;
    // Closes the query and frees its statement.
    void Disconnect() override;
    // Clearing the last reason for holding the database frees the statement first.
    void SetDBFlag(int flag, bool value) override;

protected:
    engine::TDataFile* CreateHandle() override;
    db::TDataSource* GetDataSource() override;

private:
    friend class TTARNISQueryDataLink;
    class ExecutingScope;

    // "Cannot perform this operation while the query is executing" while the statement runs.
    void CheckNotExecuting() const;
    // The SQL lines' change event.
    void QueryChanged();
    void SetPrepared(bool value);
    void PrepareSQL(const std::string& text);
    // Frees the statement once the dataset holds no handle of it.
    void FreeStatement() noexcept;
    // Prepared, the master's values taken, checked to be (or not to be) a SELECT.
    void PrepareToRun(bool select);
    // Binds the parameters and runs the statement; its result handle (null for a change).
    engine::TDataFile* Execute();
    void BindParams();
    void SetParamsFromCursor();
    void RefreshParams();
    void ProgressCallback(std::int32_t currentRecord, std::int32_t percentDone, bool& abort);

    std::unique_ptr<TDataQuery> statement_;
    TSQLStrings sql_;
    bool prepared_ = false;
    std::unique_ptr<TTARNISParams> params_;
    std::string text_;
    TTARNISQueryDataLink dataLink_;
    bool requestLive_ = false;
    std::vector<std::uint8_t> storedData_;
    bool paramCheck_ = true;
    std::uint8_t lockRetryCount_ = 15;    // the component's default lock retries
    std::uint16_t lockWaitTime_ = 100;    // and milliseconds between them
    bool strictChangeDetection_ = false;
    bool executing_ = false;
};

}  // namespace sql
