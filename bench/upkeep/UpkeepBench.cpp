// upkeep-bench [COUNT...]: inserts COUNT records (default 100,000 and 1,000,000) into an exclusive table of
// two integers, then modifies and deletes a tenth of them, in index order, in natural order and with a
// filter active, and prints the seconds each step took. Writes in natural order and under a filter keep the
// visible records; their cost is to stay near that of index order however large the table grows.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "engine/base/EngineState.h"
#include "engine/base/FileBytes.h"
#include "engine/index/IndexFile.h"
#include "engine/table/DataFile.h"
#include "engine/table/Filter.h"
#include "engine/table/ReadGuard.h"
#include "engine/table/Record.h"
#include "engine/values/FieldTypes.h"
#include "tests/engine/support/TableDefs.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

enum class Mode { IndexOrder, NaturalOrder, Filtered };
constexpr const char* ModeNames[] = {"index order", "natural order", "filter active"};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void SetInteger(engine::TDataFile& table, std::vector<std::uint8_t>& image, std::uint16_t field,
                std::int32_t v) {
    std::uint8_t bytes[4];
    engine::StoreU32(bytes, static_cast<std::uint32_t>(v));
    table.SetField(false, field, image, std::span<const std::uint8_t>(bytes, 4));
}

// The record in the slot made current, the cursor on its key.
void GoToSlot(engine::TDataFile& table, std::uint32_t slot) {
    engine::TReadGuard read(table);
    read.Begin();
    engine::RecordPin record;
    table.GetRecord(engine::SlotNumber(slot), false, false, engine::ReadForward, record);
    engine::TIndexFile& index = table.IndexFile();
    if (!index.NaturalOrder()) {
        engine::TIndexKey key;
        table.BuildKey(record->Image(), key);
        index.FindKey(key.View(), false, false, key.Length);
    } else {
        index.GotoRecordNumber(slot);
    }
    table.SetCurrentRecord(std::move(record));
    read.End();
}

void Run(const fs::path& directory, std::int32_t count, Mode mode) {
    const std::string name = (directory / "upkeep").string();
    std::vector<engine::TFieldDesc> fields = {enginetest::FieldDef(1, "ID", engine::FieldTypeInteger),
                                              enginetest::FieldDef(2, "V", engine::FieldTypeInteger)};
    engine::TIndexDescriptor primary;
    primary.FieldCount = 1;
    primary.FieldNumbers[0] = 1;
    primary.Unique = 1;
    std::vector<engine::TIndexDescriptor> indexes = {primary};
    {
        engine::TDataFile maker;
        maker.SetFileName(name);
        maker.SetExclusive(true);
        maker.CreateTable(0, 0, 0, 0, false, "", "", 512, fields, indexes, false);
    }
    engine::TDataFile table;
    table.SetFileName(name);
    table.SetExclusive(true);
    table.Open();
    engine::TFilter* filter = nullptr;
    if (mode == Mode::NaturalOrder) table.SetIndexNumber(engine::NaturalOrderIndex);
    if (mode == Mode::Filtered) {
        // V >= 0: every record passes, so every write changes the visible records.
        auto tree = std::make_unique<engine::TExprNode>();
        tree->NodeClass = engine::ncBinary;
        tree->Operator = engine::opGreaterEqual;
        tree->Left = std::make_unique<engine::TExprNode>();
        tree->Left->NodeClass = engine::ncField;
        tree->Left->FieldNo = 2;
        tree->Left->Value.FieldType = engine::FieldTypeInteger;
        tree->Left->Value.Size = 4;
        tree->Right = std::make_unique<engine::TExprNode>();
        tree->Right->NodeClass = engine::ncConstant;
        tree->Right->Value.FieldType = engine::FieldTypeInteger;
        tree->Right->Value.Size = 4;
        table.AddFilter(nullptr, {}, filter, false, nullptr, true, tree.release());
        table.ActivateFilter(filter);
    }
    std::vector<std::uint8_t> image(table.GetRecordBufferSize());
    auto start = Clock::now();
    for (std::int32_t id = 1; id <= count; ++id) {
        table.InitRecord(image);
        SetInteger(table, image, 1, id);
        SetInteger(table, image, 2, id % 1000);
        table.InsertRecord(image, true);
    }
    const double inserts = Seconds(start);
    std::mt19937 random(27);
    std::vector<std::uint32_t> slots(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < slots.size(); ++i) slots[i] = static_cast<std::uint32_t>(i + 1);
    std::shuffle(slots.begin(), slots.end(), random);
    // KEYVALE_UPKEEP_INSERTS_ONLY skips the modifies and deletes, which take long on large tables.
    const std::size_t tenth = std::getenv("KEYVALE_UPKEEP_INSERTS_ONLY") != nullptr ? 0 : slots.size() / 10;
    start = Clock::now();
    for (std::size_t i = 0; i < tenth; ++i) {
        GoToSlot(table, slots[i]);
        std::vector<std::uint8_t> changed(table.CurrentRecord()->Image().begin(),
                                          table.CurrentRecord()->Image().end());
        SetInteger(table, changed, 2, static_cast<std::int32_t>(i % 997));
        table.ModifyRecord(changed, false, true);
    }
    const double modifies = Seconds(start);
    start = Clock::now();
    for (std::size_t i = tenth; i < 2 * tenth; ++i) {
        GoToSlot(table, slots[i]);
        table.DeleteRecord(true);
    }
    const double deletes = Seconds(start);
    std::printf("%9d  %-14s  inserts %8.2f s   modify 10%% %7.2f s   delete 10%% %7.2f s   visible %u\n",
                count, ModeNames[static_cast<int>(mode)], inserts, modifies, deletes,
                table.GetRecordCount() >= 0 ? static_cast<unsigned>(table.GetRecordCount()) : 0u);
    std::fflush(stdout);
    table.Close();
    fs::remove(name + ".DAT");
    fs::remove(name + ".IDX");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::int32_t> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(std::atoi(argv[i]));
    if (counts.empty()) counts = {100000, 1000000};
    const fs::path directory = fs::temp_directory_path() / ("keyvale-upkeep-" + std::to_string(getpid()));
    fs::create_directories(directory);
    engine::EngineGuard engine;
    for (const std::int32_t count : counts) {
        for (const Mode mode : {Mode::IndexOrder, Mode::NaturalOrder, Mode::Filtered})
            Run(directory, count, mode);
    }
    fs::remove_all(directory);
    return 0;
}
