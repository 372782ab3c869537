#include "tests/app/e2e/support/ScenarioDir.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <stdexcept>

#include "db/widgets/QtText.h"
#include "tests/app/e2e/support/E2ePaths.h"

namespace e2e {

namespace {

// keyvale-setup makes 2000 invsort records: a few seconds at most, even under the sanitizers.
constexpr int kSetupTimeoutMs = 60000;

std::runtime_error Failure(const QString& what) {
    return std::runtime_error(what.toStdString());
}

}  // namespace

void RunSetup(const QString& directory) {
    QProcess setup;
    setup.setProcessChannelMode(QProcess::MergedChannels);
    setup.start(SetupProgram(), {QStringLiteral("--seed"), QString::number(kSetupSeed), directory});
    if (!setup.waitForStarted()) throw Failure(QStringLiteral("cannot start %1").arg(SetupProgram()));
    if (!setup.waitForFinished(kSetupTimeoutMs)) {
        setup.kill();
        setup.waitForFinished();
        throw Failure(QStringLiteral("keyvale-setup did not finish on %1").arg(directory));
    }
    if (setup.exitStatus() != QProcess::NormalExit || setup.exitCode() != 0) {
        throw Failure(QStringLiteral("keyvale-setup failed on %1 (exit %2): %3")
                          .arg(directory)
                          .arg(setup.exitCode())
                          .arg(QString::fromUtf8(setup.readAll())));
    }
}

ScenarioDir::ScenarioDir(const QString& root) {
    if (root.isEmpty()) {
        own_ = std::make_unique<QTemporaryDir>();
        if (!own_->isValid()) throw Failure(QStringLiteral("cannot make a temporary directory: ") + own_->errorString());
        root_ = own_->path();
    } else {
        root_ = QDir(root).absolutePath();
    }
    const QDir base(root_);
    for (const char* sub : {"program", "work"}) {
        if (base.exists(QLatin1String(sub))) throw Failure(QStringLiteral("%1/%2 exists already").arg(root_, sub));
        if (!base.mkpath(QLatin1String(sub))) throw Failure(QStringLiteral("cannot make %1/%2").arg(root_, sub));
    }
    RunSetup(ProgramDir());
    const QString help = ProgramFile(QStringLiteral("marlo.hlp"));
    if (!QFile::copy(HelpFile(), help)) throw Failure(QStringLiteral("cannot copy %1 to %2").arg(HelpFile(), help));
    if (!QDir::setCurrent(WorkDir())) throw Failure(QStringLiteral("cannot enter %1").arg(WorkDir()));
}

ScenarioDir::~ScenarioDir() = default;

QString ScenarioDir::ProgramDir() const {
    return root_ + QStringLiteral("/program/");
}

std::string ScenarioDir::Progdir() const {
    return db::widgets::ToBytes(ProgramDir());
}

QString ScenarioDir::WorkDir() const {
    return root_ + QStringLiteral("/work");
}

}  // namespace e2e
