// engine-stress-worker: one program of several that change one shared table side by side, for the engine's
// stress test.
//
//   engine-stress-worker <table> <owner> <seed> <operations> <log>
//
// Opens the table shared and runs the operations, chosen at random from the seed: insert a row of its own
// (OWNER = owner, a new SEQ, a memo of 0 to 300 bytes), modify one of its rows (payload and CAT, sometimes
// SEQ or the memo), delete one, increment the counter row's COUNT, and now and then scan the whole table in
// PAYLOAD order checking every row's HASH and its own rows' memos. Edits fetch the record with its lock and
// modify with unlock, as the dataset does; some increments run under the table lock instead. After each
// successful change it appends one line to its log (StressTable.h). A record or table lock held elsewhere
// (10258, 10241) makes it try the operation again; any other error ends it with exit status 1 and the
// message on standard error. It counts the refused tries and names their number on standard error at the
// end. Exit 0 when every operation is done, 64 for bad arguments.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/base/EngineState.h"
#include "engine/base/FileBytes.h"
#include "engine/blob/BlobBuffer.h"
#include "engine/os/PosixFile.h"
#include "engine/table/DataFile.h"
#include "engine/table/ReadGuard.h"
#include "tests/engine/stress/StressTable.h"
#include "tests/engine/support/RecordImages.h"

namespace {

using namespace stresstest;

constexpr int ExitUsage = 64;

// A row of this worker as its log describes it.
struct OwnRow {
    engine::RecordId id;
    std::string payload;
    std::string cat;
    std::string memo;
};

// A check of the table's contents that failed.
class Inconsistent : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Worker {
public:
    Worker(engine::TDataFile& table, std::int32_t owner, unsigned seed, std::FILE* log)
        : table_(table), owner_(owner), random_(seed), log_(log) {}

    void Run(int operations) {
        for (int done = 0; done < operations; ++done) {
            const int pick = Pick(100);
            if (pick < 35 || rows_.empty()) {
                Retrying([this] { Insert(); });
            } else if (pick < 60) {
                Retrying([this] { Modify(); });
            } else if (pick < 75) {
                Retrying([this] { Delete(); });
            } else if (pick < 95) {
                Retrying([this] { Increment(); });
            } else {
                Retrying([this] { Scan(); });
            }
        }
    }

    // The tries a lock held elsewhere refused after the handle's retries.
    int Refused() const noexcept { return refused_; }

private:
    int Pick(int range) { return std::uniform_int_distribution<int>(0, range - 1)(random_); }

    std::string Letters(int minimum, int maximum) {
        std::string text(static_cast<std::size_t>(minimum + Pick(maximum - minimum + 1)), 'a');
        for (char& c : text) c = static_cast<char>('a' + Pick(26));
        return text;
    }
    std::string NewCat() {
        static constexpr std::array<const char*, 5> cats = {"red", "green", "blue", "cyan", "gray"};
        return cats[static_cast<std::size_t>(Pick(static_cast<int>(cats.size())))];
    }

    // Runs the operation until no lock held elsewhere refuses it. A refused try leaves nothing of this
    // worker held or open.
    template <class Operation>
    void Retrying(Operation operation) {
        for (;;) {
            try {
                operation();
                return;
            } catch (const engine::ETARNISEngineError& error) {
                if (error.ErrorCode() != engine::ErrRecordInUse && error.ErrorCode() != engine::ErrFileLocked)
                    throw;
                ++refused_;
            }
            table_.FreeBlobs();
            table_.UnlockTable();
            table_.UnlockAllRecords();
            engine::Delay(1 + Pick(5));
        }
    }

    void Log(const std::string& line) {
        std::fprintf(log_, "%s\n", line.c_str());
        std::fflush(log_);
    }

