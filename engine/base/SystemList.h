// The engine's own list of pointers on the engine allocator, with the engine's quicksort.
#pragma once

#include <string_view>
#include <utility>

namespace engine {

// The engine's list bound: no list holds more items than this.
inline constexpr int MaxListSize = 262140;

// Sorts items[first .. last] with the engine's quicksort; compare(a, b) answers <0, 0 or >0. Keys built from
// sorted tables depend on where equal items end up, so the steps are fixed: middle item as pivot, scan from
// both ends, swap on I <= J. Only the order in which the two halves are sorted is free (they are disjoint),
// so the smaller half is recursed into and the stack stays shallow.
template <class Compare>
void QuickSortPointers(void** items, int first, int last, Compare&& compare) {
    while (first < last) {
        int i = first;
        int j = last;
        void* const pivot = items[first + (last - first) / 2];
        do {
            while (compare(items[i], pivot) < 0) ++i;
            while (compare(items[j], pivot) > 0) --j;
            if (i <= j) {
                std::swap(items[i], items[j]);
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - first < last - i) {
            if (first < j) QuickSortPointers(items, first, j, compare);
            first = i;
        } else {
            if (i < last) QuickSortPointers(items, i, last, compare);
            last = j;
        }
    }
}

// A growable array of pointers. Indexes run from 0; a bad index, count or capacity raises rtl::EListError.
class TSystemList {
public:
    TSystemList() = default;
    virtual ~TSystemList();
    TSystemList(const TSystemList&) = delete;
    TSystemList& operator=(const TSystemList&) = delete;

    int Count() const noexcept { return count_; }
    int Capacity() const noexcept { return capacity_; }

    // Appends the item and returns its index.
    int Add(void* item);
    // Inserts at 0 .. Count().
    void Insert(int index, void* item);
    void Delete(int index);
    void Move(int from, int to);
    void* Get(int index) const;
    void Put(int index, void* item);
    void* First() const { return Get(0); }
    void* Last() const { return Get(count_ - 1); }
    // Empties the list and frees its array.
    void Clear() noexcept;
    void SetCapacity(int capacity);
    // New items are null.
    void SetCount(int count);

    template <class Compare>
    void Sort(Compare&& compare) {
        if (count_ > 1) QuickSortPointers(items_, 0, count_ - 1, compare);
    }

protected:
    // Raises the capacity by a quarter above 64 items, by 16 above 8 and by 4 otherwise, up to MaxListSize.
    virtual void Grow();
    // Raises rtl::EListError with the message, its "%d" replaced by the value.
    [[noreturn]] virtual void Error(std::string_view message, int value) const;

private:
    void CheckIndex(int index, int limit) const;

    void** items_ = nullptr;
    int count_ = 0;
    int capacity_ = 0;
};

}  // namespace engine
