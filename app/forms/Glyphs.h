// Glyphs: the program's own pictures, kept in its resources.
#pragma once

#include <QPixmap>

namespace app {

// The names of the pictures in the resources.
inline constexpr char kExitGlyph[] = ":/glyphs/exit.png";
inline constexpr char kResultsGlyph[] = ":/glyphs/results.png";
inline constexpr char kHelpGlyph[] = ":/glyphs/help.png";
inline constexpr char kKeyGlyph[] = ":/glyphs/key.png";

// The picture of that name; the resources are registered at the first call (they live in a static
// library, which nothing else would pull them from).
QPixmap Glyph(const char* name);

}  // namespace app
