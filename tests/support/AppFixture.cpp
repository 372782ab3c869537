#include "tests/support/AppFixture.h"

#include <QFile>
#include <QTest>

#include "app/core/Texts.h"
#include "app/core/dbfuncs.h"
#include "app/services/Application.h"
#include "db/Field.h"
#include "db/widgets/QtText.h"

namespace testsupport {

namespace {

app::TApplication& TestApplication() {
    app::TApplication* application = app::Application();
    if (application == nullptr) {
        throw std::logic_error(
            "the program's tests run on its application object (tests/support/TestApplication.cpp)");
    }
    return *application;
}

}  // namespace

AppFixture::AppFixture() : messages(TestApplication().Title()), print(printDir_.path()) {
    runtime_ = std::make_unique<app::ProgramRuntime>(db::widgets::ToBytes(ProgramDir()));
    routes_ = std::make_unique<app::ServiceRoutes>(TestApplication(), View());
}

AppFixture::~AppFixture() {
    routes_.reset();
    runtime_.reset();
}

void AppFixture::TearDown() {
    for (const Box& stop : messages.UntakenStops()) ADD_FAILURE() << "unexpected stop box: " << stop.text;
}

QString AppFixture::ProgramDir() const {
    return programDir_.path() + QLatin1Char('/');
}

app::Services AppFixture::View() {
    return app::Services{messages, help, print, keyboard, time, random};
}

void AppFixture::InstallHelpFile() {
    const QString source = QStringLiteral(KEYVALE_SOURCE_DIR "/app/help/marlo.hlp");
    const QString target = ProgramDir() + db::widgets::ToQString(app::kHelpFile);
    ASSERT_TRUE(QFile::copy(source, target)) << "cannot copy " << source.toStdString();
}

void AppFixture::InstallConfig(const ConfigValues& values, const keyvalesetup::TableSpec& spec) {
    CreateConfigTable(State().progdir, values, spec);
}

void AppFixture::InstallApplicationTables(const ConfigValues& values) {
    app::SystemRandomSource draws;
    CreateApplicationTables(State().progdir, values, draws);
}

void AppFixture::ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window)) << window.objectName().toStdString();
}

std::unique_ptr<components::TTARNISTable> AppFixture::OpenConfig() {
    auto table = std::make_unique<components::TTARNISTable>();
    table->SetTableName(app::ConfigTablePath(State()));
    table->SetLockRetryCount(0);
    table->Open();
    table->First();
    return table;
}

std::string AppFixture::StoredConfig(const char* field) {
    return OpenConfig()->FieldByName(field).AsString();
}

}  // namespace testsupport
