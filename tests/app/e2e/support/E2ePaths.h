// E2ePaths: where the built tools and files the end-to-end harness uses lie, as the build placed them.
#pragma once

#include <QString>

namespace e2e {

// The built keyvale-setup, which makes a program directory's tables.
QString SetupProgram();
// The built tarnis-check, which validates a table's files.
QString TarnisCheckProgram();
// The help file the build copies beside the program.
QString HelpFile();
// The built program itself.
QString KeyvaleProgram();

}  // namespace e2e
