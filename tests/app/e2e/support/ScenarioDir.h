// ScenarioDir: a scenario's directories: a program directory whose tables the built keyvale-setup made, with
// the help file beside them, and an empty working directory to run the program from.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>
#include <string>

namespace e2e {

// The seed every scenario gives keyvale-setup, so that each starts on the same tables.
inline constexpr std::uint64_t kSetupSeed = 43;

// Under `root` (a temporary directory of its own when empty): "program/", filled as `make run` fills the
// program's directory (keyvale-setup with the fixed seed, then the help file), and "work/", empty, which
// becomes the process's working directory. Raises std::runtime_error naming what failed and where.
class ScenarioDir {
public:
    explicit ScenarioDir(const QString& root = {});
    ~ScenarioDir();
    ScenarioDir(const ScenarioDir&) = delete;
    ScenarioDir& operator=(const ScenarioDir&) = delete;

    QString Root() const { return root_; }
    // The program directory with its trailing "/".
    QString ProgramDir() const;
    // The same in Windows-1252 bytes, as the program holds it.
    std::string Progdir() const;
    // The working directory the program runs from; printed PDFs land here.
    QString WorkDir() const;
    // A file of the program directory.
    QString ProgramFile(const QString& name) const { return ProgramDir() + name; }

private:
    std::unique_ptr<QTemporaryDir> own_;
    QString root_;
};

// Runs the built keyvale-setup with the fixed seed on `directory`, as `make run` does; raises
// std::runtime_error with its output when it fails.
void RunSetup(const QString& directory);

}  // namespace e2e
