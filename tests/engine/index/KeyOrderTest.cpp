#include "engine/index/KeyOrder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/EngineErrorCodes.h"
#include "engine/index/IndexFileHeader.h"
#include "engine/values/FieldTypes.h"
#include "engine/values/InstalledLocales.h"
#include "tests/engine/support/LocaleDoubles.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::TKeyOrder;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t Language = 0x0409;

// NAME (string 3: stored 4) and QTY (integer), keyed in that order: 1 + 4 + 1 + 4 bytes, then a suffix.
std::vector<engine::TFieldDesc> Fields() {
    return {FieldDef(1, "NAME", engine::FieldTypeString, 3), FieldDef(2, "QTY", engine::FieldTypeInteger)};
}

engine::TIndexDescriptor Index(bool nameDescending = false) {
    engine::TIndexDescriptor index = IndexDef("ByName", {1, 2});
    index.FieldDescending[0] = nameDescending ? 1 : 0;
    return index;
}

// A key: NAME's has-value byte and characters, QTY's has-value byte and value, a 4-byte suffix.
Bytes Key(const std::string& name, std::uint8_t qty, std::uint8_t suffix = 0) {
    Bytes key = {static_cast<std::uint8_t>(name.empty() ? 0 : 1)};
    for (std::size_t i = 0; i < 4; ++i)
        key.push_back(i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
    key.insert(key.end(), {1, 0x80, 0, 0, qty, 0, 0, 0, suffix});
    return key;
}

int Compare(const TKeyOrder& order, const Bytes& a, const Bytes& b, bool descending = false,
            std::size_t length = 14) {
    return order.Compare(a, b, length, descending);
}

class KeyOrderTest : public ::testing::Test {
protected:
    DictionaryCollation collation_;
    DefaultFormats formats_;
    engine::InstalledLocale locale_{Language, 0, collation_, formats_};
};

TEST_F(KeyOrderTest, WithoutALanguageIdKeysCompareAsBytes) {
    const TKeyOrder order(Index(true), 1, Fields(), 0, 0);
    EXPECT_TRUE(order.ByteOrder());
    // Byte order puts "B" before "a"; a field's own descending flag is in its bytes, not in the order.
    EXPECT_EQ(Compare(order, Key("B", 1), Key("a", 1)), -1);
    EXPECT_EQ(Compare(order, Key("B", 1), Key("a", 1), true), 1);
    EXPECT_EQ(Compare(order, Key("a", 1), Key("a", 1)), 0);
    EXPECT_EQ(Compare(TKeyOrder(), Key("a", 2), Key("a", 1)), 1);
}

TEST_F(KeyOrderTest, SysDeletedKeysCompareAsBytesWhateverTheLocale) {
    const TKeyOrder order(Index(), engine::SysDeletedSlot, Fields(), Language, 0);
    EXPECT_TRUE(order.ByteOrder());
    EXPECT_EQ(Compare(order, Key("B", 1), Key("a", 1)), -1);
}

TEST_F(KeyOrderTest, WithALanguageIdFieldsCompareInTheLocalesOrder) {
    const TKeyOrder ascending(Index(), 1, Fields(), Language, 0);
    const TKeyOrder nameDown(Index(true), 1, Fields(), Language, 0);
    const struct {
        const char* what;
        const TKeyOrder& order;
        Bytes a, b;
        bool descending;
        std::size_t length;
        int expected;
    } cases[] = {
        {"strings in dictionary order", ascending, Key("a", 1), Key("B", 1), false, 14, -1},
        {"a small letter before its capital", ascending, Key("b", 1), Key("B", 1), false, 14, -1},
        {"a null before any value", ascending, Key("", 9), Key("a", 1), false, 14, -1},
        {"equal names go on to the integer", ascending, Key("a", 2), Key("a", 1), false, 14, 1},
        {"then to the suffix", ascending, Key("a", 1, 2), Key("a", 1, 1), false, 14, 1},
        {"the whole index descending reverses all", ascending, Key("a", 1), Key("B", 1), true, 14, 1},
        {"and the suffix", ascending, Key("a", 1, 2), Key("a", 1, 1), true, 14, -1},
        {"a descending field reverses itself", nameDown, Key("a", 1), Key("B", 1), false, 14, 1},
        {"its null after every value", nameDown, Key("", 9), Key("a", 1), false, 14, 1},
        {"but not the fields after it", nameDown, Key("a", 2), Key("a", 1), false, 14, 1},
        {"nor the suffix", nameDown, Key("a", 1, 2), Key("a", 1, 1), false, 14, 1},
        {"a length that stops before the suffix", ascending, Key("a", 1, 2), Key("a", 1, 1), false, 10, 0},
        {"a length inside a string", ascending, Key("ab", 1), Key("ac", 1), false, 2, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Compare(c.order, c.a, c.b, c.descending, c.length), c.expected) << c.what;
    }
}

TEST_F(KeyOrderTest, ALocaleThatIsNotInstalledIsRefused) {
    EXPECT_EQ(EngineCode([] { TKeyOrder(Index(), 1, Fields(), 0x0407, 0, "t.IDX"); }),
              engine::ErrLanguageDriver);
}

}  // namespace
