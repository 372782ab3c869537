#include "tools/keyvale-setup/ApplicationTables.h"

#include <algorithm>

#include "engine/records/FieldDesc.h"
#include "engine/records/IndexDescriptor.h"
#include "engine/table/DataFile.h"
#include "engine/values/FieldTypes.h"

namespace keyvalesetup {
namespace {

using namespace engine;

// The large-object kind the dataset components read as a memo.
constexpr std::uint8_t kMemoSubType = 22;
// Every application table's block size: small blocks suit the one memo of a result.
constexpr std::uint32_t kBlockSize = 512;

std::vector<FieldSpec> NumericFields() {
    std::vector<FieldSpec> fields;
    for (int i = 1; i <= kNumericPositions; ++i) fields.push_back({NumericField("n", i), FieldTypeInteger});
    for (int i = 1; i <= kNumericPositions; ++i) fields.push_back({NumericField("nd", i), FieldTypeFloat});
    return fields;
}

std::vector<TableSpec> MakeTables() {
    return {
        {TableId::Config,
         "config",
         {{"realtime", FieldTypeInteger},
          {"practicetime", FieldTypeInteger},
          {"fname", FieldTypeString, 40},
          {"lname", FieldTypeString, 40},
          // The password edits take 10 characters.
          {"password", FieldTypeString, 10},
          {"useuppercase", FieldTypeBoolean},
          {"usedecimal", FieldTypeBoolean},
          {"presults", FieldTypeBoolean},
          {"rresults", FieldTypeBoolean},
          {"showinstructions", FieldTypeBoolean},
          {"remembername", FieldTypeBoolean},
          {"scalefactor", FieldTypeInteger},
          {"width", FieldTypeInteger},
          {"sort", FieldTypeInteger},
          {"filter", FieldTypeInteger},
          {"autoadvance", FieldTypeBoolean}},
         {}},
        {TableId::Results,
         "results",
         // NAME holds "lname, fname" of two 40-character names.
         {{"NAME", FieldTypeString, 82},
          {"NKPH", FieldTypeFloat},
          {"KPH", FieldTypeFloat},
          {"TOTERRS", FieldTypeInteger},
          {"FLDERRS", FieldTypeInteger},
          // A time of day: a date-time would print 30 December 1899 beside it.
          {"TESTTIME", FieldTypeTime},
          {"TESTDATE", FieldTypeDate},
          {"TIME", FieldTypeFloat},
          {"TOTALFLDS", FieldTypeInteger},
          {"TOTALKS", FieldTypeInteger},
          {"ACCURACY", FieldTypeFloat},
          // A string, for the filter's constant: "alphanumeric" is the longest test type.
          {"TESTTYPE", FieldTypeString, 12},
          {"ERRORS", FieldTypeBlob, 0, kMemoSubType}},
         {{"NAME", {"NAME"}, true},
          {"KPH", {"KPH"}},
          {"NETKPH", {"NKPH"}},
          {"DATE", {"TESTDATE", "TESTTIME"}}}},
        {TableId::Invsort,
         "invsort",
         // recordid maps onto the record ID, so that it counts 1..N for the generator's gauge.
         {{"recordid", FieldTypeInteger, 0, FieldSubTypeAutoInc},
          {"idxkey", FieldTypeString, 5},
          {"date", FieldTypeString, 8},
          {"invoice", FieldTypeInteger},
          {"amount", FieldTypeString, 7},
          {"FIRST", FieldTypeString, 20},
          {"LAST", FieldTypeString, 20},
          {"STREET", FieldTypeString, 30},
          {"CITY", FieldTypeString, 20}},
         // Random keys collide: the index cannot be unique.
         {{"idxkey", {"idxkey"}}}},
        {TableId::Numeric, "numeric", NumericFields(), {}},
    };
}

std::uint16_t FieldNumberOf(const TableSpec& table, const std::string& name) {
    const auto found = std::find_if(table.fields.begin(), table.fields.end(),
                                    [&name](const FieldSpec& field) { return field.name == name; });
    return static_cast<std::uint16_t>(found - table.fields.begin() + 1);
}

std::string InDirectory(std::string_view directory, std::string_view name) {
    std::string path(directory);
    if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
    path += name;
    return path;
}

bool HasBlobField(const TableSpec& table) {
    return std::any_of(table.fields.begin(), table.fields.end(),
                       [](const FieldSpec& field) { return field.type == FieldTypeBlob; });
}

}  // namespace

std::string NumericField(std::string_view prefix, int position) {
    // Appended one by one: a literal + std::string sum draws GCC 12's false -Wrestrict from libstdc++.
    std::string name(prefix);
    name += std::to_string(position);
    return name;
}

const std::vector<TableSpec>& ApplicationTables() {
    static const std::vector<TableSpec> tables = MakeTables();
    return tables;
}

const TableSpec* FindApplicationTable(std::string_view name) {
    for (const TableSpec& table : ApplicationTables()) {
        if (table.name == name) return &table;
    }
    return nullptr;
}

std::string DisplayName(const TableSpec& table) {
    return table.name + ".dat";
}

std::vector<std::string> TableFileNames(std::string_view directory, const TableSpec& table) {
    const std::string base = InDirectory(directory, table.name);
    std::vector<std::string> names = {base + ".DAT", base + ".IDX"};
    if (HasBlobField(table)) names.push_back(base + ".BLB");
    return names;
}

std::string TablePath(std::string_view directory, const TableSpec& table) {
    return InDirectory(directory, DisplayName(table));
}

void CreateApplicationTable(std::string_view directory, const TableSpec& table) {
    std::vector<TFieldDesc> fields;
    for (const FieldSpec& spec : table.fields) {
        TFieldDesc field;
        field.FieldNumber = static_cast<std::uint16_t>(fields.size() + 1);
        field.Name = spec.name;
        field.FieldType = spec.type;
        field.SubType = spec.subType;
        field.Size = spec.size;
        field.MaxValue = spec.maxValue;
        fields.push_back(std::move(field));
    }
    // The primary index comes first: one without fields, which the table then lacks.
    std::vector<TIndexDescriptor> indexes(1);
    for (const IndexSpec& spec : table.indexes) {
        TIndexDescriptor index;
        index.Name = spec.name;
        index.CaseInsensitive = spec.caseInsensitive ? 1 : 0;
        for (const std::string& name : spec.fields) {
            index.FieldNumbers.at(index.FieldCount++) = FieldNumberOf(table, name);
        }
        indexes.push_back(std::move(index));
    }
    TDataFile file;
    file.SetFileName(TablePath(directory, table));
    file.SetExclusive(true);
    file.CreateTable(0, 0, 0, 0, false, {}, {}, kBlockSize, fields, indexes, true);
}

}  // namespace keyvalesetup
