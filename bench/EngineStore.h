// EngineStore: the benchmark's work done by the table engine through its table handle, as the dataset
// components will drive it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchStore.h"
#include "engine/table/DataFile.h"

namespace bench {

// The table "RESULTS" in the directory: ID (autoincrement, the primary index), NAME (string of 40, "ByName",
// case-insensitive), TOTERRS (integer, "ByErrors"), KPH and NKPH (floats), TESTDATE (date) and TESTTIME
// (time, together "ByWhen"), ERRORS (large object); the plain table has the fields and no index at all.
class EngineStore : public BenchStore {
public:
    EngineStore() = default;
    ~EngineStore() override;

    std::string Name() const override { return "engine"; }
    void Create(const std::filesystem::path& directory, TableKind kind) override;
    void Open(const std::filesystem::path& directory, TableKind kind, Access access) override;
    void Close() override;

    void Insert(const ResultRow& row, const std::string* memo) override;
    void InsertShared(const ResultRow& row) override;
    bool FindId(std::int32_t id, Digest& digest) override;
    bool FindName(const std::string& name, Digest& digest) override;
    void ErrorsRange(std::int32_t low, std::int32_t high, WalkLock lock, Digest& digest) override;
    void ScanAll(Digest& digest) override;
    void SetErrors(std::int32_t id, std::int32_t errors) override;
    void Delete(std::int32_t id) override;
    void FilterNetKph(double limit, Digest& digest) override;
    void FilterKphAndName(double limit, const std::string& name, Digest& digest) override;
    void FilterErrorsBetween(std::int32_t low, std::int32_t high, Digest& digest) override;
    void ReadMemos(Digest& digest) override;

private:
    // Moves the cursor onto the record of the ID in the primary index; false when there is none.
    bool GoToId(std::int32_t id);
    // Fetches the records from the cursor's position to the end of its order (or range), each ID added.
    void FetchAll(Digest& digest);
    // Reads the fields a caller would read from the fetched record, as SQLite's side reads its columns.
    void ReadFields();
    // Every record the filter blob keeps, in natural order, each ID added; the filter is dropped after.
    void Filtered(const std::vector<std::uint8_t>& blob, Digest& digest);
    void SetStored(std::uint16_t field, const void* bytes, std::size_t size);
    // The row's fields into the record image, which starts empty.
    void FillImage(const ResultRow& row);

    std::unique_ptr<engine::TDataFile> table_;
    // The record buffer every call fills and reads.
    std::vector<std::uint8_t> image_;
};

}  // namespace bench
