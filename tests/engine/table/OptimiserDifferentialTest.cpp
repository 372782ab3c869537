// Seeded differential test of the optimiser: a filter answered through the indexes holds exactly the records
// that evaluating its condition on every live record in the range gives, over tables of every indexable type,
// after activation, after the handle's own writes and after another handle's change.
//
// The default budget runs in seconds; KEYVALE_OPTIMISER_TABLES raises the number of tables (30 conditions
// each) and KEYVALE_OPTIMISER_SEED starts from another seed. A failure prints the seed, the table, the
// condition and the differing record numbers.
#include "engine/table/Optimiser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/base/Bitmap.h"
#include "engine/base/FileBytes.h"
#include "engine/expr/ExprEvaluator.h"
#include "engine/index/IndexFile.h"
#include "engine/table/DataFile.h"
#include "engine/table/Filter.h"
#include "engine/table/ReadGuard.h"
#include "engine/table/Record.h"
#include "tests/engine/support/ExprBuilders.h"
#include "tests/engine/support/RecordImages.h"
#include "tests/engine/support/TableFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace enginetest;
using engine::ExprValue;
using engine::SlotNumber;
using engine::TDataFile;
using engine::TExprNode;
using engine::TFieldDesc;
using engine::TFilter;
using engine::TIndexDescriptor;
using exprtest::NodePtr;
using Records = std::vector<std::uint32_t>;

constexpr const char* TablesVariable = "KEYVALE_OPTIMISER_TABLES";
constexpr const char* SeedVariable = "KEYVALE_OPTIMISER_SEED";
// Ten tables of thirty conditions: three hundred cases by default.
constexpr int DefaultTables = 10;
constexpr int ConditionsPerTable = 30;
// The depth of the generated conditions, a lone comparison being one level.
constexpr int MaxDepth = 4;

// The fields, numbered from 1: the unique primary key, then one of every indexable type, two long strings
// for a compound index, and a small integer whose only index is descending on its first field.
enum Field : std::uint16_t { K = 1, S, D, B, SI, I, F, M, T, DT, W, LW, L1, L2, X, FieldCount = X };
constexpr std::uint8_t StringSize = 12;
constexpr std::uint8_t LongSize = 200;
constexpr std::uint8_t MoneyScale = 2;

std::vector<TFieldDesc> Fields() {
    using namespace engine;
    return {FieldDef(K, "K", FieldTypeInteger),
            FieldDef(S, "S", FieldTypeString, StringSize),
            FieldDef(D, "D", FieldTypeDate),
            FieldDef(B, "B", FieldTypeBoolean),
            FieldDef(SI, "SI", FieldTypeSmallInt),
            FieldDef(I, "I", FieldTypeInteger),
            FieldDef(F, "F", FieldTypeFloat),
            FieldDef(M, "M", FieldTypeBcd, 0, MoneyScale),
            FieldDef(T, "T", FieldTypeTime),
            FieldDef(DT, "DT", FieldTypeDateTime),
            FieldDef(W, "W", FieldTypeWord),
            FieldDef(LW, "LW", FieldTypeLongWord),
            FieldDef(L1, "L1", FieldTypeString, LongSize),
            FieldDef(L2, "L2", FieldTypeString, LongSize),
            FieldDef(X, "X", FieldTypeSmallInt)};
}

std::string Repeated(const std::string& word, std::size_t length) {
    std::string text;
    while (text.size() < length) text += word;
    return text.substr(0, length);
}

