// TJournal: a table's rollback journal (".JNL"), which keeps the bytes a change overwrites in the table's
// files until the change is whole, so that a program killed part-way leaves nothing half-written for the
// others.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory_resource>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/file/FileHandler.h"
#include "engine/file/JournalLayout.h"
#include "engine/os/LockLayout.h"

namespace engine {

// The files a journal guards: the table's record, index and large-object files.
using JournalFiles = std::array<TFileHandler*, JournalParts>;

// Every write of a guarded file is handed to the journal (Defer), which makes it later, in a batch (Spill):
// before anything of a guarded file that has writes waiting is read or its size asked for, when the change is
// marked whole, and when much is waiting. A batch reads what its writes will overwrite that the change has not
// saved yet (only the runs of bytes that differ, and a file's length before the change first lengthens or cuts
// it; neither when the handle kept them from an earlier read or write), saves it in the
// journal with one write, then makes the writes. Finish marks the change whole; RollBack puts back what a
// failed change wrote.
// Writes of the guarded files are made under the table's write locks (or on a table opened exclusively), so
// one journal per table serves every program.
class TJournal : public TFileHandler {
public:
    TJournal() = default;
    ~TJournal() override;

    // The name trimmed, with the extension of its last part (or none) replaced by ".JNL".
    std::string TranslateFileName(std::string_view name) const override;

    // The files whose writes are journalled, by part (JournalLayout.h); a null entry guards nothing.
    void Guard(const JournalFiles& files) noexcept;
    void Unguard() noexcept;

    // Takes a write of count bytes at the offset of a guarded file (count 0: the file is cut or lengthened to
    // the offset) to make later, opening a change first when none is open; false while the journal puts a
    // change back, whose writes the file makes itself. Outside HoldChanges the write is made, and its change
    // marked whole, at once.
    bool Defer(TFileHandler& file, std::int64_t offset, const void* buffer, std::int32_t count);
    // Saves what the writes taken will overwrite (one journal write), then makes them. Raises the journal's
    // write error, 9217 naming a file whose bytes cannot be read, or 9218 naming a file a write fails on.
    void Spill();
    // Spill, when a write taken is of the file: its bytes and size are then what the file holds; the other
    // files' writes wait on, to go out together in one batch.
    void SpillFor(const TFileHandler& file);
    // What a guarded file read or wrote, kept (pages, records, headers: up to LargestKeptImage bytes each) so
    // that a later change's write of the same bytes need not read them again. The table forgets them all when
    // another program changed it.
    void Remember(const TFileHandler& file, std::int64_t offset, const void* bytes, std::size_t count);
    void ForgetImages() noexcept;
    // Set, a change spans every write until Finish or RollBack (a shared table's write under its write locks,
    // an exclusive table's writes up to its next flush); clear, each write is a change of its own.
    void HoldChanges(bool hold) noexcept { hold_ = hold; }
    bool ChangeOpen() const noexcept { return open_; }
    // A write of the open change failed: it can only be put back.
    bool ChangeBroken() const noexcept { return open_ && broken_; }
    // Makes the writes taken and marks the open change whole (one write); nothing when none is open. A change
    // whose writes failed (raised here or before), or whose mark failed, is never marked whole: it stays open
    // and broken for RollBack, and in the file for the next program that meets it.
    void Finish();
    // Drops the writes taken, puts back what the open change wrote from the journal into the guarded files
    // and marks it finished; nothing when none is open. Used by the program that made the change, under the
    // locks it still holds; a put-back that fails leaves the change in the file for the next program.
    void RollBack();

