#include "engine/file/Journal.h"

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineStrings.h"
#include "engine/file/SharedFileLock.h"
#include "engine/os/PosixFile.h"
#include "rtl/Text.h"

namespace engine {

namespace {

// The extensions of the journal and of the table's files it guards.
constexpr std::string_view JournalExtension = ".JNL";
constexpr std::string_view IndexExtension = ".IDX";
constexpr std::string_view BlobExtension = ".BLB";

// A change id no earlier change of the journal is likely to have had: its entries left in the file after a
// shorter change must never be taken for this one's.
std::uint64_t NewChangeId() {
    thread_local std::mt19937_64 generator{(std::uint64_t{std::random_device{}()} << 32) ^ std::random_device{}()};
    return generator();
}

void AppendEntry(std::vector<std::uint8_t>& out, const JournalEntry& entry, const std::uint8_t* saved) {
    const std::size_t at = out.size();
    out.resize(at + JournalEntryHeaderSize + entry.Count);
    std::copy_n(saved, entry.Count, out.begin() + static_cast<std::ptrdiff_t>(at + JournalEntryHeaderSize));
    EncodeJournalEntry(entry, std::span<const std::uint8_t>(saved, entry.Count),
                       std::span<std::uint8_t, JournalEntryHeaderSize>(out.data() + at, JournalEntryHeaderSize));
}

// The parts of start .. end not yet in the saved map, which takes them.
std::vector<std::pair<std::int64_t, std::int64_t>> TakeUnsaved(std::map<std::int64_t, std::int64_t>& saved,
                                                              std::int64_t start, std::int64_t end) {
    std::vector<std::pair<std::int64_t, std::int64_t>> gaps;
    if (start >= end) return gaps;
    auto it = saved.upper_bound(start);
    if (it != saved.begin() && std::prev(it)->second > start) --it;
    std::int64_t at = start;
    for (; it != saved.end() && it->first < end; ++it) {
        if (it->first > at) gaps.emplace_back(at, it->first);
        at = std::max(at, it->second);
    }
    if (at < end) gaps.emplace_back(at, end);
    for (const auto& [from, to] : gaps) saved.emplace(from, to);
    return gaps;
}

}  // namespace

std::string JournalFileName(std::string_view recordFileName) {
    return StripExtension(rtl::Trim(recordFileName)) + std::string(JournalExtension);
}

TJournal::~TJournal() {
    Unguard();
}

std::string TJournal::TranslateFileName(std::string_view name) const {
    return JournalFileName(name);
}

void TJournal::Guard(const JournalFiles& files) noexcept {
    Unguard();
    files_ = files;
    for (std::uint8_t part = 0; part < JournalParts; ++part) {
        if (files_[part] != nullptr) files_[part]->SetJournal(this);
    }
}

void TJournal::Unguard() noexcept {
    for (TFileHandler*& file : files_) {
        if (file != nullptr) file->SetJournal(nullptr);
        file = nullptr;
    }
    ResetChange();
}

std::uint8_t TJournal::PartOf(const TFileHandler& file) const {
    for (std::uint8_t part = 0; part < JournalParts; ++part) {
        if (files_[part] == &file) return part;
    }
    RaiseEngineError(ErrWrite, FileName());
}

void TJournal::ResetChange() noexcept {
    open_ = false;
    headerWritten_ = false;
    parts_ = {};
    end_ = 0;
}

void TJournal::OpenChange() {
    ResetChange();
    changeId_ = NewChangeId();
    open_ = true;
    end_ = JournalHeaderSize;
}

void TJournal::BeforeWrite(TFileHandler& file, std::int64_t offset, std::int32_t count) {
    if (puttingBack_) return;
    if (!IsOpen()) RaiseEngineError(ErrWrite, FileName());
    if (!open_) OpenChange();
    const std::uint8_t part = PartOf(file);
    PartState& state = parts_[part];
    std::vector<std::uint8_t> out;
    if (!headerWritten_) {
        out.resize(JournalHeaderSize);
        EncodeJournalHeader({JournalState::Open, changeId_},
                            std::span<std::uint8_t, JournalHeaderSize>(out.data(), JournalHeaderSize));
    }
    const bool firstTouch = !state.Touched;
    std::int64_t startLength = state.StartLength;
    if (firstTouch) {
        startLength = FileSize(file.Handle());
        if (startLength < 0) RaiseEngineError(ErrRead, file.FileName());
    }
    // What this write overwrites of the file as the change found it; bytes it appends need only the length.
    const std::int64_t end = count == 0 ? startLength : std::min<std::int64_t>(offset + count, startLength);
    std::map<std::int64_t, std::int64_t> saved = state.Saved;
    const auto gaps = TakeUnsaved(saved, offset, end);
    std::vector<std::uint8_t> bytes;
    std::size_t entries = 0;
    for (const auto& [from, to] : gaps) {
        bytes.resize(static_cast<std::size_t>(to - from));
        const std::int64_t got = engine::ReadAt(file.Handle(), bytes.data(), bytes.size(), from);
        if (got < 0) RaiseEngineError(ErrRead, file.FileName());
        // Bytes past the file's end were cut earlier in this change and saved then.
        if (got == 0) continue;
        AppendEntry(out, {changeId_, part, startLength, from, static_cast<std::uint32_t>(got)}, bytes.data());
        ++entries;
    }
    if (firstTouch && entries == 0) AppendEntry(out, {changeId_, part, startLength, 0, 0}, nullptr);
    if (out.empty()) return;
    const std::int64_t at = headerWritten_ ? end_ : 0;
    Seek(at, 0);
    Write(out.data(), static_cast<std::int32_t>(out.size()));
    // Only once the journal holds them does the change count them as saved.
    end_ = at + static_cast<std::int64_t>(out.size());
    headerWritten_ = true;
    state.Touched = true;
    state.StartLength = startLength;
    state.Saved = std::move(saved);
}

void TJournal::AfterWrite() {
    if (open_ && !hold_ && !puttingBack_) Finish();
}

void TJournal::Finish() {
    if (!open_) return;
    const bool written = headerWritten_;
    const std::uint64_t id = changeId_;
    // Forgotten whatever happens: a mark that fails leaves the change open in the file, for the next program
    // that meets it to put back.
    ResetChange();
    if (!written) return;
    std::array<std::uint8_t, JournalHeaderSize> header{};
    EncodeJournalHeader({JournalState::Finished, id}, header);
    Seek(0, 0);
    Write(header.data(), static_cast<std::int32_t>(header.size()));
}

void TJournal::RollBack() {
    if (!open_) return;
    const bool written = headerWritten_;
    // As for Finish: a put-back that fails leaves the change open in the file.
    ResetChange();
    if (written) PutBack(files_);
}

bool TJournal::Hot() {
    if (!IsOpen()) return false;
    std::array<std::uint8_t, JournalHeaderSize> bytes{};
    const std::int32_t got = ReadAt(0, bytes.data(), static_cast<std::int32_t>(bytes.size()), true);
    const auto header = DecodeJournalHeader(std::span<const std::uint8_t>(bytes.data(), static_cast<std::size_t>(got)));
    return header && header->State == JournalState::Open;
}

bool TJournal::PutBack(const JournalFiles& files) {
    const std::int64_t size = GetSize();
    if (size < static_cast<std::int64_t>(JournalHeaderSize)) return false;
    // The file's real size bounds the one read (a file is never longer than MaxFileSize).
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    ReadAt(0, bytes.data(), static_cast<std::int32_t>(size));
    const auto header = DecodeJournalHeader(bytes);
    if (!header || header->State != JournalState::Open) return false;
    std::vector<std::pair<JournalEntry, std::size_t>> entries;
    std::array<std::optional<std::int64_t>, JournalParts> startLengths{};
    for (std::size_t at = JournalHeaderSize; at < bytes.size();) {
        const auto entry = DecodeJournalEntry(std::span<const std::uint8_t>(bytes).subspan(at), header->ChangeId);
        if (!entry) break;
        if (!startLengths[entry->Part]) startLengths[entry->Part] = entry->StartLength;
        entries.emplace_back(*entry, at + JournalEntryHeaderSize);
        at += JournalEntryHeaderSize + entry->Count;
    }
    puttingBack_ = true;
    try {
        for (std::uint8_t part = 0; part < JournalParts; ++part) {
            if (!startLengths[part]) continue;
            TFileHandler* file = files[part];
            if (file == nullptr || !file->IsOpen()) RaiseEngineError(ErrHeaderCorrupt, FileName());
            // The length first, then the saved bytes, which all lie within it.
            file->Seek(*startLengths[part], 0);
            file->Write(nullptr, 0);
        }
        // Latest first: where two entries overlap, the earlier one holds the older bytes.
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            const JournalEntry& entry = it->first;
            if (entry.Count == 0) continue;
            TFileHandler* file = files[entry.Part];
            file->Seek(entry.Offset, 0);
            file->Write(bytes.data() + it->second, static_cast<std::int32_t>(entry.Count));
        }
    } catch (...) {
        puttingBack_ = false;
        throw;
    }
    puttingBack_ = false;
    std::array<std::uint8_t, JournalHeaderSize> finished{};
    EncodeJournalHeader({JournalState::Finished, header->ChangeId}, finished);
    Seek(0, 0);
    Write(finished.data(), static_cast<std::int32_t>(finished.size()));
    return true;
}

