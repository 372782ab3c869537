#include "engine/expr/FilterBlob.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/base/EngineError.h"
#include "engine/base/EngineErrorCodes.h"
#include "engine/base/FileBytes.h"
#include "engine/values/FieldTypes.h"
#include "tests/engine/support/FilterBlobBuilder.h"
#include "tests/engine/support/TableFixture.h"

namespace {

using namespace enginetest;
using engine::TFilterBlobWriter;
using Bytes = std::vector<std::uint8_t>;
using filterblobtest::Text;
using filterblobtest::WriteComparison;

// A table's fields as a blob's names find them: TESTTYPE (a string of 12, number 3), NUM (an integer,
// number 5); any other name is 9985. Counts the look-ups.
class Fields {
public:
    Fields() {
        testType_ = FieldDef(3, "TESTTYPE", engine::FieldTypeString, 12);
        testType_.StoredSize = 13;
        num_ = FieldDef(5, "NUM", engine::FieldTypeInteger);
        num_.StoredSize = 4;
    }
    engine::TFilterFieldLookup Lookup() {
        return [this](std::string_view name) -> const engine::TFieldDesc& {
            ++lookups;
            if (name == "TESTTYPE") return testType_;
            if (name == "NUM") return num_;
            engine::RaiseEngineError(engine::ErrInvalidField, "t.DAT", name);
        };
    }
    int lookups = 0;

private:
    engine::TFieldDesc testType_;
    engine::TFieldDesc num_;
};

TEST(FilterBlobTest, TheTestTypeBlobIsWrittenAndReadAsTheComparison) {
    TFilterBlobWriter w;
    EXPECT_EQ(WriteComparison(w, engine::ncBinary, "TESTTYPE", engine::FieldTypeString, Text("alpha")), 0);
    const Bytes blob = w.Blob();
    // Header 0, 63, 0xFFFF, 10, 48; the comparison with its operands at 12 and 24; the field node (field
    // number 99, name at 0); the constant node (type 1, size 6, value at 9); the two literals.
    const Bytes expected = {0,   0,   63,  0,   0xFF, 0xFF, 10,  0,   48, 0,                      //
                            2,   0,   0,   0,   3,    0,    0,   0,   12, 0,   24,  0,            //
                            4,   0,   0,   0,   13,   0,    0,   0,   99, 0,   0,   0,            //
                            5,   0,   0,   0,   14,   0,    0,   0,   1,  0,   6,   0,   9,   0,  //
                            'T', 'E', 'S', 'T', 'T',  'Y',  'P', 'E', 0,  'a', 'l', 'p', 'h', 'a', 0};
    EXPECT_EQ(blob, expected);

    Fields fields;
    const std::unique_ptr<engine::TExprNode> tree = engine::BuildExpressionTree(blob, fields.Lookup());
    ASSERT_TRUE(tree);
    EXPECT_EQ(tree->NodeClass, engine::ncBinary);
    EXPECT_EQ(tree->Operator, engine::opEqual);
    ASSERT_TRUE(tree->Left && tree->Right);
    const engine::TExprNode& column = *tree->Left;
    EXPECT_EQ(column.NodeClass, engine::ncField);
    EXPECT_EQ(column.Operator, engine::opNone);
    EXPECT_EQ(column.ColumnName, "TESTTYPE");
    EXPECT_EQ(column.FieldNo, 3) << "the number comes from the table, not the blob";
    EXPECT_EQ(column.Value.FieldType, engine::FieldTypeString);
    EXPECT_EQ(column.Value.Size, 13);
    const engine::TExprNode& constant = *tree->Right;
    EXPECT_EQ(constant.NodeClass, engine::ncConstant);
    EXPECT_EQ(constant.Operator, engine::opNone);
    EXPECT_EQ(constant.Value.FieldType, engine::FieldTypeString);
    EXPECT_EQ(constant.Value.Size, 6);
    EXPECT_EQ(constant.Value.IsNull, 0);
    EXPECT_EQ(constant.Value.GetText(), "alpha");
}

TEST(FilterBlobTest, HeaderAndNodesRoundTrip) {
    engine::TFilterBlobHeader header{63, 10, 48};
    std::array<std::uint8_t, engine::FilterBlobHeaderSize> bytes{};
    engine::EncodeFilterBlobHeader(header, bytes);
    EXPECT_EQ(engine::LoadU16(bytes.data() + 4), 0xFFFF);
    const engine::TFilterBlobHeader back = engine::DecodeFilterBlobHeader(bytes);
    EXPECT_EQ(back.TotalSize, 63);
    EXPECT_EQ(back.LiteralStart, 48);
    engine::TFilterBlobNode node{engine::ncCompare, engine::opNotEqual, {1, 2, 16, 28}};
    Bytes image(engine::FilterBlobNodeSize(engine::ncCompare));
    EXPECT_EQ(image.size(), 16u);
    engine::EncodeFilterBlobNode(node, image);
    engine::TFilterBlobNode read;
    ASSERT_TRUE(engine::DecodeFilterBlobNode(image, read));
    EXPECT_EQ(read.Operands, node.Operands);
    EXPECT_FALSE(engine::DecodeFilterBlobNode(std::span<const std::uint8_t>(image).first(15), read));
}

TEST(FilterBlobTest, StringComparisonsAndConstants) {
    Fields fields;
    {
        // A string compare, case-insensitive over 2 characters, with the empty string: NULL.
        TFilterBlobWriter w;
        const std::uint16_t compare = WriteComparison(w, engine::ncCompare, "TESTTYPE", 1, Text(""));
        w.SetNodeOperand(compare, 0, 1);
        w.SetNodeOperand(compare, 1, 2);
        const auto tree = engine::BuildExpressionTree(w.Blob(), fields.Lookup());
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->NodeClass, engine::ncCompare);
        EXPECT_EQ(tree->CaseInsensitive, 1);
        EXPECT_EQ(tree->PartialLen, 2);
        EXPECT_EQ(tree->Right->Value.IsNull, 1);
    }
    {
        // NUM = 40000 as an integer.
        TFilterBlobWriter w;
        Bytes value(4);
        engine::StoreU32(value.data(), 40000);
        WriteComparison(w, engine::ncBinary, "num", engine::FieldTypeInteger, value);
        engine::TFilterFieldLookup upper = [&](std::string_view) -> const engine::TFieldDesc& {
            return fields.Lookup()("NUM");
        };
        const auto tree = engine::BuildExpressionTree(w.Blob(), upper);
        ASSERT_TRUE(tree);
        EXPECT_EQ(tree->Left->FieldNo, 5);
        EXPECT_EQ(tree->Right->Value.GetInt32(), 40000);
    }
}

