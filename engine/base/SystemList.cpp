#include "engine/base/SystemList.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/base/EngineMemory.h"
#include "engine/base/EngineTexts.h"
#include "rtl/Exceptions.h"

namespace engine {

TSystemList::~TSystemList() {
    FreeEngineMem(items_);
}

void TSystemList::CheckIndex(int index, int limit) const {
    if (index < 0 || index > limit) Error(texts::ListIndexError, index);
}

int TSystemList::Add(void* item) {
    if (count_ == capacity_) Grow();
    items_[count_] = item;
    return count_++;
}

void TSystemList::Insert(int index, void* item) {
    CheckIndex(index, count_);
    if (count_ == capacity_) Grow();
    std::memmove(items_ + index + 1, items_ + index,
                 sizeof(void*) * static_cast<std::size_t>(count_ - index));
    items_[index] = item;
    ++count_;
}

void TSystemList::Delete(int index) {
    CheckIndex(index, count_ - 1);
    --count_;
    std::memmove(items_ + index, items_ + index + 1,
                 sizeof(void*) * static_cast<std::size_t>(count_ - index));
    items_[count_] = nullptr;
}

void TSystemList::Move(int from, int to) {
    CheckIndex(from, count_ - 1);
    CheckIndex(to, count_ - 1);
    if (from == to) return;
    void* const item = items_[from];
    if (from < to) {
        std::memmove(items_ + from, items_ + from + 1, sizeof(void*) * static_cast<std::size_t>(to - from));
    } else {
        std::memmove(items_ + to + 1, items_ + to, sizeof(void*) * static_cast<std::size_t>(from - to));
    }
    items_[to] = item;
}

void* TSystemList::Get(int index) const {
    CheckIndex(index, count_ - 1);
    return items_[index];
}

void TSystemList::Put(int index, void* item) {
    CheckIndex(index, count_ - 1);
    items_[index] = item;
}

void TSystemList::Clear() noexcept {
    FreeEngineMem(items_);
    count_ = 0;
    capacity_ = 0;
}

void TSystemList::SetCapacity(int capacity) {
    if (capacity < count_ || capacity > MaxListSize) Error(texts::ListCapacityError, capacity);
    if (capacity == capacity_) return;
    items_ =
        static_cast<void**>(ReallocEngineMem(items_, sizeof(void*) * static_cast<std::size_t>(capacity)));
    capacity_ = capacity;
}

void TSystemList::SetCount(int count) {
    if (count < 0 || count > MaxListSize) Error(texts::ListCountError, count);
    if (count > capacity_) SetCapacity(count);
    if (count > count_) std::fill(items_ + count_, items_ + count, nullptr);
    count_ = count;
}

void TSystemList::Grow() {
    const int delta = capacity_ > 64 ? capacity_ / 4 : capacity_ > 8 ? 16 : 4;
    // A list near the bound grows to the bound; only a list already there is refused.
    SetCapacity(capacity_ >= MaxListSize ? capacity_ + delta : std::min(capacity_ + delta, MaxListSize));
}

void TSystemList::Error(std::string_view message, int value) const {
    std::string text(message);
    const std::size_t at = text.find("%d");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(value));
    throw rtl::EListError(text);
}

}  // namespace engine
