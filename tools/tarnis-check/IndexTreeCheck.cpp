#include "tools/tarnis-check/IndexTreeCheck.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/Scramble.h"
#include "engine/index/IndexFile.h"
#include "engine/index/KeyOrder.h"
#include "engine/index/Page.h"
#include "engine/index/RecordKey.h"
#include "engine/records/DataFileHeader.h"
#include "engine/records/RecordHeader.h"
#include "rtl/Format.h"
#include "tools/tarnis-check/CheckTexts.h"
#include "tools/tarnis-check/CheckedFile.h"
#include "tools/tarnis-check/RecordFileCheck.h"

namespace tarnischeck {

namespace {

using namespace engine;

// Findings about the entries of one index against the slots are listed this many times, then counted.
constexpr int MaxEntryFindings = 20;
// Slots are read this many bytes at a time (at least one slot).
constexpr std::size_t SlotChunkBytes = 65536;

std::string SlotPlace(std::size_t slot) {
    return rtl::Format(texts::IndexPlace, {Num(slot)});
}

bool IsDefined(const TIndexFileHeader& header, std::size_t slot) {
    return (slot == PrimaryIndexSlot && header.Indexes[slot].KeyLength > 0) ||
           (slot >= 1 && slot <= MaxSecondaryIndexes && slot <= header.SecondaryCount) ||
           slot == SysDeletedSlot;
}

// A page a node entry names, with what the entry says of it.
struct ChildRef {
    PageOffset Position;
    PageOffset Parent;
    std::size_t Entry = 0;
    std::vector<std::uint8_t> FirstKey;
    std::uint32_t Count = 0;
};

// A leaf entry kept for the comparison with the slots.
struct LeafEntry {
    PageOffset Page;
    std::size_t Entry = 0;
    std::uint32_t Slot = 0;
};

// The leaf entries of one index in key order, their keys back to back.
struct IndexEntries {
    std::size_t Slot = 0;
    std::uint16_t KeyLength = 0;
    std::vector<LeafEntry> Entries;
    std::vector<std::uint8_t> Keys;
};

// Reads whole slots of the record file, unscrambled.
class SlotReader : private CheckedFile {
public:
    explicit SlotReader(TableCheck& check) : CheckedFile(check, check.Files().DataFile) {}

    bool Open() {
        std::string failure;
        return OpenShared(failure);
    }

    // Up to count slots from the first into the buffer; answers how many came whole.
    std::size_t Read(std::uint32_t first, std::size_t count, std::vector<std::uint8_t>& buffer) {
        const RecordFileFacts& facts = check_.Record();
        const std::size_t size = facts.Header.RecordSize;
        buffer.resize(count * size);
        const std::int64_t offset = SlotAreaStart(facts.Header.FieldCount) +
                                    static_cast<std::int64_t>(first - 1) * static_cast<std::int64_t>(size);
        const std::size_t got = ReadAt(offset, buffer.data(), buffer.size()) / size;
        if (facts.Header.Protected != 0) {
            for (std::size_t i = 0; i < got; ++i) UnscrambleBuffer(buffer.data() + i * size, size, DataSeed);
        }
        return got;
    }
};

class IndexTreeWalker : private CheckedFile {
public:
    IndexTreeWalker(TableCheck& check, const IndexHeaderImage& image, bool matchRecords)
        : CheckedFile(check, check.Files().IndexFile), image_(image), matchRecords_(matchRecords) {}

    void Run() {
        std::string failure;
        if (!OpenShared(failure)) {
            Error(texts::FilePlace, std::move(failure));
            return;
        }
        const TIndexFileHeader& header = image_.Header;
        owners_.assign(header.EndOfFile.Value / PageSize, {});
        for (std::size_t slot = 0; slot < IndexSlotCount; ++slot) {
            if (IsDefined(header, slot)) WalkTree(slot);
            if (header.Indexes[slot].FreePageHead != 0) WalkFreeList(slot);
        }
        ReportOrphans();
        if (matchRecords_) MatchRecords();
    }

private:
    // Who a page belongs to: none, or a tree or a free list of an index slot.
    struct Owner {
        bool Taken = false;
        bool FreeList = false;
        std::size_t Slot = 0;
    };

