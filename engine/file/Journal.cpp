#include "engine/file/Journal.h"

#include <algorithm>
#include <bit>
#include <memory>
#include <random>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineStrings.h"
#include "engine/base/FileBytes.h"
#include "engine/file/SharedFileLock.h"
#include "engine/os/PosixFile.h"
#include "rtl/Text.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace engine {

namespace {

// The extensions of the journal and of the table's files it guards.
constexpr std::string_view JournalExtension = ".JNL";
constexpr std::string_view IndexExtension = ".IDX";
constexpr std::string_view BlobExtension = ".BLB";
// The images kept for later changes: each at most a few pages (the largest write a page cache makes of
// neighbouring pages is larger and is read again), and about this much in all before they are dropped.
constexpr std::size_t LargestKeptImage = 8192;
// Past the end of any file: a cut forgets everything after it.
constexpr std::int64_t LargestFileEnd = std::int64_t{1} << 40;
constexpr std::size_t KeptImagesLimit = std::size_t{4} << 20;
// The buffers of made writes kept for later ones: about as many as a change's writes of pages and headers.
constexpr std::size_t SpareBufferCount = 64;
// Writes wait in memory up to about this many bytes (an exclusive table's bulk work between flushes) before
// they are made.
constexpr std::size_t DeferredLimit = std::size_t{1} << 20;
// Two changed runs of a write closer than this are saved as one: a stretch of equal bytes this long costs as
// much journal as the second run's entry header (JournalEntryHeaderSize, rounded up).
constexpr std::size_t SavedRunGap = 48;

// A change id no earlier change of the journal is likely to have had: its entries left in the file after a
// shorter change must never be taken for this one's.
std::uint64_t NewChangeId() {
    thread_local std::mt19937_64 generator{(std::uint64_t{std::random_device{}()} << 32) ^
                                           std::random_device{}()};
    return generator();
}

void AppendEntry(std::vector<std::uint8_t>& out, const JournalEntry& entry, const std::uint8_t* saved) {
    const std::size_t at = out.size();
    out.resize(at + JournalEntryHeaderSize);
    if (saved != nullptr) out.insert(out.end(), saved, saved + entry.Count);
    EncodeJournalEntry(
        entry, std::span<const std::uint8_t>(saved, entry.Count),
        std::span<std::uint8_t, JournalEntryHeaderSize>(out.data() + at, JournalEntryHeaderSize));
}

// The parts of start .. end not in the saved map, into gaps.
void Unsaved(const std::pmr::map<std::int64_t, std::int64_t>& saved, std::int64_t start, std::int64_t end,
             std::vector<std::pair<std::int64_t, std::int64_t>>& gaps) {
    gaps.clear();
    if (start >= end) return;
    auto it = saved.upper_bound(start);
    if (it != saved.begin() && std::prev(it)->second > start) --it;
    std::int64_t at = start;
    for (; it != saved.end() && it->first < end; ++it) {
        if (it->first > at) gaps.emplace_back(at, it->first);
        at = std::max(at, it->second);
    }
    if (at < end) gaps.emplace_back(at, end);
}

// The first position where the two runs of count bytes differ (count when none does): sixteen bytes a step,
// four steps at a time while they are equal, as most of a rewritten page is.
std::size_t FirstDifference(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) noexcept {
    std::size_t at = 0;
#if defined(__SSE2__)
    const auto equal = [&](std::size_t from) {
        return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + from)),
                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + from)));
    };
    constexpr int AllEqual = 0xFFFF;
    for (; at + 64 <= count; at += 64) {
        const __m128i all = _mm_and_si128(_mm_and_si128(equal(at), equal(at + 16)),
                                          _mm_and_si128(equal(at + 32), equal(at + 48)));
        if (_mm_movemask_epi8(all) != AllEqual) break;
    }
    for (; at + 16 <= count; at += 16) {
        const int same = _mm_movemask_epi8(equal(at));
        if (same != AllEqual)
            return at + static_cast<std::size_t>(std::countr_one(static_cast<unsigned>(same)));
    }
#endif
    while (at + 8 <= count && LoadU64(a + at) == LoadU64(b + at)) at += 8;
    while (at < count && a[at] == b[at]) ++at;
    return at;
}

