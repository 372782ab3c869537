#include "tools/tarnis-check/IndexTreeCheck.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/engine/support/RawTableFile.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/tools/tarnis-check/FindingMatch.h"
#include "tools/tarnis-check/CheckedFile.h"
#include "tools/tarnis-check/TableCheck.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using tarnischeck::Finding;
using tarnischeck::Num;
using tarnischeck::Severity;
using tarnischecktest::Describe;

const std::string TableName = "crafted/t";
const std::string DataName = "crafted/t.DAT";
const std::string IndexName = "crafted/t.IDX";
constexpr std::uint32_t P = 4096;

// ID (integer, the primary index) and NAME (string 10, "ByName", not unique); 500 active slots whose IDs are
// their slot numbers and whose names are empty. Index 0 is a root node over two leaves of 5-byte keys,
// "ByName" a root node over leaves of 16-byte keys (a null name and the record ID).
struct SoundTable {
    std::string dat;
    std::string idx;
    std::uint32_t root0 = 0, leaf0 = 0, leaf1 = 0;
    std::uint32_t root1 = 0, nameLeaf0 = 0, nameLeaf1 = 0;
    std::uint32_t end = 0;

    SoundTable() {
        fs::create_directory("crafted");
        std::vector<engine::TFieldDesc> fields = {FieldDef(1, "ID", engine::FieldTypeInteger),
                                                  FieldDef(2, "NAME", engine::FieldTypeString, 10)};
        std::vector<engine::TIndexDescriptor> indexes = {IndexDef("", {1}), IndexDef("ByName", {2})};
        CreateTable(TableName, fields, indexes);
        AppendActiveSlots(DataName, 500);
        dat = ReadBytes(DataName);
        idx = ReadBytes(IndexName);
        root0 = GetLE(idx, IndexSlotAt(0) + DescRootAt, 4);
        root1 = GetLE(idx, IndexSlotAt(1) + DescRootAt, 4);
        // Node entries: the key, the child, the count.
        leaf0 = GetLE(idx, root0 + 13 + 5, 4);
        leaf1 = GetLE(idx, root0 + 13 + 13 + 5, 4);
        nameLeaf0 = GetLE(idx, root1 + 13 + 16, 4);
        nameLeaf1 = GetLE(idx, root1 + 13 + 24 + 16, 4);
        end = GetLE(idx, IndexEndOfFileAt, 4);
    }
};

bool HasFinding(const std::vector<Finding>& findings, Severity level, const std::string& place,
                const std::string& text) {
    return tarnischecktest::HasFinding(findings, level, IndexName, place, text);
}

constexpr Severity E = Severity::Error;
constexpr Severity W = Severity::Warning;

using IndexTreeCheckTest = TableTest;

TEST_F(IndexTreeCheckTest, TheSoundTreesAreClean) {
    const SoundTable t;
    ASSERT_EQ(GetLE(t.idx, t.root0, 1), 0u);
    ASSERT_EQ(GetLE(t.idx, t.root0 + 1, 2), 2u);
    ASSERT_GE(GetLE(t.idx, t.root1 + 1, 2), 2u);
    EXPECT_TRUE(IsCleanTable(TableName));
}