    void SetInt(std::span<std::uint8_t> image, std::uint16_t field, std::int32_t value) {
        std::array<std::uint8_t, 4> bytes{};
        engine::StoreU32(bytes.data(), static_cast<std::uint32_t>(value));
        table_.SetField(false, field, image, std::span<const std::uint8_t>(bytes));
    }
    void SetText(std::span<std::uint8_t> image, std::uint16_t field, const std::string& text) {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        table_.SetField(false, field, image, std::span<const std::uint8_t>(bytes));
    }
    std::int32_t GetInt(std::span<const std::uint8_t> image, std::uint16_t field) const {
        std::array<std::uint8_t, 4> bytes{};
        if (table_.GetField(false, field, image, bytes)) return 0;
        return static_cast<std::int32_t>(engine::LoadU32(bytes.data()));
    }
    std::string GetText(std::span<const std::uint8_t> image, std::uint16_t field) const {
        std::vector<std::uint8_t> bytes(256, 0);
        table_.GetField(false, field, image, bytes);
        return std::string(reinterpret_cast<const char*>(bytes.data()));
    }
    // Opens the image's memo for writing and gives it the text.
    void WriteMemo(std::span<std::uint8_t> image, const std::string& memo) {
        engine::CheckEngineResult(table_.OpenBlob(false, MemoField, engine::BlobOpenReadWrite, image));
        engine::CheckEngineResult(table_.TruncateBlob(false, MemoField, 0, image));
        const std::vector<std::uint8_t> bytes(memo.begin(), memo.end());
        engine::CheckEngineResult(
            table_.WriteBlob(false, MemoField, bytes, static_cast<std::int32_t>(bytes.size()), 0, image));
    }
    // Makes the row with the primary key current; false when it is not there.
    bool GoToRow(std::int32_t owner, std::int32_t seq) {
        std::vector<std::uint8_t> image(table_.GetRecordBufferSize());
        SetInt(image, OwnerField, owner);
        SetInt(image, SeqField, seq);
        return table_.FindKey(false, image, 2, false, 0);
    }
    void GoToOwnRow(std::int32_t seq) {
        if (!GoToRow(owner_, seq)) throw Inconsistent("own row " + std::to_string(seq) + " is missing");
    }
    // The current record, fetched with its lock when asked.
    std::vector<std::uint8_t> Fetch(bool lock) {
        std::vector<std::uint8_t> image(table_.GetRecordBufferSize());
        if (table_.GetCurrentRecord(image, lock) != 0) throw Inconsistent("no current record");
        return image;
    }
    std::int32_t AnyOwnSeq() {
        auto row = rows_.begin();
        std::advance(row, Pick(static_cast<int>(rows_.size())));
        return row->first;
    }

    void Insert() {
        const std::int32_t seq = nextSeq_;
        OwnRow row{{}, Letters(5, 40), NewCat(), Letters(0, 300)};
        if (Pick(4) == 0) row.memo.clear();
        std::vector<std::uint8_t> image(table_.GetRecordBufferSize());
        table_.InitRecord(image);
        SetInt(image, OwnerField, owner_);
        SetInt(image, SeqField, seq);
        SetText(image, PayloadField, row.payload);
        SetText(image, CatField, row.cat);
        SetInt(image, HashField, RowHash(owner_, seq, row.payload, row.cat));
        SetInt(image, CountField, 0);
        if (!row.memo.empty()) WriteMemo(image, row.memo);
        table_.InsertRecord(image, true);
        table_.FreeBlobs();
        row.id = table_.GetRecordId(Fetch(false));
        ++nextSeq_;
        Log("insert " + std::to_string(seq) + ' ' + std::to_string(row.id.Value) + ' ' + row.payload + ' ' +
            row.cat + ' ' + MemoHash(row.memo));
        rows_[seq] = row;
    }

    void Modify() {
        const std::int32_t seq = AnyOwnSeq();
        GoToOwnRow(seq);
        std::vector<std::uint8_t> image = Fetch(true);
        OwnRow row = rows_.at(seq);
        if (GetText(image, PayloadField) != row.payload) throw Inconsistent("own row changed elsewhere");
        row.payload = Letters(5, 40);
        row.cat = NewCat();
        const std::int32_t newSeq = Pick(4) == 0 ? nextSeq_ : seq;
        SetInt(image, SeqField, newSeq);
        SetText(image, PayloadField, row.payload);
        SetText(image, CatField, row.cat);
        SetInt(image, HashField, RowHash(owner_, newSeq, row.payload, row.cat));
        if (Pick(3) == 0) {
            row.memo = Letters(0, 300);
            WriteMemo(image, row.memo);
        }
        table_.ModifyRecord(image, true, true);
        table_.FreeBlobs();
        if (newSeq != seq) ++nextSeq_;
        Log("modify " + std::to_string(seq) + ' ' + std::to_string(newSeq) + ' ' +
            std::to_string(row.id.Value) + ' ' + row.payload + ' ' + row.cat + ' ' + MemoHash(row.memo));
        rows_.erase(seq);
        rows_[newSeq] = row;
    }