// The runs of bytes where the two differ, start to end, merged across stretches of equal bytes shorter than
// SavedRunGap (an entry's header costs more than saving such a stretch along), into runs.
void ChangedRuns(const std::uint8_t* a, const std::uint8_t* b, std::size_t count,
                 std::vector<std::pair<std::size_t, std::size_t>>& runs) {
    runs.clear();
    std::size_t at = FirstDifference(a, b, count);
    while (at < count) {
        const std::size_t start = at;
        std::size_t end = at + 1;
        std::size_t equal = 0;
        // Eight bytes a step while eight are left: a step with a difference ends the run so far.
        for (at = end; at < count && equal < SavedRunGap;) {
            const std::size_t step = at + 8 <= count ? 8 : 1;
            if (step == 8 ? LoadU64(a + at) == LoadU64(b + at) : a[at] == b[at]) {
                equal += step;
            } else {
                equal = 0;
                end = at + step;
            }
            at += step;
        }
        // The run's last step may end in equal bytes; the start differs.
        while (a[end - 1] == b[end - 1]) --end;
        runs.emplace_back(start, end);
        // Past a long enough stretch of equal bytes, eight at a time to the next difference.
        if (at < count) at += FirstDifference(a + at, b + at, count - at);
    }
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
    ForgetImages();
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
    for (PartState& part : parts_) {
        part.LengthSaved = false;
        part.StartLength = 0;
        part.Saved.clear();
    }
    savedMemory_.release();
    end_ = 0;
    deferred_.clear();
    deferredBytes_ = 0;
    broken_ = false;
}

void TJournal::OpenChange() {
    ResetChange();
    changeId_ = NewChangeId();
    open_ = true;
    end_ = JournalHeaderSize;
}

bool TJournal::Defer(TFileHandler& file, std::int64_t offset, const void* buffer, std::int32_t count) {
    if (puttingBack_) return false;
    if (!IsOpen()) RaiseEngineError(ErrWrite, FileName());
    const std::uint8_t part = PartOf(file);
    if (!open_) OpenChange();
    Deferred write{part, offset, {}, count == 0};
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    if (count > 0) {
        if (!spareBuffers_.empty()) {
            write.Bytes = std::move(spareBuffers_.back());
            spareBuffers_.pop_back();
        }
        write.Bytes.assign(bytes, bytes + count);
    }
    deferred_.push_back(std::move(write));
    deferredBytes_ += static_cast<std::size_t>(count);
    if (!hold_) {
        try {
            Finish();
        } catch (...) {
            CleanUpKeepingError([this] { RollBack(); });
            throw;
        }
    } else if (deferredBytes_ > DeferredLimit) {
        Spill();
    }
    return true;
}