// The values records take, by field: extremes, zero and its neighbours, duplicates, letter cases.
std::vector<ExprValue> Pool(std::uint16_t field) {
    using namespace exprtest;
    switch (field) {
        case S:
            return {Text(""),          Text("a"),         Text("A"),           Text("ab"),       Text("Sm"),
                    Text("Smith"),     Text("smith"),     Text("SMITH"),       Text("Smithson"), Text("zz"),
                    Text("\xe9t\xe9"), Text("\xc9T\xc9"), Text("abcdefghijkl")};
        case L1:
        case L2:
            return {Text(""),
                    Text(Repeated("alpha", 200)),
                    Text(Repeated("alpha", 190)),
                    Text(Repeated("Alpha", 200)),
                    Text(Repeated("beta", 199)),
                    Text("alpha")};
        case D:
            return {Date(1), Date(693596), Date(738000), Date(738001), Date(3652059)};
        case B:
            return {Bool(0), Bool(1)};
        case SI:
        case X:
            return {SmallInt(-32768), SmallInt(-1), SmallInt(0), SmallInt(1), SmallInt(5), SmallInt(32767)};
        case K:
        case I:
            return {Int(INT32_MIN), Int(-100), Int(-1), Int(0), Int(1), Int(7), Int(100), Int(INT32_MAX)};
        case F:
            return {Float(-DBL_MAX), Float(-2.5), Float(-0.0),  Float(0.0),
                    Float(1.0),      Float(2.5),  Float(1e300), Float(DBL_MAX)};
        case M:
            return {Bcd(-1234500, MoneyScale), Bcd(-100, MoneyScale),  Bcd(0, MoneyScale),
                    Bcd(100, MoneyScale),      Bcd(50000, MoneyScale), Bcd(999999900, MoneyScale)};
        case T:
            return {Time(0), Time(1), Time(43200000), Time(86399999)};
        case DT:
            return {DateTime(0.0), DateTime(86400000.0), DateTime(63e12), DateTime(63.5e12), DateTime(-1.0)};
        case W:
            return {Word(0), Word(1), Word(255), Word(65535)};
        default:  // LW
            return {LongWord(0), LongWord(1), LongWord(256), LongWord(0x80000000u), LongWord(0xFFFFFFFFu)};
    }
}

std::string Describe(const ExprValue& value) {
    if (value.IsNull != 0) return "NULL";
    std::ostringstream out;
    switch (value.FieldType) {
        case engine::FieldTypeString:
            out << "'" << value.GetText() << "'";
            break;
        case engine::FieldTypeFloat:
        case engine::FieldTypeDateTime:
            out << value.GetDouble();
            break;
        case engine::FieldTypeBcd:
            out << value.GetInt64() << "bcd";
            break;
        case engine::FieldTypeSmallInt:
            out << value.GetInt16();
            break;
        case engine::FieldTypeBoolean:
        case engine::FieldTypeWord:
            out << value.GetUInt16();
            break;
        case engine::FieldTypeLongWord:
            out << value.GetUInt32();
            break;
        default:
            out << value.GetInt32();
            break;
    }
    return out.str() + ":" + std::to_string(value.FieldType);
}

std::string Describe(const TExprNode* node) {
    if (node == nullptr) return "?";
    const std::string op = std::to_string(node->Operator);
    switch (node->NodeClass) {
        case engine::ncField:
            return "F" + std::to_string(node->FieldNo);
        case engine::ncConstant:
            return Describe(node->Value);
        case engine::ncFunction:
            return "fn" + op + "(" + Describe(node->Left.get()) + ")";
        case engine::ncUnary:
            return "op" + op + "(" + Describe(node->Left.get()) + ")";
        case engine::ncCompare:
            return "(" + Describe(node->Left.get()) + " cmp" + op + "[p" + std::to_string(node->PartialLen) +
                   (node->CaseInsensitive != 0 ? " ci" : "") + "] " + Describe(node->Right.get()) + ")";
        case engine::ncPredicate: {
            std::string items;
            for (const auto& item : node->Items) items += " " + Describe(item.get());
            return "(" + Describe(node->Left.get()) + " pred" + op +
                   (node->Right ? " " + Describe(node->Right.get()) : "") + items + ")";
        }
        default:
            return "(" + Describe(node->Left.get()) + " op" + op + " " + Describe(node->Right.get()) + ")";
    }
}

std::string Describe(const Records& records) {
    std::string text;
    for (const std::uint32_t r : records) text += " " + std::to_string(r);
    return text.empty() ? " none" : text;
}

Records SetBits(std::span<const std::uint8_t> bits, std::uint32_t highest) {
    Records records;
    for (std::uint32_t r = 1; r <= highest && (r - 1) / 8 < bits.size(); ++r)
        if (engine::BitmapTestBit(r, bits.data())) records.push_back(r);
    return records;
}

