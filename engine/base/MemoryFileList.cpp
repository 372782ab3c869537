#include "engine/base/MemoryFileList.h"

#include "engine/base/EngineErrorCodes.h"
#include "engine/base/EngineMemory.h"
#include "engine/base/EngineStrings.h"
#include "rtl/Text.h"

namespace engine {

namespace {

// The copy moves the source in pieces of one growth unit.
constexpr std::int32_t CopyChunk = static_cast<std::int32_t>(MemoryFileGrowth);

}  // namespace

TMemoryFileList::TMemoryFileList() = default;
TMemoryFileList::~TMemoryFileList() = default;

int TMemoryFileList::Find(std::string_view name) const {
    const std::string wanted = rtl::Trim(name);
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (rtl::AnsiSameText(rtl::Trim(files_[i]->Name()), wanted)) return static_cast<int>(i);
    }
    return -1;
}

std::int32_t TMemoryFileList::CreateFile(std::string_view name, TMemoryFile*& file) {
    if (rtl::Trim(ExtractBaseName(name)).empty()) return -ErrInvalidPath;
    const int index = Find(name);
    if (index >= 0) {
        TMemoryFile& existing = *files_[static_cast<std::size_t>(index)];
        if (existing.OpenCount() > 0) return -ErrAccessDenied;
        existing.SetSize(0);
        existing.SetExclusive(true);
        file = &existing;
        return existing.OpenHandle();
    }
    files_.push_back(std::make_unique<TMemoryFile>(name));
    file = files_.back().get();
    file->SetExclusive(true);
    return file->OpenHandle();
}

std::int32_t TMemoryFileList::OpenFile(std::string_view name, TMemoryFile*& file, bool exclusive) {
    const int index = Find(name);
    if (index < 0) return -ErrInvalidPath;
    TMemoryFile& found = *files_[static_cast<std::size_t>(index)];
    if (found.OpenCount() == 0) {
        found.SetExclusive(exclusive);
    } else if (found.Exclusive() || exclusive) {
        return -ErrAccessDenied;
    }
    file = &found;
    return found.OpenHandle();
}

bool TMemoryFileList::RenameFile(std::string_view oldName, std::string_view newName) {
    const int index = Find(oldName);
    if (index < 0 || files_[static_cast<std::size_t>(index)]->OpenCount() > 0) return false;
    // Two files of one name would hide one of them for good.
    const int taken = Find(newName);
    if (taken >= 0 && taken != index) return false;
    files_[static_cast<std::size_t>(index)]->SetName(newName);
    return true;
}

bool TMemoryFileList::DeleteFile(std::string_view name) {
    const int index = Find(name);
    if (index < 0 || files_[static_cast<std::size_t>(index)]->OpenCount() > 0) return false;
    files_.erase(files_.begin() + index);
    return true;
}

bool TMemoryFileList::FileExists(std::string_view name) const {
    return Find(name) >= 0;
}

std::int32_t TMemoryFileList::CopyFile(TMemoryFile& source, std::int32_t sourceHandle,
                                       std::string_view targetName) {
    EngineBlock chunk(static_cast<std::size_t>(CopyChunk));
    TMemoryFile* target = nullptr;
    const std::int32_t targetHandle = CreateFile(targetName, target);
    if (targetHandle < 0) return targetHandle;
    source.Seek(sourceHandle, 0, 0);
    std::int32_t moved = 0;
    do {
        moved = source.Read(sourceHandle, chunk.Data(), CopyChunk);
        if (moved > 0) target->Write(targetHandle, chunk.Data(), moved);
    } while (moved == CopyChunk);
    target->CloseHandle(targetHandle);
    return 0;
}

}  // namespace engine