void TJournal::SaveBefore(Deferred& write, std::vector<std::uint8_t>& out) {
    PartState& state = parts_[write.Part];
    const TFileHandler& file = *files_[write.Part];
    const auto saveLength = [&](std::int64_t length) {
        state.LengthSaved = true;
        state.StartLength = length;
        AppendEntry(out, {changeId_, write.Part, length, 0, 0}, nullptr);
    };
    if (write.SetsLength && !state.LengthSaved) {
        const std::int64_t length = FileSize(file.Handle());
        if (length < 0) RaiseEngineError(ErrRead, file.FileName());
        saveLength(length);
    }
    const std::int64_t known = knownLengths_[write.Part];
    if (!state.LengthSaved && known >= 0 &&
        (write.SetsLength || write.Offset + static_cast<std::int64_t>(write.Bytes.size()) > known)) {
        saveLength(known);
    }
    // What the write overwrites of the file as the change found it: bytes appended by the change need only
    // its length.
    std::int64_t end =
        write.SetsLength ? state.StartLength : write.Offset + static_cast<std::int64_t>(write.Bytes.size());
    if (state.LengthSaved) end = std::min(end, state.StartLength);
    if (!write.SetsLength) {
        // A page or record the handle read or wrote before: the image holds the whole write, and MakeWrite
        // brings it up to date without looking for it again.
        const auto holder = Holder(write.Part, write.Offset, write.Bytes.size());
        if (holder != images_.end()) {
            write.Kept = &holder->second;
            write.KeptWithin = static_cast<std::size_t>(write.Offset - holder->first.second);
            write.KeptAt = erasures_;
        }
    }
    Unsaved(state.Saved, write.Offset, end, gaps_);
    const auto& gaps = gaps_;
    if (gaps.empty()) return;
    // The file's bytes under every gap, kept or read in one call: the gaps between the runs saved already
    // never match a kept image of their own.
    const std::int64_t spanStart = gaps.front().first;
    const auto wanted = static_cast<std::size_t>(gaps.back().second - spanStart);
    const std::uint8_t* old = nullptr;
    if (write.Kept != nullptr) {
        old = write.Kept->Bytes.data() + write.KeptWithin + (spanStart - write.Offset);
    } else {
        old = KeptBytes(write.Part, spanStart, wanted);
    }
    std::int64_t got = static_cast<std::int64_t>(wanted);
    if (old == nullptr) {
        if (readBuffer_.size() < wanted) readBuffer_.resize(wanted);
        got = engine::ReadAt(file.Handle(), readBuffer_.data(), wanted, spanStart);
        if (got < 0) RaiseEngineError(ErrRead, file.FileName());
        old = readBuffer_.data();
    }
    std::int64_t fileEnd = spanStart + got;
    // A read that finds nothing may start past the end, a write that leaves a gap before its bytes.
    if (got == 0 && !state.LengthSaved) {
        fileEnd = FileSize(file.Handle());
        if (fileEnd < 0) RaiseEngineError(ErrRead, file.FileName());
    }
    // A read that comes short found the end of the file, which is where the change found it: the change
    // lengthens the file here first (a cut has saved the length before).
    if (static_cast<std::size_t>(got) < wanted && !state.LengthSaved) {
        saveLength(fileEnd);
        knownLengths_[write.Part] = fileEnd;
    }
    for (const auto& [from, gapEnd] : gaps) {
        const std::int64_t to = std::min(gapEnd, fileEnd);
        if (to <= from) break;
        const auto count = static_cast<std::size_t>(to - from);
        const std::uint8_t* was = old + (from - spanStart);
        // Only the runs of bytes the write changes: a byte it leaves as it is needs no saving, and is saved
        // by a later write of the change that does change it. A cut saves all it cuts.
        if (write.SetsLength) {
            runs_.assign(1, {0, count});
        } else {
            ChangedRuns(was, write.Bytes.data() + (from - write.Offset), count, runs_);
        }
        for (const auto& [first, last] : runs_) {
            const std::int64_t runStart = from + static_cast<std::int64_t>(first);
            AppendEntry(out, {changeId_, write.Part, 0, runStart, static_cast<std::uint32_t>(last - first)},
                        was + first);
            state.Saved.emplace(runStart, from + static_cast<std::int64_t>(last));
        }
    }
}

void TJournal::MakeWrite(Deferred& write) {
    const TFileHandler& file = *files_[write.Part];
    const int result = write.SetsLength ? TruncateAt(file.Handle(), write.Offset)
                                        : engine::WriteAt(file.Handle(), write.Bytes.data(),
                                                          write.Bytes.size(), write.Offset);
    std::int64_t& known = knownLengths_[write.Part];
    if (result < 0 || write.SetsLength) {
        // What a failed write left is unknown; a cut drops everything past it.
        ForgetRange(write.Part, write.Offset,
                    write.SetsLength ? LargestFileEnd : write.Offset + std::int64_t(write.Bytes.size()));
    }
    if (result < 0) {
        known = -1;
        TFileHandler::MapOSError(-result);
        RaiseEngineError(ErrWrite, file.FileName());
    }
    if (write.SetsLength) {
        known = write.Offset;
    } else if (known >= 0) {
        known = std::max(known, write.Offset + static_cast<std::int64_t>(write.Bytes.size()));
    }
    if (write.SetsLength) return;
    if (write.Kept != nullptr && write.KeptAt == erasures_) {
        Image& image = *write.Kept;
        image.Used = round_;
        if (write.KeptWithin == 0 && image.Bytes.size() == write.Bytes.size()) {
            image.Bytes.swap(write.Bytes);
        } else {
            std::copy(write.Bytes.begin(), write.Bytes.end(),
                      image.Bytes.begin() + static_cast<std::ptrdiff_t>(write.KeptWithin));
        }
        return;
    }
    Keep(write.Part, write.Offset, write.Bytes, &write.Bytes);
}

