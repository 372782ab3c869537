#include "engine/base/SystemList.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "rtl/Exceptions.h"

namespace {

using engine::TSystemList;

void* Item(std::intptr_t value) {
    return reinterpret_cast<void*>(value);
}

template <class F>
std::string ListError(F&& statement) {
    try {
        statement();
    } catch (const rtl::EListError& e) {
        return e.Message();
    }
    return "no error";
}

TEST(SystemList, GrowthSteps) {
    TSystemList list;
    std::vector<int> capacities;
    for (int i = 0; i < 95; ++i) {
        list.Add(Item(i));
        if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities, std::vector<int>({4, 8, 12, 28, 44, 60, 76, 95}));
}

TEST(SystemList, GrowthStopsAtTheBoundInsteadOfBeforeIt) {
    TSystemList list;
    for (int i = 0; i < engine::MaxListSize; ++i) list.Add(Item(i));
    EXPECT_EQ(list.Count(), engine::MaxListSize);
    EXPECT_EQ(list.Capacity(), engine::MaxListSize);
    EXPECT_EQ(list.Get(engine::MaxListSize - 1), Item(engine::MaxListSize - 1));
    EXPECT_EQ(ListError([&] { list.Add(nullptr); }), "List capacity out of bounds (327675)");
    EXPECT_EQ(list.Count(), engine::MaxListSize);
}

TEST(SystemList, BoundsErrors) {
    TSystemList list;
    list.Add(Item(1));
    list.Add(Item(2));
    EXPECT_EQ(ListError([&] { list.SetCapacity(262141); }), "List capacity out of bounds (262141)");
    EXPECT_EQ(ListError([&] { list.SetCapacity(1); }), "List capacity out of bounds (1)");
    EXPECT_EQ(ListError([&] { list.SetCount(-1); }), "List count out of bounds (-1)");
    EXPECT_EQ(ListError([&] { list.SetCount(262141); }), "List count out of bounds (262141)");
    EXPECT_EQ(ListError([&] { list.Get(2); }), "List index out of bounds (2)");
    EXPECT_EQ(ListError([&] { list.Get(-1); }), "List index out of bounds (-1)");
    EXPECT_EQ(ListError([&] { list.Insert(3, nullptr); }), "List index out of bounds (3)");
    EXPECT_EQ(ListError([&] { list.Delete(2); }), "List index out of bounds (2)");
    EXPECT_EQ(ListError([&] { list.Move(0, 2); }), "List index out of bounds (2)");
    EXPECT_EQ(ListError([&] { list.Move(5, 0); }), "List index out of bounds (5)");
    TSystemList empty;
    EXPECT_EQ(ListError([&] { empty.Last(); }), "List index out of bounds (-1)");
}

TEST(SystemList, InsertDeleteMoveAndCount) {
    TSystemList list;
    for (int i = 1; i <= 4; ++i) list.Add(Item(i));  // 1 2 3 4
    list.Insert(0, Item(0));                         // 0 1 2 3 4
    list.Insert(5, Item(5));                         // 0 1 2 3 4 5
    list.Delete(2);                                  // 0 1 3 4 5
    list.Move(0, 3);                                 // 1 3 4 0 5
    list.Move(4, 1);                                 // 1 5 3 4 0
    std::vector<std::intptr_t> items;
    for (int i = 0; i < list.Count(); ++i) items.push_back(reinterpret_cast<std::intptr_t>(list.Get(i)));
    EXPECT_EQ(items, std::vector<std::intptr_t>({1, 5, 3, 4, 0}));
    EXPECT_EQ(list.First(), Item(1));
    EXPECT_EQ(list.Last(), Item(0));
    list.Delete(4);
    list.SetCount(7);
    EXPECT_EQ(list.Get(4), nullptr);  // the deleted item does not come back
    EXPECT_EQ(list.Get(6), nullptr);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.Capacity(), 0);
}

struct Keyed {
    int key;
    char tag;
};

int ByKey(void* a, void* b) {
    return static_cast<Keyed*>(a)->key - static_cast<Keyed*>(b)->key;
}

// Worked by hand through the engine's steps: equal keys end up in this order and no other.
TEST(SystemList, QuicksortPlacesEqualItemsByItsSteps) {
    Keyed items[] = {{2, 'a'}, {1, 'a'}, {2, 'b'}, {3, '-'}, {2, 'c'}, {1, 'b'}};
    TSystemList list;
    for (Keyed& k : items) list.Add(&k);
    list.Sort(ByKey);
    std::string order;
    for (int i = 0; i < list.Count(); ++i) {
        const auto* k = static_cast<Keyed*>(list.Get(i));
        order += std::to_string(k->key) + k->tag + ' ';
    }
    EXPECT_EQ(order, "1a 1b 2c 2a 2b 3- ");
}

TEST(SystemList, QuicksortSortsLargeAndSortedInput) {
    std::mt19937 random(7);
    std::vector<Keyed> items(50000);
    for (Keyed& k : items) k.key = static_cast<int>(random() % 1000);
    TSystemList list;
    for (Keyed& k : items) list.Add(&k);
    list.Sort(ByKey);
    for (int i = 1; i < list.Count(); ++i) ASSERT_LE(ByKey(list.Get(i - 1), list.Get(i)), 0);
    list.Sort(ByKey);  // already sorted
    for (int i = 1; i < list.Count(); ++i) ASSERT_LE(ByKey(list.Get(i - 1), list.Get(i)), 0);
}

}  // namespace
