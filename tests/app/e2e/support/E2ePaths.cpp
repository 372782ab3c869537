#include "tests/app/e2e/support/E2ePaths.h"

namespace e2e {

QString SetupProgram() {
    return QStringLiteral(KEYVALE_E2E_SETUP);
}

QString TarnisCheckProgram() {
    return QStringLiteral(KEYVALE_E2E_TARNIS_CHECK);
}

QString HelpFile() {
    return QStringLiteral(KEYVALE_E2E_HELP_FILE);
}

QString KeyvaleProgram() {
    return QStringLiteral(KEYVALE_E2E_PROGRAM);
}

}  // namespace e2e