// The records in one of the lists only.
Records Difference(const Records& a, const Records& b) {
    Records out;
    std::set_symmetric_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

class Differential {
public:
    Differential(std::uint32_t seed, const std::string& name) : seed_(seed), name_(name), random_(seed) {}

    // Creates the table with its indexes drawn from the seed and fills it; opens two shared handles.
    void Build() {
        std::vector<TFieldDesc> fields = Fields();
        std::vector<TIndexDescriptor> indexes;
        TableOptions options;
        primary_ = Chance(0.85);
        if (primary_) {
            indexes.push_back(IndexDef("", {K}, true));
        } else {
            indexes.push_back(IndexDef("", {}));
            options.allowNoPrimary = true;
        }
        int next = 0;
        const auto add = [&](std::initializer_list<std::uint16_t> keyFields, bool descending, bool caseless) {
            TIndexDescriptor index = IndexDef("Ix" + std::to_string(++next), keyFields);
            index.Descending = descending ? 1 : 0;
            index.CaseInsensitive = caseless ? 1 : 0;
            indexes.push_back(index);
        };
        for (const bool caseless : {false, true}) {
            if (Chance(0.6)) add({S}, Chance(0.4), caseless);
        }
        for (const std::uint16_t field : {D, B, SI, I, F, M, T, DT, W, LW}) {
            if (Chance(0.8)) add({field}, Chance(0.35), false);
        }
        add({L1, L2}, Chance(0.5), false);
        TIndexDescriptor own = IndexDef("Ix" + std::to_string(++next), {X});
        own.FieldDescending[0] = 1;
        indexes.push_back(own);
        CreateTable(name_, fields, indexes, options);
        for (const TIndexDescriptor& index : indexes) {
            description_ += " [";
            for (int i = 0; i < index.FieldCount; ++i)
                description_ += " F" + std::to_string(index.FieldNumbers[i]);
            description_ += index.Descending ? " desc" : "";
            description_ += index.CaseInsensitive ? " ci" : "";
            description_ += index.FieldDescending[0] ? " firstdesc" : "";
            description_ += "]";
        }
        for (TDataFile* handle : {&a_, &b_}) {
            handle->SetFileName(name_);
            handle->SetExclusive(false);
            handle->Open();
        }
        static const int Counts[] = {0,  1,   7,   8,   9,   15,  16,  17,  63, 64,
                                     65, 127, 128, 129, 200, 255, 256, 257, 300};
        const int count = Counts[random_() % std::size(Counts)];
        for (int n = 0; n < count; ++n) Insert(a_, RandomValues(true));
        for (const std::uint32_t slot : LiveSlots()) {
            if (Chance(0.1)) DeleteSlot(a_, SlotNumber(slot));
        }
    }

    // One condition: activated in natural or index order, with or without a range, then checked after
    // activation, after this handle's writes or after the other handle's change.
    void RunCase(int number) {
        if (primary_ && Chance(0.7)) {
            a_.SetIndexNumber(0);
            if (Chance(0.5)) SetRange();
        } else {
            a_.SetIndexNumber(engine::NaturalOrderIndex);
        }
        NodePtr tree = Condition(1);
        condition_ = Describe(tree.get());
        TFilter* filter = nullptr;
        ASSERT_EQ(a_.AddFilter(nullptr, {}, filter, false, nullptr, true, tree.release()), 0);
        ASSERT_EQ(a_.ActivateFilter(filter), 0);
        ++levels_[std::min<int>(filter->OptLevel(), 2)];
        Check(*filter, "activation", true);
        if (number % 3 == 1) {
            WriteThrough(a_);
            Check(*filter, "this handle's writes", false);
        } else if (number % 3 == 2) {
            WriteThrough(b_);
            a_.Refresh();
            Check(*filter, "the other handle's change", true);
        }
        ASSERT_EQ(a_.DropFilter(filter), 0);
        if (range_) {
            a_.CancelRange();
            range_.reset();
        }
    }

    int Level(int level) const { return levels_[level]; }

private:
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
    template <class T>
    const T& Pick(const std::vector<T>& items) {
        return items[random_() % items.size()];
    }

    Bytes Stored(std::uint16_t field, const ExprValue& value) const {
        const TFieldDesc& desc = a_.GetFieldDesc(false, field);
        if (desc.FieldType == engine::FieldTypeString) {
            return Padded(Str(value.GetText().substr(0, desc.StoredSize - 1u)), desc.StoredSize);
        }
        return Bytes(value.Bytes.begin(), value.Bytes.begin() + desc.StoredSize);
    }

    FieldValues RandomValues(bool withKey) {
        FieldValues values;
        if (withKey) values.push_back({K, I32(nextKey_ += 1 + static_cast<std::int32_t>(random_() % 5))});
        for (std::uint16_t field = S; field <= FieldCount; ++field) {
            if (Chance(0.15)) continue;  // null
            values.push_back({field, Stored(field, Pick(Pool(field)))});
        }
        return values;
    }

    Records LiveSlots() {
        Records slots;
        engine::TReadGuard read(a_);
        read.Begin();
        for (std::uint32_t slot = 1; slot <= a_.GetPhysicalRecordCount(); ++slot) {
            engine::RecordPin record;
            if (!a_.GetRecord(SlotNumber(slot), false, false, 1, record)) {
                EXPECT_TRUE(a_.GetRecord(SlotNumber(slot), false, false, 1, record));
            }
            if (record->Status() == 0) slots.push_back(slot);
        }
        read.End();
        return slots;
    }

    // A range on K over a run of its keys, some more and some less than half of them.
    void SetRange() {
        std::vector<std::int32_t> keys;
        {
            engine::TReadGuard read(a_);
            read.Begin();
            for (const std::uint32_t slot : LiveSlots()) {
                engine::RecordPin record;
                a_.GetRecord(SlotNumber(slot), false, false, 1, record);
                keys.push_back(KeyOf(record->Image()));
            }
            read.End();
        }
        if (keys.empty()) return;
        std::sort(keys.begin(), keys.end());
        std::size_t first = random_() % keys.size();
        std::size_t last = random_() % keys.size();
        if (first > last) std::swap(first, last);
        range_ = {keys[first], keys[last]};
        const std::vector<std::uint8_t> start = NewImage(a_, {{K, I32(range_->first)}});
        const std::vector<std::uint8_t> end = NewImage(a_, {{K, I32(range_->second)}});
        a_.SetRange(false, start, 1, end, 1);
    }

    std::int32_t KeyOf(std::span<const std::uint8_t> image) const {
        std::array<std::uint8_t, 4> value{};
        a_.GetField(false, K, image, value);
        return static_cast<std::int32_t>(engine::LoadU32(value.data()));
    }

    // The oracle: the evaluator over every live record in the range.
    Records Expected(const TExprNode& tree, Records* candidates) {
        Records records;
        engine::TReadGuard read(a_);
        read.Begin();
        for (std::uint32_t slot = 1; slot <= a_.GetPhysicalRecordCount(); ++slot) {
            engine::RecordPin record;
            if (!a_.GetRecord(SlotNumber(slot), false, false, 1, record)) {
                EXPECT_TRUE(a_.GetRecord(SlotNumber(slot), false, false, 1, record));
            }
            if (record->Status() != 0) continue;
            const std::span<const std::uint8_t> image = record->Image();
            if (range_ && (KeyOf(image) < range_->first || KeyOf(image) > range_->second)) continue;
            candidates->push_back(slot);
            if (engine::EvaluateRecord(a_, image, SlotNumber(slot), {&tree})) records.push_back(slot);
        }
        read.End();
        return records;
    }

    void Check(const TFilter& filter, const char* when, bool exactFilter) {
        Records candidates;
        const Records expected = Expected(*filter.Expression(), &candidates);
        const std::uint32_t highest = a_.GetPhysicalRecordCount();
        Records held = SetBits(filter.GetBitmap(), highest);
        if (!exactFilter) {
            // A write sets a passing record's filter bit whatever its range; the visible records decide.
            Records inside;
            std::set_intersection(held.begin(), held.end(), candidates.begin(), candidates.end(),
                                  std::back_inserter(inside));
            held = inside;
        }
        const Records visible = SetBits(a_.IndexFile().Bitmaps().Visible(), highest);
        const std::string where =
            "seed " + std::to_string(seed_) + ", after " + when + "\n  table:" + description_ + "\n  order " +
            std::to_string(a_.GetIndexNumber()) +
            (range_ ? " range K " + std::to_string(range_->first) + ".." + std::to_string(range_->second)
                    : "") +
            ", level " + std::to_string(filter.OptLevel()) + "\n  condition " + condition_;
        EXPECT_TRUE(held == expected)
            << where << "\n  filter bitmap differs at" << Describe(Difference(held, expected));
        EXPECT_TRUE(visible == expected)
            << where << "\n  visible bitmap differs at" << Describe(Difference(visible, expected));
        EXPECT_EQ(a_.IndexFile().Bitmaps().VisibleCount(), expected.size()) << where;
    }

    // Two inserts, two modifies and a delete through the handle.
    void WriteThrough(TDataFile& handle) {
        // An insert that takes the freed slot of the handle's deleted current record is refused with 8710:
        // the handle lets go of its current record first.
        handle.Refresh();
        handle.ReleaseCurrentRecord();
        for (int n = 0; n < 2; ++n) Insert(handle, RandomValues(true));
        Records live = LiveSlots();
        for (int n = 0; n < 2 && !live.empty(); ++n) {
            const std::uint32_t slot = Pick(live);
            GoToSlot(handle, SlotNumber(slot));
            std::vector<std::uint8_t> image(handle.CurrentRecord()->Image().begin(),
                                            handle.CurrentRecord()->Image().end());
            for (const auto& [field, value] : RandomValues(false))
                handle.SetField(false, field, image, value);
            handle.ModifyRecord(image, false, true);
        }
        live = LiveSlots();
        if (!live.empty()) DeleteSlot(handle, SlotNumber(Pick(live)));
    }

    // ---- Conditions ----

    NodePtr Condition(int depth) {
        using namespace exprtest;
        if (depth >= MaxDepth || Chance(0.45)) return Leaf();
        switch (random_() % 3) {
            case 0:
                return Binary(engine::opAnd, Condition(depth + 1), Condition(depth + 1));
            case 1:
                return Binary(engine::opOr, Condition(depth + 1), Condition(depth + 1));
            default:
                return Unary(engine::opNot, Condition(depth + 1));
        }
    }

    NodePtr ColumnOf(std::uint16_t field) const {
        const TFieldDesc& desc = a_.GetFieldDesc(false, field);
        ExprValue type = exprtest::Typed(desc.FieldType, desc.StoredSize);
        type.Scale = desc.Scale;
        return exprtest::Column(field, type);
    }

    // A constant for the field: a value records hold, one beside it, null, or one of another type.
    NodePtr ConstantFor(std::uint16_t field) {
        using namespace exprtest;
        ExprValue value = Pick(Pool(field));
        const double roll = std::uniform_real_distribution<double>(0, 1)(random_);
        if (roll < 0.06) {
            value.IsNull = 1;
        } else if (roll < 0.12) {
            value = Pick(std::vector<ExprValue>{Int(5), Float(1.0), Text("5"), SmallInt(1), Bcd(100, 4),
                                                Word(1), Text("Smithsonian12345")});
        } else if (roll < 0.35) {
            value = Beside(value);
        }
        return Const(value);
    }

    // A value between the pool's values (or past the end of a type's range where it wraps).
    ExprValue Beside(ExprValue value) {
        switch (value.FieldType) {
            case engine::FieldTypeString:
                value.SetText(std::string(value.GetText()) + (Chance(0.5) ? "b" : "\x01"));
                value.Size =
                    static_cast<std::uint8_t>(std::min<std::size_t>(value.GetText().size() + 1, 255));
                break;
            case engine::FieldTypeFloat:
            case engine::FieldTypeDateTime:
                value.SetDouble(value.GetDouble() * 0.5 + 0.25);
                break;
            case engine::FieldTypeBcd:
                value.SetInt64(value.GetInt64() + 10);
                break;
            case engine::FieldTypeSmallInt:
            case engine::FieldTypeWord:
            case engine::FieldTypeBoolean:
                value.SetUInt16(static_cast<std::uint16_t>(value.GetUInt16() + 1));
                break;
            default:
                value.SetUInt32(value.GetUInt32() + 1);
                break;
        }
        return value;
    }

    std::uint16_t AnyField() { return static_cast<std::uint16_t>(K + random_() % FieldCount); }

    NodePtr Leaf() {
        using namespace exprtest;
        const int kind = static_cast<int>(random_() % 100);
        const auto op = [this](int first, int last) {
            return static_cast<engine::ExprOperator>(first +
                                                     static_cast<int>(random_() % (last - first + 1)));
        };
        if (kind < 35) {
            const std::uint16_t field = AnyField();
            return Binary(op(engine::opEqual, engine::opLessEqual), ColumnOf(field), ConstantFor(field));
        }
        if (kind < 42) return Unary(op(engine::opIsNull, engine::opIsNotNull), ColumnOf(AnyField()));
        if (kind < 54) {
            // The filter text's string compare: a leading part, letter case ignored or not.
            const std::uint16_t field = Chance(0.8) ? S : L1;
            NodePtr column = Chance(0.2) ? Function(engine::opUpper, ColumnOf(field)) : ColumnOf(field);
            NodePtr constant =
                Chance(0.2) ? Const(Text(Chance(0.5) ? "sm" : "smithsonian")) : ConstantFor(field);
            NodePtr node = Node(engine::ncCompare, op(engine::opEqual, engine::opNotEqual), std::move(column),
                                std::move(constant));
            node->PartialLen = Chance(0.5) ? 0 : static_cast<std::uint8_t>(1 + random_() % 14);
            node->CaseInsensitive = Chance(0.5) ? 1 : 0;
            return node;
        }
        if (kind < 59) {
            // A boolean alone, as the filter text writes it.
            return Binary(engine::opEqual, ColumnOf(B), Const(Bool(engine::TruthTrue)));
        }
        if (kind < 66) {
            ExprValue value = Pick(Pool(S));
            if (Chance(0.6)) value.SetText(Upper(value.GetText()));
            return Binary(op(engine::opEqual, engine::opLessEqual), Function(engine::opUpper, ColumnOf(S)),
                          Const(value));
        }
        if (kind < 78) {
            const std::uint16_t field = AnyField();
            std::vector<NodePtr> items;
            const int count = 1 + static_cast<int>(random_() % 3);
            for (int n = 0; n < count; ++n) items.push_back(ConstantFor(field));
            return WithItems(Predicate(Chance(0.5) ? engine::opIn : engine::opNotIn, ColumnOf(field)),
                             std::move(items));
        }
        if (kind < 90) {
            const std::uint16_t field = AnyField();
            return WithItems(
                Predicate(Chance(0.5) ? engine::opBetween : engine::opNotBetween, ColumnOf(field)),
                List(ConstantFor(field), ConstantFor(field)));
        }
        if (kind < 94) {
            return Predicate(Chance(0.5) ? engine::opLike : engine::opNotLike, ColumnOf(S),
                             Const(Text(Chance(0.5) ? "Sm%" : "%a%")));
        }
        if (kind < 97) {
            const std::uint16_t field = AnyField();
            return Unary(engine::opNegate, Binary(op(engine::opEqual, engine::opLessEqual), ColumnOf(field),
                                                  ConstantFor(field)));
        }
        // The constant on the left, as SQL may write it.
        const std::uint16_t field = AnyField();
        return Binary(op(engine::opEqual, engine::opLessEqual), ConstantFor(field), ColumnOf(field));
    }

    static std::string Upper(std::string_view text) {
        std::string upper(text);
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return upper;
    }

    std::uint32_t seed_;
    std::string name_;
    std::mt19937 random_;
    bool primary_ = true;
    std::string description_;
    std::string condition_;
    std::int32_t nextKey_ = -500;
    std::optional<std::pair<std::int32_t, std::int32_t>> range_;
    int levels_[3] = {0, 0, 0};
    TDataFile a_;
    TDataFile b_;
};

int FromEnvironment(const char* variable, int fallback) {
    const char* text = std::getenv(variable);
    if (text == nullptr || *text == 0) return fallback;
    return std::max(1, std::atoi(text));
}

class OptimiserDifferentialTest : public TableTest {};

TEST_F(OptimiserDifferentialTest, IndexedAndRecordByRecordGiveTheSameRecords) {
    const int tables = FromEnvironment(TablesVariable, DefaultTables);
    const std::uint32_t seed = static_cast<std::uint32_t>(FromEnvironment(SeedVariable, 27));
    fs::create_directories("diff");
    int levels[3] = {0, 0, 0};
    for (int t = 0; t < tables; ++t) {
        Differential run(seed + static_cast<std::uint32_t>(t), "diff/t" + std::to_string(t));
        run.Build();
        for (int c = 0; c < ConditionsPerTable && !HasFailure(); ++c) run.RunCase(c);
        for (int level = 0; level < 3; ++level) levels[level] += run.Level(level);
        if (HasFailure()) break;
    }
    EXPECT_GT(levels[0], 0) << "no condition was answered from the indexes alone";
    EXPECT_GT(levels[1], 0) << "no condition was answered partly from the indexes";
}

}  // namespace
