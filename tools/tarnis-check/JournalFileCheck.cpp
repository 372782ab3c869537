#include "tools/tarnis-check/JournalFileCheck.h"

#include <array>
#include <string>

#include "engine/file/JournalLayout.h"
#include "tools/tarnis-check/CheckTexts.h"
#include "tools/tarnis-check/CheckedFile.h"

namespace tarnischeck {

namespace {

class JournalFileChecker : public CheckedFile {
public:
    explicit JournalFileChecker(TableCheck& check) : CheckedFile(check, check.Files().JournalFile) {}

    void Run() {
        if (!Exists()) return;
        std::string failure;
        if (!OpenShared(failure)) {
            Error(texts::FilePlace, failure);
            return;
        }
        std::array<std::uint8_t, engine::JournalHeaderSize> bytes{};
        const std::size_t got = ReadAt(0, bytes.data(), bytes.size());
        const auto header = engine::DecodeJournalHeader(std::span<const std::uint8_t>(bytes.data(), got));
        if (header && header->State == engine::JournalState::Open)
            Error(texts::HeaderPlace, std::string(texts::JournalChangeOpen));
    }
};

}  // namespace

void CheckJournalFile(TableCheck& check) {
    JournalFileChecker(check).Run();
}

}  // namespace tarnischeck