    std::string OwnerText(const Owner& owner) const {
        return rtl::Format(owner.FreeList ? texts::FreeListOwner : texts::TreeOwner, {Num(owner.Slot)});
    }

    bool IsPage(std::uint32_t offset) const {
        return offset % PageSize == 0 && offset >= PageSize && offset < image_.Header.EndOfFile.Value;
    }

    // Claims the page for an owner; false, with the finding, when another has it.
    bool Claim(std::size_t slot, PageOffset page, const Owner& owner) {
        Owner& current = owners_[page.Value / PageSize];
        if (current.Taken) {
            Error(SlotPlace(slot), rtl::Format(texts::PageReachedTwice,
                                               {Num(page.Value), OwnerText(owner), OwnerText(current)}));
            return false;
        }
        current = owner;
        return true;
    }

    TPageFormat FormatOf(std::size_t slot) const {
        const TIndexDescriptor& index = image_.Header.Indexes[slot];
        TPageFormat format;
        format.KeyLength = index.KeyLength;
        format.IndexNumber = static_cast<std::uint8_t>(slot);
        format.Descending = index.Descending;
        format.Unique = index.Unique;
        format.Compression = index.Compression;
        format.Scrambled = check_.Record().Header.Protected != 0;
        return format;
    }

    // The page's bytes, unscrambled; false, with the finding, when the file ends inside it.
    bool ReadPage(std::size_t slot, PageOffset position, std::array<std::uint8_t, PageSize>& bytes) {
        if (ReadAt(position.Value, bytes.data(), bytes.size()) < bytes.size()) {
            Error(SlotPlace(slot),
                  rtl::Format(texts::PageUnreadable, {Num(position.Value), texts::FileEndsInPage}));
            return false;
        }
        return true;
    }

    // The page decoded; none, with the finding, when it cannot be.
    std::unique_ptr<TPage> Load(std::size_t slot, PageOffset position) {
        std::array<std::uint8_t, PageSize> bytes{};
        if (!ReadPage(slot, position, bytes)) return nullptr;
        auto page = std::make_unique<TPage>(FormatOf(slot), order_ ? &*order_ : nullptr);
        try {
            page->LoadFromBuffer(bytes, false);
        } catch (const ETARNISEngineError& error) {
            Error(SlotPlace(slot),
                  rtl::Format(texts::PageUnreadable, {Num(position.Value), error.Message()}));
            return nullptr;
        }
        return page;
    }

    // The order of the index's keys; none when the table's locale is unknown (the record check says so).
    void PrepareOrder(std::size_t slot) {
        std::vector<TFieldDesc> fields = check_.Record().Fields;
        for (TFieldDesc& field : fields) SetStoredSize(field);
        const TDataFileHeader& record = check_.Record().Header;
        try {
            order_.emplace(image_.Header.Indexes[slot], static_cast<std::uint8_t>(slot), fields,
                           record.LanguageId, record.SortId);
        } catch (const ETARNISEngineError&) {
            order_.reset();
        }
    }

    int Compare(const std::uint8_t* a, const std::uint8_t* b, std::size_t length, bool descending) const {
        return order_->Compare(a, b, length, descending);
    }