void TJournal::Remember(const TFileHandler& file, std::int64_t offset, const void* bytes, std::size_t count) {
    std::uint8_t part = 0;
    while (part < JournalParts && files_[part] != &file) ++part;
    if (part == JournalParts) return;
    const std::span<const std::uint8_t> read(static_cast<const std::uint8_t*>(bytes), count);
    // A read that finds a kept image's bytes unchanged (a page read again, a header's change counter read to
    // see whether another program wrote) leaves it as it is; one that finds them changed drops the image, as
    // the rest of it may be another program's past too.
    if (const std::uint8_t* kept = KeptBytes(part, offset, count);
        kept != nullptr && std::equal(read.begin(), read.end(), kept)) {
        return;
    }
    KeepApart(part, offset, read, nullptr);
}

void TJournal::ForgetImages() noexcept {
    images_.clear();
    ++erasures_;
    imageBytes_ = 0;
    knownLengths_.fill(-1);
}

TJournal::Images::iterator TJournal::Holder(std::uint8_t part, std::int64_t offset, std::size_t count) {
    auto holder = images_.upper_bound({part, offset});
    if (holder == images_.begin()) return images_.end();
    --holder;
    const std::int64_t within = offset - holder->first.second;
    if (holder->first.first != part || within < 0 ||
        within + static_cast<std::int64_t>(count) > static_cast<std::int64_t>(holder->second.Bytes.size())) {
        return images_.end();
    }
    holder->second.Used = round_;
    return holder;
}

std::uint8_t* TJournal::KeptBytes(std::uint8_t part, std::int64_t offset, std::size_t count) {
    const auto holder = Holder(part, offset, count);
    if (holder == images_.end()) return nullptr;
    return holder->second.Bytes.data() + (offset - holder->first.second);
}

void TJournal::Keep(std::uint8_t part, std::int64_t offset, std::span<const std::uint8_t> bytes,
                    std::vector<std::uint8_t>* owned) {
    const std::size_t count = bytes.size();
    if (count == 0) return;
    // A page written again, a record written within the run it was read with, a header: the image that
    // holds them stays, with what the file holds now.
    if (std::uint8_t* kept = KeptBytes(part, offset, count)) {
        std::copy(bytes.begin(), bytes.end(), kept);
        return;
    }
    KeepApart(part, offset, bytes, owned);
}

void TJournal::KeepApart(std::uint8_t part, std::int64_t offset, std::span<const std::uint8_t> bytes,
                         std::vector<std::uint8_t>* owned) {
    const std::size_t count = bytes.size();
    ForgetRange(part, offset, offset + static_cast<std::int64_t>(count));
    if (count == 0) return;
    if (count > LargestKeptImage) return;
    MakeRoom(count);
    Image image;
    image.Used = round_;
    if (owned != nullptr) {
        image.Bytes = std::move(*owned);
    } else {
        image.Bytes.assign(bytes.begin(), bytes.end());
    }
    images_.emplace(std::pair{part, offset}, std::move(image));
    imageBytes_ += count;
}

void TJournal::MakeRoom(std::size_t count) noexcept {
    if (imageBytes_ + count <= KeptImagesLimit) return;
    // Those used since the last time are the pages and records in use: they stay, unless they alone fill
    // more than half the room.
    for (auto it = images_.begin(); it != images_.end();) {
        if (it->second.Used != round_) {
            imageBytes_ -= it->second.Bytes.size();
            ++erasures_;
            it = images_.erase(it);
        } else {
            ++it;
        }
    }
    ++round_;
    if (imageBytes_ + count > KeptImagesLimit / 2) {
        images_.clear();
        ++erasures_;
        imageBytes_ = 0;
    }
}

void TJournal::ForgetRange(std::uint8_t part, std::int64_t offset, std::int64_t end) noexcept {
    // Images never overlap: of those that start before the offset, only the last can reach into the range.
    auto it = images_.lower_bound({part, offset});
    if (it != images_.begin()) {
        const auto before = std::prev(it);
        if (before->first.first == part &&
            before->first.second + static_cast<std::int64_t>(before->second.Bytes.size()) > offset) {
            it = before;
        }
    }
    while (it != images_.end() && it->first.first == part && it->first.second < end) {
        imageBytes_ -= it->second.Bytes.size();
        ++erasures_;
        it = images_.erase(it);
    }
}

