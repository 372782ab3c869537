// Several engine-stress-worker programs change one shared table side by side; afterwards the table is clean
// and holds exactly what their logs say they wrote.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/records/RecordHeader.h"
#include "tests/engine/stress/StressTable.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/RecordTestTable.h"
#include "tests/engine/support/TableFixture.h"

extern char** environ;

namespace {

using namespace enginetest;
using namespace stresstest;

// How long the workers may take together: far more than they need, even sanitized on two cores.
constexpr std::chrono::seconds Deadline{150};
constexpr int Workers = 4;
constexpr int Operations = 250;

void CreateStressTable(const std::string& name) {
    std::vector<engine::TFieldDesc> fields = {
        AutoIncDef(IdField, "ID"),
        FieldDef(OwnerField, "OWNER", engine::FieldTypeInteger),
        FieldDef(SeqField, "SEQ", engine::FieldTypeInteger),
        FieldDef(PayloadField, "PAYLOAD", engine::FieldTypeString, PayloadSize),
        FieldDef(CatField, "CAT", engine::FieldTypeString, CatSize),
        FieldDef(HashField, "HASH", engine::FieldTypeInteger),
        FieldDef(CountField, "COUNT", engine::FieldTypeInteger),
        FieldDef(stresstest::MemoField, "MEMO", engine::FieldTypeBlob)};
    engine::TIndexDescriptor byPayload = IndexDef("ByPayload", {PayloadField});
    byPayload.Descending = 1;
    std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {OwnerField, SeqField}),
                                                     IndexDef("ByCat", {CatField}), byPayload};
    TableOptions options;
    options.blockSize = MemoBlockSize;
    CreateTable(name, fields, indexes, options);
    engine::TDataFile table;
    table.SetFileName(name);
    table.SetExclusive(true);
    table.Open();
    Insert(table, {{OwnerField, I32(0)},
                   {SeqField, I32(0)},
                   {PayloadField, Str("counter")},
                   {CatField, Str("none")},
                   {HashField, I32(RowHash(0, 0, "counter", "none"))},
                   {CountField, I32(0)}});
}

// A row as the logs say it is.
struct LoggedRow {
    std::uint32_t id = 0;
    std::string payload;
    std::string cat;
    std::string memoHash;
};

struct Replay {
    std::map<std::pair<std::int32_t, std::int32_t>, LoggedRow> rows;
    std::int32_t increments = 0;
    // Every operation logs one line once it succeeded.
    int lines = 0;
};

// Applies one worker's log.
void ReplayLog(const std::string& path, std::int32_t owner, Replay& replay) {
    std::ifstream log(path);
    std::string line;
    while (std::getline(log, line)) {
        ++replay.lines;
        std::istringstream fields(line);
        std::string operation;
        fields >> operation;
        if (operation == "insert") {
            std::int32_t seq = 0;
            LoggedRow row;
            fields >> seq >> row.id >> row.payload >> row.cat >> row.memoHash;
            EXPECT_TRUE(replay.rows.emplace(std::pair(owner, seq), row).second) << line;
        } else if (operation == "modify") {
            std::int32_t seq = 0;
            std::int32_t newSeq = 0;
            LoggedRow row;
            fields >> seq >> newSeq >> row.id >> row.payload >> row.cat >> row.memoHash;
            EXPECT_EQ(replay.rows.erase(std::pair(owner, seq)), 1u) << line;
            replay.rows[std::pair(owner, newSeq)] = row;
        } else if (operation == "delete") {
            std::int32_t seq = 0;
            fields >> seq;
            EXPECT_EQ(replay.rows.erase(std::pair(owner, seq)), 1u) << line;
        } else if (operation == "increment") {
            ++replay.increments;
        } else {
            EXPECT_EQ(operation, "scan") << line;
        }
    }
}

// A whole number of at least 1 from the variable, else the fallback.
int NumberFromEnvironment(const char* variable, int fallback) {
    const char* text = std::getenv(variable);
    const int number = text != nullptr ? std::atoi(text) : fallback;
    return number >= 1 ? number : fallback;
}

