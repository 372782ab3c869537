// Tables for binding tests, and statements prepared over them in the test's directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/values/FieldTypes.h"
#include "sql/DataQuery.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/sql/ParseSupport.h"

namespace sqltest {

using enginetest::FieldDef;

// A descending index: the whole index and each of its fields.
inline engine::TIndexDescriptor DescendingIndexDef(std::string name,
                                                   std::initializer_list<std::uint16_t> fields) {
    engine::TIndexDescriptor index = enginetest::IndexDef(std::move(name), fields);
    index.Descending = 1;
    for (std::size_t i = 0; i < index.FieldCount; ++i) index.FieldDescending[i] = 1;
    return index;
}

inline engine::TIndexDescriptor NoCaseIndexDef(std::string name,
                                               std::initializer_list<std::uint16_t> fields) {
    engine::TIndexDescriptor index = enginetest::IndexDef(std::move(name), fields);
    index.CaseInsensitive = 1;
    return index;
}

// T: ID (autoincrement, primary), X integer, Y string 10, D date, N BCD scale 2; indexes ByX, ByY (case-
// insensitive), ByXY, ByXDesc (descending). U: ID integer, X integer, Z string 20; one index on (X, Z).
inline void CreateBindTables() {
    std::vector<engine::TFieldDesc> t = {
        enginetest::AutoIncDef(1, "ID"), FieldDef(2, "X", engine::FieldTypeInteger),
        FieldDef(3, "Y", engine::FieldTypeString, 10), FieldDef(4, "D", engine::FieldTypeDate),
        FieldDef(5, "N", engine::FieldTypeBcd, 0, 2)};
    std::vector<engine::TIndexDescriptor> tIndexes = {
        enginetest::IndexDef("", {1}), enginetest::IndexDef("ByX", {2}), NoCaseIndexDef("ByY", {3}),
        enginetest::IndexDef("ByXY", {2, 3}), DescendingIndexDef("ByXDesc", {2})};
    enginetest::CreateTable("T", t, tIndexes);
    std::vector<engine::TFieldDesc> u = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                         FieldDef(2, "X", engine::FieldTypeInteger),
                                         FieldDef(3, "Z", engine::FieldTypeString, 20)};
    std::vector<engine::TIndexDescriptor> uIndexes = {enginetest::IndexDef("", {1}),
                                                      enginetest::IndexDef("ByXZ", {2, 3})};
    enginetest::CreateTable("U", u, uIndexes);
}

// A table of count integer fields F1 .. Fcount without indexes.
inline void CreateWideTable(const std::string& name, int count) {
    std::vector<engine::TFieldDesc> fields;
    for (int i = 1; i <= count; ++i)
        fields.push_back(
            FieldDef(static_cast<std::uint16_t>(i), "F" + std::to_string(i), engine::FieldTypeInteger));
    std::vector<engine::TIndexDescriptor> indexes;
    enginetest::TableOptions options;
    options.allowNoPrimary = true;
    enginetest::CreateTable(name, fields, indexes, options);
}

// "F1, F2, ..., Fcount".
inline std::string FieldList(int count) {
    std::string list;
    for (int i = 1; i <= count; ++i) list += (i > 1 ? ", F" : "F") + std::to_string(i);
    return list;
}

// A statement prepared over the tables of the current directory.
inline std::unique_ptr<sql::TDataQuery> Bound(std::string_view text, bool requestLive = false) {
    auto query = std::make_unique<sql::TDataQuery>();
    query->RequestLive = requestLive;
    EXPECT_EQ(query->Prepare(text), 0) << text;
    return query;
}

// The 11949 text that preparing the statement raises.
inline std::string BindError(std::string_view text, bool requestLive = false) {
    sql::TDataQuery query;
    query.RequestLive = requestLive;
    return SqlError([&] { query.Prepare(text); });
}

inline std::vector<std::string> ResultNames(const sql::TDataQuery& query) {
    std::vector<std::string> names;
    for (const auto& column : query.ResultColumns) names.push_back(column->ResultName);
    return names;
}

// The names of the files in the directory.
inline std::set<std::string> FilesIn(const std::string& directory = ".") {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        if (entry.is_regular_file()) names.insert(entry.path().filename().string());
    return names;
}

}  // namespace sqltest
