// KeyedText: what the testee keyed, per screen and field, kept while a test runs; scoring reads it.
#pragma once

#include <string>
#include <vector>

namespace app {

// Screens count from 1 to Capacity(), positions from 1 to Fields(). Every text starts empty and Clear
// empties them all again. A screen or position outside the store raises std::out_of_range: nothing is
// read or written past it.
class KeyedText {
public:
    KeyedText(int capacity, int fields);

    int Capacity() const { return capacity_; }
    int Fields() const { return fields_; }

    void Clear();
    const std::string& At(int screen, int position) const;
    void Set(int screen, int position, std::string text);

private:
    std::size_t Index(int screen, int position) const;

    int capacity_;
    int fields_;
    std::vector<std::string> texts_;  // row by row
};

}  // namespace app
