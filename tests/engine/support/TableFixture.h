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
#include "tests/engine/support/TableDefs.h"
#include "tests/engine/support/TempDirectory.h"

namespace enginetest {

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
