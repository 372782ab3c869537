// ApplicationTables: the four tables the program works on (config, results, invsort, numeric) as data, and
// their creation through the engine.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/TestDataGenerators.h"

namespace keyvalesetup {

struct FieldSpec {
    std::string name;
    std::uint8_t type;         // the engine's field type code
    std::uint8_t size = 0;     // characters of a string
    std::uint8_t subType = 0;  // memo, autoincrement
    std::string maxValue = ""; // the engine's validity maximum as text; empty: none
};

// The numeric table's field of a position: NumericField("n", 1) is "n1", NumericField("nd", 25) "nd25".
std::string NumericField(std::string_view prefix, int position);

// A non-unique, ascending secondary index.
struct IndexSpec {
    std::string name;
    std::vector<std::string> fields;
    bool caseInsensitive = false;
};

// The numeric test shows 25 values per screen: numeric has n1..n25 and nd1..nd25.
inline constexpr int kNumericPositions = app::kNumericPositions;

enum class TableId { Config, Results, Invsort, Numeric };

struct TableSpec {
    TableId id;
    std::string name;  // the base name; the program opens name + ".dat"
    std::vector<FieldSpec> fields;
    std::vector<IndexSpec> indexes;
};

// The four tables in the order they are made: config comes before numeric, which takes its width from it.
const std::vector<TableSpec>& ApplicationTables();
// The table of the name (exact, lower case); null when none has it.
const TableSpec* FindApplicationTable(std::string_view name);
// The name the program opens the table by, "invsort.dat".
std::string DisplayName(const TableSpec& table);

// The engine's names of a table's files in `directory` (an engine name, "" for the current directory): the
// record file, the index file and, for a table with a large-object field, the large-object file.
std::vector<std::string> TableFileNames(std::string_view directory, const TableSpec& table);
// The name a table is opened and created by: the directory and DisplayName.
std::string TablePath(std::string_view directory, const TableSpec& table);

// Creates the table's files (none may exist): language and sort id 0, no protection, no description, block
// size 512, no primary index. Raises the engine's error; a failed create leaves no file behind. The engine
// must run.
void CreateApplicationTable(std::string_view directory, const TableSpec& table);

}  // namespace keyvalesetup
