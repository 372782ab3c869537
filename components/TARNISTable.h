// TTARNISTable: the table component: opens one table file of its database's directory with its options,
// selects its index, reads field and index definitions, empties the table and follows a master dataset.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "components/RestructureDefs.h"
#include "components/TARNISDBDataSet.h"
#include "components/TARNISMasterDataLink.h"
#include "db/IndexDefs.h"
#include "engine/table/DataFile.h"

namespace db {
class TDataSource;
}

namespace components {

// How a table's handle opens.
struct TableOpenSettings {
    bool Exclusive = false;
    bool ReadOnly = false;
    bool InMemory = false;
    // Set: other programs' changes are looked for before every operation. Clear: at a key search, at a
    // fetch of a record not cached, and once per read-ahead run of a walk, which shows another program's
    // change at its next run (TDataFile::SetStrictChangeDetection).
    bool StrictChangeDetection = false;
    bool ForceBufferFlush = false;
    std::uint8_t LockRetryCount = 15;
    std::uint16_t LockWaitTime = 100;
};

// The table's path in a database directory: the table name alone for an empty directory, else the
// directory, a "/" unless it ends with "/" or "\", and the name. Nothing is cut: a path the engine cannot
// take is refused by it (11010) rather than opening another, shortened name.
std::string TablePath(std::string_view directory, std::string_view tableName);

// The one way a table's handle opens: a handle owned by the dataset, which holds its database, set up with
// the settings and opened in the database's directory under the session's lock, with the session's password
// callback for the length of the open; then switched to the index when one is given ("" the primary index).
// On any failure the handle is freed and the failure passes on.
std::unique_ptr<engine::TDataFile> OpenTableHandle(TTARNISDBDataSet& dataSet, std::string_view tableName,
                                                   const TableOpenSettings& settings,
                                                   std::optional<std::string_view> indexName);

// The options that describe the open (Exclusive, ReadOnly, InMemory, StrictChangeDetection, ForceBufferFlush,
// TableName) change only while closed ("Cannot perform this operation on an open dataset"); the lock settings
// reach the open handle at once. After each open ReadOnly is what the handle got (a file without write bits
// opens read-only). IndexName and IndexFieldNames are one choice: each reads "" while the other is chosen.
//
// Field and index definitions of a closed table are read through a temporary handle, and a closed table
// empties itself through one; each holds the database only for its length and frees its handle on every path.
// A detail table (MasterSource, MasterFields) shows the records whose leading index fields equal the
// master's key fields, and its new records take them. The table keeps a second handle (the lookup cursor) for
// searches on another index while that index serves them.
class TTARNISTable : public TTARNISDBDataSet {
public:
    explicit TTARNISTable(rtl::TComponent* owner = nullptr);
    ~TTARNISTable() override;

    // Reads "1.21"; writes are ignored.
    std::string EngineVersion() const;
    void SetEngineVersion(std::string_view) {}

    bool Exclusive() const noexcept { return settings_.Exclusive; }
    void SetExclusive(bool value);
    bool ReadOnly() const noexcept { return settings_.ReadOnly; }
    void SetReadOnly(bool value);
    bool InMemory() const noexcept { return settings_.InMemory; }
    void SetInMemory(bool value);
    bool StrictChangeDetection() const noexcept { return settings_.StrictChangeDetection; }
    void SetStrictChangeDetection(bool value);
    bool ForceBufferFlush() const noexcept { return settings_.ForceBufferFlush; }
    void SetForceBufferFlush(bool value);
    std::uint8_t LockRetryCount() const noexcept { return settings_.LockRetryCount; }
    void SetLockRetryCount(std::uint8_t value);
    std::uint16_t LockWaitTime() const noexcept { return settings_.LockWaitTime; }
    void SetLockWaitTime(std::uint16_t value);
    // Store the field and index definitions with the form; nothing streams forms here, so a plain flag.
    bool StoreDefs() const noexcept { return storeDefs_; }
    void SetStoreDefs(bool value) noexcept { storeDefs_ = value; }

    const std::string& TableName() const noexcept { return tableName_; }
    void SetTableName(std::string_view value);
    std::string IndexName() const;
    void SetIndexName(std::string_view value);
    std::string IndexFieldNames() const;
    void SetIndexFieldNames(std::string_view value);

    db::TIndexDefs& IndexDefs() noexcept { return indexDefs_; }
    // Copies the definitions given.
    void SetIndexDefs(const db::TIndexDefs& value) { indexDefs_.Assign(value); }