    void WalkTree(std::size_t slot) {
        const TIndexDescriptor& index = image_.Header.Indexes[slot];
        PrepareOrder(slot);
        IndexEntries leaves;
        leaves.Slot = slot;
        leaves.KeyLength = index.KeyLength;
        std::uint64_t total = 0;
        bool sound = true;
        std::vector<ChildRef> level;
        if (index.RootPage != 0) level.push_back({PageOffset(index.RootPage), NoPage, 0, {}, 0});
        const std::size_t k = index.KeyLength;
        const bool descending = index.Descending != 0;
        for (std::size_t depth = 0; !level.empty(); ++depth) {
            if (depth == MaxTreeDepth) {
                Error(SlotPlace(slot), rtl::Format(texts::TreeTooDeep, {Num(MaxTreeDepth)}));
                sound = false;
                break;
            }
            std::vector<ChildRef> below;
            std::optional<bool> levelIsLeaf;
            PageOffset firstOfKind;
            PageOffset previous;
            PageOffset previousNext;
            std::vector<std::uint8_t> previousLast;
            for (const ChildRef& ref : level) {
                const PageOffset position = ref.Position;
                // Siblings follow the level's order, whatever else is wrong with the pages.
                std::unique_ptr<TPage> page;
                if (Claim(slot, position, {true, false, slot})) page = Load(slot, position);
                if (!page) {
                    sound = false;
                    previous = position;
                    previousNext = NoPage;
                    previousLast.clear();
                    continue;
                }
                CheckLinks(slot, *page, position, previous, previousNext);
                previous = position;
                previousNext = page->Next();
                if (depth == 0 && !page->IsRoot()) {
                    Error(SlotPlace(slot),
                          rtl::Format(texts::RootTypeWrong, {Num(position.Value), Num(page->PageType())}));
                    sound = false;
                } else if (depth > 0 && page->IsRoot()) {
                    Error(SlotPlace(slot),
                          rtl::Format(texts::ChildTypeWrong, {Num(position.Value), Num(page->PageType())}));
                    sound = false;
                }
                if (!levelIsLeaf) {
                    levelIsLeaf = page->IsLeaf();
                    firstOfKind = position;
                } else if (*levelIsLeaf != page->IsLeaf()) {
                    const auto kind = [](bool leaf) { return leaf ? texts::LeafText : texts::NodeText; };
                    Error(SlotPlace(slot), rtl::Format(texts::LeavesAtDifferentDepths,
                                                       {Num(position.Value), kind(page->IsLeaf()), Num(depth),
                                                        Num(firstOfKind.Value), kind(*levelIsLeaf)}));
                    sound = false;
                }
                if (page->Count() == 0) {
                    Error(SlotPlace(slot), rtl::Format(texts::PageEmpty, {Num(position.Value)}));
                    sound = false;
                    previousLast.clear();
                    continue;
                }
                if (order_) {
                    for (std::size_t i = 1; i < page->Count(); ++i) {
                        if (Compare(page->Key(i - 1).data(), page->Key(i).data(), k, descending) >= 0) {
                            Error(SlotPlace(slot),
                                  rtl::Format(texts::KeysNotIncreasing, {Num(position.Value), Num(i + 1)}));
                            sound = false;
                            break;
                        }
                    }
                    if (!previousLast.empty() &&
                        Compare(previousLast.data(), page->Key(0).data(), k, descending) >= 0) {
                        Error(SlotPlace(slot), rtl::Format(texts::LevelNotIncreasing,
                                                           {Num(position.Value), Num(previous.Value)}));
                        sound = false;
                    }
                }
                const std::span<const std::uint8_t> last = page->Key(page->Count() - 1u);
                previousLast.assign(last.begin(), last.end());
                if (depth == 0) {
                    total = page->KeyTotal();
                } else {
                    const std::span<const std::uint8_t> first = page->Key(0);
                    if (!std::equal(first.begin(), first.end(), ref.FirstKey.begin(), ref.FirstKey.end())) {
                        Error(SlotPlace(slot),
                              rtl::Format(texts::SeparatorWrong,
                                          {Num(ref.Parent.Value), Num(ref.Entry + 1), Num(position.Value)}));
                        sound = false;
                    }
                    if (page->KeyTotal() != ref.Count) {
                        Error(SlotPlace(slot),
                              rtl::Format(texts::SubtreeCountWrong,
                                          {Num(ref.Parent.Value), Num(ref.Entry + 1), Num(ref.Count),
                                           Num(position.Value), Num(page->KeyTotal())}));
                        sound = false;
                    }
                    if (!page->IsCompressedLeaf() && page->Count() < page->Capacity() / 2) {
                        Warning(SlotPlace(slot),
                                rtl::Format(texts::PageBelowHalf, {Num(position.Value), Num(page->Count()),
                                                                   Num(page->Capacity())}));
                    }
                }
                for (std::size_t i = 0; i < page->Count(); ++i) {
                    const TPageEntry& entry = page->Entry(i);
                    if (page->IsLeaf()) {
                        if (!matchRecords_) continue;
                        leaves.Entries.push_back({position, i, entry.Pointer});
                        const std::span<const std::uint8_t> key = page->Key(i);
                        leaves.Keys.insert(leaves.Keys.end(), key.begin(), key.end());
                        continue;
                    }
                    if (!IsPage(entry.Pointer)) {
                        Error(SlotPlace(slot),
                              rtl::Format(texts::ChildLinkWrong,
                                          {Num(position.Value), Num(i + 1), Num(entry.Pointer)}));
                        sound = false;
                        continue;
                    }
                    const std::span<const std::uint8_t> key = page->Key(i);
                    below.push_back({entry.Child(), position, i, {key.begin(), key.end()}, entry.Count});
                }
            }
            if (previous != NoPage && previousNext != NoPage) {
                Error(SlotPlace(slot),
                      rtl::Format(texts::NextLinkWrong, {Num(previous.Value), Num(previousNext.Value), "0"}));
                sound = false;
            }
            level = std::move(below);
        }
        if (matchRecords_) CheckTotal(slot, total);
        if (matchRecords_ && sound) trees_.push_back(std::move(leaves));
    }

