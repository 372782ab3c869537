#include "sql/TARNISParams.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "db/Messages.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "tests/components/support/DataSetFixture.h"
#include "rtl/Format.h"
#include "sql/SqlMessages.h"

namespace {

using sql::TTARNISParam;
using sql::TTARNISParams;
using Bytes = std::vector<std::uint8_t>;

using componenttest::MessageOf;

Bytes NativeOf(const TTARNISParam& param) {
    Bytes bytes(param.GetDataSize());
    param.GetData(bytes);
    return bytes;
}

Bytes LittleEndian(std::uint64_t value, int width) {
    Bytes bytes;
    for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return bytes;
}

Bytes DoubleBytes(double value) {
    return LittleEndian(std::bit_cast<std::uint64_t>(value), 8);
}

const rtl::TDateTime kNoon2000 = rtl::EncodeDateTime(2000, 1, 1, 12, 0, 0, 0);

struct NativeCase {
    const char* what;
    std::function<void(TTARNISParam&)> set;
    db::TFieldType type;
    Bytes native;
};

// Every setter: its type, its native bytes, and the same value back from those bytes.
TEST(TARNISParam, EachSetterGivesItsTypeAndNativeFormAndReadsItBack) {
    const std::vector<NativeCase> cases = {
        {"string", [](auto& p) { p.SetAsString("ab"); }, db::ftString, {'a', 'b', 0}},
        {"empty string", [](auto& p) { p.SetAsString(""); }, db::ftString, {0}},
        {"smallint", [](auto& p) { p.SetAsSmallInt(-2); }, db::ftSmallint, {0xFE, 0xFF}},
        {"word", [](auto& p) { p.SetAsWord(65535); }, db::ftWord, {0xFF, 0xFF}},
        {"true", [](auto& p) { p.SetAsBoolean(true); }, db::ftBoolean, {1, 0}},
        {"false", [](auto& p) { p.SetAsBoolean(false); }, db::ftBoolean, {0, 0}},
        {"integer", [](auto& p) { p.SetAsInteger(0x01020304); }, db::ftInteger, {4, 3, 2, 1}},
        {"float", [](auto& p) { p.SetAsFloat(1.5); }, db::ftFloat, DoubleBytes(1.5)},
        {"currency", [](auto& p) { p.SetAsCurrency(-2.25); }, db::ftCurrency, DoubleBytes(-2.25)},
        // 12.34 at scale 4: the digits 123400, then the scale digit.
        {"bcd", [](auto& p) { p.SetAsBCD(rtl::Currency::FromRaw(123400)); }, db::ftBCD, LittleEndian(1234004, 8)},
        {"date", [](auto& p) { p.SetAsDate(rtl::EncodeDate(2000, 1, 1)); }, db::ftDate, LittleEndian(730120, 4)},
        {"time", [](auto& p) { p.SetAsTime(rtl::EncodeTime(12, 0, 0, 0)); }, db::ftTime,
         LittleEndian(43200000, 4)},
        {"date-time", [](auto& p) { p.SetAsDateTime(kNoon2000); }, db::ftDateTime,
         DoubleBytes(730120.0 * 86400000.0 + 43200000.0)},
    };
    for (const NativeCase& c : cases) {
        SCOPED_TRACE(c.what);
        TTARNISParam param;
        param.SetName("p");
        c.set(param);
        EXPECT_EQ(param.DataType(), c.type);
        EXPECT_TRUE(param.Bound());
        EXPECT_FALSE(param.IsNull());
        EXPECT_EQ(param.GetDataSize(), c.native.size());
        EXPECT_EQ(NativeOf(param), c.native);

        TTARNISParam back;
        back.SetDataType(c.type);
        back.SetData(c.native);
        EXPECT_EQ(back.DataType(), c.type);
        EXPECT_EQ(NativeOf(back), c.native);
        EXPECT_TRUE(back.Bound());
    }
}

TEST(TARNISParam, ReadBackValuesKeepTheirMeaning) {
    TTARNISParam time;
    time.SetDataType(db::ftTime);
    time.SetData(LittleEndian(43200000, 4));
    // A time comes back on 30 December 1899.
    EXPECT_DOUBLE_EQ(time.AsDateTime(), 0.5);
    TTARNISParam flag;
    flag.SetDataType(db::ftBoolean);
    flag.SetData(Bytes{2, 0});
    EXPECT_TRUE(flag.AsBoolean());
    TTARNISParam bcd;
    bcd.SetDataType(db::ftBCD);
    bcd.SetData(LittleEndian(1234004, 8));
    EXPECT_EQ(bcd.AsBCD().Raw(), 123400);
    TTARNISParam empty;
    EXPECT_EQ(empty.AsDateTime(), 0);
}

TEST(TARNISParam, TypesWithoutANativeFormRaiseTheirTexts) {
    TTARNISParam unknown;
    unknown.SetName("u");
    EXPECT_EQ(MessageOf([&] { unknown.GetDataSize(); }), "Field 'u' is of unknown type");
    Bytes room(8);
    EXPECT_EQ(MessageOf([&] { unknown.GetData(room); }), "Field 'u' is of unknown type");

    TTARNISParam memo;
    memo.SetName("m");
    memo.SetDataType(db::ftMemo);
    EXPECT_EQ(MessageOf([&] { memo.GetData(room); }), "Field 'm' is of an unsupported type");
    EXPECT_EQ(MessageOf([&] { memo.SetData(room); }), "Field 'm' is of an unsupported type");

    TTARNISParam blob;
    blob.SetName("b");
    blob.SetDataType(db::ftBlob);
    EXPECT_EQ(MessageOf([&] { blob.GetDataSize(); }), "Field 'b' is of an unsupported type");

    TTARNISParam autoInc;
    autoInc.SetName("a");
    autoInc.SetDataType(db::ftAutoInc);
    EXPECT_EQ(autoInc.GetDataSize(), 4u);
    EXPECT_EQ(MessageOf([&] { autoInc.SetData(Bytes{1, 0, 0, 0}); }), "Field 'a' is of an unsupported type");
}

TEST(TARNISParam, AssignCopiesAValueOrClearsForANullOne) {
    TTARNISParam source;
    source.SetName("s");
    source.SetParamType(sql::ptInput);
    source.SetAsInteger(7);
    TTARNISParam target;
    target.Assign(source);
    EXPECT_TRUE(target.IsEqual(source));

    TTARNISParam null;
    null.SetName("n");
    null.SetDataType(db::ftString);
    null.Clear();
    target.SetParamType(sql::ptOutput);
    target.Assign(null);
    EXPECT_TRUE(target.IsNull());
    EXPECT_TRUE(target.Value().IsEmpty());
    EXPECT_EQ(target.DataType(), db::ftString);
    EXPECT_EQ(target.Name(), "n");
    EXPECT_EQ(target.ParamType(), sql::ptOutput);  // kept: it was not unknown
}

// ---- Lists ----

TEST(TARNISParams, ItemsGivesTheFirstParameterOfEachName) {
    TTARNISParams params;
    TTARNISParam& first = params.CreateParam(db::ftUnknown, "a", sql::ptUnknown);
    params.CreateParam(db::ftUnknown, "b", sql::ptUnknown);
    TTARNISParam& second = params.CreateParam(db::ftUnknown, "a", sql::ptUnknown);
    first.SetAsInteger(5);
    EXPECT_EQ(params.Count(), 3);
    EXPECT_EQ(&params.Items(2), &first);
    EXPECT_EQ(&params.Param(2), &second);
    EXPECT_EQ(&params.ParamByName("A"), &first);
    EXPECT_EQ(MessageOf([&] { params.ParamByName("c"); }), "Parameter 'c' not found");
}

TEST(TARNISParams, AssignValuesMatchesNamesExactly) {
    TTARNISParams params;
    params.CreateParam(db::ftUnknown, "Name", sql::ptUnknown).SetAsString("kept");
    params.CreateParam(db::ftUnknown, "id", sql::ptUnknown);
    TTARNISParams values;
    values.CreateParam(db::ftUnknown, "NAME", sql::ptUnknown).SetAsString("other case");
    values.CreateParam(db::ftUnknown, "id", sql::ptUnknown).SetAsInteger(3);
    params.AssignValues(values);
    EXPECT_EQ(params.Param(0).AsString(), "kept");
    EXPECT_EQ(params.Param(1).AsInteger(), 3);
    EXPECT_TRUE(params.Param(1).Bound());
}

TEST(TARNISParams, AParameterLeavesItsListWhenFreedAndMovesBetweenLists) {
    TTARNISParams a;
    TTARNISParams b;
    TTARNISParam& p = a.CreateParam(db::ftUnknown, "x", sql::ptUnknown);
    b.AddParam(&p);
    EXPECT_EQ(a.Count(), 0);
    EXPECT_EQ(p.ParamList(), &b);
    delete &p;
    EXPECT_EQ(b.Count(), 0);
}

// ---- The Data stream ----

// One parameter of each type with a native form, a null one, an unbound one and one without a type.
void FillEveryKind(TTARNISParams& params) {
    params.CreateParam(db::ftUnknown, "s", sql::ptInput).SetAsString("text");
    params.CreateParam(db::ftUnknown, "si", sql::ptUnknown).SetAsSmallInt(-3);
    params.CreateParam(db::ftUnknown, "w", sql::ptUnknown).SetAsWord(4);
    params.CreateParam(db::ftUnknown, "b", sql::ptUnknown).SetAsBoolean(true);
    params.CreateParam(db::ftUnknown, "i", sql::ptOutput).SetAsInteger(-5);
    params.CreateParam(db::ftUnknown, "f", sql::ptUnknown).SetAsFloat(0.125);
    params.CreateParam(db::ftUnknown, "c", sql::ptUnknown).SetAsCurrency(9.5);
    params.CreateParam(db::ftUnknown, "bcd", sql::ptUnknown).SetAsBCD(rtl::Currency::FromRaw(-10001));
    params.CreateParam(db::ftUnknown, "d", sql::ptUnknown).SetAsDate(rtl::EncodeDate(1999, 12, 31));
    params.CreateParam(db::ftUnknown, "t", sql::ptUnknown).SetAsTime(rtl::EncodeTime(1, 2, 3, 4));
    params.CreateParam(db::ftUnknown, "dt", sql::ptResult).SetAsDateTime(kNoon2000);
    TTARNISParam& null = params.CreateParam(db::ftInteger, "null", sql::ptUnknown);
    null.Clear();
    null.SetBound(true);
    TTARNISParam& unbound = params.CreateParam(db::ftUnknown, "unbound", sql::ptUnknown);
    unbound.SetAsString("v");
    unbound.SetBound(false);
    params.CreateParam(db::ftUnknown, "untyped", sql::ptUnknown);
}

Bytes Saved(const TTARNISParams& params) {
    rtl::TMemoryStream stream;
    params.WriteBinaryData(stream);
    const auto* data = reinterpret_cast<const std::uint8_t*>(stream.Memory());
    return Bytes(data, data + stream.Bytes().size());
}

void Load(TTARNISParams& params, const Bytes& bytes) {
    rtl::TMemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    stream.SetPosition(0);
    params.ReadBinaryData(stream);
}

TEST(TARNISParamsStream, EveryKindRoundTrips) {
    TTARNISParams params;
    FillEveryKind(params);
    const Bytes saved = Saved(params);
    EXPECT_EQ(saved[0], 1);  // version 1
    TTARNISParams loaded;
    loaded.CreateParam(db::ftUnknown, "replaced", sql::ptUnknown);
    Load(loaded, saved);
    ASSERT_EQ(loaded.Count(), params.Count());
    for (int i = 0; i < params.Count(); ++i) {
        SCOPED_TRACE(params.Param(i).Name());
        EXPECT_EQ(loaded.Param(i).Value().Type(), params.Param(i).Value().Type());
        EXPECT_TRUE(loaded.Param(i).IsEqual(params.Param(i)));
    }
    EXPECT_TRUE(loaded.IsEqual(params));
}

TEST(TARNISParamsStream, TheLayoutOfOneParameterAndASecondOfTheSameName) {
    TTARNISParams params;
    params.CreateParam(db::ftUnknown, "ab", sql::ptInput).SetAsSmallInt(7);
    params.CreateParam(db::ftUnknown, "ab", sql::ptUnknown).SetAsSmallInt(9);
    // Version 1, count 2, then each: name, param type, data type, size 2, value, null, bound; the second
    // written with the first one's values.
    const Bytes one = {2, 'a', 'b', sql::ptInput, db::ftSmallint, 2, 0, 7, 0, 0, 1};
    Bytes expected = {1, 0, 2, 0};
    expected.insert(expected.end(), one.begin(), one.end());
    expected.insert(expected.end(), one.begin(), one.end());
    EXPECT_EQ(Saved(params), expected);
}

TEST(TARNISParamsStream, VersionsZeroAndTwoAreRead) {
    TTARNISParams params;
    Load(params, {0, 0, 1, 0, 1, 'x', 0, db::ftInteger, 4, 0, 3, 0, 0, 0, 0, 1});
    ASSERT_EQ(params.Count(), 1);
    EXPECT_EQ(params.Param(0).AsInteger(), 3);
    // Version 2: a u32 count, name length and value size.
    Load(params, {2, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'y', 0, db::ftString, 3, 0, 0, 0, 'h', 'i', 0, 0, 0});
    ASSERT_EQ(params.Count(), 1);
    EXPECT_EQ(params.Param(0).Name(), "y");
    EXPECT_EQ(params.Param(0).AsString(), "hi");
    EXPECT_FALSE(params.Param(0).Bound());
}

// An autoincrement value (taken from such a field) is written as its integer and read back as one.
TEST(TARNISParamsStream, AnAutoIncrementValueRoundTrips) {
    const Bytes saved = {1, 0, 1, 0, 2, 'a', 'i', 0, db::ftAutoInc, 4, 0, 12, 0, 0, 0, 0, 1};
    TTARNISParams params;
    Load(params, saved);
    ASSERT_EQ(params.Count(), 1);
    EXPECT_EQ(params.Param(0).DataType(), db::ftAutoInc);
    EXPECT_EQ(params.Param(0).AsInteger(), 12);
    EXPECT_EQ(Saved(params), saved);
}

TEST(TARNISParamsStream, WhatTheWriterCannotHaveWrittenIsRejectedAndLeavesTheListEmpty) {
    const Bytes good = {1, 0, 1, 0, 1, 'x', 0, db::ftInteger, 4, 0, 3, 0, 0, 0, 0, 1};
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> cases = {
        {"version 3", {3, 0, 0, 0}},
        {"bad data type", {1, 0, 1, 0, 1, 'x', 0, db::ftGuid + 1, 0, 0}},
        {"bad param type", {1, 0, 1, 0, 1, 'x', sql::ptResult + 1, db::ftUnknown, 0, 0}},
        {"integer of 2 bytes", {1, 0, 1, 0, 1, 'x', 0, db::ftInteger, 2, 0, 3, 0, 0, 1}},
        {"memo", {1, 0, 1, 0, 1, 'x', 0, db::ftMemo, 2, 0, 'a', 0, 0, 1}},
    };
    // A value size of 2049 with the bytes present.
    Bytes large = {1, 0, 1, 0, 1, 'x', 0, db::ftString, 0x01, 0x08};
    large.insert(large.end(), 2049, 'a');
    large.insert(large.end(), {0, 1});
    cases.push_back({"size 2049", large});
    // Cut at every byte.
    for (std::size_t length = 0; length < good.size(); ++length)
        cases.push_back({"cut", Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length))});
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.what) + " of " + std::to_string(c.bytes.size()) + " bytes");
        TTARNISParams params;
        params.CreateParam(db::ftUnknown, "old", sql::ptUnknown);
        EXPECT_EQ(MessageOf([&] { Load(params, c.bytes); }), sql::kUnableToLoadParams);
        EXPECT_EQ(params.Count(), 0);
    }
    TTARNISParams params;
    Load(params, good);
    EXPECT_EQ(params.Count(), 1);
}

TEST(TARNISParamsStream, AValueOver2048BytesIsNotSaved) {
    TTARNISParams params;
    params.CreateParam(db::ftUnknown, "long", sql::ptUnknown).SetAsString(std::string(3000, 'a'));
    rtl::TMemoryStream stream;
    EXPECT_EQ(MessageOf([&] { params.WriteBinaryData(stream); }),
              "Parameter 'long', cannot save data larger than 2048 bytes");
    EXPECT_EQ(stream.Bytes().size(), 0u);
    params.Param(0).SetAsString(std::string(2047, 'a'));
    params.WriteBinaryData(stream);
    EXPECT_GT(stream.Bytes().size(), 2048u);
}

}  // namespace
