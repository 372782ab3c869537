#include "app/forms/Glyphs.h"

#include <QString>

// Outside any namespace, as the resource compiler's registration function is.
static void InitGlyphResources() {
    Q_INIT_RESOURCE(glyphs);
}

namespace app {

QPixmap Glyph(const char* name) {
    static const bool registered = [] {
        InitGlyphResources();
        return true;
    }();
    (void)registered;
    return QPixmap(QString::fromLatin1(name));
}

}  // namespace app
