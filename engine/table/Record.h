// TRecord: one record slot held in a table's record cache, as a record image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engine/base/Cache.h"
#include "engine/records/RecordNumbers.h"

namespace engine {

class TDataFile;

// The entry's position is its slot number. Its image is the table's record image (DataFile.h): the slot's
// record-size bytes, then the working set's calculated area; only the slot's bytes come from and go to the
// file. A protected table's slots are scrambled on disk; the image in memory stays plain.
class TRecord : public TCacheEntry<SlotNumber> {
public:
    explicit TRecord(TDataFile& table);

    // The cache's image operations. Reset empties the image (sized to the table's record image); Load takes
    // a slot as the file holds it, setting an active record's own slot number from the entry's position;
    // Store writes the slot. Each clears the calculated mark, Reset and Load also the calculated area.
    void Reset();
    void Load(std::span<const std::uint8_t> slot);
    void Store(std::span<std::uint8_t> slot) const;

    std::span<std::uint8_t> Image() noexcept { return image_; }
    std::span<const std::uint8_t> Image() const noexcept { return image_; }
    SlotNumber RecordNumber() const noexcept { return GetPosition(); }
    // Set once the image's calculated fields have been computed.
    bool Calculated() const noexcept { return calculated_; }
    void SetCalculated(bool calculated) noexcept { calculated_ = calculated; }

    // Empties the image for a new record: zero bytes, the entry's slot number as the link and, when asked,
    // the table's next record ID (NextAutoInc). The image then differs from the slot on disk: it is dirty.
    void Clear(bool newRecordId);
    // Copies an image's fields and calculated area (everything after the record header) into this one; 8962
    // for an image shorter than the table's record image. Dirty, calculated mark cleared.
    void CopyFields(std::span<const std::uint8_t> image);
    // The table's record image size changed (a new working set): the slot's bytes stay, the calculated area
    // takes its new size, zero, and is computed again at the next fetch.
    void FitImageSize();

    // The record header; each setter marks the image dirty when it changes a value.
    std::uint8_t Status() const noexcept;
    void SetStatus(std::uint8_t status) noexcept;
    // An active record's own slot number; a deleted slot's next free slot.
    SlotNumber Link() const noexcept;
    void SetLink(SlotNumber link) noexcept;
    RecordId Id() const noexcept;
    void SetId(RecordId id) noexcept;

private:
    // Stores the u32 at the offset, marking the image dirty when it changes.
    void ChangeU32(std::size_t offset, std::uint32_t value) noexcept;

    TDataFile& table_;
    std::vector<std::uint8_t> image_;
    bool calculated_ = false;
};

using RecordPin = TCachePin<TRecord>;

}  // namespace engine