    // The page's prior link names the page before it on its level, and that page's next link this one.
    void CheckLinks(std::size_t slot, const TPage& page, PageOffset position, PageOffset previous,
                    PageOffset previousNext) {
        if (page.Prior() != previous) {
            Error(SlotPlace(slot),
                  rtl::Format(texts::PriorLinkWrong,
                              {Num(position.Value), Num(page.Prior().Value), Num(previous.Value)}));
        }
        if (previous != NoPage && previousNext != position) {
            Error(SlotPlace(slot),
                  rtl::Format(texts::NextLinkWrong,
                              {Num(previous.Value), Num(previousNext.Value), Num(position.Value)}));
        }
    }

    void CheckTotal(std::size_t slot, std::uint64_t total) {
        const RecordFileFacts& facts = check_.Record();
        if (slot != SysDeletedSlot) {
            if (total != image_.Header.RecordCount) {
                Error(SlotPlace(slot),
                      rtl::Format(texts::TreeTotalWrong, {Num(total), Num(image_.Header.RecordCount)}));
            }
        } else if (HasPrimaryIndex() && facts.SlotsScanned && total != facts.SlotCount) {
            Error(SlotPlace(slot),
                  rtl::Format(texts::SysDeletedTotalWrong, {Num(total), Num(facts.SlotCount)}));
        }
    }

    bool HasPrimaryIndex() const { return image_.Header.NoPrimaryIndex == 0; }


    void WalkFreeList(std::size_t slot) {
        PageOffset previous;
        PageOffset position(image_.Header.Indexes[slot].FreePageHead);
        while (position != NoPage) {
            if (!IsPage(position.Value)) {
                Error(SlotPlace(slot),
                      rtl::Format(texts::FreeLinkWrong, {Num(previous.Value), Num(position.Value)}));
                return;
            }
            if (!Claim(slot, position, {true, true, slot})) return;
            std::array<std::uint8_t, PageSize> bytes{};
            if (!ReadPage(slot, position, bytes)) return;
            if (check_.Record().Header.Protected != 0) UnscrambleBuffer(bytes.data(), bytes.size(), DataSeed);
            const TPageHeader header =
                DecodePageHeader(std::span<const std::uint8_t, PageHeaderSize>(bytes.data(), PageHeaderSize));
            if (header.Count != 0) {
                Error(SlotPlace(slot),
                      rtl::Format(texts::FreePageHasEntries, {Num(position.Value), Num(header.Count)}));
            }
            previous = position;
            position = header.Next;
        }
    }

