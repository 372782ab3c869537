// TSourceDataFile: one table a statement reads or changes: its name, correlation name, place in the FROM
// text and the join links to its inner tables.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sql/SourceDataLink.h"

namespace sql {

class TDataQuery;

class TSourceDataFile {
public:
    explicit TSourceDataFile(TDataQuery* owner) noexcept : Owner(owner) {}
    TSourceDataFile(const TSourceDataFile&) = delete;
    TSourceDataFile& operator=(const TSourceDataFile&) = delete;

    // The table's file name. A name without a path part ("/", "\" or ":") is taken to lie in the
    // statement's DatabaseDirectory, which already ends in "/". While CorrelationName is empty, the name's
    // base name (no directory, no extension) becomes it. TableName keeps the whole path, however long: the
    // open refuses one the engine cannot take. An unchanged name changes nothing.
    void SetTableName(std::string_view name);
    void SetCorrelationName(std::string_view name);

    TDataQuery* Owner;
    bool InMemory = false;           // named with MEMORY
    std::uint16_t TableNumber = 0;   // from 1; after planning, the place in the join order
    std::uint16_t FromPosition = 0;  // the place in the FROM text, from 1; orders the tables of a bare "*"
    std::uint8_t JoinKind = jkNone;  // the kind of the join that read the table
    std::string TableName;           // directory and name
    std::string CorrelationName;     // the alias, or the table's base name
    std::vector<std::unique_ptr<TSourceDataLink>> Links;  // to the inner tables, the last one innermost
    std::int32_t CurrentLink = 0;                         // the link the join is advancing
};

}  // namespace sql
