// The in-memory dataset the filter text's tests name their fields in: one column of each type a filter
// compares, and a Translate that a test can replace.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "MemDataSet.h"

namespace componenttest {

class FilterDataSet : public db_test::TMemDataSet {
public:
    // Opened, with the columns below; TESTTYPE is field 1.
    FilterDataSet() {
        SetColumns({{"TESTTYPE", db::ftString, 20},
                    {"NAME", db::ftString, 40},
                    {"NUM", db::ftInteger},
                    {"X", db::ftInteger},
                    {"A", db::ftInteger},
                    {"B", db::ftInteger},
                    {"OR", db::ftInteger},
                    {"ACTIVE", db::ftBoolean},
                    {"SI", db::ftSmallint},
                    {"W", db::ftWord},
                    {"D", db::ftDate},
                    {"T", db::ftTime},
                    {"DT", db::ftDateTime},
                    {"AMOUNT", db::ftBCD, 2},
                    {"F", db::ftFloat},
                    {"C", db::ftCurrency},
                    {"ID", db::ftAutoInc},
                    {"MEMO", db::ftMemo}});
        Open();
    }

    std::string Translate(std::string_view source, bool toOem) override {
        return translate ? translate(source) : db_test::TMemDataSet::Translate(source, toOem);
    }

    std::function<std::string(std::string_view)> translate;
};

}  // namespace componenttest
