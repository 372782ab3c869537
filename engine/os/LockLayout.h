// The lock bytes of a table's three files, how often each lock is tried and how long a failed try waits, and
// the one retry routine every lock of the engine waits with.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace engine {

// Every lock lies far above any data, where every program sharing a table looks for it; no data byte is ever
// locked, so the locks bind only programs that use the engine.
//
// | File             | Lock                | Offset                 | Length      | Steps   | Step     |
// |------------------|---------------------|------------------------|-------------|---------|----------|
// | ".DAT"           | write semaphore     | 0x7FFFFFFF             | 1           | 8192    | 3 ms     |
// | ".DAT"           | record lock, slot n | 0x7FFFFFFE - n         | 1           | retries | wait ms  |
// | ".DAT"           | table lock          | 0x7A0A1EFD             | 100,000,001 | retries | 3 ms (*) |
// | ".DAT"           | table lock wanted   | 0x7FFFFFFE             | 1           | retries | wait ms  |
// | ".IDX", ".BLB"   | write lock          | 0x7FFF0000             | 65,535      | 8192    | 3 ms     |
// | ".IDX", ".BLB"   | read lock           | 0x7FFFFFFF - r         | 1           | 8192    | 3 ms     |
//
// A lock is tried, and after each refusal tried again after a wait that starts at FirstLockWait and doubles
// up to the step, until the waits add up to steps x step (TryWithRetries). (*) The table lock, held with its
// wanted byte, waits only for record locks already held: it looks every 3 ms at most, within the same
// retries x wait ms. An insert whose slot is refused gives up its write locks and tries the whole insert
// again in the same way as a record lock.
//
// "retries" and "wait ms" are the table handle's LockRetryCount and LockWaitTime. r is drawn at random from
// 1 to 65,534 for each try, so that readers rarely meet each other.
//
// "Table lock wanted" is held by a program while it waits for the table lock, and a record lock is not
// taken while another program holds it (a record lock looks without taking it): otherwise the table lock,
// which needs a moment when nobody holds any record, would starve under steady record locking. It is the
// byte of slot 0, which no record lock takes (0 stands for the current record), outside the table lock's
// range and below the semaphore, so that no offset another copy of the program uses moves; a copy that
// does not know the byte merely takes no notice of it.
//
// The rollback journal (".JNL") has no lock byte of its own besides its share byte: it is written only under
// the record file's write semaphore and the index and large-object files' write locks (or on a table opened
// exclusively), and read under their read locks.

// The record file's write semaphore, which one writer of the table holds at a time.
inline constexpr std::int64_t WriteSemaphoreOffset = 0x7FFFFFFF;
// The lock byte of slot n is RecordLockTop - n.
inline constexpr std::int64_t RecordLockTop = 0x7FFFFFFE;
// The table lock covers the lock bytes of slots 1 to 100,000,001 (0x7A0A1EFD .. 0x7FFFFFFD), so that it
// excludes every record lock and the other way round.
inline constexpr std::int64_t TableLockOffset = 2047483645;
inline constexpr std::int64_t TableLockLength = 100000001;
// Held while waiting for the table lock; the byte of slot 0 (RecordLockTop - 0).
inline constexpr std::int64_t TableLockWantedOffset = RecordLockTop;

// The index and large-object files: a writer locks 0x7FFF0000 .. 0x7FFFFFFE, which covers every byte a
// reader may lock; a reader locks the one byte ReadLockTop - r.
inline constexpr std::int64_t WriteLockOffset = 0x7FFF0000;
inline constexpr std::int64_t WriteLockLength = 65535;
inline constexpr std::int64_t ReadLockTop = 0x7FFFFFFF;
// r is drawn below this; a draw of 0 counts as 1, so that byte 0x7FFFFFFF stays the record file's semaphore.
inline constexpr std::int32_t ReadSlotRange = 65535;

// The semaphore and the read and write locks wait up to this many steps of this length: about 25 seconds in
// all before the caller gives up with 10249.
inline constexpr int LockRetries = 8192;
inline constexpr int LockRetrySleepMs = 3;

// The defaults a table handle's record and table locks start from (LockRetryCount, LockWaitTime): 15 steps
// of 100 ms, about 1.5 seconds before 10258 or 10241.
inline constexpr std::uint8_t DefaultLockRetryCount = 15;
inline constexpr std::uint16_t DefaultLockWaitTime = 100;

// The first wait after a refused try. Most locks are held for well under a millisecond (one change's writes),
// so a waiter first looks again after a quarter of one and doubles its wait up to the step from there.
inline constexpr std::chrono::microseconds FirstLockWait{250};

// How a lock waits; tests put in fewer retries, a sleep that does not sleep and a known random source.
struct LockRetryPolicy {
    // The steps of the semaphore and the read and write locks; record and table locks take theirs from the
    // table handle.
    int Retries = LockRetries;
    // Called with the time to wait before each retry; a sleep of the thread unless replaced.
    std::function<void(std::chrono::microseconds wait)> Sleep;
    // rtl::Random's contract: a whole number from 0 to range - 1; rtl::Random unless replaced.
    std::function<std::int32_t(std::int32_t range)> Random;
};

// Tries the lock, and after each refusal waits and tries again, until a try succeeds (true) or the waits have
// added up to retries x waitMs (false: no wait follows the last try). The waits start at FirstLockWait and
// double up to waitMs, so that a lock held for a moment is had a moment later, while a lock held long is
// looked at no more often than every waitMs; the longest a caller waits before it gives up stays the same.
bool TryWithRetries(const std::function<bool()>& tryLock, int retries, int waitMs,
                    const LockRetryPolicy& policy);

}  // namespace engine