TEST(FilterBlobTest, AnUnknownFieldRaises9985) {
    TFilterBlobWriter w;
    WriteComparison(w, engine::ncBinary, "MISSING", engine::FieldTypeString, Text("x"));
    Fields fields;
    EXPECT_EQ(EngineCode([&] { engine::BuildExpressionTree(w.Blob(), fields.Lookup()); }),
              engine::ErrInvalidField);
}

// The offsets of the base blob: TESTTYPE = 'a' AND NUM = 7.
struct Base {
    std::uint16_t root, left, right;
};

Bytes BaseBlob(const std::function<void(TFilterBlobWriter&, const Base&)>& damage = {}) {
    TFilterBlobWriter w;
    Base base{};
    base.root = w.AppendNode(engine::ncBinary, engine::opAnd);
    base.left = WriteComparison(w, engine::ncBinary, "TESTTYPE", engine::FieldTypeString, Text("a"));
    Bytes seven(4);
    engine::StoreU32(seven.data(), 7);
    base.right = WriteComparison(w, engine::ncBinary, "NUM", engine::FieldTypeInteger, seven);
    w.SetNodeOperand(base.root, 0, base.left);
    w.SetNodeOperand(base.root, 1, base.right);
    if (damage) damage(w, base);
    return w.Blob();
}

// NOT applied count times over TESTTYPE = 'a'.
Bytes NotChain(int count) {
    TFilterBlobWriter w;
    std::uint16_t previous = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint16_t node = w.AppendNode(engine::ncUnary, engine::opNot);
        if (i > 0) w.SetNodeOperand(previous, 0, node);
        previous = node;
    }
    w.SetNodeOperand(previous, 0, WriteComparison(w, engine::ncBinary, "TESTTYPE", 1, Text("a")));
    return w.Blob();
}

void Put16(Bytes& blob, std::size_t at, std::uint16_t value) {
    engine::StoreU16(blob.data() + at, value);
}

