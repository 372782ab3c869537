// Tables for the table component's tests: a results-shaped table with a memo and four secondary indexes
// and no primary one, and a test base that makes table components in the default session.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "components/TARNISTable.h"
#include "engine/values/FieldTypes.h"
#include "tests/components/support/DataSetFixture.h"

namespace componenttest {

// RESULTS: NAME string of 40, KPH and NKPH floats, TESTDATE date, TESTTYPE string of 20, ERRORS memo;
// indexes NAME (case-insensitive), KPH, NETKPH (on NKPH), DATE; no primary index.
inline void CreateResultsTable(components::TTARNISSession& session, const std::string& name = "results") {
    components::SessionLockGuard lock(session);
    std::vector<engine::TFieldDesc> fields = {
        enginetest::FieldDef(1, "NAME", engine::FieldTypeString, 40),
        enginetest::FieldDef(2, "KPH", engine::FieldTypeFloat),
        enginetest::FieldDef(3, "NKPH", engine::FieldTypeFloat),
        enginetest::FieldDef(4, "TESTDATE", engine::FieldTypeDate),
        enginetest::FieldDef(5, "TESTTYPE", engine::FieldTypeString, 20),
        enginetest::FieldDef(6, "ERRORS", engine::FieldTypeBlob, 0, 0, 22),
    };
    engine::TIndexDescriptor byName = enginetest::IndexDef("NAME", {1});
    byName.CaseInsensitive = 1;
    std::vector<engine::TIndexDescriptor> indexes = {
        enginetest::IndexDef("", {}), byName, enginetest::IndexDef("KPH", {2}),
        enginetest::IndexDef("NETKPH", {3}), enginetest::IndexDef("DATE", {4})};
    enginetest::TableOptions options;
    options.allowNoPrimary = true;
    enginetest::CreateTable(name, fields, indexes, options);
}

// The table component with the members its tests look at.
class TestTable : public components::TTARNISTable {
public:
    using components::TTARNISTable::ActiveBuffer;
    using components::TTARNISTable::TTARNISTable;
};

class TableComponentTest : public DataSetTest {
protected:
    // A table component on the table in the default session, not yet open.
    static std::unique_ptr<TestTable> NewTable(const std::string& table = "people") {
        auto result = std::make_unique<TestTable>();
        result->SetTableName(table);
        return result;
    }
};

}  // namespace componenttest