    const std::string& MasterFields() const noexcept { return masterLink_.FieldNames(); }
    void SetMasterFields(std::string_view value) { masterLink_.SetFieldNames(value); }
    db::TDataSource* MasterSource() const noexcept { return masterLink_.DataSource(); }
    // "Circular datalinks are not allowed" for a source whose chain leads back to this table.
    void SetMasterSource(db::TDataSource* value);
    TTARNISMasterDataLink& MasterLink() noexcept { return masterLink_; }

    // Removes every record. Open: the table must be open exclusively and writable (the engine raises
    // otherwise). Closed: opened exclusively for the purpose and closed again.
    void EmptyTable();

    // The lookup cursor, null when there is none.
    engine::TDataFile* LookupCursor() const noexcept { return lookupCursor_.get(); }

    // The layout a restructure would give the table; nothing in this system restructures.
    TRestructureFieldDefs& RestructureFieldDefs() noexcept { return restructureFieldDefs_; }
    TRestructureIndexDefs& RestructureIndexDefs() noexcept { return restructureIndexDefs_; }

    // Repair and restructure events; nothing calls them.
    std::function<void(TTARNISTable&, int currentRecord, std::uint16_t percentDone)> OnRepairProgress;
    std::function<void(TTARNISTable&, int currentRecord, std::uint16_t percentDone)> OnIndexProgress;
    std::function<void(TTARNISTable&, int currentRecord, std::uint16_t percentDone)> OnRestructureProgress;
    std::function<void(TTARNISTable&, int cause, const std::string& contextInfo, bool& continueRestructure,
                       bool& stopAsking)>
        OnDataLost;
    std::function<void(TTARNISTable&, const std::string& logMessage)> OnRepairLog;

    // Read through a temporary handle while closed ("Missing table name." without a table name).
    void InitFieldDefs() override;
    void UpdateIndexDefs() override;
    // A property change marks the index definitions and the restructure lists out of date.
    void DataEvent(db::TDataEvent event, const db::TDataEventInfo& info = {}) override;

protected:
    engine::TDataFile* CreateHandle() override;
    void DestroyHandle() override;
    void PrepareCursor() override;
    void DoOnNewRecord() override;
    bool GetCanModify() override;
    db::TDataSource* GetDataSource() override;
    // A clone of the handle on the index that serves the key fields with the letter-case rule, kept while
    // they are asked for; none for an exclusive table (the engine clones none), a detail table, or fields no
    // index serves.
    engine::TDataFile* GetLookupCursor(std::string_view keyFields, bool caseInsensitive) override;
    void DestroyLookupCursor() override;

    // Opens the table with the table's settings and switches to the engine index name.
    std::unique_ptr<engine::TDataFile> GetHandle(std::string_view engineIndexName);
    // The engine name of an index choice: "" for none, the name itself, or the index serving the fields.
    std::string GetIndexParams(std::string_view indexName, bool fieldsIndex);

private:
    // A temporary handle for reading definitions or emptying the table: the table's settings, adjusted.
    std::unique_ptr<engine::TDataFile> OpenTemporaryHandle(bool exclusive, bool readOnly);
    // The open handle, or a shared temporary one that the caller keeps in temporary, for reading definitions.
    engine::TDataFile* OpenOrReadHandle(std::unique_ptr<engine::TDataFile>& temporary);
    void CheckTableName() const;
    // "Cannot perform this operation on an open dataset" while open.
    void SetClosedOnly(bool TableOpenSettings::*setting, bool value);
    void SetIndex(std::string_view value, bool fieldsIndex);
    void MasterChanged();
    void MasterDisabled();
    void ApplyRange();
    void CancelRange();
    void CheckMasterRange();

    TableOpenSettings settings_;
    bool storeDefs_ = false;
    bool fieldsIndex_ = false;
    std::string tableName_;
    std::string indexName_;
    db::TIndexDefs indexDefs_;
    TRestructureFieldDefs restructureFieldDefs_;
    TRestructureIndexDefs restructureIndexDefs_;
    TTARNISMasterDataLink masterLink_;
    // The lookup cursor, the key fields and the letter-case rule it serves.
    std::unique_ptr<engine::TDataFile> lookupCursor_;
    std::string lookupKeyFields_;
    bool lookupCaseInsensitive_ = false;
};

}  // namespace components