    void Delete() {
        const std::int32_t seq = AnyOwnSeq();
        GoToOwnRow(seq);
        const engine::RecordId id = table_.GetRecordId(Fetch(false));
        table_.DeleteRecord(true);
        Log("delete " + std::to_string(seq) + ' ' + std::to_string(id.Value));
        rows_.erase(seq);
    }

    void Increment() {
        const bool underTableLock = Pick(3) == 0;
        if (underTableLock) table_.LockTable();
        if (!GoToRow(0, 0)) throw Inconsistent("the counter row is missing");
        std::vector<std::uint8_t> image = Fetch(!underTableLock);
        SetInt(image, CountField, GetInt(image, CountField) + 1);
        table_.ModifyRecord(image, !underTableLock, true);
        if (underTableLock) table_.UnlockTable();
        Log("increment");
    }

    void Scan() {
        std::size_t own = 0;
        table_.SetIndexNumber(ByPayloadIndex);
        {
            engine::TReadGuard read(table_);
            // The read lock held throughout keeps every writer out: the scan sees one state of the table.
            read.Begin();
            std::vector<std::uint8_t> image(table_.GetRecordBufferSize());
            table_.SetToBegin();
            while (table_.GetNextRecord(image) == 0) {
                const std::int32_t owner = GetInt(image, OwnerField);
                const std::int32_t seq = GetInt(image, SeqField);
                const std::string payload = GetText(image, PayloadField);
                if (GetInt(image, HashField) != RowHash(owner, seq, payload, GetText(image, CatField)))
                    throw Inconsistent("row " + std::to_string(owner) + '/' + std::to_string(seq) +
                                       " has a bad hash");
                if (owner != owner_) continue;
                const auto row = rows_.find(seq);
                if (row == rows_.end() || row->second.payload != payload ||
                    row->second.memo != enginetest::ReadBlobValue(table_, MemoField, image))
                    throw Inconsistent("own row " + std::to_string(seq) + " differs from what was written");
                ++own;
            }
            read.End();
        }
        table_.SetIndexNumber(0);
        if (own != rows_.size()) throw Inconsistent("the scan saw " + std::to_string(own) + " own rows");
        Log("scan " + std::to_string(own));
    }

    engine::TDataFile& table_;
    std::int32_t owner_;
    std::mt19937 random_;
    std::FILE* log_;
    std::map<std::int32_t, OwnRow> rows_;
    std::int32_t nextSeq_ = 1;
    int refused_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fputs("usage: engine-stress-worker <table> <owner> <seed> <operations> <log>\n", stderr);
        return ExitUsage;
    }
    const std::int32_t owner = std::atoi(argv[2]);
    const unsigned seed = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    const int operations = std::atoi(argv[4]);
    std::FILE* log = std::fopen(argv[5], "a");
    if (owner <= 0 || operations < 0 || log == nullptr) {
        std::fputs("engine-stress-worker: bad arguments\n", stderr);
        return ExitUsage;
    }
    int status = 0;
    {
        engine::EngineGuard engine;
        engine::TDataFile table;
        try {
            table.SetFileName(argv[1]);
            table.SetExclusive(false);
            // The engine's lock settings unless the run asks for other retries; a lock still held
            // elsewhere after them makes the worker try the operation again itself.
            if (const char* retries = std::getenv(stresstest::LockRetriesVariable)) {
                table.SetLockRetryCount(static_cast<std::uint8_t>(std::clamp(std::atoi(retries), 0, 255)));
            }
            table.Open();
            Worker worker(table, owner, seed, log);
            worker.Run(operations);
            // For whoever measures lock settings: a refusal means a lock stayed held past the retries.
            if (worker.Refused() != 0) std::fprintf(stderr, "worker %d: %d tries refused by a lock\n", owner, worker.Refused());
            table.Close();
        } catch (const std::exception& error) {
            std::fprintf(stderr, "worker %d: %s\n", owner, error.what());
            status = 1;
        }
    }
    std::fclose(log);
    return status;
}