void RecoverTableJournal(std::string_view recordFileName, bool exclusive, const LockRetryPolicy& policy,
                         TFileHandler* openRecordFile) {
    TJournal journal;
    journal.SetFileName(recordFileName);
    if (!journal.FileExists()) return;
    journal.SetExclusive(exclusive);
    try {
        journal.Open();
    } catch (...) {
        // A journal nobody may write (a table read-only by its attributes) was never written either.
        return;
    }
    if (!journal.Hot()) return;
    const auto openFile = [exclusive](std::string_view name) {
        auto file = std::make_unique<TFileHandler>();
        file->SetExclusive(exclusive);
        file->SetFileName(name);
        file->Open();
        return file;
    };
    const std::string stem = StripExtension(rtl::Trim(recordFileName));
    std::unique_ptr<TFileHandler> record;
    TFileHandler* recordFile = openRecordFile;
    if (recordFile == nullptr) {
        record = openFile(recordFileName);
        recordFile = record.get();
    }
    const std::unique_ptr<TFileHandler> index = openFile(stem + std::string(IndexExtension));
    std::unique_ptr<TFileHandler> blob;
    if (DiskFileExists(stem + std::string(BlobExtension))) blob = openFile(stem + std::string(BlobExtension));
    if (!exclusive) {
        // The write semaphore keeps other writers out, the write locks every reader: a half-written change is
        // put back before anybody looks at it, and by one program only.
        if (!TryWithRetries([&] { return recordFile->LockRange(WriteSemaphoreOffset, 1, true); }, policy.Retries,
                            LockRetrySleepMs, policy)) {
            RaiseEngineError(ErrGeneralLockFailure, recordFile->FileName());
        }
        TSharedFileLock indexLock(*index);
        indexLock.SetRetryPolicy(policy);
        if (!indexLock.LockWrite()) RaiseEngineError(ErrGeneralLockFailure, index->FileName());
        if (blob) {
            TSharedFileLock blobLock(*blob);
            blobLock.SetRetryPolicy(policy);
            if (!blobLock.LockWrite()) RaiseEngineError(ErrGeneralLockFailure, blob->FileName());
        }
    }
    // Another program may have put it back while this one waited.
    if (journal.Hot()) journal.PutBack({recordFile, index.get(), blob.get()});
    // The locks go with the descriptors.
}

}  // namespace engine
