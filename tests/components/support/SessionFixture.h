// A test base that owns a session runtime in a fresh directory, and a protected table opened the way a
// dataset opens one: under the session's lock, with the session's password callback.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "components/SessionRuntime.h"
#include "components/TARNISSession.h"
#include "engine/table/DataFile.h"
#include "engine/values/FieldTypes.h"
#include "tests/engine/support/TableChecker.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/engine/support/TempDirectory.h"

namespace componenttest {

inline const std::string kProtectedTable = "secret";
inline const std::string kTablePassword = "Sesame";

// The runtime owns the engine's life through its default session: no EngineGuard beside it.
class SessionTest : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_TRUE(enginetest::AreCleanTables(directory_.Path())); }

    // Declared after the directory, so that every session has stopped before the directory goes.
    enginetest::TempDirectory directory_;
    components::SessionRuntime runtime_;
};

// A table of one integer field protected by the password, created in the session.
inline void CreateProtectedTable(components::TTARNISSession& session,
                                 const std::string& name = kProtectedTable,
                                 const std::string& password = kTablePassword) {
    components::SessionLockGuard lock(session);
    std::vector<engine::TFieldDesc> fields = {enginetest::FieldDef(1, "ID", engine::FieldTypeInteger)};
    std::vector<engine::TIndexDescriptor> indexes = {enginetest::IndexDef("", {1})};
    enginetest::TableOptions options;
    options.isProtected = true;
    options.password = password;
    enginetest::CreateTable(name, fields, indexes, options);
}

// Opens and closes the table in the session; the engine code of the open (0 when it opened). Counts the
// password requests in calls when given.
inline int OpenCode(components::TTARNISSession& session, const std::string& name = kProtectedTable,
                    int* calls = nullptr) {
    components::SessionLockGuard lock(session);
    engine::TDataFile table;
    table.SetFileName(name);
    table.SetPasswordEvent([&] {
        if (calls != nullptr) ++*calls;
        return session.GetPassword();
    });
    const int code = enginetest::EngineCode([&] { table.Open(); });
    table.Close();
    return code;
}

}  // namespace componenttest