TEST(FilterBlobTest, DamagedBlobsBuildNothing) {
    // Node offsets in the base blob: root 0, left 12 (field 24, constant 36), right 50 (field 62, constant
    // 74); the literal area starts at 10 + 88.
    using W = TFilterBlobWriter;
    const std::size_t nodes = 10;
    const struct {
        const char* what;
        std::function<Bytes()> blob;
    } cases[] = {
        {"an operand past the end",
         [] { return BaseBlob([](W& w, const Base& b) { w.SetNodeOperand(b.root, 1, 400); }); }},
        {"a node cut by the end of the node area",
         [] { return BaseBlob([](W& w, const Base& b) { w.SetNodeOperand(b.right, 1, 86); }); }},
        {"an operand on itself",
         [] { return BaseBlob([](W& w, const Base& b) { w.SetNodeOperand(b.left, 0, b.left); }); }},
        {"a backward operand",
         [] { return BaseBlob([](W& w, const Base& b) { w.SetNodeOperand(b.right, 0, 24); }); }},
        {"a shared node",
         [] { return BaseBlob([](W& w, const Base& b) { w.SetNodeOperand(b.root, 1, b.left); }); }},
        {"a missing operand",
         [] { return BaseBlob([](W& w, const Base& b) { w.SetNodeOperand(b.left, 1, 0); }); }},
        {"a comparison without its constant",
         [] { return BaseBlob([](W& w, const Base& b) { w.SetNodeOperand(b.right, 1, 0); }); }},
        {"a name past the literal area",
         [] { return BaseBlob([](W& w, const Base&) { w.SetNodeOperand(24, 1, 300); }); }},
        {"a constant past the literal area",
         [] { return BaseBlob([](W& w, const Base&) { w.SetNodeOperand(74, 2, 16); }); }},
        {"a wrong constant size",
         [] { return BaseBlob([](W& w, const Base&) { w.SetNodeOperand(74, 1, 2); }); }},
        {"an unknown constant type",
         [] { return BaseBlob([](W& w, const Base&) { w.SetNodeOperand(74, 0, 3); }); }},
        {"a string constant without its zero",
         [] { return BaseBlob([](W& w, const Base&) { w.SetNodeOperand(36, 1, 1 + 1 + 1); }); }},
        {"an unterminated name",
         [] {
             TFilterBlobWriter w;
             const std::uint16_t compare = w.AppendNode(engine::ncUnary, engine::opIsNull);
             const std::uint16_t field = w.AppendNode(engine::ncField, engine::opField);
             w.SetNodeOperand(compare, 0, field);
             w.SetNodeOperand(field, 1, w.AppendLiteral(Text("TESTTYPE", false)));
             return w.Blob();
         }},
        {"a name of 256 characters",
         [] {
             TFilterBlobWriter w;
             const std::uint16_t compare = w.AppendNode(engine::ncUnary, engine::opIsNull);
             const std::uint16_t field = w.AppendNode(engine::ncField, engine::opField);
             w.SetNodeOperand(compare, 0, field);
             w.SetNodeOperand(field, 1, w.AppendLiteral(Text(std::string(256, 'N'))));
             return w.Blob();
         }},
        {"an unknown class",
         [&] {
             Bytes blob = BaseBlob();
             engine::StoreU32(blob.data() + nodes + 50, 6);
             return blob;
         }},
        {"an unknown operator",
         [&] {
             Bytes blob = BaseBlob();
             engine::StoreU32(blob.data() + nodes + 12 + 4, 12);
             return blob;
         }},
        {"an operator of another class",
         [&] {
             Bytes blob = BaseBlob();
             engine::StoreU32(blob.data() + nodes + 4, engine::opNot);
             return blob;
         }},
        {"a string compare over a number",
         [] {
             TFilterBlobWriter w;
             WriteComparison(w, engine::ncCompare, "NUM", engine::FieldTypeInteger, Bytes(4));
             return w.Blob();
         }},
        {"a string compare with a partial length above 255",
         [] {
             TFilterBlobWriter w;
             const std::uint16_t compare = WriteComparison(w, engine::ncCompare, "TESTTYPE", 1, Text("a"));
             w.SetNodeOperand(compare, 1, 256);
             return w.Blob();
         }},
        {"a depth over the limit", [] { return NotChain(engine::MaxExprDepth - 1); }},
        {"65,536 bytes",
         [] {
             Bytes blob = BaseBlob();
             blob.resize(65536, 'x');
             return blob;
         }},
        {"9 bytes", [] { return Bytes(9, 0); }},
        {"a node area before the header",
         [&] {
             Bytes blob = BaseBlob();
             Put16(blob, 6, 9);
             return blob;
         }},
        {"a literal area before the node area",
         [&] {
             Bytes blob = BaseBlob();
             Put16(blob, 8, 9);
             return blob;
         }},
        {"a literal area past the end",
         [&] {
             Bytes blob = BaseBlob();
             Put16(blob, 8, static_cast<std::uint16_t>(blob.size() + 1));
             return blob;
         }},
        {"no nodes",
         [&] {
             Bytes blob = BaseBlob();
             Put16(blob, 8, 10);
             return blob;
         }},
    };
    for (const auto& c : cases) {
        Fields fields;
        const Bytes blob = c.blob();
        EXPECT_EQ(engine::BuildExpressionTree(blob, fields.Lookup()), nullptr) << c.what;
        EXPECT_EQ(fields.lookups, 0) << c.what << ": nothing is built from a damaged blob";
    }
}

TEST(FilterBlobTest, TheLimitsThemselvesAreAccepted) {
    Fields fields;
    EXPECT_TRUE(engine::BuildExpressionTree(NotChain(engine::MaxExprDepth - 2), fields.Lookup()));
    Bytes blob = BaseBlob();
    blob.resize(engine::MaxFilterBlobSize, 'x');
    EXPECT_TRUE(engine::BuildExpressionTree(blob, fields.Lookup()));
    TFilterBlobWriter w;
    EXPECT_EQ(EngineCode([&] { w.AppendLiteral(Bytes(engine::MaxFilterBlobSize)); }),
              engine::ErrInvalidFilterExpression);
}

}  // namespace