    // Whether the journal holds an open change (one read of its header). Only meaningful where nobody can be
    // writing: under a read byte or the write locks, or on a table opened exclusively.
    bool Hot();
    // Puts back the change the journal holds open into the files given (those of its parts that it names
    // must be open and writable; 8961 naming the journal otherwise) and marks it finished. False when the
    // journal holds none. Every length and offset is checked against the journal's real size first.
    bool PutBack(const JournalFiles& files);

private:
    // A kept image and the round of MakeRoom it was last used in.
    struct Image {
        std::vector<std::uint8_t> Bytes;
        std::uint32_t Used = 0;
    };
    // A write taken and not yet made.
    struct Deferred {
        std::uint8_t Part = 0;
        std::int64_t Offset = 0;
        // None for a cut or lengthening to the offset.
        std::vector<std::uint8_t> Bytes;
        bool SetsLength = false;
        // The kept image that holds the whole write and where in it the write starts, found by SaveBefore,
        // for MakeWrite to bring up to date; only while no image has gone since (erasures_).
        Image* Kept = nullptr;
        std::size_t KeptWithin = 0;
        std::uint64_t KeptAt = 0;
    };
    struct PartState {
        explicit PartState(std::pmr::memory_resource* memory) : Saved(memory) {}
        // The file's length when the change began, once the journal holds it: learnt from the first write
        // that reaches past the end (its read of the bytes it overwrites comes short) or cuts.
        bool LengthSaved = false;
        std::int64_t StartLength = 0;
        // The ranges saved in this change: start to end, never overlapping; only ever added to within it.
        std::pmr::map<std::int64_t, std::int64_t> Saved;
    };
    void OpenChange();
    void ResetChange() noexcept;
    // The entries that save what the write will overwrite, appended to out.
    void SaveBefore(Deferred& write, std::vector<std::uint8_t>& out);
    // Makes the write; its bytes are then kept.
    void MakeWrite(Deferred& write);
    void SpillWrites(std::vector<Deferred>& writes);
    using Images = std::map<std::pair<std::uint8_t, std::int64_t>, Image>;
    // The image that holds offset .. offset + count of the part, marked used in the round; images_.end() when
    // none does.
    Images::iterator Holder(std::uint8_t part, std::int64_t offset, std::size_t count);
    // The kept bytes of offset .. offset + count of the part, within one image (Holder); none when they are
    // not kept.
    std::uint8_t* KeptBytes(std::uint8_t part, std::int64_t offset, std::size_t count);
    // The part holds the bytes from the offset now, written by this handle: an image that holds the range
    // takes them in place; else what is kept of the range goes and they are kept as an image of their own
    // (moved from owned when given).
    void Keep(std::uint8_t part, std::int64_t offset, std::span<const std::uint8_t> bytes,
              std::vector<std::uint8_t>* owned);
    // What is kept of the range goes, and the bytes are kept as an image of their own.
    void KeepApart(std::uint8_t part, std::int64_t offset, std::span<const std::uint8_t> bytes,
                   std::vector<std::uint8_t>* owned);
    // Drops what is kept of offset .. end of the part.
    void ForgetRange(std::uint8_t part, std::int64_t offset, std::int64_t end) noexcept;
    // Makes room for count more bytes: the images not used since the last time go, and all of them when
    // that is not enough.
    void MakeRoom(std::size_t count) noexcept;
    std::uint8_t PartOf(const TFileHandler& file) const;

    JournalFiles files_{};
    // The saved ranges' room, all of it given back when the change ends: a shared change saves a few dozen
    // runs (a map entry of two numbers takes 48 bytes), a larger one takes more from the heap.
    std::array<std::byte, 4096> savedRoom_;
    std::pmr::monotonic_buffer_resource savedMemory_{savedRoom_.data(), savedRoom_.size()};
    std::array<PartState, JournalParts> parts_{PartState(&savedMemory_), PartState(&savedMemory_),
                                               PartState(&savedMemory_)};
    bool open_ = false;
    // The change's header is in the file: its first journal write carried it.
    bool headerWritten_ = false;
    std::uint64_t changeId_ = 0;
    // Where the next entry goes.
    std::int64_t end_ = 0;
    // While PutBack writes, the guarded files' writes are not journalled.
    bool puttingBack_ = false;
    bool hold_ = false;
    std::vector<Deferred> deferred_;
    // SaveBefore's working lists and the bytes it reads, kept from one write to the next.
    std::vector<std::pair<std::int64_t, std::int64_t>> gaps_;
    std::vector<std::pair<std::size_t, std::size_t>> runs_;
    std::vector<std::uint8_t> readBuffer_;
    // A batch's journal bytes, kept from one batch to the next, and buffers for the writes taken.
    std::vector<std::uint8_t> batch_;
    std::vector<std::vector<std::uint8_t>> spareBuffers_;
    std::size_t deferredBytes_ = 0;
    // A batch of the change failed part-way: it can be put back, never marked whole.
    bool broken_ = false;
    // The kept images by file and offset (never overlapping), their bytes in all, and the current round.
    Images images_;
    std::size_t imageBytes_ = 0;
    std::uint32_t round_ = 0;
    // Counts the images dropped, so that one found earlier is known to be there still.
    std::uint64_t erasures_ = 0;
    // Each file's length as this handle last made or found it (negative: unknown), forgotten with the kept
    // images: a write past it saves the length without first reading where the file ends.
    std::array<std::int64_t, JournalParts> knownLengths_{-1, -1, -1};
};

// Puts back a hot journal of the table whose record file is named, through descriptors of its own: shared,
// holding the record file's write semaphore and the index and large-object files' write locks (tried by the
// policy; 10249), so that no other program reads or writes meanwhile; or exclusive. openRecordFile is the
// caller's record file when it holds it exclusively already (exclusive only). Nothing when the table has no
// journal or its journal holds no open change; a journal that cannot be opened is left alone.
void RecoverTableJournal(std::string_view recordFileName, bool exclusive, const LockRetryPolicy& policy,
                         TFileHandler* openRecordFile = nullptr);

// The journal's name for a table's record file name.
std::string JournalFileName(std::string_view recordFileName);

}  // namespace engine
