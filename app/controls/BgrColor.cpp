#include "app/controls/BgrColor.h"

#include <algorithm>

namespace controls {

namespace {

BgrColor ClampChannel(int value) {
    return static_cast<BgrColor>(std::clamp(value, 0, 255));
}

}  // namespace

BgrColor MakeBgr(int red, int green, int blue) {
    return ClampChannel(red) | (ClampChannel(green) << 8) | (ClampChannel(blue) << 16);
}

QColor ColorFromBgr(BgrColor color) {
    return QColor(BgrRed(color), BgrGreen(color), BgrBlue(color));
}

BgrColor BgrFromColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return MakeBgr(rgb.red(), rgb.green(), rgb.blue());
}

}  // namespace controls