TEST_F(IndexTreeCheckTest, EachDamageIsReportedByItsRule) {
    const SoundTable t;
    // Where an entry lies in a page: 13 header bytes, then entries of the key length and 4 or 8 more bytes.
    const auto leafEntry = [](std::uint32_t page, std::size_t i) { return page + 13 + i * 9; };
    const auto nodeEntry = [](std::uint32_t page, std::size_t i) { return page + 13 + i * 13; };
    const struct {
        const char* what;
        std::function<void(std::string& dat, std::string& idx)> damage;
        Severity level;
        std::string place;
        std::string text;
    } damages[] = {
        {"separator", [&](std::string&, std::string& b) { b[nodeEntry(t.root0, 1) + 4] ^= 1; }, E, "index 0",
         "page " + Num(t.root0) + " entry 2 does not hold the first key of its child " + Num(t.leaf1)},
        {"count",
         [&](std::string&, std::string& b) {
             PutLE(b, nodeEntry(t.root0, 1) + 9, 4, GetLE(b, nodeEntry(t.root0, 1) + 9, 4) + 1);
         },
         E, "index 0", "page " + Num(t.root0) + " entry 2 counts"},
        {"next link", [&](std::string&, std::string& b) { PutLE(b, t.leaf0 + 7, 4, 0); }, E, "index 0",
         "page " + Num(t.leaf0) + " links on to 0, not to " + Num(t.leaf1)},
        {"prior link", [&](std::string&, std::string& b) { PutLE(b, t.leaf1 + 3, 4, t.root0); }, E, "index 0",
         "page " + Num(t.leaf1) + " links back to " + Num(t.root0) + ", not to " + Num(t.leaf0)},
        {"a page under two parents",
         [&](std::string&, std::string& b) { PutLE(b, t.root1 + 13 + 24 + 16, 4, t.nameLeaf0); }, E,
         "index 1",
         "page " + Num(t.nameLeaf0) +
             " is reached again from the tree of index 1, after the tree of index 1"},
        {"a page shared by two indexes",
         [&](std::string&, std::string& b) { PutLE(b, t.root1 + 13 + 16, 4, t.leaf0); }, E, "index 1",
         "page " + Num(t.leaf0) + " is reached again from the tree of index 1, after the tree of index 0"},
        {"key order",
         [&](std::string&, std::string& b) {
             std::string first = b.substr(leafEntry(t.leaf0, 0), 9);
             b.replace(leafEntry(t.leaf0, 0), 9, b.substr(leafEntry(t.leaf0, 1), 9));
             b.replace(leafEntry(t.leaf0, 1), 9, first);
         },
         E, "index 0", "page " + Num(t.leaf0) + " entry 2 is not above the entry before it"},
        {"a key that is not its record's",
         [&](std::string&, std::string& b) { PutLE(b, leafEntry(t.leaf0, 2) + 5, 4, 7); }, E, "index 0",
         "page " + Num(t.leaf0) + " entry 3 does not hold the key of slot 7"},
        {"a slot without its entry",
         [&](std::string&, std::string& b) { PutLE(b, leafEntry(t.leaf0, 2) + 5, 4, 7); }, E, "index 0",
         "slot 3 has no entry"},
        {"an entry of a deleted slot",
         [&](std::string& d, std::string& b) {
             d[SlotsStart(d) + 9 * GetLE(d, RecordSizeAt, 2)] = 1;
             PutLE(b, RecordCountAt, 4, 499);
         },
         E, "index 1", "names slot 10, which is deleted"},
        {"an entry beyond the slots",
         [&](std::string&, std::string& b) { PutLE(b, leafEntry(t.leaf1, 0) + 5, 4, 501); }, E, "index 0",
         "names slot 501, beyond the 500 slots"},
        {"a child off the grid",
         [&](std::string&, std::string& b) { PutLE(b, nodeEntry(t.root0, 1) + 5, 4, t.leaf1 + 1); }, E,
         "index 0", "page " + Num(t.root0) + " entry 2 links to " + Num(t.leaf1 + 1) + ", which is no page"},
        {"a root type below the root", [&](std::string&, std::string& b) { b[t.leaf1] = 3; }, E, "index 0",
         "page " + Num(t.leaf1) + " below the root has type 3"},
        {"a node among leaves", [&](std::string&, std::string& b) { b[t.leaf0] = 1; }, E, "index 0",
         "page " + Num(t.leaf1) + " is a leaf at depth 1, but page " + Num(t.leaf0) +
             " at the same depth is a node"},
        {"an empty page", [&](std::string&, std::string& b) { PutLE(b, t.leaf1 + 1, 2, 0); }, E, "index 0",
         "page " + Num(t.leaf1) + " in the tree has no entries"},
        {"an undecodable page", [&](std::string&, std::string& b) { PutLE(b, t.leaf1 + 1, 2, 900); }, E,
         "index 0", "page " + Num(t.leaf1) + " cannot be read"},
        {"a free page with entries",
         [&](std::string&, std::string& b) {
             b += b.substr(t.nameLeaf0, P);
             PutLE(b, IndexEndOfFileAt, 4, t.end + P);
             PutLE(b, IndexSlotAt(1) + DescFreeHeadAt, 4, t.end);
         },
         E, "index 1", "free page " + Num(t.end) + " holds"},
        {"a free list into a tree",
         [&](std::string&, std::string& b) { PutLE(b, IndexSlotAt(1) + DescFreeHeadAt, 4, t.leaf1); }, E,
         "index 1",
         "page " + Num(t.leaf1) +
             " is reached again from the free list of index 1, after the tree of index 0"},
        {"a free list off the grid",
         [&](std::string&, std::string& b) {
             b += std::string(P, '\0');
             PutLE(b, IndexEndOfFileAt, 4, t.end + P);
             PutLE(b, IndexSlotAt(1) + DescFreeHeadAt, 4, t.end);
             PutLE(b, t.end + 7, 4, 77);
         },
         E, "index 1", "the free list links from " + Num(t.end) + " to 77"},
        {"a page in nothing",
         [&](std::string&, std::string& b) {
             b += std::string(P, '\0');
             PutLE(b, IndexEndOfFileAt, 4, t.end + P);
         },
         W, "pages", "1 pages are in no tree and on no free list, the first at " + Num(t.end)},
    };
    for (const auto& d : damages) {
        std::string dat = t.dat;
        std::string idx = t.idx;
        d.damage(dat, idx);
        WriteBytes(DataName, dat);
        WriteBytes(IndexName, idx);
        const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
        ASSERT_FALSE(check.Unreadable()) << d.what;
        EXPECT_TRUE(HasFinding(check.Findings(), d.level, d.place, d.text))
            << d.what << Describe(check.Findings());
        if (d.level == W) {
            EXPECT_FALSE(check.HasErrors()) << d.what << Describe(check.Findings());
        }
    }
    WriteBytes(DataName, t.dat);
    WriteBytes(IndexName, t.idx);
}

TEST_F(IndexTreeCheckTest, TotalsMustMatchTheRecordsButNotWhenTheIndexFileIsWalkedAlone) {
    const SoundTable t;
    // The last entry of the second leaf dropped, with its parent's count: the tree holds 499 keys.
    std::string idx = t.idx;
    PutLE(idx, t.leaf1 + 1, 2, GetLE(idx, t.leaf1 + 1, 2) - 1);
    PutLE(idx, t.root0 + 13 + 13 + 9, 4, GetLE(idx, t.root0 + 13 + 13 + 9, 4) - 1);
    WriteBytes(IndexName, idx);
    const tarnischeck::TableCheck check = tarnischeck::CheckTable(TableName);
    // One off is damage too: the journal puts back a change cut short before its index header.
    EXPECT_TRUE(
        HasFinding(check.Findings(), E, "index 0", "the tree holds 499 keys, but the header counts 500"))
        << Describe(check.Findings());
    EXPECT_TRUE(HasFinding(check.Findings(), E, "index 0", "slot 500 has no entry"))
        << Describe(check.Findings());
    const tarnischeck::TableCheck alone = tarnischeck::CheckIndexFileAlone(TableName);
    EXPECT_TRUE(alone.Findings().empty()) << Describe(alone.Findings());
    WriteBytes(IndexName, t.idx);
}

}  // namespace
