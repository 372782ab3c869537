// GeneratorRuns: what the tests of the test-data generators share: a random source seeded by the test that
// may fail at a chosen draw, the program's tables at a chosen size, and looks at a table's files from
// outside the form.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/RandomSource.h"
#include "components/TARNISTable.h"
#include "db/Field.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "rtl/Random.h"
#include "tools/keyvale-setup/ApplicationRecords.h"
#include "tools/keyvale-setup/ApplicationTables.h"
#include "tools/keyvale-setup/ExclusiveTable.h"
#include "tools/tarnis-check/TableCheck.h"

namespace testsupport {

// The runtime's generator, seeded with the test's seed at every Randomize; the draw numbered `failAt`
// (from 1, 0 never) raises instead of answering.
class SeededRandomSource final : public app::RandomSource {
public:
    explicit SeededRandomSource(std::uint64_t seed, long failAt = 0) : seed_(seed), failAt_(failAt) {}

    void Randomize() override {
        ++randomizeCalls_;
        rtl::SetRandSeed(seed_);
    }
    std::int32_t Random(std::int32_t range) override {
        if (++draws_ == failAt_) throw rtl::Exception("the random source failed on purpose");
        return rtl::Random(range);
    }

    int RandomizeCalls() const { return randomizeCalls_; }
    long Draws() const { return draws_; }

private:
    std::uint64_t seed_;
    long failAt_;
    long draws_ = 0;
    int randomizeCalls_ = 0;
};

inline const keyvalesetup::TableSpec& Spec(const char* name) {
    return *keyvalesetup::FindApplicationTable(name);
}

// The table's path as the program opens it ("invsort.dat" in `directory`).
inline std::string ProgramTable(const std::string& directory, const char* name) {
    return keyvalesetup::TablePath(directory, Spec(name));
}

// invsort.dat with `count` records as keyvale-setup makes them, drawn from a seed; the session runtime must
// live.
inline void CreateInvsort(const std::string& directory, int count, rtl::TDateTime today, std::uint64_t seed = 1) {
    SeededRandomSource random(seed);
    random.Randomize();
    keyvalesetup::CreateApplicationTable(directory, Spec("invsort"));
    keyvalesetup::WithExclusiveTable(ProgramTable(directory, "invsort"), [&](db::TDataSet& data) {
        keyvalesetup::WriteInvsortRecords(data, random, count, today);
    });
}

// numeric.dat with its 200 records at `width`.
inline void CreateNumeric(const std::string& directory, std::int32_t width) {
    SeededRandomSource random(2);
    random.Randomize();
    keyvalesetup::CreateApplicationTable(directory, Spec("numeric"));
    keyvalesetup::WithExclusiveTable(ProgramTable(directory, "numeric"), [&](db::TDataSet& data) {
        keyvalesetup::WriteNumericRecords(data, random, width);
    });
}

// The bytes of every file of the table, by file name.
inline std::map<std::string, std::string> TableBytes(const std::string& directory, const char* name) {
    std::map<std::string, std::string> bytes;
    for (const std::string& file : keyvalesetup::TableFileNames(directory, Spec(name))) {
        std::ifstream in(file, std::ios::binary);
        bytes[file] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return bytes;
}

inline void RemoveTable(const std::string& directory, const char* name) {
    for (const std::string& file : keyvalesetup::TableFileNames(directory, Spec(name))) std::filesystem::remove(file);
}

// Opens the table at once for exclusive use, without waiting for a lock: whether nobody holds it.
inline bool OpensExclusively(const std::string& path) {
    components::TTARNISTable table;
    table.SetTableName(path);
    table.SetExclusive(true);
    table.SetLockRetryCount(0);
    try {
        table.Open();
    } catch (...) {
        return false;
    }
    table.Close();
    return true;
}

// The table's findings from tarnis-check's checks, one per line (warnings too unless only errors are asked
// for); empty when the files are sound.
inline std::string CheckFindings(const std::string& path, bool errorsOnly = false) {
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(path);
    std::ostringstream out;
    if (check.Unreadable()) out << "unreadable: " << check.UnreadableReason() << '\n';
    for (const tarnischeck::Finding& finding : check.Findings()) {
        if (errorsOnly && finding.Level != tarnischeck::Severity::Error) continue;
        out << tarnischeck::FormatFinding(finding) << '\n';
    }
    return out.str();
}
inline std::string CheckErrors(const std::string& path) {
    return CheckFindings(path, true);
}

// Every record of the table in its natural order: field name -> text, per record.
using Record = std::map<std::string, std::string>;
inline std::vector<Record> ReadRecords(const std::string& path) {
    components::TTARNISTable table;
    table.SetTableName(path);
    table.SetLockRetryCount(0);
    table.Open();
    std::vector<Record> records;
    for (table.First(); !table.Eof(); table.Next()) {
        Record record;
        for (int i = 0; i < table.FieldCount(); ++i) {
            db::TField& field = table.Fields()[i];
            record[field.FieldName()] = field.AsString();
        }
        records.push_back(std::move(record));
    }
    table.Close();
    return records;
}

}  // namespace testsupport
