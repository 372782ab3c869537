// Index files for tree and page-cache tests: tables whose primary key has a chosen length, keys that stand
// for no records, a table double that answers the page cache's questions, an index file that records its
// reads and writes, and the tree walk of tarnis-check on the result.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/index/IndexFile.h"
#include "engine/records/TableFileOwner.h"
#include "engine/table/DataFile.h"
#include "tests/engine/support/RecordingFile.h"
#include "tests/engine/support/TableFixture.h"
#include "tests/tools/tarnis-check/FindingMatch.h"
#include "tools/tarnis-check/IndexTreeCheck.h"

namespace enginetest {

// Key fields giving a key of the length: one integer for 5 bytes, else strings of at most 250 characters
// (each field takes its size + 2 key bytes).
inline std::vector<engine::TFieldDesc> KeyFields(std::uint16_t keyLength) {
    if (keyLength == 5) return {FieldDef(1, "K1", engine::FieldTypeInteger)};
    const std::size_t count = (keyLength + 251u) / 252u;
    std::vector<engine::TFieldDesc> fields;
    std::size_t left = keyLength;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t share = left / (count - i);
        left -= share;
        fields.push_back(FieldDef(static_cast<std::uint16_t>(i + 1), "K" + std::to_string(i + 1),
                                  engine::FieldTypeString, static_cast<std::uint8_t>(share - 2)));
    }
    return fields;
}

// "name" with the primary index over all key fields, and a unique secondary index "Second" over the same
// fields; both with the compression.
inline void CreateKeyTable(const std::string& name, std::uint16_t keyLength, std::uint8_t compression) {
    std::vector<engine::TFieldDesc> fields = KeyFields(keyLength);
    engine::TIndexDescriptor primary;
    engine::TIndexDescriptor second;
    second.Name = "Second";
    second.Unique = 1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        primary.FieldNumbers[i] = second.FieldNumbers[i] = static_cast<std::uint16_t>(i + 1);
    }
    primary.FieldCount = second.FieldCount = static_cast<std::uint8_t>(fields.size());
    primary.Compression = second.Compression = compression;
    std::vector<engine::TIndexDescriptor> indexes = {primary, second};
    CreateTable(name, fields, indexes);
}

// Key n of the length: a has-value byte, n big-endian, then (for longer keys) a run of bytes that depends on
// n and whose length varies, then zeros, so that compressed entries differ in size.
inline std::vector<std::uint8_t> TreeKey(std::uint16_t keyLength, std::uint32_t n) {
    std::vector<std::uint8_t> key(keyLength, 0);
    key[0] = 1;
    for (int i = 0; i < 4 && 1 + i < keyLength; ++i)
        key[1 + i] = static_cast<std::uint8_t>(n >> (8 * (3 - i)));
    if (keyLength > 5) {
        std::uint32_t mix = n * 2654435761u;
        const std::size_t run = mix % (keyLength - 5u);
        for (std::size_t i = 0; i < run; ++i) {
            mix = mix * 1103515245u + 12345u;
            key[5 + i] = static_cast<std::uint8_t>((mix >> 16) | 1);
        }
    }
    return key;
}

// Answers as a table handle would; BeginRead compares the index file's change counter as the read protocol
// does for a shared table, dropping the pages when it moved.
class FakeTableOwner : public engine::TableFileOwner {
public:
    const std::string& TableFileName() const override { return name; }
    bool TableExclusive() const override { return exclusive; }
    bool StrictChangeDetection() const override { return strict; }
    bool TransactionLockHeld() const override { return transaction; }
    bool TableProtected() const override { return false; }
    bool BeginRead() override {
        ++beginReads;
        if (file == nullptr || !file->HeaderChanged()) return false;
        file->InvalidatePages();
        return true;
    }

    std::string name = "t.DAT";
    bool exclusive = false;
    bool strict = false;
    bool transaction = false;
    engine::TIndexFile* file = nullptr;
    int beginReads = 0;
};

// The index file's accesses, recorded.
using IndexAccess = FileAccess;
using RecordingIndexFile = RecordingFile<engine::TIndexFile>;

// Pages and header written, then tarnis-check's walk of the index file alone: no finding at all, or the
// findings listed.
inline ::testing::AssertionResult IsSoundIndexFile(engine::TIndexFile& index, const std::string& tableName) {
    index.FlushPages();
    index.WriteHeader(false);
    const tarnischeck::TableCheck check = tarnischeck::CheckIndexFileAlone(tableName);
    if (check.Findings().empty() && !check.Unreadable()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << tableName << ": " << check.UnreadableReason() << tarnischecktest::Describe(check.Findings());
}

}  // namespace enginetest
