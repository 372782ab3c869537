#include "engine/values/KeyEncoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

template <class T, class Encoder>
Bytes Encoded(T value, Encoder encode, std::size_t size) {
    Bytes out(size);
    encode(value, out.data());
    return out;
}

// Encodings of values in ascending order must ascend in unsigned byte order; equal values encode alike.
template <class T, class Encoder>
void ExpectOrderKept(const std::vector<T>& ascending, Encoder encode, std::size_t size) {
    for (std::size_t i = 1; i < ascending.size(); ++i) {
        const Bytes lower = Encoded(ascending[i - 1], encode, size);
        const Bytes upper = Encoded(ascending[i], encode, size);
        if (ascending[i - 1] == ascending[i]) {
            EXPECT_EQ(lower, upper) << i;
        } else {
            EXPECT_LT(lower, upper) << ascending[i - 1] << " vs " << ascending[i];  // vector< is memcmp order
        }
    }
}

TEST(KeyEncoding, SignedEncodingsKeepNumericOrder) {
    ExpectOrderKept<std::int32_t>(
        {INT32_MIN, INT32_MIN + 1, -65536, -2, -1, 0, 1, 2, 255, 256, INT32_MAX - 1, INT32_MAX},
        engine::EncodeIntegerKey, engine::IntegerKeySize);
    ExpectOrderKept<std::int16_t>({INT16_MIN, -256, -1, 0, 1, 255, 256, INT16_MAX}, engine::EncodeSmallIntKey,
                                  engine::SmallIntKeySize);
    ExpectOrderKept<std::int64_t>(
        {INT64_MIN, INT64_MIN + 1, -(std::int64_t{1} << 32), -1, 0, 1, std::int64_t{1} << 32, INT64_MAX},
        engine::EncodeInt64Key, engine::Int64KeySize);
    ExpectOrderKept<std::uint16_t>({0, 1, 255, 256, 0x7FFF, 0x8000, 0xFFFF}, engine::EncodeWordKey,
                                   engine::WordKeySize);
}

TEST(KeyEncoding, FloatEncodingKeepsNumericOrder) {
    const double inf = std::numeric_limits<double>::infinity();
    const double max = std::numeric_limits<double>::max();
    const double denormal = std::numeric_limits<double>::denorm_min();
    ExpectOrderKept<double>({-inf, -max, -2.0, -1.0, -0.5, -denormal, -0.0, 0.0, -0.0, denormal,
                             std::numeric_limits<double>::min(), 0.5, 1.0, 2.0, max, inf},
                            engine::EncodeFloatKey, engine::FloatKeySize);
}

TEST(KeyEncoding, GoldenBytes) {
    EXPECT_EQ(Encoded(1, engine::EncodeIntegerKey, 4), Bytes({0x80, 0x00, 0x00, 0x01}));
    EXPECT_EQ(Encoded(-1, engine::EncodeIntegerKey, 4), Bytes({0x7F, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Encoded(INT32_MIN, engine::EncodeIntegerKey, 4), Bytes({0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Encoded(INT32_MAX, engine::EncodeIntegerKey, 4), Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Encoded(std::int16_t{-2}, engine::EncodeSmallIntKey, 2), Bytes({0x7F, 0xFE}));
    EXPECT_EQ(Encoded(std::uint16_t{0x1234}, engine::EncodeWordKey, 2), Bytes({0x12, 0x34}));
    EXPECT_EQ(Encoded(std::int64_t{1}, engine::EncodeInt64Key, 8), Bytes({0x80, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(Encoded(1.0, engine::EncodeFloatKey, 8), Bytes({0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Encoded(-1.0, engine::EncodeFloatKey, 8),
              Bytes({0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Encoded(0.0, engine::EncodeFloatKey, 8), Bytes({0x80, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Encoded(-0.0, engine::EncodeFloatKey, 8), Bytes({0x80, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(KeyEncoding, NegateIntegerHasNoOverflow) {
    EXPECT_EQ(engine::NegateInteger(5), -5);
    EXPECT_EQ(engine::NegateInteger(-5), 5);
    EXPECT_EQ(engine::NegateInteger(INT32_MIN), INT32_MIN);
}

TEST(KeyEncoding, CompareBytes) {
    const std::uint8_t a[] = {1, 2, 0x80};
    const std::uint8_t b[] = {1, 2, 0x7F};
    EXPECT_EQ(engine::CompareBytes(a, b, 3, 0), 1);  // unsigned: 0x80 above 0x7F
    EXPECT_EQ(engine::CompareBytes(b, a, 3, 0), -1);
    EXPECT_EQ(engine::CompareBytes(a, b, 3, 1), -1);
    EXPECT_EQ(engine::CompareBytes(a, b, 3, 2), 1);  // only exactly 1 reverses
    EXPECT_EQ(engine::CompareBytes(a, b, 2, 1), 0);
    EXPECT_EQ(engine::CompareBytes(a, b, 0, 0), 0);
}

TEST(KeyEncoding, ByteScansAndFills) {
    std::uint8_t buffer[] = {7, 0, 5, 0, 0, 0};
    EXPECT_EQ(engine::CountTrailingZeroBytes(&buffer[5], 6), 3u);
    EXPECT_EQ(engine::CountTrailingZeroBytes(&buffer[5], 2), 2u);
    EXPECT_EQ(engine::CountTrailingZeroBytes(&buffer[2], 3), 0u);
    EXPECT_EQ(engine::CountTrailingZeroBytes(&buffer[5], 0), 0u);

    const std::uint8_t other[] = {7, 0, 5, 1, 0, 0};
    EXPECT_EQ(engine::CommonPrefixLength(buffer, other, 6), 3u);
    EXPECT_EQ(engine::CommonPrefixLength(buffer, other, 2), 2u);
    EXPECT_EQ(engine::CommonPrefixLength(buffer, buffer, 6), 6u);

    engine::FillKeyHigh(buffer, 1, 3, 0xFF);
    engine::FillKeyLow(buffer, 4, 4, 0x11);  // empty interval
    EXPECT_EQ(Bytes(buffer, buffer + 6), Bytes({7, 0xFF, 0xFF, 0, 0, 0}));
    engine::InvertBytes(buffer, 3);
    EXPECT_EQ(Bytes(buffer, buffer + 6), Bytes({248, 0, 0, 0, 0, 0}));
    engine::ClearBytes(buffer, 1);
    EXPECT_EQ(Bytes(buffer, buffer + 6), Bytes(6, 0));
}

TEST(KeyEncoding, CharacterClasses) {
    const struct {
        unsigned char c;
        bool letter;
        bool digit;
    } cases[] = {{'A', true, false},  {'z', true, false},  {'0', false, true},  {'9', false, true},
                 {'_', false, false}, {'@', false, false}, {'[', false, false}, {128, false, false},
                 {129, true, false},  {254, true, false},  {255, false, false}, {0, false, false}};
    for (const auto& c : cases) {
        const char ch = static_cast<char>(c.c);
        EXPECT_EQ(engine::IsLetterChar(ch), c.letter) << int(c.c);
        EXPECT_EQ(engine::IsDigitChar(ch), c.digit) << int(c.c);
        EXPECT_EQ(engine::IsLetterOrDigitChar(ch), c.letter || c.digit) << int(c.c);
    }
}

}  // namespace