    void ReportOrphans() {
        std::size_t count = 0;
        std::size_t first = 0;
        for (std::size_t i = 1; i < owners_.size(); ++i) {
            if (owners_[i].Taken) continue;
            if (count++ == 0) first = i;
        }
        if (count > 0) {
            Warning(texts::PagesPlace, rtl::Format(texts::OrphanPages, {Num(count), Num(first * PageSize)}));
        }
    }

    // ---- Entries against slots ----

    void EntryFinding(std::size_t slot, int& findings, std::string text) {
        if (++findings <= MaxEntryFindings) Error(SlotPlace(slot), std::move(text));
    }

    void MatchRecords() {
        const RecordFileFacts& facts = check_.Record();
        if (!facts.SlotsScanned || trees_.empty()) return;
        SlotReader slots(check_);
        if (!slots.Open()) return;
        std::vector<TFieldDesc> fields = facts.Fields;
        for (TFieldDesc& field : fields) SetStoredSize(field);
        const TKeyContext table{fields, facts.Header.LanguageId, facts.Header.SortId,
                                check_.Files().DataFile};
        const std::uint32_t slotCount = facts.SlotCount;
        const std::size_t recordSize = facts.Header.RecordSize;
        if (recordSize < RecordHeaderSize) return;

        // Per tree: the entry naming each slot, its findings, and whether its keys can be built.
        struct TreeState {
            std::vector<std::int64_t> entryOf;
            int findings = 0;
            bool buildable = true;
        };
        std::vector<TreeState> states(trees_.size());
        for (std::size_t t = 0; t < trees_.size(); ++t) {
            const IndexEntries& tree = trees_[t];
            if (tree.Slot == SysDeletedSlot && !HasPrimaryIndex()) continue;
            TreeState& state = states[t];
            state.entryOf.assign(static_cast<std::size_t>(slotCount) + 1, -1);
            for (std::size_t e = 0; e < tree.Entries.size(); ++e) {
                const LeafEntry& entry = tree.Entries[e];
                if (entry.Slot < 1 || entry.Slot > slotCount) {
                    EntryFinding(
                        tree.Slot, state.findings,
                        rtl::Format(texts::EntrySlotOutside, {Num(entry.Page.Value), Num(entry.Entry + 1),
                                                              Num(entry.Slot), Num(slotCount)}));
                } else if (state.entryOf[entry.Slot] >= 0) {
                    EntryFinding(tree.Slot, state.findings,
                                 rtl::Format(texts::EntrySlotTwice,
                                             {Num(entry.Page.Value), Num(entry.Entry + 1), Num(entry.Slot)}));
                } else {
                    state.entryOf[entry.Slot] = static_cast<std::int64_t>(e);
                }
            }
        }

        // An active slot no index but "Sys Deleted" names is found by nobody and never reused; reported once,
        // not once per index.
        const auto inNoIndex = [&](std::uint32_t slot) {
            bool keyed = false;
            for (std::size_t t = 0; t < trees_.size(); ++t) {
                if (trees_[t].Slot == SysDeletedSlot || states[t].entryOf.empty()) continue;
                if (states[t].entryOf[slot] >= 0) return false;
                keyed = true;
            }
            return keyed && HasPrimaryIndex();
        };
        const std::size_t chunkSlots = std::max<std::size_t>(1, SlotChunkBytes / recordSize);
        std::vector<std::uint8_t> chunk;
        TIndexKey key;
        for (std::uint32_t first = 1; first <= slotCount;) {
            const std::size_t got =
                slots.Read(first, std::min<std::size_t>(chunkSlots, slotCount - first + 1), chunk);
            if (got == 0) break;
            for (std::size_t i = 0; i < got; ++i) {
                const std::uint32_t slot = first + static_cast<std::uint32_t>(i);
                const std::span<const std::uint8_t> record(chunk.data() + i * recordSize, recordSize);
                const TRecordHeader header = DecodeRecordHeader(
                    std::span<const std::uint8_t, RecordHeaderSize>(record.data(), RecordHeaderSize));
                // A slot of neither status is the record check's finding.
                if (header.Status != RecordActive && header.Status != RecordDeleted) continue;
                if (header.Status == RecordActive && inNoIndex(slot)) {
                    Error(SlotPlace(PrimaryIndexSlot), rtl::Format(texts::SlotInNoIndex, {Num(slot)}));
                    continue;
                }
                for (std::size_t t = 0; t < trees_.size(); ++t) {
                    TreeState& state = states[t];
                    if (state.entryOf.empty()) continue;
                    MatchSlot(trees_[t], state.entryOf[slot], state.findings, state.buildable, table, slot,
                              header, record, key);
                }
            }
            first += static_cast<std::uint32_t>(got);
        }
        for (std::size_t t = 0; t < trees_.size(); ++t) {
            if (states[t].findings > MaxEntryFindings) {
                Error(SlotPlace(trees_[t].Slot),
                      rtl::Format(texts::MoreKeyFindings, {Num(states[t].findings - MaxEntryFindings)}));
            }
        }
    }

