#include "tools/tarnis-check/CheckedFile.h"

#include "engine/base/EngineError.h"

namespace tarnischeck {

std::string Num(std::uint64_t value) {
    return std::to_string(value);
}

bool CheckedFile::OpenShared(std::string& failure) {
    try {
        file_.SetFileName(name_);
        file_.SetExclusive(false);
        file_.SetReadOnly(true);
        file_.Open();
    } catch (const engine::ETARNISEngineError& error) {
        failure = error.Message();
        return false;
    }
    fileSize_ = file_.GetSize();
    return true;
}

bool CheckedFile::Exists() {
    file_.SetFileName(name_);
    return file_.FileExists();
}

std::size_t CheckedFile::ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t count) {
    file_.Seek(offset, 0);
    return static_cast<std::size_t>(file_.Read(buffer, static_cast<std::int32_t>(count), true));
}

}  // namespace tarnischeck
