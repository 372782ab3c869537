// Table definitions for engine tests, and a test base that starts the engine in a fresh directory and, when
// the test ends, checks every table left there with tarnis-check.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineState.h"
#include "engine/table/DataFile.h"
#include "engine/values/FieldTypes.h"
#include "tests/engine/support/TableChecker.h"
#include "tests/engine/support/TempDirectory.h"

namespace enginetest {

inline engine::TFieldDesc FieldDef(std::uint16_t number, std::string name, std::uint8_t type,
                                   std::uint8_t size = 0, std::uint8_t scale = 0, std::uint8_t subType = 0) {
    engine::TFieldDesc field;
    field.FieldNumber = number;
    field.Name = std::move(name);
    field.FieldType = type;
    field.Size = size;
    field.Scale = scale;
    field.SubType = subType;
    return field;
}

inline engine::TFieldDesc AutoIncDef(std::uint16_t number, std::string name) {
    return FieldDef(number, std::move(name), engine::FieldTypeInteger, 0, 0, engine::FieldSubTypeAutoInc);
}

inline engine::TIndexDescriptor IndexDef(std::string name, std::initializer_list<std::uint16_t> fields,
                                         bool unique = false) {
    engine::TIndexDescriptor index;
    index.Name = std::move(name);
    index.Unique = unique ? 1 : 0;
    std::size_t i = 0;
    for (std::uint16_t number : fields) index.FieldNumbers.at(i++) = number;
    index.FieldCount = static_cast<std::uint8_t>(i);
    return index;
}

// The engine code the action raises; 0 when it raises nothing.
inline int EngineCode(const std::function<void()>& action) {
    try {
        action();
    } catch (const engine::ETARNISEngineError& error) {
        return error.ErrorCode();
    }
    return 0;
}

struct TableOptions {
    std::uint16_t languageId = 0;
    std::uint16_t sortId = 0;
    bool isProtected = false;
    std::string password;
    std::string description;
    std::uint32_t blockSize = 512;
    bool allowNoPrimary = false;
    bool inMemory = false;
};

// Creates the table through an exclusive, writable handle; the descriptors come back normalised.
inline void CreateTable(const std::string& name, std::vector<engine::TFieldDesc>& fields,
                        std::vector<engine::TIndexDescriptor>& indexes, const TableOptions& options = {}) {
    engine::TDataFile table;
    table.SetInMemory(options.inMemory);
    table.SetFileName(name);
    table.SetExclusive(true);
    table.CreateTable(options.languageId, options.sortId, 0, 0, options.isProtected, options.password,
                      options.description, options.blockSize, fields, indexes, options.allowNoPrimary);
}

// A table of one integer field with a primary index on it.
inline void CreateSimpleTable(const std::string& name) {
    std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1})};
    CreateTable(name, fields, indexes);
}

class TableTest : public ::testing::Test {
protected:
    // Tables a test damages on purpose live in a subdirectory, which this leaves alone.
    void TearDown() override { EXPECT_TRUE(AreCleanTables(directory_.Path())); }

    engine::EngineGuard engine_;
    TempDirectory directory_;
};

}  // namespace enginetest