void TJournal::Spill() {
    if (deferred_.empty()) return;
    std::vector<Deferred> writes;
    writes.swap(deferred_);
    deferredBytes_ = 0;
    try {
        SpillWrites(writes);
    } catch (...) {
        // The files may hold part of the batch: the change can only be put back now, never marked whole.
        broken_ = true;
        throw;
    }
    // The buffers of page-sized writes serve the next change's writes.
    for (Deferred& write : writes) {
        if (spareBuffers_.size() < SpareBufferCount && write.Bytes.capacity() != 0 &&
            write.Bytes.capacity() <= LargestKeptImage) {
            spareBuffers_.push_back(std::move(write.Bytes));
        }
    }
    writes.clear();
    if (deferred_.empty()) deferred_.swap(writes);
}

void TJournal::SpillFor(const TFileHandler& file) {
    if (std::any_of(deferred_.begin(), deferred_.end(),
                    [&](const Deferred& write) { return files_[write.Part] == &file; })) {
        Spill();
    }
}

void TJournal::SpillWrites(std::vector<Deferred>& writes) {
    std::vector<std::uint8_t>& out = batch_;
    out.clear();
    if (!headerWritten_) {
        out.resize(JournalHeaderSize);
        EncodeJournalHeader({JournalState::Open, changeId_},
                            std::span<std::uint8_t, JournalHeaderSize>(out.data(), JournalHeaderSize));
    }
    for (Deferred& write : writes) SaveBefore(write, out);
    if (out.size() > (headerWritten_ ? 0 : JournalHeaderSize)) {
        const std::int64_t at = headerWritten_ ? end_ : 0;
        Seek(at, 0);
        Write(out.data(), static_cast<std::int32_t>(out.size()));
        end_ = at + static_cast<std::int64_t>(out.size());
        headerWritten_ = true;
    }
    // Only now, with what they overwrite in the journal, are the files written.
    for (Deferred& write : writes) MakeWrite(write);
}

void TJournal::Finish() {
    if (!open_) return;
    Spill();
    // A change that failed part-way is never marked whole: it stays open for RollBack, or in the file for the
    // next program that meets it.
    if (broken_) return;
    if (headerWritten_) {
        std::array<std::uint8_t, JournalHeaderSize> header{};
        EncodeJournalHeader({JournalState::Finished, changeId_}, header);
        try {
            Seek(0, 0);
            Write(header.data(), static_cast<std::int32_t>(header.size()));
        } catch (...) {
            // The files hold the whole change, the journal calls it open: it is put back, by RollBack or by
            // the next program that meets it, never reported done.
            broken_ = true;
            throw;
        }
    }
    ResetChange();
}

void TJournal::RollBack() {
    if (!open_) return;
    const bool written = headerWritten_;
    // The writes not yet made are dropped; as for Finish, a put-back that fails leaves the change open in the
    // file.
    ResetChange();
    if (written) PutBack(files_);
}

bool TJournal::Hot() {
    if (!IsOpen()) return false;
    std::array<std::uint8_t, JournalHeaderSize> bytes{};
    const std::int32_t got = ReadAt(0, bytes.data(), static_cast<std::int32_t>(bytes.size()), true);
    const auto header =
        DecodeJournalHeader(std::span<const std::uint8_t>(bytes.data(), static_cast<std::size_t>(got)));
    return header && header->State == JournalState::Open;
}

bool TJournal::PutBack(const JournalFiles& files) {
    // The files are written behind the kept images' back.
    ForgetImages();
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
        const auto entry =
            DecodeJournalEntry(std::span<const std::uint8_t>(bytes).subspan(at), header->ChangeId);
        if (!entry) break;
        if (entry->Count == 0 && !startLengths[entry->Part]) startLengths[entry->Part] = entry->StartLength;
        entries.emplace_back(*entry, at + JournalEntryHeaderSize);
        at += JournalEntryHeaderSize + entry->Count;
    }
    puttingBack_ = true;
    try {
        for (const auto& [entry, at] : entries) {
            const TFileHandler* file = files[entry.Part];
            if (file == nullptr || !file->IsOpen()) RaiseEngineError(ErrHeaderCorrupt, FileName());
        }
        for (std::uint8_t part = 0; part < JournalParts; ++part) {
            if (!startLengths[part]) continue;
            TFileHandler* file = files[part];
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
    // The lengths put back are unknown to this handle (and a PutBack that fails forgets them at its start).
    ForgetImages();
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
        if (!TryWithRetries([&] { return recordFile->LockRange(WriteSemaphoreOffset, 1, true); },
                            policy.Retries, LockRetrySleepMs, policy)) {
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
