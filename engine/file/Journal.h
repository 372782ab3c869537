// TJournal: a table's rollback journal (".JNL"), which keeps the bytes a change overwrites in the table's files
// until the change is whole, so that a program killed part-way leaves nothing half-written for the others.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "engine/file/FileHandler.h"
#include "engine/file/JournalLayout.h"
#include "engine/os/LockLayout.h"

namespace engine {

// The files a journal guards: the table's record, index and large-object files.
using JournalFiles = std::array<TFileHandler*, JournalParts>;

// Every write of a guarded file passes through BeforeWrite, which opens a change at the first one: the
// file's length then, and the bytes each write will overwrite that the change has not saved yet, go to the
// journal (one write) before the file is written. Finish marks the change whole; RollBack puts back what a
// failed change wrote. Writes of the guarded files are made under the table's write locks (or on a table
// opened exclusively), so one journal per table serves every program.
class TJournal : public TFileHandler {
public:
    TJournal() = default;
    ~TJournal() override;

    // The name trimmed, with the extension of its last part (or none) replaced by ".JNL".
    std::string TranslateFileName(std::string_view name) const override;

    // The files whose writes are journalled, by part (JournalLayout.h); a null entry guards nothing.
    void Guard(const JournalFiles& files) noexcept;
    void Unguard() noexcept;

    // Saves what a write of count bytes at the offset of a guarded file will overwrite (count 0: the file is
    // cut or lengthened to the offset), opening a change first when none is open. Raises the journal's write
    // error, or 9217 naming the file for a read of the bytes to save that fails; the file is then untouched.
    void BeforeWrite(TFileHandler& file, std::int64_t offset, std::int32_t count);
    // After a guarded file's write succeeded: a change made outside HoldChanges is whole at once.
    void AfterWrite();
    // Set, a change spans every write until Finish or RollBack (a shared table's write under its write locks,
    // an exclusive table's writes up to its next flush); clear, each write is a change of its own.
    void HoldChanges(bool hold) noexcept { hold_ = hold; }
    bool ChangeOpen() const noexcept { return open_; }
    // Marks the open change whole (one write); nothing when none is open. The change is forgotten either
    // way: a failed mark leaves it open in the file, for the next program that meets it to put back.
    void Finish();
    // Puts back the open change from the journal into the guarded files and marks it finished; nothing when
    // none is open. Used by the program that made the change, under the locks it still holds; forgotten
    // as Finish forgets it.
    void RollBack();

    // Whether the journal holds an open change (one read of its header). Only meaningful where nobody can be
    // writing: under a read byte or the write locks, or on a table opened exclusively.
    bool Hot();
    // Puts back the change the journal holds open into the files given (those of its parts that it names
    // must be open and writable; 8961 naming the journal otherwise) and marks it finished. False when the
    // journal holds none. Every length and offset is checked against the journal's real size first.
    bool PutBack(const JournalFiles& files);

private:
    struct PartState {
        bool Touched = false;
        std::int64_t StartLength = 0;
        // The ranges saved in this change: start to end, never overlapping.
        std::map<std::int64_t, std::int64_t> Saved;
    };
    void OpenChange();
    void ResetChange() noexcept;
    std::uint8_t PartOf(const TFileHandler& file) const;

    JournalFiles files_{};
    std::array<PartState, JournalParts> parts_{};
    bool open_ = false;
    // The change's header is in the file: its first journal write carried it.
    bool headerWritten_ = false;
    std::uint64_t changeId_ = 0;
    // Where the next entry goes.
    std::int64_t end_ = 0;
    // While PutBack writes, the guarded files' writes are not journalled.
    bool puttingBack_ = false;
    bool hold_ = false;
};

// Puts back a hot journal of the table whose record file is named, through descriptors of its own: shared,
// holding the record file's write semaphore and the index and large-object files' write locks (tried by the
// policy; 10249), so that no other program reads or writes meanwhile; or exclusive. openRecordFile is the
// caller's record file when it holds it exclusively already (exclusive only). Nothing when the table has no journal or its
// journal holds no open change; a journal that cannot be opened is left alone.
void RecoverTableJournal(std::string_view recordFileName, bool exclusive, const LockRetryPolicy& policy,
                         TFileHandler* openRecordFile = nullptr);

// The journal's name for a table's record file name.
std::string JournalFileName(std::string_view recordFileName);

}  // namespace engine
