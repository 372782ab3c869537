// The stored colour value 0x00BBGGRR (red in the low byte) and its conversion to and from QColor.
#pragma once

#include <QColor>

#include <cstdint>

namespace controls {

// A colour as the program's controls and settings keep it: 0x00BBGGRR. The high byte is not part of the
// colour; values that carry one (the platform's system colour codes) are used by their low three bytes.
using BgrColor = std::uint32_t;

constexpr int BgrRed(BgrColor color) {
    return static_cast<int>(color & 0xFF);
}
constexpr int BgrGreen(BgrColor color) {
    return static_cast<int>((color >> 8) & 0xFF);
}
constexpr int BgrBlue(BgrColor color) {
    return static_cast<int>((color >> 16) & 0xFF);
}

// Channels outside 0..255 are clamped, so a slip never spills into the neighbouring channel.
BgrColor MakeBgr(int red, int green, int blue);

// An opaque QColor of the value's low three bytes.
QColor ColorFromBgr(BgrColor color);

// The colour's red, green and blue bytes as 0x00BBGGRR; alpha is dropped.
BgrColor BgrFromColor(const QColor& color);

}  // namespace controls
