// An engine session: the context one session of the dataset components works in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/EngineError.h"
#include "engine/base/MemoryFileList.h"
#include "engine/base/PasswordList.h"

namespace engine {

// Holds the session's private directory, its error context, its in-memory files and the passwords given
// for protected tables. A session that is current when it is destroyed stops being current.
class TFileSession {
public:
    TFileSession();
    ~TFileSession();
    TFileSession(const TFileSession&) = delete;
    TFileSession& operator=(const TFileSession&) = delete;

    const std::string& Directory() const noexcept { return directory_; }
    void SetDirectory(std::string_view directory);

    ErrorContext& Error() noexcept { return error_; }
    TMemoryFileList& MemoryFiles() noexcept { return memoryFiles_; }
    TPasswordList& Passwords() noexcept { return passwords_; }

    // A name of the form directory + thread-id prefix + counter + ".DAT" that no file has yet. The directory
    // is the session's, else for a disk name the current directory. A disk name is reserved by creating the
    // file empty: a caller that creates no table under it deletes it. Raises 11010 when the name would pass
    // 255 characters and 11047 when every counter value is taken or the file cannot be created.
    std::string GetTempFileName(bool inMemory);

    // Adds the password unless it is already there.
    void AddPassword(std::string_view password);
    void RemovePassword(std::string_view password) { passwords_.Remove(password); }
    void RemoveAllPasswords() noexcept { passwords_.Clear(); }
    bool FindPassword(std::string_view password) const { return passwords_.Find(password); }

private:
    std::string directory_;
    ErrorContext error_;
    // Declared before the passwords so that the passwords go first.
    TMemoryFileList memoryFiles_;
    TPasswordList passwords_;
};

// Where temporary names take their thread id from; the default is the calling thread's id. Tests pin it.
// Answers the previous source; null restores the default.
using ThreadIdSource = std::int64_t (*)();
ThreadIdSource SetThreadIdSource(ThreadIdSource source) noexcept;

}  // namespace engine
