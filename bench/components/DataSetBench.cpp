// dataset-bench: what the dataset base costs per record over the bare engine handle, for a walk from the
// first record to the end and for a loop of inserts and posts. Usage: dataset-bench [records], default
// 100,000; run it from a release build (the test build only compiles it).
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/SessionRuntime.h"
#include "components/TARNISDBDataSet.h"
#include "components/TARNISDatabase.h"
#include "components/TARNISSession.h"
#include "db/Field.h"
#include "engine/records/FieldDesc.h"
#include "engine/records/IndexDescriptor.h"
#include "engine/table/DataFile.h"
#include "engine/values/FieldTypes.h"

namespace {

// Opens a table by name in the dataset's database, as the table component does.
class BenchDataSet : public components::TTARNISDBDataSet {
public:
    using components::TTARNISDBDataSet::TTARNISDBDataSet;
    std::string TableName;

protected:
    engine::TDataFile* CreateHandle() override {
        components::TTARNISSession& session = *Database()->Session();
        auto handle = std::make_unique<engine::TDataFile>(this);
        handle->SetFileName(TableName);
        components::SessionLockGuard lock(session);
        handle->Open();
        return handle.release();
    }
};

// A table of ID (integer, the primary index), NAME (string of 20) and AMOUNT (BCD at scale 2).
void CreateTable(const std::string& name) {
    std::vector<engine::TFieldDesc> fields(3);
    const std::uint8_t types[] = {engine::FieldTypeInteger, engine::FieldTypeString, engine::FieldTypeBcd};
    const char* names[] = {"ID", "NAME", "AMOUNT"};
    for (std::uint16_t i = 0; i < 3; ++i) {
        fields[i].FieldNumber = static_cast<std::uint16_t>(i + 1);
        fields[i].Name = names[i];
        fields[i].FieldType = types[i];
    }
    fields[1].Size = 20;
    fields[2].Scale = 2;
    std::vector<engine::TIndexDescriptor> indexes(1);
    indexes[0].FieldNumbers.at(0) = 1;
    indexes[0].FieldCount = 1;
    engine::TDataFile table;
    table.SetFileName(name);
    table.SetExclusive(true);
    table.CreateTable(0, 0, 0, 0, false, "", "", 512, fields, indexes, false);
}

// Nanoseconds per record of the work.
double Time(int records, const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / records;
}

std::string NameOf(int i) {
    return "Name " + std::to_string(i % 9973);
}

struct Figures {
    double insert = 0;
    double walk = 0;
};

Figures BareHandle(int records) {
    CreateTable("bare");
    engine::TDataFile table;
    table.SetFileName("bare");
    table.Open();
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    Figures figures;
    figures.insert = Time(records, [&] {
        for (int i = 1; i <= records; ++i) {
            table.InitRecord(image);
            const std::int32_t id = i;
            const std::string name = NameOf(i);
            const std::int64_t amount = (std::int64_t{i} * 100 + 25) * 10 + 2;
            table.SetField(true, 1, image, std::span(reinterpret_cast<const std::uint8_t*>(&id), sizeof id));
            table.SetField(true, 2, image,
                           std::span(reinterpret_cast<const std::uint8_t*>(name.c_str()), name.size() + 1));
            table.SetField(true, 3, image,
                           std::span(reinterpret_cast<const std::uint8_t*>(&amount), sizeof amount));
            table.InsertRecord(image, true);
        }
    });
    std::int64_t sum = 0;
    figures.walk = Time(records, [&] {
        table.SetToBegin();
        std::int32_t id = 0;
        while (table.GetNextRecord(image) == 0) {
            table.GetField(true, 1, image, std::span(reinterpret_cast<std::uint8_t*>(&id), sizeof id));
            sum += id;
        }
    });
    table.Close();
    if (sum == 0) std::puts("(no records read)");
    return figures;
}

Figures ThroughDataSet(int records) {
    CreateTable("dataset");
    BenchDataSet dataSet;
    dataSet.TableName = "dataset";
    dataSet.Open();
    db::TField& id = dataSet.FieldByName("ID");
    db::TField& name = dataSet.FieldByName("NAME");
    db::TField& amount = dataSet.FieldByName("AMOUNT");
    Figures figures;
    figures.insert = Time(records, [&] {
        for (int i = 1; i <= records; ++i) {
            dataSet.Append();
            id.SetAsInteger(i);
            name.SetAsString(NameOf(i));
            amount.SetAsCurrency(rtl::Currency::FromRaw(std::int64_t{i} * 10000 + 2500));
            dataSet.Post();
        }
    });
    std::int64_t sum = 0;
    figures.walk = Time(records, [&] {
        dataSet.First();
        while (!dataSet.Eof()) {
            sum += id.AsInteger();
            dataSet.Next();
        }
    });
    dataSet.Close();
    if (sum == 0) std::puts("(no records read)");
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    std::string pattern = (std::filesystem::temp_directory_path() / "keyvale-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("dataset-bench: no temporary directory");
        return 1;
    }
    const std::filesystem::path directory = pattern;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(directory);
    int result = 0;
    try {
        components::SessionRuntime runtime;
        components::Session().SetActive(true);
        const Figures bare = BareHandle(records);
        const Figures dataSet = ThroughDataSet(records);
        std::printf("%d records, nanoseconds per record\n", records);
        std::printf("%-22s %12s %12s %10s %8s\n", "work", "TDataFile", "dataset", "extra", "ratio");
        const auto row = [](const char* work, double base, double through) {
            std::printf("%-22s %12.0f %12.0f %10.0f %8.2f\n", work, base, through, through - base,
                        through / base);
        };
        row("First to Eof walk", bare.walk, dataSet.walk);
        row("insert and post", bare.insert, dataSet.insert);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "dataset-bench: %s\n", error.what());
        result = 1;
    }
    std::filesystem::current_path(previous);
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    return result;
}
