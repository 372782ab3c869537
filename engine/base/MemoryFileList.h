// An engine session's in-memory files, kept by name; a table can live here instead of on disk.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/base/MemoryFile.h"

namespace engine {

// Names match with blanks trimmed at both ends and without regard to letter case; a file keeps the name
// in the form it was given. Failures come back as negated engine codes (-11010 no such file or no base
// name, -11013 sharing conflict), which the file layer raises. Not thread-safe: callers hold the engine's
// file critical section.
class TMemoryFileList {
public:
    TMemoryFileList();
    ~TMemoryFileList();
    TMemoryFileList(const TMemoryFileList&) = delete;
    TMemoryFileList& operator=(const TMemoryFileList&) = delete;

    // Creates the file, or empties an existing one that no handle has open, for exclusive use; answers its
    // handle and sets file.
    std::int32_t CreateFile(std::string_view name, TMemoryFile*& file);
    // Opens a handle of an existing file; an exclusive file or request conflicts with any other handle.
    // file is set only when a handle is given.
    std::int32_t OpenFile(std::string_view name, TMemoryFile*& file, bool exclusive);
    // False when the file is open or missing, or when another file already has the new name.
    bool RenameFile(std::string_view oldName, std::string_view newName);
    // False when the file is open or missing.
    bool DeleteFile(std::string_view name);
    bool FileExists(std::string_view name) const;
    // Copies the source from its start into a new file of the target name through the given handle,
    // which ends at the end of the source. Answers 0 or a negated engine code.
    std::int32_t CopyFile(TMemoryFile& source, std::int32_t sourceHandle, std::string_view targetName);

    int Count() const noexcept { return static_cast<int>(files_.size()); }

private:
    int Find(std::string_view name) const;

    std::vector<std::unique_ptr<TMemoryFile>> files_;
};

}  // namespace engine
