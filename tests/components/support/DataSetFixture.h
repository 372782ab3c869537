// A DB dataset that opens a table by name the way the table component does, tables to open with it, and a
// test base that owns a session runtime in a fresh directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "components/TARNISDBDataSet.h"
#include "components/TARNISDatabase.h"
#include "components/TARNISTable.h"
#include "components/TARNISSession.h"
#include "db/Field.h"
#include "engine/table/DataFile.h"
#include "engine/values/FieldTypes.h"
#include "rtl/Exceptions.h"
#include "tests/components/support/SessionFixture.h"

namespace componenttest {

// Opens TableName in the database's directory through the table component's open sequence, with exclusive,
// read-only and the lock settings as set.
class TestDataSet : public components::TTARNISDBDataSet {
public:
    using components::TTARNISDBDataSet::TTARNISDBDataSet;

    std::string TableName;
    bool Exclusive = false;
    bool ReadOnly = false;
    std::uint8_t LockRetryCount = 15;
    std::uint16_t LockWaitTime = 100;
    // Index to select after the open ("" the primary index, "\xff" natural order by number).
    std::string IndexName;
    bool NaturalOrder = false;
    // Marks the handle as the SQL engine's and keeps it here, so that the test can check and free it.
    bool QueryOwned = false;
    std::unique_ptr<engine::TDataFile> KeptHandle;

    using components::TTARNISDataSet::ActiveBuffer;
    using components::TTARNISDataSet::AddFieldDesc;
    using components::TTARNISDataSet::GetActiveRecBuf;
    using components::TTARNISDataSet::GetRecord;
    using components::TTARNISDataSet::SetStateFieldValue;

protected:
    engine::TDataFile* CreateHandle() override {
        components::TableOpenSettings settings;
        settings.Exclusive = Exclusive;
        settings.ReadOnly = ReadOnly;
        settings.LockRetryCount = LockRetryCount;
        settings.LockWaitTime = LockWaitTime;
        auto handle = components::OpenTableHandle(*this, TableName, settings, std::nullopt);
        if (NaturalOrder) {
            handle->SetIndexNumber(255);
        } else {
            handle->SetIndexName(IndexName);
        }
        if (QueryOwned) {
            handle->SetQueryOwned(true);
            KeptHandle = std::move(handle);
            return KeptHandle.get();
        }
        return handle.release();
    }
};

// The message of the runtime exception the action raises; empty when it raises none.
inline std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const rtl::Exception& error) {
        return error.Message();
    }
    return {};
}

// Whether a handle of this process can have the table to itself now (a protected one counts, its password
// refused).
inline bool OpensExclusively(const std::string& table) {
    engine::TDataFile handle;
    handle.SetFileName(table);
    handle.SetExclusive(true);
    handle.SetPasswordEvent([] { return false; });
    const int code = enginetest::EngineCode([&] { handle.Open(); });
    handle.Close();
    return code == 0 || code == 10498;
}

// PEOPLE: ID integer (primary index), NAME string of 20, AMOUNT BCD at scale 2, NOTE string of 10 that is
// required; and a secondary index BYNAME on NAME.
inline void CreatePeopleTable(components::TTARNISSession& session, const std::string& name = "people") {
    components::SessionLockGuard lock(session);
    std::vector<engine::TFieldDesc> fields = {
        enginetest::FieldDef(1, "ID", engine::FieldTypeInteger),
        enginetest::FieldDef(2, "NAME", engine::FieldTypeString, 20),
        enginetest::FieldDef(3, "AMOUNT", engine::FieldTypeBcd, 0, 2),
    };
    std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1}),
                                                     enginetest::IndexDef("BYNAME", {2})};
    enginetest::CreateTable(name, fields, indexes);
}

class DataSetTest : public SessionTest {
protected:
    components::TTARNISSession& DefaultSession() { return runtime_.DefaultSession(); }

    // A dataset on the table in the default session, not yet open.
    std::unique_ptr<TestDataSet> NewDataSet(const std::string& table = "people") {
        auto dataSet = std::make_unique<TestDataSet>();
        dataSet->TableName = table;
        return dataSet;
    }

    // Appends records (ID, NAME) through the dataset.
    static void AddPeople(db::TDataSet& dataSet, const std::vector<std::pair<int, std::string>>& people) {
        for (const auto& [id, name] : people) {
            dataSet.Append();
            dataSet.FieldByName("ID").SetAsInteger(id);
            dataSet.FieldByName("NAME").SetAsString(name);
            dataSet.Post();
        }
    }
};

}  // namespace componenttest
