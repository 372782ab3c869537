#include "app/services/ProgramRuntime.h"

#include <QCoreApplication>

#include "app/core/Texts.h"
#include "components/dialogs/TARNISPasswordDialog.h"
#include "db/widgets/QtText.h"
#include "rtl/Exceptions.h"

namespace app {

namespace {

rtl::FormatSettings ProgramFormatSettings() {
    rtl::FormatSettings settings = rtl::CurrentFormatSettings();
    settings.ShortDateFormat = std::string(kShortDateFormat);
    return settings;
}

}  // namespace

ProgramRuntime::ProgramRuntime(std::string progdir) : formatSettings_(ProgramFormatSettings()) {
    state_.progdir = std::move(progdir);
    sessions_.SetPasswordHook(&components::dialogs::PasswordDialog);
}

ProgramRuntime::~ProgramRuntime() = default;

std::string ProgramDirectory() {
    // The executable's own path: argv[0] may be a bare name found on the PATH.
    return ProgramDirectoryOf(QCoreApplication::applicationDirPath());
}

std::string ProgramDirectoryOf(const QString& path) {
    const QString directory = path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
    if (!db::widgets::InCodePage(directory)) {
        throw rtl::Exception(std::string(kBadProgramDirectory) + db::widgets::ToBytes(directory));
    }
    return db::widgets::ToBytes(directory);
}

}  // namespace app
