// Folding values into aggregate states, and the stored value of a state.
#include "sql/Aggregate.h"

#include <cstring>
#include <limits>

#include "engine/values/FieldTypes.h"
#include "engine/values/ScaledNumber.h"

namespace sql {

namespace {

bool IsFloatType(std::uint8_t type) noexcept {
    return type == engine::FieldTypeFloat || type == engine::FieldTypeDateTime;
}

// 10^n for a scale difference (at most 9 either way, ScaledNumber.h's MaxScale).
__int128 PowerOfTen(int n) noexcept {
    __int128 power = 1;
    for (int i = 0; i < n; ++i) power *= 10;
    return power;
}

// A BCD value's digits at the wanted scale: the stored form carries its own scale in its last digit; extra
// decimals are rounded half away from zero.
__int128 BcdDigits(std::int64_t stored, int scale) noexcept {
    const bool negative = stored < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(stored) : static_cast<std::uint64_t>(stored);
    __int128 digits = magnitude / 10;
    const int own = static_cast<int>(magnitude % 10);
    if (own < scale) digits *= PowerOfTen(scale - own);
    if (own > scale) {
        const __int128 divisor = PowerOfTen(own - scale);
        digits = (digits + divisor / 2) / divisor;
    }
    return negative ? -digits : digits;
}

// The value as an exact integer: integers, dates and times by their own type, BCD as digits at the scale.
__int128 ExactOf(const engine::ExprValue& value, int scale) noexcept {
    switch (value.FieldType) {
        case engine::FieldTypeSmallInt:
            return value.GetInt16();
        case engine::FieldTypeWord:
            return value.GetUInt16();
        case engine::FieldTypeLongWord:
            return value.GetUInt32();
        case engine::FieldTypeBcd:
            return BcdDigits(value.GetInt64(), scale);
        case engine::FieldTypeFloat:
        case engine::FieldTypeDateTime:
            return static_cast<__int128>(value.GetDouble());
        default:
            return value.GetInt32();
    }
}

double FloatOf(const engine::ExprValue& value) noexcept {
    switch (value.FieldType) {
        case engine::FieldTypeFloat:
        case engine::FieldTypeDateTime:
            return value.GetDouble();
        case engine::FieldTypeBcd:
            return engine::ScaledIntToFloat(value.GetInt64());
        default:
            return static_cast<double>(ExactOf(value, 0));
    }
}

template <typename T>
bool StoreInteger(__int128 value, std::array<std::uint8_t, 8>& bytes) {
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) return false;
    const T narrow = static_cast<T>(value);
    std::memcpy(bytes.data(), &narrow, sizeof narrow);
    return true;
}

// BCD digits in the stored form: sign(v) x (|digits| x 10 + scale), 0 for zero.
bool StoreBcd(__int128 digits, int scale, std::array<std::uint8_t, 8>& bytes) {
    const __int128 magnitude = digits < 0 ? -digits : digits;
    if (magnitude > (std::numeric_limits<std::int64_t>::max() - scale) / 10) return false;
    const __int128 stored = digits == 0 ? 0 : magnitude * 10 + scale;
    const auto value = static_cast<std::int64_t>(digits < 0 ? -stored : stored);
    std::memcpy(bytes.data(), &value, sizeof value);
    return true;
}

}  // namespace

void AccumulateAggregate(const AggregateColumn& column, AggregateState& state, const engine::ExprValue& value) {
    if (column.Kind == AggregateKind::Count) {
        if (column.CountAll || value.IsNull == 0) ++state.Count;
        return;
    }
    if (value.IsNull != 0) return;
    const bool first = !state.Seen;
    state.Seen = true;
    if (column.Kind == AggregateKind::Avg) {
        state.Float += FloatOf(value);
        ++state.Count;
        return;
    }
    if (IsFloatType(column.FieldType)) {
        const double x = FloatOf(value);
        if (column.Kind == AggregateKind::Sum) state.Float += x;
        if (column.Kind == AggregateKind::Min && (first || x < state.Float)) state.Float = x;
        if (column.Kind == AggregateKind::Max && (first || x > state.Float)) state.Float = x;
        return;
    }
    const __int128 x = ExactOf(value, column.Scale);
    if (column.Kind == AggregateKind::Sum) state.Exact += x;
    if (column.Kind == AggregateKind::Min && (first || x < state.Exact)) state.Exact = x;
    if (column.Kind == AggregateKind::Max && (first || x > state.Exact)) state.Exact = x;
}

bool AggregateResult(const AggregateColumn& column, const AggregateState& state,
                     std::array<std::uint8_t, 8>& bytes) {
    bytes.fill(0);
    if (column.Kind == AggregateKind::Count) return StoreInteger<std::int32_t>(state.Count, bytes);
    if (column.Kind == AggregateKind::Avg || IsFloatType(column.FieldType)) {
        std::memcpy(bytes.data(), &state.Float, sizeof state.Float);
        return true;
    }
    switch (column.FieldType) {
        case engine::FieldTypeSmallInt:
            return StoreInteger<std::int16_t>(state.Exact, bytes);
        case engine::FieldTypeWord:
            return StoreInteger<std::uint16_t>(state.Exact, bytes);
        case engine::FieldTypeLongWord:
            return StoreInteger<std::uint32_t>(state.Exact, bytes);
        case engine::FieldTypeBcd:
            return StoreBcd(state.Exact, column.Scale, bytes);
        default:
            return StoreInteger<std::int32_t>(state.Exact, bytes);
    }
}

}  // namespace sql