// The images of the table's active records, in slot order.
std::vector<std::vector<std::uint8_t>> ActiveImages(engine::TDataFile& stored) {
    std::vector<std::vector<std::uint8_t>> images;
    for (std::uint32_t slot = 1; slot <= stored.GetPhysicalRecordCount(); ++slot) {
        engine::RecordPin record;
        EXPECT_TRUE(stored.GetRecord(engine::SlotNumber(slot), false, false, engine::ReadForward, record));
        if (!record || record->Status() != engine::RecordActive) continue;
        images.emplace_back(record->Image().begin(), record->Image().end());
    }
    return images;
}

// A 32-bit integer field of a record image.
std::int32_t StoredNumber(engine::TDataFile& stored, const std::vector<std::uint8_t>& image, std::uint16_t field) {
    std::vector<std::uint8_t> bytes(4, 0);
    stored.GetField(false, field, image, bytes);
    return static_cast<std::int32_t>(GetLE(std::string(bytes.begin(), bytes.end()), 0, 4));
}

// Starts one engine-stress-worker on the table; answers its process id.
pid_t SpawnWorker(const std::string& table, int owner, int operations) {
    std::vector<std::string> arguments = {KEYVALE_ENGINE_STRESS_WORKER,
                                          table,
                                          std::to_string(owner),
                                          std::to_string(1000 + 7919 * owner),
                                          std::to_string(operations),
                                          "worker" + std::to_string(owner) + ".log"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    return pid;
}

class EngineStressTest : public TableTest {};

TEST_F(EngineStressTest, WorkersChangingOneTableLoseNothing) {
    const int scale = NumberFromEnvironment(ScaleVariable, 1);
    const int workers = NumberFromEnvironment(WorkersVariable, Workers * scale);
    const std::string table = (directory_.Path() / "stress").string();
    CreateStressTable(table);

    std::vector<pid_t> pids;
    for (int owner = 1; owner <= workers; ++owner) {
        pids.push_back(SpawnWorker(table, owner, Operations * scale));
        ASSERT_GT(pids.back(), 0);
    }
    // Every worker exits 0 before the deadline; one still running then is killed.
    const auto started = std::chrono::steady_clock::now();
    const auto deadline = started + Deadline * scale;
    std::vector<int> statuses(pids.size(), -1);
    std::size_t running = pids.size();
    while (running > 0 && std::chrono::steady_clock::now() < deadline) {
        for (std::size_t i = 0; i < pids.size(); ++i) {
            int status = 0;
            if (pids[i] > 0 && waitpid(pids[i], &status, WNOHANG) == pids[i]) {
                statuses[i] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                pids[i] = -1;
                --running;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (pid_t& pid : pids) {
        if (pid <= 0) continue;
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    for (std::size_t i = 0; i < statuses.size(); ++i) EXPECT_EQ(statuses[i], 0) << "worker " << i + 1;
    ASSERT_EQ(running, 0u) << "workers still running at the deadline";
    // The throughput, for whoever measures lock settings against each other (never asserted).
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const int operations = workers * Operations * scale;
    std::printf("stress: %d workers, %d operations in %.2f s: %.0f operations a second\n", workers, operations,
                seconds, operations / seconds);

    EXPECT_TRUE(IsCleanTable(table));

    Replay replay;
    for (int owner = 1; owner <= workers; ++owner) {
        ReplayLog("worker" + std::to_string(owner) + ".log", owner, replay);
    }
    engine::TDataFile stored;
    stored.SetFileName(table);
    stored.SetExclusive(true);
    stored.Open();
    std::set<std::uint32_t> ids;
    std::size_t rows = 0;
    for (const std::vector<std::uint8_t>& image : ActiveImages(stored)) {
        const auto number = [&](std::uint16_t field) { return StoredNumber(stored, image, field); };
        const std::int32_t owner = number(OwnerField);
        const std::int32_t seq = number(SeqField);
        const std::uint32_t id = stored.GetRecordId(image).Value;
        EXPECT_TRUE(ids.insert(id).second) << "record ID " << id << " twice";
        const std::string payload = StoredText(stored, image, PayloadField);
        const std::string cat = StoredText(stored, image, CatField);
        EXPECT_EQ(number(HashField), RowHash(owner, seq, payload, cat)) << owner << '/' << seq;
        if (owner == 0) {
            EXPECT_EQ(seq, 0);
            EXPECT_EQ(number(CountField), replay.increments);
            continue;
        }
        ++rows;
        const auto logged = replay.rows.find(std::pair(owner, seq));
        if (logged == replay.rows.end()) {
            ADD_FAILURE() << "row " << owner << '/' << seq << " is in no log";
            continue;
        }
        EXPECT_EQ(id, logged->second.id) << owner << '/' << seq;
        EXPECT_EQ(payload, logged->second.payload) << owner << '/' << seq;
        EXPECT_EQ(cat, logged->second.cat) << owner << '/' << seq;
        const std::string memo = ReadBlobValue(stored, stresstest::MemoField, image);
        EXPECT_EQ(MemoHash(memo), logged->second.memoHash) << owner << '/' << seq;
    }
    EXPECT_EQ(rows, replay.rows.size());
    EXPECT_GT(replay.increments, 0);
    EXPECT_EQ(replay.lines, workers * Operations * scale);
}

// Rounds of workers on one table, some or all of them killed at a random moment of each round: whatever change
// a kill cut short, the next program puts it back, so the table is clean after every round, no stored row is
// torn, and the survivors finish. KEYVALE_STRESS_SCALE multiplies the rounds, KEYVALE_STRESS_WORKERS sets the
// workers of a round.
TEST_F(EngineStressTest, WorkersKilledMidChangeLeaveNoDamage) {
    const int scale = NumberFromEnvironment(ScaleVariable, 1);
    const int workers = NumberFromEnvironment(WorkersVariable, Workers);
    const int rounds = 3 * scale;
    const std::string table = (directory_.Path() / "stress").string();
    CreateStressTable(table);
    std::srand(20261211);
    for (int round = 0; round < rounds; ++round) {
        std::vector<pid_t> pids;
        for (int i = 1; i <= workers; ++i) {
            pids.push_back(SpawnWorker(table, round * 100 + i, Operations));
            ASSERT_GT(pids.back(), 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(30 + std::rand() % 300));
        // Every third round kills them all; the others one or two.
        std::set<std::size_t> victims;
        if (round % 3 == 2) {
            for (std::size_t i = 0; i < pids.size(); ++i) victims.insert(i);
        } else {
            victims.insert(std::rand() % pids.size());
            victims.insert(std::rand() % pids.size());
        }
        for (std::size_t i : victims) kill(pids[i], SIGKILL);
        const auto deadline = std::chrono::steady_clock::now() + Deadline;
        for (std::size_t i = 0; i < pids.size(); ++i) {
            int status = 0;
            while (waitpid(pids[i], &status, WNOHANG) == 0 && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(pids[i], SIGKILL);
                waitpid(pids[i], &status, 0);
                ADD_FAILURE() << "round " << round << ": worker " << i + 1 << " still running at the deadline";
                continue;
            }
            const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL && victims.count(i) != 0;
            EXPECT_TRUE(killed || (WIFEXITED(status) && WEXITSTATUS(status) == 0))
                << "round " << round << ": worker " << i + 1;
        }
        // With every worker killed, one may have died inside a change: its journal is rightly left for the
        // next program, which puts it back when it opens the table. That program comes first here.
        if (victims.size() == pids.size()) {
            engine::TDataFile next;
            next.SetFileName(table);
            next.Open();
            next.Close();
        }
        ASSERT_TRUE(IsCleanTable(table)) << "after round " << round;
    }
    engine::TDataFile stored;
    stored.SetFileName(table);
    stored.SetExclusive(true);
    stored.Open();
    for (const std::vector<std::uint8_t>& image : ActiveImages(stored)) {
        const auto number = [&](std::uint16_t field) { return StoredNumber(stored, image, field); };
        const std::int32_t owner = number(OwnerField);
        const std::int32_t seq = number(SeqField);
        EXPECT_EQ(number(HashField), RowHash(owner, seq, StoredText(stored, image, PayloadField),
                                             StoredText(stored, image, CatField)))
            << owner << '/' << seq;
    }
}

}  // namespace