    void MatchSlot(const IndexEntries& tree, std::int64_t entryIndex, int& findings, bool& buildable,
                   const TKeyContext& table, std::uint32_t slot, const TRecordHeader& header,
                   std::span<const std::uint8_t> record, TIndexKey& key) {
        const bool sysDeleted = tree.Slot == SysDeletedSlot;
        if (!sysDeleted && header.Status == RecordDeleted) {
            if (entryIndex >= 0) {
                const LeafEntry& entry = tree.Entries[static_cast<std::size_t>(entryIndex)];
                EntryFinding(tree.Slot, findings,
                             rtl::Format(texts::EntrySlotDeleted,
                                         {Num(entry.Page.Value), Num(entry.Entry + 1), Num(slot)}));
            }
            return;
        }
        if (entryIndex < 0) {
            EntryFinding(tree.Slot, findings, rtl::Format(texts::SlotWithoutEntry, {Num(slot)}));
            return;
        }
        if (!buildable) return;
        try {
            if (sysDeleted) {
                BuildPhysicalRecordKey(header.Status, header.Id.Value, key);
            } else {
                const TIndexDescriptor& index = image_.Header.Indexes[tree.Slot];
                BuildRecordKey(table, index, tree.Slot != PrimaryIndexSlot && index.Unique == 0, record, key);
            }
        } catch (const ETARNISEngineError& error) {
            EntryFinding(tree.Slot, findings, rtl::Format(texts::KeyNotBuilt, {Num(slot), error.Message()}));
            buildable = false;
            return;
        }
        const std::size_t k = tree.KeyLength;
        const std::uint8_t* stored = tree.Keys.data() + static_cast<std::size_t>(entryIndex) * k;
        if (key.Length != k || std::memcmp(stored, key.Bytes.data(), k) != 0) {
            const LeafEntry& entry = tree.Entries[static_cast<std::size_t>(entryIndex)];
            EntryFinding(
                tree.Slot, findings,
                rtl::Format(texts::EntryKeyWrong, {Num(entry.Page.Value), Num(entry.Entry + 1), Num(slot)}));
        }
    }

    const IndexHeaderImage& image_;
    const bool matchRecords_;
    std::vector<Owner> owners_;
    std::optional<TKeyOrder> order_;
    std::vector<IndexEntries> trees_;
};

}  // namespace

void CheckIndexTrees(TableCheck& check, const IndexHeaderImage& image, bool matchRecords) {
    IndexTreeWalker(check, image, matchRecords).Run();
}

TableCheck CheckIndexFileAlone(std::string_view tableName) {
    TableCheck check(tableName);
    CheckRecordFile(check);
    if (!check.Unreadable()) CheckIndexFileWithoutRecords(check);
    return check;
}

}  // namespace tarnischeck
